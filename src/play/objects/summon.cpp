// Summons: characters, items and blocks placed by a firing pattern, the way
// shots are, from the definition's palette entry.
#include <algorithm>
#include <cmath>

#include "base/logs.h"
#include "data/block.h"
#include "data/inheritance.h"
#include "data/item.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"

namespace {

// Characters and items a stage holds at most: summons beyond are refused
// (and said once in the log), so chains of summons that summon themselves
// cannot exhaust memory.
constexpr size_t kMaxStageCharacters = 10000;
constexpr size_t kMaxStageItems = 10000;

int PaletteKind(const cEdShot& d) { return d.m_nSummonPalette == 1 ? kPaletteStage : kPaletteCommon; }

template <class T>
const T* PaletteEntry(std::vector<T>* list, int32_t index) {
  if (!list || index < 0 || static_cast<size_t>(index) >= list->size()) return nullptr;
  return &(*list)[static_cast<size_t>(index)];
}

// The volley of a summon: one run of the pattern, speed 1, angle 0, index 0.
cVolley SummonVolley(cCharacter& shooter, const cEdShot& d, int32_t size, int32_t flowDirection) {
  cVolley v;
  v.width = v.height = size;
  v.direction = VolleyDirection(d.DirectionChoice(), shooter.m_nFacing, flowDirection);
  v.speed = 1.0;
  v.angle = 0;
  v.index = 0;
  const int32_t ox = d.StartX(), oy = d.StartY();
  v.offsetX = shooter.m_nFacing == 1 && d.MirrorStartX() ? -ox : ox;
  v.offsetY = shooter.m_nFacing == 1 && d.MirrorStartY() ? -oy : oy;
  shooter.UpdateScreenRect();
  return v;
}

bool LogCapOnce(bool& logged, const char* what) {
  if (!logged) WriteECLog("summon: the stage holds the most %s it may; more are not summoned", what);
  logged = true;
  return false;
}

}  // namespace

cStageCharacter* cStageScene::SummonCharacter(const cEdCharacter& definition, double x, double y, int32_t facing,
                                              int32_t group, cCharacter* parent, const cSummonOptions& options) {
  static bool logged = false;
  if (m_CharacterList.size() >= kMaxStageCharacters) {
    LogCapOnce(logged, "characters");
    return nullptr;
  }
  cEdCharacter copy = definition;
  copy.m_nParam50 = static_cast<uint8_t>(std::clamp(group, 0, kGroupCount - 1));
  cStageCharacter& c = m_CharacterList.emplace_back();
  const int32_t words[4] = {TruncToInt(x) + 16, TruncToInt(y) + 16, 0, 0};
  c.Setup(m_nObjectIdCounter, copy, nullptr, words, 0, 0);
  c.m_nFacing = facing != 0 ? 1 : 0;
  c.m_dX = std::trunc(x) + c.m_nMarginX;
  c.m_dY = std::trunc(y) + c.m_nMarginY;
  c.UpdateX();
  c.UpdateY();
  c.UpdateScreenRect();
  if (!c.IsInsideStage(false) || (options.placeCheck && !FindSummonPlace(c))) {
    // Nothing points at it yet: it goes without taking an id.
    m_CharacterList.pop_back();
    return nullptr;
  }
  ++m_nObjectIdCounter;
  c.LinkInitialTargets(FirstHero(), parent);
  // A timed summon leaves the stage when its countdown (in sub-steps) runs out.
  if (options.timed)
    c.m_nLifeCountdown = static_cast<int32_t>(std::clamp<int64_t>(
        int64_t{std::max(options.time, 0)} * 6 * std::max(1, StageSubSteps()), 0, kNoLifeCountdown - 1));
  m_CharacterGroups.resize(kGroupCount);
  m_CharacterGroups[static_cast<size_t>(copy.GroupByte())].push_back(&c);
  return &c;
}

cStageItem* cStageScene::SummonItem(const cEdItem& definition, double x, double y) {
  static bool logged = false;
  if (m_ItemList.size() >= kMaxStageItems) {
    LogCapOnce(logged, "items");
    return nullptr;
  }
  cStageItem& item = m_ItemList.emplace_back();
  item.Setup(m_nItemCounter, definition, 0);
  item.m_dX = std::trunc(x) + item.m_nMarginX;
  item.m_dY = std::trunc(y) + item.m_nMarginY;
  item.ClampX(2);
  item.ClampY(2);
  if (!item.IsInsideStage(false)) {
    m_ItemList.pop_back();
    return nullptr;
  }
  item.UpdateScreenRect();
  ++m_nItemCounter;
  return &item;
}

void SummonCharacters(cStageScene& scene, cCharacter& shooter, const cEdShot& d, int32_t flowDirection) {
  const cEdCharacter* definition = PaletteEntry(PaletteLists(PaletteKind(d)).characters, d.m_nSummonIndex);
  if (!definition || definition->ControlKind() != 1) return;
  const int32_t scale = std::clamp(definition->Scale(), 1, 64);
  cVolley v = SummonVolley(shooter, d, scale * 32, flowDirection);
  int32_t group = definition->GroupByte();
  if (d.SummonFaction() == 1) group = shooter.Definition().GroupByte();
  else if (d.SummonFaction() == 2) group = d.FactionNumber();
  const int32_t facing = d.SummonFacingFlip() ? (shooter.m_nFacing ? 0 : 1) : shooter.m_nFacing;
  // The definition may be the one the summon's own flows run from: copy it
  // before placing characters that could change the palette.
  const cEdCharacter copy = *definition;
  // As placed characters, a definition with repeats gives its copies, each
  // moved by its step.
  const int32_t copies = std::clamp(copy.RepeatCount(), 0, 255) + 1;
  cStageScene::cSummonOptions options;
  options.placeCheck = d.SummonPlaceCheck();
  options.timed = d.SummonTimed();
  options.time = d.SummonTime();
  RunVolleyPattern(shooter, d, v, [&](cVolley& at) {
    for (int32_t i = 0; i < copies; ++i)
      scene.SummonCharacter(copy, at.x + copy.GetStepOffsetX(i, facing), at.y + copy.GetStepOffsetY(i, facing), facing,
                            group, &shooter, options);
  });
}

void SummonItems(cStageScene& scene, cCharacter& shooter, const cEdShot& d, int32_t flowDirection) {
  const cEdItem* definition = PaletteEntry(PaletteLists(PaletteKind(d)).items, d.m_nSummonIndex);
  if (!definition) return;
  const int32_t scale = std::clamp(definition->Scale(), 1, 64);
  cVolley v = SummonVolley(shooter, d, scale * 32, flowDirection);
  const cEdItem copy = *definition;
  RunVolleyPattern(shooter, d, v, [&](cVolley& at) { scene.SummonItem(copy, at.x, at.y); });
}

void SummonBlocks(cStageScene& scene, cCharacter& shooter, const cEdShot& d, int32_t flowDirection) {
  const cEdBlock* definition = PaletteEntry(PaletteLists(PaletteKind(d)).blocks, d.m_nSummonIndex);
  if (!definition) return;
  cVolley v = SummonVolley(shooter, d, 32, flowDirection);
  cStageScene::cBlockSummon run;
  run.mode = d.SummonMode();
  run.keepHero = d.KeepHeroFree();
  run.keepCharacters = d.KeepCharactersFree();
  run.overConditional = scene.m_BlockMap.Rules().summonOverConditional;
  const cEdBlock copy = *definition;
  // The cell under the middle of each 32-dot box changes.
  RunVolleyPattern(shooter, d, v, [&](cVolley& at) { scene.SummonBlock(at.x + 16.0, at.y + 16.0, copy, run); });
}

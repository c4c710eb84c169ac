// Target, object-state and object commands: which objects a character
// points at, its non-numeric states, removal of characters and shots, an
// item's effect handed to the hero, and what the character looks like. Each
// is one body shared by the flow and item families and acts in one call.
//
// Removal never frees an object during a call: a character gets its removed
// flag (the play frame unlinks it between walks), the hero loses its HP (it
// dies by the normal path), and a shot gets its removal flag, so a vanish
// raised from inside a walk over the shots (a death flow run by a hit)
// leaves no freed node to be visited; the shots go when the walk ends.
#include <algorithm>
#include <vector>

#include "base/logs.h"
#include "data/database.h"
#include "data/flow.h"
#include "data/inheritance.h"
#include "data/item.h"
#include "flow/flow_state.h"
#include "play/commands/commands.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"

namespace {

int32_t Param(const cEdCmd& command, size_t i) { return static_cast<int32_t>(command.Word(i)); }


bool IsAlive(const cCharacter& c) { return !c.m_bRemoved && !c.m_bDying; }

// The side ("勢力") a character belongs to: the index of its side list.
int32_t SideOf(const cCharacter& c) { return c.Definition().GroupByte(); }

// The characters `parent` summoned, oldest first.
std::vector<cCharacter*> ChildrenOf(const cCharacter& parent) {
  std::vector<cCharacter*> children;
  for (const cTargetedBy& e : parent.m_TargetedBy)
    if (e.slot == kParentSlot && e.holder && e.holder->m_pParent == &parent) children.push_back(e.holder);
  return children;
}

// The shots `owner` fired that are still on the stage, oldest first.
std::vector<cShot*> ChildShotsOf(const cCharacter& owner) {
  std::vector<cShot*> shots;
  for (const cLinkEntry& e : owner.m_Links)
    if (e.kind == 4)
      if (auto* shot = dynamic_cast<cShot*>(e.object); shot && !shot->m_bRemove) shots.push_back(shot);
  return shots;
}

// Removes a character as the "vanish" state does: the hero dies by losing
// its HP; another character is flagged and goes between walks. The frame
// checks lives and removals before the next object moves when the object is
// not the one running now.
void RemoveObject(cStageScene& scene, cCharacter& object) {
  if (object.m_nKind == 0) object.m_nHp = 0;
  else object.m_bRemoved = 1;
  if (&object != scene.CurrentCharacter) scene.m_bLifeCheck = 1;
}

// Descendant chains deeper than this are left alone (a chain of summons that
// summon themselves must not exhaust the stack).
constexpr int32_t kMaxDescendantDepth = 1000;

void RemoveChildShots(cStageScene& scene, cCharacter& owner) {
  for (cShot* shot : ChildShotsOf(owner)) MarkShotForRemoval(scene, *shot);
}

void RemoveDescendants(cStageScene& scene, cCharacter& parent, bool withShots, int32_t depth) {
  if (depth >= kMaxDescendantDepth) return;
  for (cCharacter* child : ChildrenOf(parent)) {
    if (!IsAlive(*child)) continue;
    RemoveDescendants(scene, *child, withShots, depth + 1);
    if (withShots) RemoveChildShots(scene, *child);
    RemoveObject(scene, *child);
  }
}

// The filters of words 5..14 of the set-target command: word 9 the
// character ID (the group byte) of word 10, word 5 not the character itself,
// words 6 and 7 not the invincibility kinds 1 and 2, word 8 not whole-cell
// bodies, word 11 character variable word 12 against word 13 by operator
// word 14.
cCharacterFilter FilterOf(const cCharacter& self, const cEdCmd& command) {
  cCharacterFilter f;
  f.groupFilter = Param(command, 9) != 0;
  f.group = Param(command, 10);
  f.excludeIdFilter = Param(command, 5) != 0;
  f.id = self.m_nId;
  f.excludeInvincible1 = Param(command, 6) != 0;
  f.excludeInvincible2 = Param(command, 7) != 0;
  f.excludeWholeCell = Param(command, 8) != 0;
  f.statusFilter = Param(command, 11) != 0;
  f.statusIndex = Param(command, 12);
  f.value = Param(command, 13);
  f.op = Param(command, 14);
  return f;
}

// The side lists a search walks: side word 2, or all eight when word 3 is set.
cCharacterLists SearchLists(cStageScene& scene, const cEdCmd& command) {
  cCharacterLists lists;
  if (Param(command, 3) != 0) {
    for (const auto& list : scene.m_CharacterGroups) lists.push_back(&list);
  } else {
    const int32_t side = Param(command, 2);
    if (side >= 0 && static_cast<size_t>(side) < scene.m_CharacterGroups.size())
      lists.push_back(&scene.m_CharacterGroups[static_cast<size_t>(side)]);
  }
  return lists;
}

// The last child that passes the filters (and, without word 3, is of side
// word 2); with no filters the last child.
cCharacter* LastChild(const cCharacter& self, const cEdCmd* command) {
  const std::vector<cCharacter*> children = ChildrenOf(self);
  const cCharacterFilter filter = command ? FilterOf(self, *command) : cCharacterFilter{};
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!command) return *it;
    if (Param(*command, 3) == 0 && SideOf(**it) != Param(*command, 2)) continue;
    if (filter.Passes(**it)) return *it;
  }
  return nullptr;
}

// Nesting of item gets inside item gets: an item whose commands get itself
// stops here instead of recursing without end.
constexpr int32_t kMaxItemGetDepth = 16;
int32_t g_nItemGetDepth = 0;

}  // namespace

// ---------------------------------------------------------------------------
// Target slots

void SetTargetSlot(cCharacter& character, int32_t slot, cCharacter* object, int32_t clear) {
  if (slot < 0 || slot >= kTargetSlotCount) return;
  if (!object && !clear) return;
  if (character.m_Targets.size() < kTargetSlotCount) character.m_Targets.resize(kTargetSlotCount, nullptr);
  cCharacter*& word = character.m_Targets[static_cast<size_t>(slot)];
  if (word) {
    auto& list = word->m_TargetedBy;
    list.erase(std::remove(list.begin(), list.end(), cTargetedBy{&character, slot}), list.end());
    word = nullptr;
  }
  if (object) {
    word = object;
    auto& list = object->m_TargetedBy;
    if (std::find(list.begin(), list.end(), cTargetedBy{&character, slot}) == list.end())
      list.push_back({&character, slot});
  }
}

int32_t ExecuteSetTarget(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return 0;
  const int32_t slot = Param(command, 0);
  if (slot < 0 || slot >= kTargetSlotCount) return 0;
  const int32_t what = Param(command, 1);
  cCharacter* found = nullptr;
  switch (what) {
    case 0: found = FirstHero(); break;
    case 1: found = &character; break;
    case 2:
      // Nearest to the character's drawn centre; word 4 is the range (0 on
      // screen first, 1 all, 2 on screen only).
      found = FindNearestObject(character.ScreenCentreX(), character.ScreenCentreY(), SearchLists(*scene, command),
                                Param(command, 4), FilterOf(character, command));
      break;
    case 3: found = FindFirstObject(SearchLists(*scene, command), FilterOf(character, command)); break;
    case 4: found = character.m_pParent; break;
    case 5: found = LastChild(character, nullptr); break;
    case 6: found = LastChild(character, &command); break;
    case 7: case 8: case 9: case 10: found = character.TargetInSlot(what - 7); break;
    default: break;
  }
  switch (Param(command, 15)) {
    case 0: SetTargetSlot(character, slot, found, 1); break;
    case 1: SetTargetSlot(character, slot, found, 0); break;
    default: break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Object states

int32_t ExecuteStatusOperation2(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return 0;
  const int32_t subject = Param(command, 0);
  const int32_t state = Param(command, 1);
  const int32_t v = Param(command, 2);
  if (subject == 5) {
    const double frameScale = StageData.Dbl(kStageFrameScale);
    if (state == 0) scene->m_ScrollX.Start(StageData.Int(kStageForcedScrollXOn), v, frameScale);
    else if (state == 1) scene->m_ScrollY.Start(StageData.Int(kStageForcedScrollYOn), v, frameScale);
    return 0;
  }
  cCharacter* object = &character;
  if (subject >= 1 && subject <= 4) {
    object = character.TargetInSlot(subject - 1);
    if (!object) return 0;
  }
  cEdCharacter& d = object->Definition();
  switch (state) {
    case 0: RemoveObject(*scene, *object); break;
    case 1: d.m_nParam19 = static_cast<uint8_t>(v); break;
    case 2: d.m_nParam31 = static_cast<uint8_t>(v); break;
    case 3:
      if (object->m_nKind == 0 && scene->HasHero() && object == &scene->Hero())
        scene->Hero().SetMoveMode(v, 1, Param(command, 3), Param(command, 4));
      break;
    case 4: d.m_nParam35 = static_cast<uint8_t>(v); break;
    case 5: {
      // The scale byte holds 1..127; a factor outside it would grow the
      // body past any stage.
      const int32_t scale = std::clamp(v, 1, 127);
      const int32_t old = object->ScaleFactor();
      if (!g_CommandSwitches.scaleNoCountdown && scale != old) object->m_nStateCounter = 2;
      object->SetScale(scale, old, 1);
      d.SetScaleField(scale);
      if (object->m_nKind == 0 && scene->HasHero() && object == &scene->Hero()) scene->Hero().SortHitAreas();
      break;
    }
    case 6:
      d.m_nParam37 = static_cast<uint8_t>(v);
      object->m_bFollowsScroll = v != 0 ? 1 : 0;
      break;
    default: break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Vanish

int32_t ExecuteVanish(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return 0;
  const int32_t what = Param(command, 0);
  const int32_t side = Param(command, 1);
  const bool everywhere = Param(command, 2) == 1;
  switch (what) {
    case 0: {
      if (side < 0 || static_cast<size_t>(side) >= scene->m_CharacterGroups.size()) break;
      // Flags only: the side list is not changed while it is walked.
      for (cCharacter* c : scene->m_CharacterGroups[static_cast<size_t>(side)])
        if (c && IsAlive(*c) && (everywhere || IsActing(*c))) RemoveObject(*scene, *c);
      break;
    }
    case 1: {
      if (side < 0 || static_cast<size_t>(side) >= scene->m_ShotGroups.size()) break;
      for (cShot* shot : scene->m_ShotGroups[static_cast<size_t>(side)])
        if (shot && !shot->m_bRemove && (everywhere || shot->m_bOnScreen)) MarkShotForRemoval(*scene, *shot);
      break;
    }
    case 2: RemoveDescendants(*scene, character, false, 0); break;
    case 3: RemoveChildShots(*scene, character); break;
    case 4:
      RemoveChildShots(*scene, character);
      RemoveDescendants(*scene, character, true, 0);
      break;
    case 5: RemoveDescendants(*scene, character, true, 0); break;
    default: break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Item get

int32_t ExecuteItemGet(cCharacter&, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || !scene->HasHero()) return 0;
  const int32_t palette = Param(command, 0) == 1 ? kPaletteStage : kPaletteCommon;
  const std::vector<cEdItem>* items = PaletteLists(palette).items;
  const int32_t number = Param(command, 1);
  // An item number outside the palette names nothing to get.
  if (!items || number < 0 || static_cast<size_t>(number) >= items->size()) return 0;
  if (g_nItemGetDepth >= kMaxItemGetDepth) {
    static bool reported = false;
    if (!reported) WriteECLog("item get: items that get each other stop after %d levels", kMaxItemGetDepth);
    reported = true;
    return 0;
  }
  // The item's commands may change the palette; they run from a copy.
  const std::vector<cEdCmd> commands = (*items)[static_cast<size_t>(number)].m_vCmds.Get();
  ++g_nItemGetDepth;
  const int result = scene->Hero().RunItemCommands(commands);
  --g_nItemGetDepth;
  if (result != 0) scene->m_nEndRequest = result;
  return 0;
}

// ---------------------------------------------------------------------------
// Looks

int32_t ExecuteGraphicChange(cCharacter& character, const cEdCmd& command) {
  cEdCharacter& d = character.Definition();
  d.m_nGraphicSource = static_cast<uint8_t>(Param(command, 0));
  d.m_nGraphic = static_cast<int16_t>(Param(command, 1));
  d.m_nParam16 = static_cast<uint16_t>(Param(command, 2));
  return 0;
}

int32_t ExecuteBaseAnimeSetChange(cCharacter& character, const cEdCmd& command) {
  character.SetBasicAnimeSet(static_cast<int16_t>(Param(command, 0)), 1);
  return 0;
}

int32_t ExecuteAnime(cCharacter& character, const cEdCmd& command) {
  const int32_t number = Param(command, 0);
  // A number the animation list does not have starts nothing.
  if (number < 0 || static_cast<size_t>(number) >= Database.m_Animes.size()) return 0;
  const cAnimeRecord& anime = Database.m_Animes[static_cast<size_t>(number)];
  std::vector<cAnimeFrameEntry> frames;
  frames.reserve(anime.m_Frames.size() + 1);
  for (const cAnimeFrame& f : anime.m_Frames)
    frames.push_back({f.m_nCell, static_cast<int32_t>(std::clamp<int64_t>(int64_t{f.m_nDuration} * 6, 0, INT32_MAX)),
                      f.m_nHold ? 1 : 0});
  frames.push_back({kAnimeHold, 0, 0});
  const cFlowState* flow = CurrentFlow();
  cAnimeRun run;
  run.player.SetAnimeSet(std::vector<std::vector<cAnimeFrameEntry>>{frames});
  run.player.SetAnime(0, 1);
  run.flow = flow ? flow->m_nFlowId : -1;
  character.m_AnimeRuns.push_back(std::move(run));
  return 0;
}

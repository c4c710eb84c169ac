// The running stage's objects as the stage scene keeps them: creation of
// the placed characters and items, the once-per-sub-step activation pass
// with the appearance conditions, the time limit and clear time, and the
// small services of the scene (fresh input, the stage's music).
#include <algorithm>
#include <cstdint>

#include "base/program.h"
#include "base/timers.h"
#include "platform/messages.h"
#include "play/objects/character_look_ahead.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/block_map.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"

namespace {

// The main window's music request: wParam 4 plays track lParam as the stage's.
constexpr uint32_t kMusicRequest = plat::WM_USER + 6;
constexpr uint64_t kStageTrack = 4;

// The time limit counts down one second every 60 play frames.
constexpr uint32_t kFramesPerSecond = 60;
constexpr int32_t kClearTimeMax = 599999;  // 99 minutes 59.99 seconds, in hundredths


// Condition-list modes of appearance conditions.
enum : uint8_t { kCondAll = 0, kCondAny = 1 };


// The appearance rule shared by blocks, characters and items: no
// conditions always hold; with the once-true option a list that held once
// keeps holding; otherwise the list is evaluated and a success is cached.
bool AppearanceHolds(const std::vector<cCond>& conditions, uint8_t mode, uint8_t onceTrue, uint8_t& cache,
                     cCharacter* subject) {
  if (conditions.empty()) return true;
  if (onceTrue && cache) return true;
  // Only "all" and "any" combine conditions; another mode never holds.
  if (mode != kCondAll && mode != kCondAny) return false;
  if (!FlowHooks().CheckConditionList(conditions, mode, subject)) return false;
  cache = 1;
  return true;
}

}  // namespace

// ---- creation ----

int32_t cStageScene::s_bKeepStartPosition = 0;

int cStageScene::CreateCharacter(std::list<cStageCharacter>& list, int32_t column, int32_t row, int32_t& idCounter,
                                 const cEdCharacter& definition, int32_t flag) {
  // Each copy takes its own copy of the definition as it is set up, so later
  // changes to a copy stay apart from the stage's record and the others.
  const int32_t copies = std::max(0, definition.RepeatCount()) + 1;
  const double centreX = (column + kStageMarginBlocks) * 32.0 + 16;
  const double centreY = (row + kStageMarginBlocks) * 32.0 + 16;
  int kept = 0;
  for (int32_t i = 0; i < copies; ++i) {
    cStageCharacter& c = list.emplace_back();
    const int32_t words[4] = {static_cast<int32_t>(centreX), static_cast<int32_t>(centreY), 0, 0};
    c.Setup(idCounter, definition, nullptr, words, static_cast<uint16_t>(i), flag);
    c.SetStartPosition(column, row);
    const double dx = definition.GetStepOffsetX(i, c.m_nFacing);
    const double dy = definition.GetStepOffsetY(i, c.m_nFacing);
    c.m_dX += dx;
    c.m_dRight += dx;
    c.m_dY += dy;
    c.m_dBottom += dy;
    c.OnMovedX();
    c.OnMovedY();
    // The set-up words keep where the copy started; the copy's own step
    // moves that start too unless the project keeps the record's start.
    if (!s_bKeepStartPosition) {
      c.m_nSetupWords[0] += static_cast<int32_t>(dx);
      c.m_nSetupWords[1] += static_cast<int32_t>(dy);
    }
    if (!c.IsInsideStage(false)) {
      // Nothing points at a copy yet: it goes without taking an id.
      list.pop_back();
      continue;
    }
    c.UpdateScreenRect();
    ++idCounter;
    ++kept;
  }
  return kept;
}

bool cStageScene::CreateItem(std::list<cStageItem>& list, int32_t column, int32_t row, int32_t& idCounter,
                             const cEdItem& record) {
  cStageItem& item = list.emplace_back();
  item.Setup(idCounter, record, 0);
  item.SetBlockPosition(column, row, 0);
  if (!item.IsInsideStage(false)) {
    list.pop_back();
    return false;
  }
  item.ClampX(2);
  item.ClampY(2);
  item.UpdateScreenRect();
  ++idCounter;
  return true;
}

bool cStageScene::FindSummonPlace(cStageCharacter& c) {
  if (m_BlockMap.IsEmpty()) return true;
  const double x = c.m_dX, y = c.m_dY;
  // Here, 1 dot higher, 1 dot left, 1 dot left and higher.
  const double kTries[4][2] = {{0, 0}, {0, -1}, {-1, 0}, {-1, -1}};
  for (const auto& t : kTries) {
    const double nx = x + t[0], ny = y + t[1];
    c.m_dRight += nx - c.m_dX;
    c.m_dX = nx;
    c.m_dBottom += ny - c.m_dY;
    c.m_dY = ny;
    c.UpdateX();
    c.UpdateY();
    c.UpdateScreenRect();
    if (!IsPlaceBlocked(c)) return true;
  }
  return false;
}

// ---- appearance and activation ----

bool cStageScene::CheckCharacterConditions(cStageCharacter& character) {
  const cEdCharacter& d = character.Definition();
  return AppearanceHolds(d.m_vConds.Get(), d.m_nCondMode, d.m_nCondOption, character.m_byAppearLatch, &character);
}

bool cStageScene::CheckItemConditions(cStageItem& item) {
  const cEdItem& d = item.m_Definition;
  return AppearanceHolds(d.m_vConds.Get(), d.m_nCondMode, d.m_nCondOption, item.m_byAppearLatch,
                         HasHero() ? &Hero() : nullptr);
}

void cStageScene::ActivateObjects() {
  ActivateCharacters();
  // Acting is decided after every character had its chance to wake its group.
  cCharacterLookAhead acting(m_CharacterList, CharacterOrder());
  for (cStageCharacter& c : m_CharacterList) {
    acting.Next();
    PrefetchForActing(acting);
    DecideActing(c);
  }
  ActivateItems();
}

void cStageScene::ActivateCharacters() {
  StartActivation();
  // The walk brings the characters ahead into the caches (what the
  // appearance, screen and group tests read).
  cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
  for (cStageCharacter& c : m_CharacterList) {
    ahead.Next();
    PrefetchForActivating(ahead);
    if (const cStageCharacter* near = ahead.Near(2); near && !near->Definition().m_vConds.Get().empty())
      PrefetchLine(near->Definition().m_vConds.Get().data());
    ActivateCharacter(c);
  }
}

void cStageScene::StartActivation() {
  if (HasHero()) {
    cHero& hero = Hero();
    hero.m_bPresent = 1;
    hero.m_bOnScreen = 1;
  }
  m_GroupWakeUp.assign(kGroupWakeUpCount, 0);
}

void cStageScene::ActivateCharacter(cStageCharacter& c) {
  c.m_bPresent = CheckCharacterConditions(c) ? 1 : 0;
  if (c.m_bPresent) {
    c.m_bOnScreen = c.IsOnScreen() ? 1 : 0;
    c.CheckInView(m_GroupWakeUp);
  } else {
    c.m_bOnScreen = 0;
  }
}

void cStageScene::PrefetchForActivating(const cCharacterLookAhead& ahead) {
  if (const cStageCharacter* far = ahead.Far()) {
    PrefetchListNode(far);
    PrefetchLines(&far->m_bPresent, &far->m_dX, &far->m_dBottom, &far->m_Definition.m_vConds,
                  &far->m_Definition.m_nCondMode, &far->m_Definition.m_nParam51, &far->m_bInView, &far->m_bIgnoreX);
  }
}

void cStageScene::DecideActing(cStageCharacter& c) {
  c.m_bActing = c.m_bPresent ? c.UpdateActing(m_GroupWakeUp) : 0;
}

void cStageScene::PrefetchForActing(const cCharacterLookAhead& ahead) {
  if (const cStageCharacter* far = ahead.Far()) {
    PrefetchListNode(far);
    PrefetchLines(&far->m_bPresent, &far->m_rcScreen, &far->m_nMarginX, &far->m_dX, &far->m_nDrawWidth,
                  &far->m_Definition.m_nParam51, &far->m_bAirborne, &far->m_bJump2, &far->m_bInView, &far->m_bHasActed);
  }
}

void cStageScene::ActivateItems() {
  for (cStageItem& item : m_ItemList) {
    item.m_bPresent = CheckItemConditions(item) ? 1 : 0;
    item.m_bOnScreen = item.m_bPresent && item.IsOnScreen() ? 1 : 0;
  }
  // Shots are always present; they come with their own kind of object and
  // mark their screen state themselves when they move.
}

bool cStageScene::ItemsTestNoConditions() const {
  for (const cStageItem& item : m_ItemList)
    if (!item.m_Definition.m_vConds.empty()) return false;
  return true;
}

// ---- clock ----

int cStageScene::CountDownTime(int32_t delta) {
  if (m_bTimeLimitOff) return 0;
  if (CountCalls(1, kFramesPerSecond) == 0) return 0;
  const int64_t left = static_cast<int64_t>(m_nTimeLeft) + delta;
  if (left > kTimeLimitMax) {
    m_nTimeLeft = kTimeLimitMax;
    return 0;
  }
  if (left < 1) {
    // The time runs out once: a clock already at 0 (the hero still dying
    // of the time-out) does not end the stage again.
    const bool runsOutNow = m_nTimeLeft > 0;
    m_nTimeLeft = 0;
    return runsOutNow ? 1 : 0;
  }
  m_nTimeLeft = static_cast<int32_t>(left);
  return 0;
}

void cStageScene::CountClearTime() {
  if (m_nClearTime >= kClearTimeMax) return;
  ++m_nFramesPlayed;
  const int64_t t = static_cast<int64_t>(m_nFramesPlayed) * 100 / 60;
  m_nClearTime = static_cast<int32_t>(std::min<int64_t>(t, kClearTimeMax));
}

// ---- services ----

int cStageScene::ResetInput() {
  cInput& input = InputRecords.At(0);
  input.ClearKeys();
  input.ClearHistory();
  input.TrimHistory();
  // A button still held from the menu that started the stage is latched
  // here: it has had its one press, and acts again only once let go.
  input.LatchButtons(0);
  return 1;
}

void cStageScene::PlayStageBGM(int32_t track, int32_t keep) {
  // The keep flag is the loop flag the main window plays the track with.
  // The track is noted beside it: the note tells the screens what plays, so
  // that a menu screen whose own looping tune was noted before the stage
  // asks for it again instead of leaving the stage's tune on.
  SceneManager.m_nLastMusicTrack = track;
  SceneManager.m_nLastMusicKeep = keep;
  plat::SendMessage(g_hMainWnd.load(), kMusicRequest, kStageTrack, track);
}

// ---- block summons ----

void cStageScene::SummonBlock(double x, double y, const cEdBlock& block, cBlockSummon& run) {
  if (m_BlockMap.IsEmpty()) return;
  // The cell under the dot; a dot left of or above the map, or past its
  // last column, is outside (it must not wrap into the next row).
  const int32_t column = CellOf(x), row = CellOf(y);
  if (x < 0 || y < 0 || column >= m_BlockMap.Columns() || row >= m_BlockMap.Rows()) return;
  const int32_t cell = m_BlockMap.CellIndex(column, row);
  if (cell < 0) return;
  const cEdBlock& current = m_BlockMap.Block(cell);
  if (run.overConditional) {
    if (current.SummonProtected()) return;
  } else if (current.m_nGraphic != 0 && current.SummonProtected() && m_BlockMap.CheckBlockConditions(cell)) {
    return;
  }
  auto place = [&] {
    if (!run.keepHero && !run.keepCharacters) {
      m_BlockMap.Place(column, row, block);
      PlacedBlockSqueezes(cell, column, row, run);  // only the state counters
      return;
    }
    const cBlockCell saved = m_BlockMap.Cell(cell);
    m_BlockMap.Place(column, row, block);
    if (PlacedBlockSqueezes(cell, column, row, run) == 1) m_BlockMap.Cell(cell) = saved;
  };
  switch (run.mode) {
    case 0:
      place();
      break;
    case 1:
      m_BlockMap.Erase(column, row);
      break;
    case 2:
      if (std::find(run.toggled.begin(), run.toggled.end(), cell) != run.toggled.end()) return;
      if (m_BlockMap.HasBlock(cell) && m_BlockMap.CheckBlockConditions(cell))
        m_BlockMap.Erase(column, row);
      else
        place();
      run.toggled.push_back(cell);
      break;
    default:
      break;
  }
}

int cStageScene::PlacedBlockSqueezes(int32_t cell, int32_t column, int32_t row, const cBlockSummon& run) {
  const double left = column * 32.0, top = row * 32.0;
  const double right = (column + 1) * 32.0 - 0.1, bottom = (row + 1) * 32.0 - 0.1;
  const bool passThroughSqueezes = m_BlockMap.Rules().summonedBlocksSqueezePassThrough;
  for (cHero& hero : m_HeroList) {
    if (hero.m_bDying) continue;
    if (m_BlockMap.IsBlockSolid(cell, hero.m_nBlockFlags) == kBlockNotSolid) continue;
    if (!passThroughSqueezes && hero.m_bFreeVertical && hero.m_byAxisMode2 == 0) continue;
    if (!hero.OverlapsRect(left, top, right, bottom)) continue;
    hero.m_nStateCounter = 2;
    if (run.keepHero) return 1;
  }
  for (cStageCharacter& c : m_CharacterList) {
    if (c.m_bDying || !c.m_bActing) continue;
    if (m_BlockMap.IsBlockSolid(cell, c.m_nBlockFlags) == kBlockNotSolid) continue;
    if (!c.OverlapsRect(left, top, right, bottom)) continue;
    c.m_nStateCounter = 2;
    if (run.keepCharacters) return 1;
  }
  return 0;
}

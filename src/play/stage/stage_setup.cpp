// Bringing a stage to life: StartStage loads a stage file into the working
// stage (and keeps its master copy), SetStage builds the running stage in the
// scene from them, for the first start and for every retry.
#include <algorithm>
#include <cmath>
#include <new>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/random.h"
#include "base/text_path.h"
#include "base/thread.h"
#include "base/timers.h"
#include "data/data_paths.h"
#include "data/labels.h"
#include "data/system_data.h"
#include "flow/expr.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/large_pages.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"  // Project switches (rules/system_switches.cpp)
#include "scene/input.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"

namespace {

// Bits needed for `value` (0 for 0).
int32_t BitCount(uint32_t value) {
  int32_t bits = 0;
  while (value != 0) {
    ++bits;
    value >>= 1;
  }
  return bits;
}

// A retry's restore of the working stage from the master copy: the declared
// settings and name, backgrounds, texts, the five parameter sets (removal
// areas among them) and the ranking switches. The placed lists stay: the
// master copy keeps none (StartStage empties its lists).
void RestoreStageSettings(cStageData& stage, cStageData& master) {
  if (&stage == &master) return;
  stage.CopyFrom(master);
  stage.m_Backgrounds = master.m_Backgrounds;
  stage.m_Texts = master.m_Texts;
  for (int i = 0; i < 5; ++i) stage.m_Params[i] = master.m_Params[i];
  stage.m_RankingSwitches = master.m_RankingSwitches;
}

}  // namespace

// ---- loading (StartStage and its loader thread are the data layer's, data/stage_load.h) ----

int StartSingleStagePlay(const std::string& path, int32_t numbered) {
  return StartStage(path, numbered, &StageMasterData, &cStageScene::KeptHeroRecord);
}

// ---- set-up ----

std::vector<int32_t> cStageScene::BuildHitCheckSteps(int32_t subSteps, int32_t checksPerFrame) {
  const int32_t n = std::max(subSteps, 1);
  // Without a count (or with a nonsense negative one, which would never let
  // the accumulator reach the end) hits are resolved in every sub-step.
  // As many checks as sub-steps or more reach every sub-step as well (the
  // walk below would take one turn per check: billions for a wild count).
  if (checksPerFrame <= 0 || checksPerFrame >= n) return std::vector<int32_t>(static_cast<size_t>(n), 1);
  std::vector<int32_t> flags(static_cast<size_t>(n), 0);
  const double ratio = static_cast<double>(n) / checksPerFrame;
  int32_t set = 0;
  for (double a = 0.0; static_cast<int32_t>(std::trunc(a)) < n; a += ratio) {
    flags[static_cast<size_t>(std::trunc(a))] = 1;
    ++set;
  }
  if (set < checksPerFrame) flags.back() = 1;
  return flags;
}

void cStageScene::LayOutScroll() {
  // A loaded stage is within these sides (StageSetUpProblem); one built in
  // code is held to them too, so that no layout value leaves 32 bits.
  const int32_t width = std::clamp(StageData.Int(kStageWidth), 0, kStageMaxSide);
  const int32_t height = std::clamp(StageData.Int(kStageHeight), 0, kStageMaxSide);
  constexpr int32_t kMargin = kStageMarginBlocks;

  cAutoScroll& x = m_ScrollX;
  x.m_nViewSize = 640;
  x.m_nBase = kMargin * kBlockDots;
  x.m_nExtent = width + 2 * kMargin;
  x.m_nBitCount = BitCount(static_cast<uint32_t>(width + 2 * kMargin - 1));
  x.m_nFullUpper = std::max((x.m_nExtent - kMargin) * kBlockDots, 0);
  x.areaLow = x.m_nBase;
  x.areaHigh = x.m_nFullUpper;
  x.blockOffset = kMargin;
  x.mapExtent = x.m_nExtent * kBlockDots;

  cAutoScroll& y = m_ScrollY;
  y.m_nViewSize = 480;
  y.m_nBase = kMargin * kBlockDots;
  y.m_nExtent = height + 2 * kMargin;
  y.m_nBitCount = 0;
  y.m_nFullUpper = std::max((height + kMargin) * kBlockDots, 0);
  y.areaLow = y.m_nBase;
  y.areaHigh = y.m_nFullUpper;
  y.blockOffset = kMargin;
  y.mapExtent = y.m_nExtent * kBlockDots;

  const double frameScale = StageData.Dbl(kStageFrameScale);
  x.Start(StageData.Int(kStageForcedScrollXOn), StageData.Int(kStageForcedScrollXSpeed), frameScale);
  y.Start(StageData.Int(kStageForcedScrollYOn), StageData.Int(kStageForcedScrollYSpeed), frameScale);
  x.SetRange(StageData.Int(kStageScrollLeft), StageData.Int(kStageScrollRight), StageData.Int(kStageScrollLeftOn),
             StageData.Int(kStageScrollRightOn));
  y.SetRange(StageData.Int(kStageScrollTop), StageData.Int(kStageScrollBottom), StageData.Int(kStageScrollTopOn),
             StageData.Int(kStageScrollBottomOn));
  SetStageView(&m_ScrollX, &m_ScrollY);
}

void cStageScene::DestroyObjects() {
  // The old objects go with their marks.
  m_nDoomed = 0;
  ++m_nRemovalCount;
  CurrentCharacter = nullptr;
  CurrentFlow = nullptr;
  CurrentCommand = nullptr;
  m_CharacterGroups.assign(kGroupCount, {});
  m_ShotGroups.assign(kGroupCount, {});
  ClearShots(*this);
  m_CharacterList.clear();
  ++m_nCharacterFlushes;
  m_ItemList.clear();
  m_BlockMap.SetHero(nullptr);
  m_HeroList.clear();
  m_PreparedFlows.Clear();
}

void cStageScene::PlaceHero() {
  const int32_t heroIndex = StageData.FindHeroIndex();
  m_HeroList.emplace_back();
  cHero& hero = m_HeroList.front();
  if (heroIndex < 0) return;  // a loaded stage always has one (StartStage checks)
  cEdCharacter& record = StageData.m_PlacedCharacters.At(heroIndex);
  if (SaveData.m_bStartGiven) record.SetInitialFacing(SaveData.m_nStartFacing);
  // The hero takes the first id; the placed characters follow it.
  const int32_t id = m_nObjectIdCounter++;
  const int32_t column = static_cast<int16_t>(record.m_nWord1);
  const int32_t row = static_cast<int16_t>(record.m_nWord2);
  hero.Setup(id, record, (column + kStageMarginBlocks) * kBlockDots + 16, (row + kStageMarginBlocks) * kBlockDots + 16,
             InputRecords);
  int32_t blockX = column, blockY = row;
  if (SaveData.m_bStartGiven) {
    blockX = SaveData.m_nStartX;
    blockY = SaveData.m_nStartY;
  }
  // The position in stage blocks (the map's margin is added by the hero).
  hero.SetBlockPosition(blockX, blockY, 0);
  const double dx = record.GetStepOffsetX(0, hero.m_nFacing);
  const double dy = record.GetStepOffsetY(0, hero.m_nFacing);
  hero.m_dX += dx;
  hero.m_dRight += dx;
  hero.m_dY += dy;
  hero.m_dBottom += dy;
  // The hero's HP and SP carried from the stage before (carry-over parts 11
  // and 12) replace those its set-up gave it.
  if (StageData.Int(kStageHeroCarryOver)) RestoreCarriedCounters(hero);
  hero.m_AnimePlayer.SetAnime(hero.m_bFreeVertical != 0 ? 2 : 0, 0);
}

void cStageScene::RestoreCarriedCounters(cHero& hero) {
  int32_t hp = hero.m_nHp, sp = hero.m_nSp;
  SaveData.RestoreHeroCounters(0, hp, sp);
  // Held to what this stage's hero can have; a stage never starts with a
  // hero already out of HP.
  const int32_t maxHp = std::max(0, hero.Definition().MaxHp());
  const int32_t maxSp = std::max(0, hero.Definition().MaxSp());
  hero.m_nHp = std::clamp(hp, std::min(1, maxHp), maxHp);
  hero.m_nSp = std::clamp(sp, 0, maxSp);
}

void cStageScene::PlaceCharactersAndItems() {
  cSafeVector<cEdCharacter>& characters = StageData.m_PlacedCharacters;
  cSafeVector<cEdItem>& items = StageData.m_PlacedItems;
  std::vector<uint8_t> held(items.size(), 0);
  for (cEdCharacter& record : characters) {
    if (record.ControlKind() != 1) continue;
    const int32_t column = static_cast<int16_t>(record.m_nWord1);
    const int32_t row = static_cast<int16_t>(record.m_nWord2);
    const size_t before = m_CharacterList.size();
    CreateCharacter(m_CharacterList, column, row, m_nObjectIdCounter, record, 0);
    const int32_t itemIndex = record.m_nPlacedItem;
    if (itemIndex < 0 || itemIndex >= static_cast<int32_t>(items.size())) continue;
    // The characters made from this record carry the item it is given,
    // all under one item id: the counter's value, then the counter goes on
    // (as for every item, so no placed item takes that id too).
    const int32_t itemId = m_nItemCounter++;
    auto it = m_CharacterList.begin();
    std::advance(it, static_cast<std::ptrdiff_t>(before));
    for (; it != m_CharacterList.end(); ++it) {
      it->m_Item.Setup(itemId, items.At(itemIndex), 0);
      it->m_Item.m_bHeld = 1;
    }
    held[static_cast<size_t>(itemIndex)] = 1;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (held[i]) continue;
    cEdItem& record = items[i];
    CreateItem(m_ItemList, static_cast<int16_t>(record.m_nWord1), static_cast<int16_t>(record.m_nWord2),
               m_nItemCounter, record);
  }
}

// Thousands of characters, each with its parts on the heap beside it, lie
// over tens of megabytes that every frame's walks visit whole: that memory
// is asked for in large pages (nothing happens for a stage of a few).
void cStageScene::GatherCharactersIntoLargePages() {
  std::vector<const void*> at;
  at.reserve(m_CharacterList.size());
  for (const cStageCharacter& c : m_CharacterList) at.push_back(&c);
  plat::GatherIntoLargePages(at);
}

void cStageScene::IndexGroups() {
  m_CharacterGroups.assign(kGroupCount, {});
  auto enter = [this](cCharacter& character) {
    const int32_t group = character.Definition().GroupByte();
    if (group >= 0 && group < kGroupCount) m_CharacterGroups[static_cast<size_t>(group)].push_back(&character);
  };
  for (cHero& hero : m_HeroList) enter(hero);
  for (cStageCharacter& character : m_CharacterList) enter(character);
}

void cStageScene::StartStageMusic(int32_t bFirst) {
  const int32_t track = StageData.Int(kStageMusic);
  const bool samePlaying = SaveData.m_nTrackPlaying == track;
  if (!bFirst) {
    if (!samePlaying) PlayStageBGM(track, StageData.Int(kStageMusicKeep));
    return;
  }
  if (StageData.Int(kStageMusicNoRestart) && samePlaying) {
    if (track == 0) PlayStageBGM(0, StageData.Int(kStageMusicKeep));
    return;
  }
  PlayStageBGM(track, StageData.Int(kStageMusicKeep));
}

void cStageScene::RaiseStageStartFlows() {
  cFlowHooks& flows = FlowHooks();
  const bool all = ProjectRule(kRuleStartInactiveFlows) != 0;
  if (!all) ActivateObjects();
  if (HasHero()) flows.TriggerFlowsOfKind(Hero(), kTriggerBeforeStageStart);
  for (cStageCharacter& character : m_CharacterList)
    if (all || character.m_bPresent) flows.TriggerFlowsOfKind(character, kTriggerBeforeStageStart);
  for (cStageCharacter& character : m_CharacterList) {
    if (character.m_bRemoved) {
      RemoveCharacter(character);
    } else if (character.m_nHp < 1) {
      HandleCharacterKilled(character);
      RemoveCharacter(character);
    }
  }
  FlushRemovals();
}

void cStageScene::SetStage(int32_t bLoadStage, int32_t bFirst) {
  WriteECLog("In SetStage bLoadStage = %d", bLoadStage);
  try {
    m_nFrameCounter = 0;
    DestroyObjects();

    if (bLoadStage) {
      // The working stage is rebuilt from the master copy (in playback the
      // replay's stage, kept since it was loaded).
      RestoreStageSettings(StageData, StageMasterData);
      if (ProjectRule(kRuleHeroRecord) == 0 && StageData.HasHero())
        StageData.m_PlacedCharacters.At(StageData.FindHeroIndex()) = KeptHeroRecord;
    }

    // The seed of this attempt (the clock layer's tick count, which a
    // virtual clock fixes); in replay playback the replay's, with its log
    // and play record back at their start.
    m_nRandomSeed = ReplayRecorder.StartAttempt(SceneManager.m_nLastTitleAction == kTitleReplay,
                                                ProjectRule(kRuleReplaysEnabled) != 0, SaveData, plat::TickCount());
    SRand(m_nRandomSeed);
    // Expression language (expr.cpp): each failing code statement shows its
    // message once per attempt.
    StageExprMessages().Clear();

    if (StageData.Int(kStageHeroCarryOver) && StageData.HasHero())
      SaveData.RestoreHeroState(0, StageData.m_PlacedCharacters.At(StageData.FindHeroIndex()));

    StartStageMusic(bFirst);

    m_nObjectIdCounter = 0;
    m_nItemCounter = 0;
    StageData.ApplySpeedLevel(StageData.Int(kStageSpeedLevel));

    LayOutScroll();
    m_BlockMap.Build(StageData);
    m_BlockMap.Rules().FromStage(StageData);
    // Project switches (rules/system_switches.cpp): the system data's switches and
    // the stage's shot hit sizes, before any object is made.
    ApplyProjectSwitches(SystemData, StageData, m_BlockMap.Rules());
    m_BlockMap.Hooks().requestSound = [](int n) { RequestSoundEffect(n); };

    PlaceHero();
    m_BlockMap.SetHero(&Hero());

    cHero& hero = Hero();
    m_ScrollX.position = hero.m_dX - 320 + hero.m_nWidth / 2.0;
    m_ScrollX.Clamp();
    m_ScrollY.position = hero.m_dY - 240 + hero.m_nHeight / 2.0;
    m_ScrollY.Clamp();
    hero.UpdateScreenRect();
    BuildHeroSightMask();

    m_StageVariables.assign(kStageVariableCount, 0);
    PlaceCharactersAndItems();
    IndexGroups();
    GatherCharactersIntoLargePages();

    auto anySide = [](const cStageParam& area) {
      return area.m_nValues[0] || area.m_nValues[1] || area.m_nValues[2] || area.m_nValues[3];
    };
    m_bRemoveCharacters = anySide(StageData.m_Params[kRemovalCharacters]) ? 1 : 0;
    m_bRemoveBlockCharacters = anySide(StageData.m_Params[kRemovalBlockCharacters]) ? 1 : 0;
    m_bRemoveItems = anySide(StageData.m_Params[kRemovalItems]) ? 1 : 0;

    m_MessageWindows.clear();
    m_Effects.clear();
    // No screen colour is laid over the new stage (level 255: unchanged).
    m_Layers.m_ScreenColor = cScreenColor();
    ReleasePictures();

    m_HitCheckSteps = BuildHitCheckSteps(SubStepsPerFrame(), StageData.Int(kStageHitChecksPerFrame));

    m_nEndRequest = kEndNone;
    m_nBannerCounter = 0;
    m_nBanner2Counter = 0;
    if (StageData.Int(kStageTimeLimitOn) == 0) {
      m_nTimeLeft = kTimeLimitMax;
      m_bTimeLimitOff = 1;
    } else {
      m_bTimeLimitOff = 0;
      m_nTimeLeft = std::clamp(StageData.Int(kStageTimeLimit), 0, kTimeLimitMax);
    }
    m_nFramesPlayed = 0;
    m_nClearTime = 0;
    m_GroupWakeUp.assign(kGroupWakeUpCount, 0);
    m_nNextStageNumber = 0;
    m_nStepIndex = 0;
    m_nStepCount = 0;
    SaveData.m_nScore = 0;

    if (SceneManager.m_nLastTitleAction == kTitleReplay || (bFromEditor && SceneManager.m_bTestPlay))
      SaveData.ClearStageCounters();
    SaveData.KeepVariables();

    ResetInput();
    MenuCursor.Reset();
    CountCalls(0, 0);
    DDRestoreBasePalette();
    SceneManager.m_nFrameRate = static_cast<uint32_t>(std::max(StageData.Int(kStageFrameRate), 1));
    m_nStageFrameRate = SceneManager.m_nFrameRate.load();

    for (cHero& h : m_HeroList) h.LinkInitialTargets(&hero, nullptr);
    for (cStageCharacter& character : m_CharacterList) character.LinkInitialTargets(&hero, nullptr);

    RaiseStageStartFlows();

    ActivateObjects();
    // The stage's own request: DrawFrame switches the virtual back buffer on.
    m_wVirtualBackBuffer = static_cast<uint16_t>(ProjectRule(kRuleVirtualBackBuffer));
    DDSetVirtualBackBuffer(0);
    m_ScreenEffect = cScreenEffectSlot();  // screen effects: none carried over
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory("while setting up the stage");
    ShowError("%s", plat::Sjis("メモリ不足により、ステージの初期設定に失敗しました！").c_str());
    // A half-built stage cannot be played on: a fault that ends the game.
    RequestQuit();
  }
  WriteECLog("Out SetStage");
}

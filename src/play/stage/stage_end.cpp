// How a stage ends and what follows: a clear goes through EndStage into the
// result screen and then through Tally, which updates the play record and
// chooses the next scene (or the next stage of a chain); a hero death plays
// the hero's death sequence, at whose end a life is taken and the play goes
// to a retry, the continue menu or game over.
#include <algorithm>
#include <limits>

#include "base/program.h"
#include "base/text_path.h"
#include "data/data_paths.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/input.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"
#include "scene/scene.h"

namespace {

constexpr int32_t kMaxLives = 99;
constexpr int32_t kResultCountDone = 200;  // the result screen takes decide above 199
constexpr int32_t kExtraLifeWaitFrames = 30;

// A sum of the play record (result values, points): held at the ends of its
// 32-bit range. Stage and save files can hand it values near those ends (a
// hero of two thousand million HP, a best score below zero); the sum stops
// there instead of running past it.
void AddHeld(int32_t& sum, int64_t value) {
  sum = static_cast<int32_t>(std::clamp<int64_t>(int64_t{sum} + value, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max()));
}

}  // namespace

void cStageScene::AwardStageClear() {
  const int32_t oldPoints = SaveData.m_nStagePoints;
  AddHeld(SaveData.m_nStagePoints, SaveData.m_nScore);
  if (!m_bTimeLimitOff) AddHeld(SaveData.m_nTimeLeftSum, m_nTimeLeft);
  AddHeld(SaveData.m_nClearTimeSum, m_nClearTime);
  if (HasHero()) {
    AddHeld(SaveData.m_nHpLeftSum, Hero().m_nHp);
    AddHeld(SaveData.m_nSpLeftSum, Hero().m_nSp);
  }
  // The points per life (System.dat #2) may be any 32-bit word: the
  // multiples passed are counted in 64 bits, where a step of -1 under the
  // lowest points, or points that ran from one end of their range to the
  // other, still have their quotient and difference.
  const int64_t perLife = ProjectRule(kRulePointsPerLife);
  if (SaveData.m_nLives == kUnlimitedLives || ProjectRule(kRuleExtraLives) == 0 || perLife == 0) return;
  const int64_t gained = int64_t{SaveData.m_nStagePoints} / perLife - int64_t{oldPoints} / perLife;
  for (int64_t k = 0; k < gained; ++k) {
    if (m_nQuitRequest) break;
    // A tiny points-per-life with a big score would otherwise block the
    // game for thousands of 30-frame messages: past the cap the lives left
    // to gain are counted at once, silently.
    if (k >= kMaxExtraLifeMessages) {
      SaveData.m_nLives = static_cast<int32_t>(std::min<int64_t>(int64_t{SaveData.m_nLives} + (gained - k), kMaxLives));
      break;
    }
    SaveData.m_nLives = static_cast<int32_t>(std::min<int64_t>(int64_t{SaveData.m_nLives} + 1, kMaxLives));
    RequestSoundEffect(kSoundExtraLife);
    // ---- message windows: the extra-life picture rises over the hero ----
    std::shared_ptr<cMessageWindow> popUp;
    if (HasHero()) {
      cMessageSettings settings;
      settings.style = kMessageExtraLife;
      settings.positionMode = cStageScene::kMessageAboveHero;
      settings.fixPosition = 1;
      settings.displayMode = kMessageTimed;
      settings.remainingFrames = kMessagePopUpFrames;
      settings.keepCounting = 1;
      settings.followedId = Hero().m_nId;
      popUp = AddMessageWindow(settings);
    }
    // ---- end of message windows ----
    // The extra-life message (drawn by the message windows) stays 30 frames
    // while the stage is kept drawn; then it goes.
    SetWaitState(4, 0, kExtraLifeWaitFrames, 0);
    KeepFramesWhileWaiting();
    RemoveMessageWindow(popUp);
    // The next life waits while the program is in the background.
    while (!m_nQuitRequest && !g_bActive.load()) plat::Sleep(1);
  }
}

std::shared_ptr<cMessageWindow> cStageScene::AddMessageWindow(const cMessageSettings& settings) {
  if (m_MessageWindows.size() >= kMaxMessageWindows) m_MessageWindows.pop_front();
  m_MessageWindows.push_back(std::make_shared<cMessageWindow>(settings));
  return m_MessageWindows.back();
}

void cStageScene::RemoveMessageWindow(const std::shared_ptr<cMessageWindow>& window) {
  if (!window) return;
  m_MessageWindows.remove(window);
}

void (*cStageScene::s_pWaitPacer)() = WaitFrameTime;
bool cStageScene::s_bWaitDrawsFrames = true;

bool cStageScene::KeepFramePass(cFrameKeeper& keeper, bool& frame) {
  frame = false;
  // The thread's messages: the end of the wait (the window is closing) or
  // of the thread ends it; a window of this thread gets its own.
  plat::Message msg;
  while (plat::PeekMessage(msg, true)) {
    if (msg.window == 0 && (msg.message == plat::WM_QUIT || msg.message == kEndFrameKeeping)) {
      // The game thread's own end is still to come: its loop takes it.
      if (msg.message == plat::WM_QUIT) plat::PostQuitMessage(static_cast<int>(msg.wParam));
      keeper.closing = true;
      return false;
    }
    plat::DispatchMessage(msg);
  }
  if (!g_bActive.load()) {
    plat::Sleep(1);
    return true;
  }
  if (m_nQuitRequest) {
    // The window is closing: no more frames; the wait ends by itself once
    // the grace time has passed without its end message.
    const uint32_t now = plat::TickCount();
    if (!keeper.quitSeen) {
      keeper.quitSeen = true;
      keeper.quitSeenAt = now;
    }
    if (now - keeper.quitSeenAt >= kQuitGraceMs) {
      keeper.closing = true;
      return false;
    }
    plat::Sleep(1);
    return true;
  }
  if (s_pWaitPacer) s_pWaitPacer();
  if (!RestoreLostSurfaces()) RequestQuit();  // a fault: the pictures are gone for good
  cInput& input = InputRecords.At(0);
  if (!keeper.input) {
    UpdateInput(InputRecords);
  } else if (!keeper.input(input)) {
    return false;  // a replay's log has run out
  }
  if (keeper.recordHistory) input.RecordHistory();
  input.LatchButtons(0);
  frame = true;
  return true;
}

void cStageScene::EndWaitForClose(const cFrameKeeper& keeper) {
  if (keeper.closing) plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
}

namespace {

// Tells the window's close handling that a wait keeps the frames going.
class KeepingFrames {
 public:
  explicit KeepingFrames(cStageSceneBase& scene) : scene_(scene), before_(scene.m_bKeepingFrames.exchange(1)) {}
  ~KeepingFrames() { scene_.m_bKeepingFrames.store(before_); }
  KeepingFrames(const KeepingFrames&) = delete;
  KeepingFrames& operator=(const KeepingFrames&) = delete;

 private:
  cStageSceneBase& scene_;
  int32_t before_;
};

}  // namespace

void cStageScene::SkipRecordedWait(const cFrameKeeper& keeper) {
  // The viewer ended a wait for decide of a replay before its player did:
  // the rest of the wait's recorded frames are read as the kept frames
  // would have taken them (not shown), up to the one whose decide ended the
  // wait in the recording, so that the input and the log stand where the
  // recording had them when play goes on. The latch lets a held decide
  // through on its first frame only, so a decide seen here is a fresh
  // press. A wait of the next command keeps its own frames.
  cInput& input = InputRecords.At(0);
  while (ReplayRecorder.FeedRecordedWaitFrame(input)) {
    if (keeper.recordHistory) input.RecordHistory();
    input.LatchButtons(0);
    if (input.m_wButtons & 1) return;
  }
}

int32_t cStageScene::KeepFramesWhileWaiting() {
  if (m_nQuitRequest) return 0;
  cInput& input = InputRecords.At(0);
  input.ClearHistory();
  input.TrimHistory();
  input.m_wDirection = 0;
  input.m_wButtons = 0;
  KeepingFrames keeping(*this);
  cFrameKeeper keeper;
  int32_t presented = 0;
  bool decideBefore = true;  // a decide held when the wait begins does not end it
  // Replays: the wait's frames are part of the attempt's log, so that
  // playback waits as long as the player did. In playback the log gives
  // each kept frame's input; recording keeps the input as polled.
  const bool playback = SceneManager.m_nLastTitleAction == kTitleReplay;
  const bool recording = !playback && ProjectRule(kRuleReplaysEnabled) != 0;
  uint16_t polledDirection = 0, polledButtons = 0;
  // Playback also polls the viewer's own keys: their fresh decide ends a
  // wait for decide as the player's did (one held when the wait begins
  // does not).
  bool viewerDecide = false, viewerDecideBefore = true;
  if (playback) {
    keeper.input = [&](cInput& in) {
      UpdateInput(InputRecords);
      viewerDecide = (InputRecords.At(0).m_wButtons & 1) != 0;
      return ReplayRecorder.FeedWaitFrame(in, m_nWaitDelay == 0 && !decideBefore);
    };
  } else if (recording) {
    keeper.input = [&](cInput& in) {
      UpdateInput(InputRecords);
      polledDirection = in.m_wDirection;
      polledButtons = in.m_wButtons;
      return true;
    };
  }
  // However long the player leaves the game on a wait for decide, it still
  // waits: only decide, its time running out, the end of a replay's log or
  // the window's close end it.
  for (;;) {
    bool frame = false;
    if (!KeepFramePass(keeper, frame)) break;
    if (!frame) continue;
    bool over = false;
    // A pass that saved a replay (F1, F2) is no frame of the wait.
    if (!CheckReplaySaveKeys()) {
      if (recording) ReplayRecorder.RecordWaitFrame(polledDirection, polledButtons);
      const bool decideNow = (input.m_wButtons & 1) != 0;
      const bool viewerPressed = viewerDecide && !viewerDecideBefore;
      viewerDecideBefore = viewerDecide;
      if (m_nWaitDelay > 0) {
        --m_nWaitDelay;
      } else if (!m_bWaitForDecide) {
        over = --m_nWaitFrames < 0;
      } else if ((decideNow && !decideBefore) || viewerPressed) {
        RequestSoundEffect(m_nWaitKind == 1 ? kSoundMessageDecide : kSoundDecide);
        m_bButtonLatch = 1;
        over = true;
        if (!(decideNow && !decideBefore)) SkipRecordedWait(keeper);
      }
      decideBefore = decideNow;
    }
    if (over) break;
    if (s_bWaitDrawsFrames) {
      DrawFrame(0, 1, 0, 0);
      PresentFrame();
    }
    if (presented < std::numeric_limits<int32_t>::max()) ++presented;
  }
  EndWaitForClose(keeper);
  return presented;
}

void cStageScene::EndStage() {
  RequestSoundEffect(kSoundClear);
  AwardStageClear();
  m_bRankingRegistered = 0;
  m_bNewRanking = 0;
  m_RankingPositions.assign(kResultValueCount, -1);
  if (!SceneManager.m_bTestPlay && (!bRankingOn || !IsFinalStage())) return;
  m_ResultValues = {SaveData.m_nStagePoints, SaveData.m_nTimeLeftSum, SaveData.m_nClearTimeSum,
                    SaveData.m_nHpLeftSum, SaveData.m_nSpLeftSum};
  FindRankingPositions();
}

int cStageScene::MakeNextStageFileName(std::string& out, int32_t n) {
  out.clear();
  if (!SaveData.m_bFirstStage || m_nNextStageNumber == 0) return 0;
  const char* extension = DataExtensions.At(kExtStage).c_str();
  std::string base;
  // Both names are kept with a trailing "." that the file name drops; an
  // empty one has nothing to drop.
  if (!m_strNextStageName.empty()) {
    base = m_strNextStageName;
    base.pop_back();
    out = base + "." + extension;
  } else {
    base = SaveData.StageBaseName();
    if (!base.empty()) base.pop_back();
    out = base + "-" + std::to_string(n) + "." + extension;
  }
  std::string found;
  if (FindLastNumberedFileString(found, out, extension)) {
    out = found;
    return 1;
  }
  out.clear();
  return 0;
}

int cStageScene::IsFinalStage() {
  std::string name;
  return MakeNextStageFileName(name, m_nNextStageNumber) ? 0 : 1;
}

int cStageScene::DefeatHero() {
  // The defeat runs the hero's death flows, counts the score and starts the
  // death sequence, which DrawHero plays and whose end FinishHeroDeath
  // hands over. A hero already in its sequence is not defeated twice.
  if (!HasHero()) return 0;
  cHero& hero = Hero();
  if (hero.m_bDying) return 0;
  return hero.Defeat();
}

int cStageScene::CheckCharacterDefeat(cCharacter& character) {
  // Damage and defeat (combat): a player-controlled character's defeat is
  // the hero's death (2); one already dying has been handed over; any
  // other is defeated (death flows, score, its item, the death display).
  if (character.m_nKind == 0) return kCheckKilled;
  if (character.m_bDying) return kCheckGoOn;
  return character.Defeat();
}

int cStageScene::HandleCharacterKilled(cCharacter& character) {
  const int r = CheckCharacterDefeat(character);
  if (r == kCheckStageEnd) {
    EnterResult();
    return kCheckStageEnd;
  }
  if (r == kCheckKilled) {
    RequestSoundEffect(kSoundHeroDeath);
    if (DefeatHero() > 0) EnterResult();
    return kCheckKilled;
  }
  return r;
}

void cStageScene::FinishHeroDeath() {
  if (SceneManager.m_nLastTitleAction == kTitleReplay) {
    SaveData.RestoreVariables(true, true);
    SetStage(1, 1);
    m_nMode = kStageModeBanner;
    return;
  }
  if (TakeLife() == 0) {
    m_nSubState = 0;
    m_nMode = kStageModeGameOver;
    return;
  }
  if (StageData.Int(kStageHeroCarryOver)) SaveData.ForgetResetParts();
  SaveData.RestoreVariables(false, RestoreVariablesOption());
  if (SceneManager.m_nPlayMode == kPlayStory && ProjectRule(kRuleContinueMenuInStory) != 0) {
    m_nSubState = 0;
    m_nMode = kStageModeContinue;
    return;
  }
  SetStage(1, 0);
  m_nMode = kStageModeBanner;
}

int32_t cStageScene::Tally() {
  if (StageData.Int(kStageStoreHero) && HasHero()) {
    cHeroCarryValues values;
    // The two hero counters a next stage takes over: HP and SP.
    values.nCounterA = Hero().m_nHp;
    values.nCounterB = Hero().m_nSp;
    values.nLives = SaveData.m_nLives;
    values.nMusicTrack = SaveData.m_nTrackPlaying;
    SaveData.StoreHeroState(0, Hero().Definition(), values);
  }
  const int32_t stage = SaveData.m_nStage;
  // The next stage of a chain, loaded into the working stage: 4 plays it.
  auto chainOn = [this]() -> bool {
    if (!SaveData.m_bFirstStage || m_nNextStageNumber == 0) return false;
    SaveData.m_nStage = m_nNextStageNumber;
    std::string next;
    if (!MakeNextStageFileName(next, m_nNextStageNumber) || StartStage(next, 1, &StageMasterData, &KeptHeroRecord) == 0)
      return false;
    // Replays: attempts of the stage before are not this stage's.
    KeyLogRecord.Reset();
    KeyLogPrevious.Reset();
    return true;
  };
  switch (SceneManager.m_nLastTitleAction) {
    case kTitleNewGame:
    case kTitleContinue:
      if (chainOn()) return kSceneStage;
      SaveData.SetProgressFlag(SaveData.m_nWorld, 1);
      // Under the world's stage (the play record's, the chain's first), so
      // that the world map finds the world it belongs to.
      SaveData.RecordStageResult(SaveData.StageBaseName(), SaveData.m_strStageName, SaveData.m_nStageNumber,
                                 SaveData.m_nStagePoints);
      switch (CurrentAfterClearAction()) {
        case 1:
          SaveData.BeginNextRound();
          break;
        case 2:
          // The title puts its cursor on the last chosen action.
          return kSceneTitle;
        default:
          break;
      }
      SaveData.m_nStage = stage;
      return kSceneWorldMap;
    case kTitleChallenge: {
      if (chainOn()) return kSceneStage;
      const int32_t world = SaveData.m_nWorld;
      if (cWorldProgressRecord* entry = SaveData.ChallengeEntry(world)) {
        entry->Cleared() = 1;
        if (entry->BestTotal() < SaveData.m_nStagePoints) {
          AddHeld(SaveData.m_nTotalPoints, int64_t{SaveData.m_nStagePoints} - entry->BestTotal());
          entry->BestTotal() = SaveData.m_nStagePoints;
        }
      }
      if (SaveData.m_nOpenedWorlds <= world)
        SaveData.m_nOpenedWorlds =
            static_cast<int32_t>(std::min<int64_t>(int64_t{world} + 1, SystemData.Num(kSysWorldCount)));
      // A progress file that cannot be written keeps the old one whole; the
      // run goes on with the progress in memory.
      SaveChallengeProgress(SaveData);
      SaveData.m_nStage = stage;
      return kSceneWorldSelect;
    }
    case kTitleFreePlay:
      if (!SaveData.m_bFirstStage || SceneManager.m_bTestPlay) {
        SaveData.m_bStartGiven = 0;
        return kSceneStage;  // FadeOut starts the same stage file again
      }
      if (chainOn()) return kSceneStage;
      SaveData.m_nStage = stage;
      return kSceneTitle;
    case kTitleReplay:
      SaveData.RestoreVariables(true, true);
      return kSceneStage;
    default:
      return kSceneWorldSelect;
  }
}

int cStageScene::RunResult() {
  const bool automatic = StageData.Int(kStageAutomaticResult) != 0;
  if (!automatic && CheckPauseKey()) {
    m_nSubState = 0;
    m_nMode = kStageModePause;
    return 0;
  }
  if (!automatic) {
    CheckReplaySaveKeys();  // replays; the result screen goes on
    const int32_t mode = OptionData.m_nRankingMode;
    if ((mode == 0 || mode == 1) && RankingKeyDown()) RunRankingEntry();
  }
  if (m_nSubState == 0) {
    m_nResultCounter = 0;
    m_nSubState = 1;
  }
  if (m_nSubState != 1) return 0;
  cInput& input = InputRecords.At(0);
  input.LatchButtons(0);
  input.UpdateRepeat();
  if (m_nResultCounter >= kResultCountDone && (automatic || (input.m_wButtons & 1))) {
    const int32_t mode = OptionData.m_nRankingMode;
    const bool registered = m_bNewRanking && (mode == 2 || mode == 3) && RunRankingEntry() != 0;
    if (!registered && !automatic) RequestSoundEffect(kSoundDecide);
    SceneManager.m_nNext = Tally();
    m_nResultCounter = 0;
    m_nSubState = 0;
    m_nMode = kStageModeFadeOut;
    return 0;
  }
  const bool rankingHint = WantsRankingHint();
  DrawFrame(0, 1, 0, rankingHint ? 0 : 1);
  if (StageData.Int(kStageResultBannerOn) == 0) {
    m_nResultCounter = kResultCountDone;
  } else {
    m_nResultCounter = std::min(m_nResultCounter + 4, kResultCountDone);
    const int32_t offset = std::max(100 - m_nResultCounter, 0);
    // The strip slides together from 4-dot slices while it comes in.
    for (int32_t sliceY = 0; sliceY < 32; sliceY += 4) {
      const int32_t dx = (sliceY / 4) % 2 == 0 ? -offset : offset;
      DDBlt(DDBackBuffer(), 256 + dx, 192 + sliceY, 128, 4, &GameSurfaces[kBannerSurface], 0, kClearStripY + sliceY,
            1);
    }
  }
  DrawResultScreen(rankingHint);
  return 0;
}

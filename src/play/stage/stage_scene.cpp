// The stage scene's mode machine: entry, fades, start banners, the pause,
// continue and game-over menus, and the scroll records. The play frame is in
// play_frame.cpp, the set-up in stage_setup.cpp, the stage end and the death
// hand-over in stage_end.cpp.
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/logs.h"
#include "base/program.h"
#include "base/text_path.h"
#include "data/item.h"
#include "data/system_data.h"
#include "gfx/game_fonts.h"
#include "gfx/palette_tools.h"
#include "gfx/surface_table.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "scene/input.h"
#include "scene/menu_cursor.h"
#include "scene/menu_rows.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"

int32_t bRankingOn = 0;
cEdCharacter cStageScene::KeptHeroRecord;

namespace {

constexpr uint32_t kSoundRequest = plat::WM_USER + 5;

// Where the menus and strips of the scene are drawn (dots).
constexpr int32_t kMenuCentreX = 320;
constexpr int32_t kMenuTop = 272;
constexpr int32_t kMenuRowHeight = 16;
constexpr int32_t kBannerX = 256;
constexpr int32_t kBannerY = 224;
constexpr int32_t kSoundCursor = 0;  // the menus' cursor sound

// Pause rows in vector order: their index is the action.
enum PauseAction : int { kPauseQuit = 0, kPauseResume = 1, kPauseRetry = 2, kPauseBackToMap = 3 };
// System texts of the menus.
constexpr int kTextPauseFirst = 19;
constexpr int kTextContinueFirst = 23;

cInput& Input0() { return InputRecords.At(0); }

void PostCloseToMainWindow() { plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, 0, 0); }

}  // namespace

// The restore-variables option of the current play mode (story, challenge,
// free play; replays and the rest use the last).
bool cStageScene::RestoreVariablesOption() {
  switch (SceneManager.m_nPlayMode) {
    case kPlayStory: return ProjectRule(kRuleRestoreVariablesStory) != 0;
    case kPlayChallenge: return ProjectRule(kRuleRestoreVariablesChallenge) != 0;
    case kPlayFree: return ProjectRule(kRuleRestoreVariablesFree) != 0;
    default: return ProjectRule(kRuleRestoreVariablesOther) != 0;
  }
}

namespace {

// The cursor pictures of the menus.
DDSURFACEDATA* SystemPicture() { return &GameSurfaces[SURF_ACCESSORY]; }
// The words of the banners and strips.
DDSURFACEDATA* BannerPicture() { return &GameSurfaces[kBannerSurface]; }

// One frame of the whole screen's fade from black (in) or toward it (out) at
// the scene manager's fade speed: true on the frame that draws the end
// state. An 8-bit display fades through the working palette, computed from
// the game's palette; deeper ones fade the picture itself.
bool StepScreenFade(bool fadingIn) {
  const double speed = SceneManager.m_nFadeSpeed;
  return fadingIn ? DDFadePaletteIn(DDState.DDPaletteWork, 0, 255, 0, 0, 0, speed, DDState.DDPalette, 0)
                  : DDFadePaletteOut(DDState.DDPaletteWork, 0, 255, 0, 0, 0, speed, DDState.DDPalette, 0);
}

}  // namespace

// ---- cAutoScroll ----

void cAutoScroll::Clamp() {
  if (rangeLow >= position) {
    position = rangeLow;
    atLimit = 1;
  } else if (position + m_nViewSize >= rangeHigh) {
    position = rangeHigh - m_nViewSize;
    if (position < rangeLow) position = rangeLow;
    atLimit = 1;
  } else {
    atLimit = 0;
  }
}

void cAutoScroll::Step() {
  position += step;
  Clamp();
}

void cAutoScroll::Start(int32_t on, int32_t speed, double frameScale) {
  if (on) {
    // A frame scale of 0 comes only from a stage without a speed level; such
    // a stage scrolls as at level 1.
    step = speed * 0.1 / (frameScale != 0.0 ? frameScale : 1.0);
    m_bActive = 1;
  } else {
    step = 0.0;
    m_bActive = 0;
  }
}

void cAutoScroll::SetRange(int32_t first, int32_t last, int32_t limitFirst, int32_t limitLast) {
  // 64-bit: a loaded stage keeps its columns and rows in 16 bits, but those
  // of a stage built in code are any numbers; the ends are held to 32 bits.
  const auto dots = [this](int64_t block) {
    return static_cast<int32_t>(std::clamp<int64_t>(block * 32 + m_nBase, INT32_MIN, INT32_MAX));
  };
  rangeLow = limitFirst ? dots(first) : m_nBase;
  if (limitLast) {
    rangeHigh = std::max(dots(int64_t{last} + 1), rangeLow);
  } else {
    rangeHigh = m_nFullUpper;
  }
}

// ---- sounds and lives ----

void RequestSoundEffect(int32_t n) {
  plat::SendMessage(g_hMainWnd.load(), kSoundRequest, static_cast<uint64_t>(static_cast<int64_t>(n)), 0);
}

void RequestSoundEffectById(int32_t id) {
  if (id != 0) RequestSoundEffect(id + 16);
}

int TakeLife() { return SaveData.TakeLife(SceneManager.m_bTestPlay != 0); }

cStageScene* CurrentStageScene() { return static_cast<cStageScene*>(g_lpStageScene.load()); }

cScene* CreateStageScene() { return new cStageScene(); }

// ---- construction ----

cStageScene::cStageScene() {
  m_Handlers = {&cStageScene::FadeIn,         &cStageScene::RunStartBanner, &cStageScene::RunPlay,
                &cStageScene::RunPauseMenu,   &cStageScene::RunResult,      &cStageScene::RunContinueMenu,
                &cStageScene::RunGameOver,    &cStageScene::FadeOut};
  m_nQuitRequest = 0;
  SaveData.m_nTrackPlaying = 0;
  m_nMode = kStageModeNone;
  m_CharacterGroups.resize(kGroupCount);
  m_ShotGroups.resize(kGroupCount);
  m_RankingPositions.assign(kResultValueCount, -1);
  m_ResultValues.assign(kResultValueCount, 0);
  m_StageVariables.assign(kStageVariableCount, 0);
  m_GroupWakeUp.assign(kGroupWakeUpCount, 0);
  // Hits and contacts (combat): a block's item reacts as any item taken.
  m_BlockMap.Hooks().runItemReaction = [this](cHero& hero, int kind, int index) {
    return RunReactionRecord(GetPaletteItem(kind, index), hero);
  };
}

cStageScene::~cStageScene() {
  // Nothing may point into the lists once they are gone.
  SetStageView(nullptr, nullptr);
  m_BlockMap.SetHero(nullptr);
  CurrentCharacter = nullptr;
  CurrentFlow = nullptr;
  CurrentCommand = nullptr;
  for (auto& group : m_CharacterGroups) group.clear();
  ClearShots(*this);
  m_CharacterList.clear();
  ++m_nCharacterFlushes;
  m_ItemList.clear();
  m_HeroList.clear();
}

void cStageScene::SetWaitState(int32_t kind, int32_t waitForDecide, int32_t frames, int32_t noDelay) {
  m_nWaitKind = kind;
  m_bWaitForDecide = waitForDecide;
  m_nWaitFrames = frames;
  m_nWaitDelay = (waitForDecide && kind == 1 && noDelay == 0) ? 10 : 0;
}

// ---- the mode machine ----

int cStageScene::Run() {
  if (m_nMode == kStageModeNone) {
    Enter();
    m_nMode = kStageModeFadeIn;
  }
  // Without a playable stage (its load failed and was reported) nothing
  // runs; the program is closing.
  if (!HasHero()) return 0;
  if (m_nMode < 0 || m_nMode >= kStageModeCount) return 0;
  return (this->*m_Handlers[static_cast<size_t>(m_nMode)])();
}

void NameStageBackgroundSurfaces() {
  // A layer record that paints a bitmap names its picture; the others stay
  // empty.
  for (int i = 0; i < kBackgroundLayerCount; ++i) {
    const bool hasPicture = i < static_cast<int>(StageData.m_Backgrounds.size()) &&
                            !BackgroundIsFill(StageData.m_Backgrounds[static_cast<size_t>(i)]);
    SetBackgroundSurface(i + 1, hasPicture ? StageData.m_Backgrounds[static_cast<size_t>(i)].m_strFile.c_str() : "");
  }
}

int cStageScene::Enter() {
  m_RankingPositions.assign(kResultValueCount, -1);
  m_ResultValues.assign(kResultValueCount, 0);
  // A stage that cannot be played is a fault that ends the game.
  if (!StageData.HasHero()) {
    RequestQuit();
    return 0;
  }

  NameStageBackgroundSurfaces();
  const bool fromStage = SceneManager.m_nPrevious == kSceneStage;
  SurfaceList surfaces = fromStage ? StageBackgroundSurfaces() : StageSurfaces();
  if (!DDLoadSurfaces(GameSurfaces, surfaces.indices, surfaces.count)) {
    RequestQuit();
    return 0;
  }
  if (!fromStage) {
    // The tile work surfaces are redrawn by the next frame.
    m_bWorkSurfaceDirty[0] = m_bWorkSurfaceDirty[1] = 1;
    LoadCharacterBitmaps();
    LoadSwordBitmaps();
    LoadEffectBitmaps();
    ResetPlayCounters();
    TakeLife();
  }
  SetStage(fromStage ? 1 : 0, 1);
  MenuCursor.Reset();
  m_nSubState = 0;
  return 0;
}

int cStageScene::FadeIn() {
  DrawFrame(0, 1, 0, 1);
  if (StepScreenFade(true)) m_nMode = kStageModeBanner;
  return 0;
}

int cStageScene::FadeOut() {
  // No frame of its own: the fade works on the last picture drawn.
  if (!StepScreenFade(false)) return 0;
  // The faded screen is cleared to black. Palette number 0 is the
  // transparent colour, which a 16/32-bit DirectDraw display shows as it is
  // (for one frame, before the next scene draws), so DirectDraw clears with
  // the raw value 0, black at those depths and entry 0 of the faded palette
  // at 8 bits.
  if (lpDTCon)
    DDFillSurface(DDBackBuffer(), 0);
  else
    DDFillSurfaceColor(DDBackBuffer(), 0);
  if (SceneManager.m_bTestPlay || (SceneManager.m_nLastTitleAction == kTitleFreePlay && SaveData.m_bFirstStage == 0)) {
    SaveData.m_bFirstStage = 0;
    if (!StartSingleStagePlay(StageData.m_strLoadedPath, 0)) RequestQuit();
  }
  SceneManager.m_nFrameRate = 60;
  m_nStageFrameRate = 60;
  SceneManager.m_nPrevious = kSceneStage;
  SceneManager.m_nCurrent = SceneManager.m_nNext.load();
  m_nMode = kStageModeNone;
  return 0;
}

void cStageScene::SetHeroStartAnime() {
  if (!HasHero()) return;
  cHero& hero = Hero();
  hero.m_AnimePlayer.SetAnime(hero.m_bFreeVertical != 0 ? 2 : 0, 0);
}

int cStageScene::RunStartBanner() {
  DrawFrame(0, 1, 0, 1);
  DDSURFACEDATA* back = DDBackBuffer();
  // Stages started by the editor for a test begin at once.
  if (!(bFromEditor && SceneManager.m_bTestPlay)) {
    if (SceneManager.m_nLastTitleAction == kTitleReplay) {
      if (++m_nBannerCounter < kBannerFrames) {
        DDBlt(back, kBannerX, kBannerY, 128, 32, BannerPicture(), 0, kReplayStripY, 1);
        return 0;
      }
    } else {
      if (StageData.Int(kStageBannerOn) != 0 && m_nBannerCounter < kBannerFrames &&
          ++m_nBannerCounter < kBannerFrames) {
        DDBlt(back, kBannerX, kBannerY, 128, 32, BannerPicture(), 0, kStageStripY, 1);
        DDDrawNumber(back, 384, kBannerY, 32, 32, BannerPicture(), 0, kBannerDigitsY, 1, SaveData.m_nStage, 1, 0);
        return 0;
      }
      if (StageData.Int(kStageSecondBannerOn) != 0 && m_nBanner2Counter < kBannerFrames &&
          ++m_nBanner2Counter < kBannerFrames) {
        DDBlt(back, 280, kBannerY, 80, 32, BannerPicture(), kSecondBannerX, kStageStripY, 1);
        return 0;
      }
    }
  }
  SetHeroStartAnime();
  m_nBannerCounter = 0;
  m_nMode = kStageModePlay;
  return 0;
}

int cStageScene::CheckPauseKey() {
  if (ProjectRule(kRulePauseAllowed) == 0 || plat::GetAsyncKeyState(plat::VK_SPACE) >= 0) return 0;
  RequestSoundEffect(kSoundPause);
  m_nSavedMode = m_nMode;
  m_nSavedSubState = m_nSubState;
  return 1;
}

// Replays: not offered during playback. An empty attempt sounds the buzzer.
int cStageScene::CheckReplaySaveKeys() {
  const auto request = ReplayRecorder.PollSaveKeys(
      plat::GetAsyncKeyState(plat::VK_F1) < 0, plat::GetAsyncKeyState(plat::VK_F2) < 0,
      SceneManager.m_nLastTitleAction == kTitleReplay, ProjectRule(kRuleReplaysEnabled) != 0);
  switch (request) {
    case cReplayRecorder::SaveRequest::kNone: return 0;
    case cReplayRecorder::SaveRequest::kRefused: RequestSoundEffect(kSoundBuzzer); return 0;
    default:
      RequestSoundEffect(kSoundDecide);
      if (ReplayRecorder.m_AskSave)
        ReplayRecorder.m_AskSave(request == cReplayRecorder::SaveRequest::kPrevious ? 1 : 0);
      return 1;
  }
}

bool cStageScene::IsCurrentWorldCleared() const { return SaveData.IsWorldCleared(SaveData.m_nWorld); }

bool cStageScene::IsCurrentChallengeCleared() const {
  const cWorldProgressRecord* entry = SaveData.ChallengeEntry(SaveData.m_nWorld);
  return entry && entry->m_nValue[0] != 0;
}

void cStageScene::BuildPauseRows() {
  m_PauseRows.resize(kPauseRowCount);
  for (int row = 0; row < kPauseRowCount; ++row) {
    cCmd& cmd = m_PauseRows.At(row);
    cmd.m_bEnabled = 1;
    cmd.m_strLabel = SystemData.m_Texts.At(kTextPauseFirst + row);
  }
  switch (SceneManager.m_nPlayMode) {
    case kPlayStory:
      if (!(ProjectRule(kRuleRetryInStory) != 0 && IsCurrentWorldCleared())) m_PauseRows.At(kPauseRetry).m_bEnabled = 0;
      if (!(ProjectRule(kRuleBackToMapInStory) != 0 && IsCurrentWorldCleared()))
        m_PauseRows.At(kPauseBackToMap).m_bEnabled = 0;
      break;
    case kPlayChallenge:
      if (!(ProjectRule(kRuleRetryInChallenge) != 0 && IsCurrentChallengeCleared()))
        m_PauseRows.At(kPauseRetry).m_bEnabled = 0;
      m_PauseRows.At(kPauseBackToMap).m_bEnabled = 0;
      break;
    default:
      m_PauseRows.At(kPauseBackToMap).m_bEnabled = 0;
      break;
  }
}

void cStageScene::DrawMenuCursor() {
  const MenuCursorRecord& cursor = MenuCursor.Current();
  DDBlt(DDBackBuffer(), cursor.m_nX, cursor.m_nY, 16, 16, SystemPicture(), 64, 0, 1);
}

int cStageScene::RunPauseMenu() {
  if (CheckReplaySaveKeys()) return 0;  // replays
  BuildPauseRows();
  if (m_nSubState == 0) {
    MenuCursor.Current().m_nRow = kPauseResume;
    m_nSubState = 1;
  }
  cInput& input = Input0();
  input.LatchButtons(0);
  input.UpdateRepeat();
  const int rows = CountEnabled(m_PauseRows);
  const int32_t x = GetMaxTextWidth(kMenuCentreX, m_PauseRows);
  // The cursor stands on an enabled row; a row count that shrank since the
  // last frame (a setting cannot change mid-pause, but be safe) wraps it.
  if (MenuCursor.Current().m_nRow >= rows) MenuCursor.Current().m_nRow = 0;
  MenuCursor.MoveGrid(input, x, kMenuTop, 0, kMenuRowHeight, 1, rows);
  PlayCursorSound(input, 2, kSoundCursor);

  if (input.m_wButtons & 1) {
    const int action = GetCmdNum(MenuCursor.Current().m_nRow, m_PauseRows);
    RequestSoundEffect(kSoundDecide);
    switch (action) {
      case kPauseQuit:
        m_nMode = kStageModeFadeOut;
        if (SceneManager.m_bTestPlay) {
          PostCloseToMainWindow();
        } else {
          SceneManager.m_nNext = kSceneTitle;
          MenuCursor.Current().m_nRow = SceneManager.m_nLastTitleAction;
          m_nSubState = 0;
        }
        break;
      case kPauseResume:
        m_bButtonLatch = 1;
        m_nMode = m_nSavedMode;
        m_nSubState = m_nSavedSubState;
        break;
      case kPauseRetry:
        m_bButtonLatch = 1;
        SaveData.RestoreVariables(true, RestoreVariablesOption());
        SetStage(1, 0);
        m_nMode = kStageModeBanner;
        m_nSubState = 0;
        break;
      case kPauseBackToMap:
        m_bButtonLatch = 1;
        SaveData.RestoreVariables(false, RestoreVariablesOption());
        SaveData.m_bStepBack = 1;
        SceneManager.m_nNext = kSceneWorldMap;
        m_nSubState = 0;
        m_nMode = kStageModeFadeOut;
        break;
      default:
        break;
    }
    return 0;
  }
  if (input.m_wButtons & 2) {
    RequestSoundEffect(kSoundCancel);
    m_bButtonLatch = 1;
    m_nMode = m_nSavedMode;
    m_nSubState = m_nSavedSubState;
    return 0;
  }
  DrawFrame(0, 1, 0, 1);
  // The rows as one text of lines, each after the cursor's place.
  std::string text;
  for (const cCmd& row : m_PauseRows)
    if (row.m_bEnabled != 0) text += " " + row.m_strLabel + "\n";
  if (GameFonts[1].Created()) GameFonts[1].DrawText(DDBackBuffer(), x, kMenuTop, text.c_str());
  DrawMenuCursor();
  return 0;
}

int cStageScene::RunContinueMenu() {
  if (CheckReplaySaveKeys()) return 0;  // replays
  if (m_nSubState == 0) {
    MenuCursor.Current().m_nRow = 0;
    m_nSubState = 1;
  }
  cInput& input = Input0();
  input.LatchButtons(0);
  input.UpdateRepeat();
  const int32_t x = SystemData.GetMenuLeft(kMenuCentreX, kTextContinueFirst, 2, true);
  MenuCursor.MoveGrid(input, x, kMenuTop, 0, kMenuRowHeight, 1, 2);
  PlayCursorSound(input, 2, kSoundCursor);
  if (input.m_wButtons & 1) {
    RequestSoundEffect(kSoundDecide);
    if (MenuCursor.Current().m_nRow == 0) {
      SetStage(1, 0);
      m_nMode = kStageModeBanner;
    } else {
      SaveData.m_bStepBack = 1;
      SceneManager.m_nNext = kSceneWorldMap;
      m_nSubState = 0;
      m_nMode = kStageModeFadeOut;
    }
    return 0;
  }
  DrawFrame(0, 1, 0, 1);
  if (GameFonts[1].Created())
    GameFonts[1].DrawText(DDBackBuffer(), x, kMenuTop,
                          SystemData.MenuLabelText(kTextContinueFirst, 2, true).c_str());
  DrawMenuCursor();
  return 0;
}

int cStageScene::RunGameOver() {
  if (CheckPauseKey()) {
    m_nSubState = 0;
    m_nMode = kStageModePause;
    return 0;
  }
  if (CheckReplaySaveKeys()) return 0;  // replays
  if (Input0().m_wButtons & 1) {
    RequestSoundEffect(kSoundDecide);
    SceneManager.m_nNext = kSceneTitle;
    m_nMode = kStageModeFadeOut;
    return 0;
  }
  DrawFrame(0, 1, 0, 1);
  if (StageData.Int(kStageGameOverStripOn) != 0)
    DDBlt(DDBackBuffer(), 248, kBannerY, 144, 32, BannerPicture(), 0, kGameOverStripY, 1);
  return 0;
}

void cStageScene::ResetPlayCounters() {
  const bool replay = SceneManager.m_nLastTitleAction == kTitleReplay;
  SaveData.ResetPlayCounters(replay);
  m_ScrollX.position = 0.0;
  m_ScrollY.position = 0.0;
  m_nSubState = 0;
  m_nBannerCounter = 0;
  m_nBanner2Counter = 0;
  m_bButtonLatch = 0;
  m_nTimeLeft = 0;
  m_bRankingRegistered = 0;
  m_MessageWindows.clear();
  // Replays: a stage entered from a menu starts with no attempts recorded.
  if (!replay) ReplayRecorder.Reset();
  if (SceneManager.m_bTestPlay) SaveData.m_nStage = 1;
  // The ranking a clear of this stage is placed in, read once on entry.
  if (bRankingOn) LoadStageRanking();
}

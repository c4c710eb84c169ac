// The title: the menu of the game's commands (new game and continue over
// the save slots, challenge, free play, replay, options, quit).
#include <algorithm>
#include <cstdint>

#include "base/errors.h"
#include "base/text_path.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "front/dialog_requests.h"
#include "front/front_scenes.h"
#include "front/menu_frame.h"
#include "front/world_map_model.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/dd_frame.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"

cSaveSlotList SaveSlotList;

namespace {

constexpr int32_t kMenuX = 192, kMenuY = 240;
// The centre the picture menu is placed by: its left is 288 - width / 2.
constexpr int32_t kPictureMenuCentre = 288;
constexpr int32_t kSlotX = 160, kSlotY = 160;
constexpr int32_t kSlotPage = 10;

int32_t SettingOf(const cSafeVector<uint32_t>& list, int mode) {
  return mode < static_cast<int>(list.size()) ? static_cast<int32_t>(list.At(mode)) : 0;
}

int32_t RankingSwitch(int mode) {
  return mode < static_cast<int>(SystemData.m_Ranking.size()) ? SystemData.m_Ranking.At(mode).m_bOn : 0;
}

// Lives of a play mode's start: unlimited, or continues from the setting
// and one of them taken for the first attempt.
void SetStartLives(int mode) {
  if (SettingOf(SystemData.m_UnlimitedLives, mode) != 0) {
    SaveData.m_nContinues = SaveData.m_nLives = kUnlimitedLives;
  } else {
    SaveData.m_nContinues = SettingOf(SystemData.m_StartLives, mode);
    SaveData.m_nLives = static_cast<int32_t>(std::max<int64_t>(int64_t{SaveData.m_nContinues} - 1, INT32_MIN));
  }
}

enum TitlePhase : int32_t { kPhaseMenu = 1, kPhaseNewGame = 2, kPhaseContinue = 3, kPhaseLeave = 4 };

class cTitleScene : public cMenuScene {
 public:
  cTitleScene() : cMenuScene(kSceneTitle, kPhaseLeave) {}

  int Enter() override {
    PlayScreenMusic(0);
    if (!LoadScreenSurfaces(TitleSurfaces())) return 0;
    MenuCursor.Reset();
    m_Rows = EnabledCommands(SystemData.m_TitleCmds);
    const auto it = std::find(m_Rows.begin(), m_Rows.end(), SceneManager.m_nLastTitleAction);
    MenuCursor.Current().m_nRow = it == m_Rows.end() ? 0 : static_cast<int32_t>(it - m_Rows.begin());
    // Switch 11 off: the menu is the rows of the menu picture
    // ("GameMode.bmp", one 32-dot strip a command), as projects made before
    // the text menu existed have it.
    m_bPictureMenu = SystemData.Num(kSysTitleTextMenu) == 0;
    m_nMenuX = m_bPictureMenu ? kPictureMenuCentre - GameSurfaces[SURF_GAME_MODE].nWidth / 2 : kMenuX;
    MenuCursor.Current().m_nX = m_nMenuX;
    MenuCursor.Current().m_nY = kMenuY + MenuCursor.Current().m_nRow * 32;
    m_nSubStep = 0;
    return 0;
  }

 protected:
  void DrawScreen() override {
    DDSURFACEDATA* back = DDBackBuffer();
    DDBlt(back, 0, 0, 640, 480, &GameSurfaces[SURF_TITLE], 0, 0, 0);
    if (m_bPictureMenu) {
      // Each row the command's strip of the menu picture, right of the
      // cursor's column, with the colour key.
      DDSURFACEDATA* picture = &GameSurfaces[SURF_GAME_MODE];
      for (size_t row = 0; row < m_Rows.size(); ++row)
        DDBlt(back, m_nMenuX + 32, kMenuY + static_cast<int>(row) * 32, picture->nWidth, 32, picture, 0,
              m_Rows[row] * 32, 1);
    } else {
      int widest = 0;
      for (int32_t command : m_Rows) widest = std::max(widest, CountCharacters(Label(command).c_str()));
      cFont& font = GameFonts[2];
      if (font.Created()) {
        DrawMenuFrameBox(m_nMenuX + 1, kMenuY + 1, widest * 32 + 32, static_cast<int>(m_Rows.size()) * 32);
        for (size_t row = 0; row < m_Rows.size(); ++row)
          font.DrawText(back, m_nMenuX + 32, kMenuY + static_cast<int>(row) * 32, Label(m_Rows[row]).c_str());
      }
    }
    StepColourCycle();
  }

  void RunPhase(int32_t phase) override {
    switch (phase) {
      case kPhaseMenu: RunMenu(); break;
      case kPhaseNewGame:
      case kPhaseContinue: RunSlots(phase == kPhaseNewGame); break;
      default: break;
    }
  }

 private:
  static std::string Label(int32_t command) {
    return command < static_cast<int32_t>(SystemData.m_TitleCmds.size()) ? SystemData.m_TitleCmds.At(command).m_strLabel
                                                                          : std::string();
  }

  void RunMenu() {
    const int32_t rows = static_cast<int32_t>(m_Rows.size());
    MenuCursor.MoveGrid(Input(), m_nMenuX, kMenuY, 0, 32, 1, rows);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    if (!(Pressed() & kMenuDecide)) {
      DrawScreen();
      DDBlt(DDBackBuffer(), MenuCursor.Current().m_nX, MenuCursor.Current().m_nY, 32, 32, MenuSystemPicture(), 0, 0,
            1);
      return;
    }
    MenuSound(kMenuSoundDecide);
    const int32_t row = std::clamp(MenuCursor.Current().m_nRow, 0, rows - 1);
    const int32_t command = m_Rows[static_cast<size_t>(row)];
    SceneManager.m_nLastTitleAction = command;
    switch (command) {
      case kTitleNewGame:
      case kTitleContinue:
        SceneManager.m_nPlayMode = kPlayStory;
        bRankingOn = RankingSwitch(kPlayStory);
        MenuCursor.SetDepth(0);
        m_nSubStep = 0;
        m_nPhase = command == kTitleNewGame ? kPhaseNewGame : kPhaseContinue;
        break;
      case kTitleChallenge:
        SceneManager.m_nPlayMode = kPlayChallenge;
        bRankingOn = RankingSwitch(kPlayChallenge);
        if (LoadChallengeProgress(SaveData) != SlotResult::kOk) {
          SaveData.Reset();
          SaveData.m_WorldProgress.assign(static_cast<size_t>(std::max(SystemData.Num(kSysWorldCount), 0)),
                                          cWorldProgressRecord());
        }
        Leave(kSceneWorldSelect);
        break;
      case kTitleFreePlay: {
        SceneManager.m_nPlayMode = kPlayFree;
        bRankingOn = RankingSwitch(kPlayFree);
        const int32_t loaded = AskFreePlayStage();
        if (loaded == kFileRequestReplayLoaded) {
          // A replay chosen among the stages plays as the replay command's.
          SceneManager.m_nLastTitleAction = kTitleReplay;
          SceneManager.m_nPlayMode = kPlayReplay;
          bRankingOn = RankingSwitch(kPlayReplay);
          Leave(kSceneStage);
        } else if (loaded != 0) {
          Leave(kSceneStage);
        }
        break;
      }
      case kTitleReplay:
        SceneManager.m_nPlayMode = kPlayReplay;
        bRankingOn = RankingSwitch(kPlayReplay);
        if (AskReplayFile()) Leave(kSceneStage);
        break;
      case kTitleOptions: Leave(kSceneOptions); break;
      case kTitleQuit: CloseGameWindow(); break;
      default: break;
    }
  }

  void RunSlots(bool newGame) {
    if (m_nSubStep == 0) {
      if (newGame && SystemData.Num(kSysNewGameSlotChoice) == 0) {
        ResetGameProgress();
        Leave(kSceneWorldMap);
        return;
      }
      SaveSlotList.Rebuild(SaveData);
      MenuCursor.Current() = MenuCursorRecord{};
      m_nTop = 0;
      m_nSubStep = 1;
    }
    const int32_t count = static_cast<int32_t>(SaveSlotList.Size());
    const int32_t visible = std::min(count, kSlotPage);
    MenuCursor.MoveList(Input(), 1, m_nTop, kSlotY, 16, kSlotX, visible, count, 1);
    PlayCursorSound(Input(), 3, kMenuSoundCursor);
    const int32_t slot = MenuCursor.Current().m_nRow;
    const cSaveSlotEntry* entry = SaveSlotList.Entry(slot);
    if (Pressed() & kMenuDecide) {
      if (newGame) {
        if (!entry || entry->bUsed) {
          MenuSound(kMenuSoundRefused);
          return;
        }
        MenuSound(kMenuSoundDecide);
        ResetGameProgress();
        SaveData.nCurrentSlot = slot;
        SaveData.bAutoSave = 1;
        Leave(kSceneWorldMap);
        return;
      }
      if (!entry || !entry->bUsed) {
        MenuSound(kMenuSoundRefused);
        return;
      }
      // A slot that cannot be read is refused with a message; the record
      // in memory stays as it was and the list stays open.
      ApplyWorldMapBounds();
      if (LoadSlot(SaveData, slot) != SlotResult::kOk) {
        MenuSound(kMenuSoundRefused);
        ShowError("%s", plat::Sjis("セーブデータを読み込めません！").c_str());
        return;
      }
      MenuSound(kMenuSoundDecide);
      Leave(kSceneWorldMap);
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      MenuCursor.PopLevel(1);
      m_nPhase = kPhaseMenu;
      m_nSubStep = 0;
      return;
    }
    DDBlt(DDBackBuffer(), 0, 0, 640, 480, &GameSurfaces[SURF_TITLE], 0, 0, 0);
    StepColourCycle();
    if (GameFonts[1].Created()) DrawSaveSlotList(DDBackBuffer(), GameFonts[1], kSlotX, kSlotY, SaveSlotList, m_nTop, visible);
    DrawSmallCursor(MenuCursor.Current().m_nX, MenuCursor.Current().m_nY);
  }

  std::vector<int32_t> m_Rows;
  int32_t m_nTop = 0;
  bool m_bPictureMenu = false;
  int32_t m_nMenuX = kMenuX;
};

}  // namespace

void ResetGameProgress() {
  ApplyWorldMapBounds();
  SaveData.Reset();
  SaveData.m_nMapX = WorldMapModel.nStartX;
  SaveData.m_nMapY = WorldMapModel.nStartY;
  SaveData.m_nValue4 = 0;  // the world select's mark (a story game is no challenge)
  SetStartLives(kPlayStory);
}

int BeginSingleStagePlay(const std::string& path, int32_t numbered, bool testPlay) {
  SaveData.Reset();
  if (!StartSingleStagePlay(path, numbered)) return 0;
  SaveData.m_nWorld = 1;
  SaveData.m_nStage = 1;
  // A test play never runs out of lives, and shows it.
  if (testPlay)
    SaveData.m_nContinues = SaveData.m_nLives = kUnlimitedLives;
  else
    SetStartLives(kPlayFree);
  std::string relative = path;
  MakeRelativePathString(relative);
  SaveData.SetStage(relative.c_str(), 0, 0, 0);
  return 1;
}

cScene* CreateTitleScene() { return new cTitleScene(); }

// The world-map menu (save, auto-save, back to the map, to the title) and
// the challenge mode's world select.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/errors.h"
#include "base/text_path.h"
#include "data/data_paths.h"
#include "data/rankings.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "front/front_scenes.h"
#include "front/menu_frame.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/dd_frame.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"

namespace {

constexpr int32_t kMenuX = 264, kMenuY = 192;
constexpr int32_t kSlotX = 152, kSlotY = 160;
constexpr int32_t kQuestionY = 224, kNoticeY = 232, kSaveQuestionY = 400, kTotalY = 260;

// The boxes this menu sizes to their text, where they meet the menu's own
// box (as wide as its labels, as high as its rows, from (264, 192): its
// rows stand at its top and bottom edges) and each other. No box cuts
// through another's text:
// - the two-row questions (auto-save, back to the title; saving) stand at
//   y 224, over the menu's third and fourth rows: they keep no room above
//   and below their rows, so that they cover those two rows whole, leave
//   the second row above them whole and end above the total-score box;
// - the no-slot notice, one line at y 232, keeps the frame margin above
//   and below and so covers the same two rows whole;
// - the total-score box has its top edge at y 260, clear of a menu of four
//   rows (which ends at 256), and its line the frame margin lower.
struct MapMenuBoxes {
  int32_t questionMarginY;  // above and below a question's rows
  int32_t totalLineBelowTop;  // the total score's line, below its box's top edge
};
constexpr MapMenuBoxes kBoxes = {0, kFrameTextMargin};
constexpr int32_t kSlotPage = 10;
constexpr int kTextWorld = 0, kTextTotal = 4, kTextSaveFirst = 12, kTextAutoFirst = 14, kTextNoSlot = 16,
              kTextToTitleFirst = 17;

enum MenuAction : int32_t { kActionSave = 0, kActionAutoSave = 1, kActionBack = 2, kActionToTitle = 3 };
enum MenuPhase : int32_t {
  kPhaseMenu = 1,
  kPhaseSave = 2,
  kPhaseAutoSave = 3,
  kPhaseBack = 4,
  kPhaseToTitle = 5,
  kPhaseLeave = 6
};

void ShowSaveFailed() { ShowError("%s", plat::Sjis("セーブできませんでした！").c_str()); }

// A box of two system texts centred on x 320 at `y`, with the cursor.
void DrawTwoRowBox(int first, int32_t y) {
  DrawSystemTextBox(SystemData.GetMenuLeft(320, first, 2, true), y, first, 2, kBoxes.questionMarginY);
  DrawSmallCursor(MenuCursor.Current().m_nX, MenuCursor.Current().m_nY);
}

class cWorldMapMenuScene : public cMenuScene {
 public:
  cWorldMapMenuScene() : cMenuScene(kSceneWorldMapMenu, kPhaseLeave) {}

  int Enter() override {
    PlayScreenMusic(1);
    if (!LoadScreenSurfaces(WorldMapMenuSurfaces())) return 0;
    m_Rows = EnabledCommands(SystemData.m_WorldMapCmds);
    MenuCursor.Reset();
    m_nSubStep = 0;
    return 0;
  }

 protected:
  bool ResetsCursorOnLeave() const override { return false; }

  void DrawScreen() override {
    DrawMenuBackdrop();
    int widest = 0;
    std::string text;
    for (int32_t command : m_Rows) {
      const std::string label = Label(command);
      widest = std::max(widest, CountCharacters(label.c_str()));
      text += label + "\n";
    }
    DrawMenuFrameBox(kMenuX, kMenuY, (widest + 1) * 16, static_cast<int>(m_Rows.size()) * 16);
    DrawMenuText(kMenuX + 16, kMenuY, text);
    if (SystemData.Num(19) != 0 && SaveData.m_nTotalPoints >= 1) {
      // Its box is one character cell wider than the line.
      const std::string total = SystemText(kTextTotal) + std::to_string(SaveData.m_nTotalPoints);
      DrawCentredTextBox(320, kTotalY + kBoxes.totalLineBelowTop, total, (CountCharacters(total.c_str()) + 1) * 16);
    }
    StepColourCycle();
  }

  void RunPhase(int32_t phase) override {
    switch (phase) {
      case kPhaseMenu: RunMenu(); break;
      case kPhaseSave: RunSave(); break;
      case kPhaseAutoSave: RunAutoSave(); break;
      case kPhaseBack: Leave(kSceneWorldMap); break;
      case kPhaseToTitle: RunToTitle(); break;
      default: break;
    }
  }

 private:
  static std::string Label(int32_t command) {
    return command < static_cast<int32_t>(SystemData.m_WorldMapCmds.size())
               ? SystemData.m_WorldMapCmds.At(command).m_strLabel
               : std::string();
  }

  void RunMenu() {
    const int32_t rows = static_cast<int32_t>(m_Rows.size());
    MenuCursor.MoveGrid(Input(), kMenuX, kMenuY, 0, 16, 1, rows);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    if (Pressed() & kMenuDecide) {
      MenuSound(kMenuSoundDecide);
      const int32_t row = std::clamp(MenuCursor.Current().m_nRow, 0, rows - 1);
      m_nPhase = std::clamp(m_Rows[static_cast<size_t>(row)], 0, 3) + kPhaseSave;
      m_nSubStep = 0;
      MenuCursor.SetDepth(0);
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      m_nPhase = kPhaseBack;
      return;
    }
    DrawScreen();
    DrawSmallCursor(MenuCursor.Current().m_nX, MenuCursor.Current().m_nY);
  }

  void RunSave() {
    if (m_nSubStep == 0) {
      MenuCursor.Current() = MenuCursorRecord{};
      SaveSlotList.Rebuild(SaveData);
      const int32_t count = static_cast<int32_t>(SaveSlotList.Size());
      MenuCursor.Current().m_nRow = std::clamp(SaveData.nCurrentSlot, 0, std::max(count - 1, 0));
      m_nTop = std::clamp(MenuCursor.Current().m_nRow, 0, std::max(count - kSlotPage, 0));
      MenuCursor.Current().m_nX = kSlotX;
      MenuCursor.Current().m_nY = kSlotY + (MenuCursor.Current().m_nRow - m_nTop) * 16;
      m_nSubStep = 1;
    }
    const int32_t count = static_cast<int32_t>(SaveSlotList.Size());
    const int32_t visible = std::min(count, kSlotPage);
    if (m_nSubStep == 1) {
      MenuCursor.MoveList(Input(), 1, m_nTop, kSlotY, 16, kSlotX, visible, count, 1);
      PlayCursorSound(Input(), 3, kMenuSoundCursor);
      if (Pressed() & kMenuDecide) {
        MenuSound(kMenuSoundDecide);
        MenuCursor.SetDepth(0);
        MenuCursor.Current().m_nRow = 1;
        m_nSubStep = 2;
        return;
      }
      if (Pressed() & kMenuCancel) {
        MenuSound(kMenuSoundCancel);
        MenuCursor.PopLevel(1);
        m_nPhase = kPhaseMenu;
        m_nSubStep = 0;
        return;
      }
      DrawSlots(visible);
      DrawSmallCursor(MenuCursor.Current().m_nX, MenuCursor.Current().m_nY);
      return;
    }
    const int32_t boxX = SystemData.GetMenuLeft(320, kTextSaveFirst, 2, true);
    MenuCursor.MoveGrid(Input(), boxX, kSaveQuestionY, 0, 16, 1, 2);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    if (Pressed() & kMenuDecide) {
      if (MenuCursor.Current().m_nRow == 0) {
        const int32_t slot = MenuCursor.Parent() ? MenuCursor.Parent()->m_nRow : 0;
        const int32_t previous = SaveData.nCurrentSlot;
        SaveData.nCurrentSlot = slot;
        // "Saved" only once the slot is written; a failure says so and
        // leaves the current slot as it was.
        if (SaveSlot(SaveData, SaveSlotList, slot) == SlotResult::kOk) {
          MenuSound(kMenuSoundSaved);
        } else {
          SaveData.nCurrentSlot = previous;
          MenuSound(kMenuSoundRefused);
          ShowSaveFailed();
        }
      } else {
        MenuSound(kMenuSoundDecide);
      }
      MenuCursor.PopLevel(1);
      m_nSubStep = 1;
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      MenuCursor.PopLevel(1);
      m_nSubStep = 1;
      return;
    }
    DrawSlots(visible);
    DrawTwoRowBox(kTextSaveFirst, kSaveQuestionY);
    if (const MenuCursorRecord* parent = MenuCursor.Parent()) DrawRowPointer(parent->m_nX, parent->m_nY);
  }

  void DrawSlots(int32_t visible) {
    DrawScreen();
    if (GameFonts[1].Created()) DrawSaveSlotList(DDBackBuffer(), GameFonts[1], kSlotX, kSlotY, SaveSlotList, m_nTop, visible);
  }

  void RunAutoSave() {
    if (m_nSubStep == 0) {
      MenuCursor.Current().m_nRow = SaveData.bAutoSave ? 0 : 1;
      m_nSubStep = SaveData.nCurrentSlot < 0 ? 2 : 1;
    }
    if (m_nSubStep == 2) {
      if (Pressed() & (kMenuDecide | kMenuCancel)) {
        MenuSound((Pressed() & kMenuDecide) ? kMenuSoundDecide : kMenuSoundCancel);
        MenuCursor.PopLevel(1);
        m_nPhase = kPhaseMenu;
        m_nSubStep = 0;
        return;
      }
      DrawScreen();
      DrawCentredTextBox(320, kNoticeY, SystemText(kTextNoSlot));
      return;
    }
    const int32_t boxX = SystemData.GetMenuLeft(320, kTextAutoFirst, 2, true);
    MenuCursor.MoveGrid(Input(), boxX, kQuestionY, 0, 16, 1, 2);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    if (Pressed() & kMenuDecide) {
      MenuSound(kMenuSoundDecide);
      if (MenuCursor.Current().m_nRow == 0) {
        // The flag first, so that the slot written says auto-save is on.
        SaveData.bAutoSave = 1;
        if (SaveSlot(SaveData, SaveSlotList, SaveData.nCurrentSlot) != SlotResult::kOk) ShowSaveFailed();
      } else {
        SaveData.bAutoSave = 0;
      }
      MenuCursor.PopLevel(1);
      m_nPhase = kPhaseMenu;
      m_nSubStep = 0;
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      MenuCursor.PopLevel(1);
      m_nPhase = kPhaseMenu;
      m_nSubStep = 0;
      return;
    }
    DrawScreen();
    DrawTwoRowBox(kTextAutoFirst, kQuestionY);
  }

  void RunToTitle() {
    if (m_nSubStep == 0) {
      MenuCursor.Current().m_nRow = 1;
      m_nSubStep = 1;
    }
    const int32_t boxX = SystemData.GetMenuLeft(320, kTextToTitleFirst, 2, true);
    MenuCursor.MoveGrid(Input(), boxX, kQuestionY, 0, 16, 1, 2);
    PlayCursorSound(Input(), 2, kMenuSoundCursor);
    const bool decide = (Pressed() & kMenuDecide) != 0;
    if (decide && MenuCursor.Current().m_nRow == 0) {
      MenuSound(kMenuSoundDecide);
      Leave(kSceneTitle);
      return;
    }
    if (decide || (Pressed() & kMenuCancel)) {
      MenuSound(decide ? kMenuSoundDecide : kMenuSoundCancel);
      MenuCursor.PopLevel(1);
      m_nPhase = kPhaseMenu;
      m_nSubStep = 0;
      return;
    }
    DrawScreen();
    DrawTwoRowBox(kTextToTitleFirst, kQuestionY);
  }

  std::vector<int32_t> m_Rows;
  int32_t m_nTop = 0;
};

// ---- world select ----

constexpr int32_t kListY = 160, kListTextX = 64, kListRowHeight = 32, kListPage = 10;
constexpr int32_t kMaxWorlds = 99;  // two digits of the stage file names
int32_t g_nRememberedRow = 0, g_nRememberedTop = 0;

std::string WorldStageFile(int32_t world) {
  char name[16];
  std::snprintf(name, sizeof name, "%02d-1.", world);
  return DataPaths.At(kPathWorldSelectStages) + name + DataExtensions.At(kExtStage);
}

class cWorldSelectScene : public cMenuScene {
 public:
  cWorldSelectScene() : cMenuScene(kSceneWorldSelect, 2) {}

  int Enter() override {
    PlayScreenMusic(2);
    if (!LoadScreenSurfaces(MenuSurfaces())) return 0;
    MenuCursor.Reset();
    const int32_t count = WorldCount();
    MenuCursor.Current().m_nRow = count > 0 ? std::clamp(g_nRememberedRow, 0, count - 1) : 0;
    m_nTop = std::clamp(g_nRememberedTop, 0, std::max(count - 1, 0));
    PlaceCursor();
    if (count > 0) PrepareWorldInfo(MenuCursor.Current().m_nRow + 1);
    m_nSubStep = 0;
    return 0;
  }

 protected:
  void DrawScreen() override {
    DDSURFACEDATA* back = DDBackBuffer();
    DrawMenuPanel(SystemData.m_TitleCmds.size() > 2 ? SystemData.m_TitleCmds.At(2).m_strLabel : std::string());
    if (SystemData.Num(22) != 0 && SaveData.m_nTotalPoints > 0) {
      const std::string total = SystemText(kTextTotal) + std::to_string(SaveData.m_nTotalPoints);
      DrawMenuText(CentredTextLeft(total, 320, 16), 88, total);
    }
    if (!SaveData.bShowRanking && SystemData.Num(23) != 0) DrawMenuText(32, 128, "         " + SystemText(3));
    const int32_t count = WorldCount();
    const int32_t visible = std::min(std::max(count - m_nTop, 0), kListPage);
    const int32_t signX = (CountCharacters(SystemText(kTextWorld).c_str()) + 4) * 32;
    for (int32_t i = 0; i < visible; ++i) {
      const int32_t world = m_nTop + i + 1;
      const int32_t y = kListY + kListRowHeight * i;
      DrawMenuText(kListTextX, y, SystemText(kTextWorld) + std::to_string(world));
      if (const cWorldProgressRecord* entry = SaveData.ChallengeEntry(world)) {
        if (entry->m_nValue[0] != 0) DDBlt(back, signX, y, 32, 32, MenuSystemPicture(), 96, 0, 1);
        if (SystemData.Num(23) != 0) DrawMenuText(signX + 64, y, std::to_string(entry->m_nValue[1]));
      }
    }
    const bool rankingOn =
        SystemData.m_Ranking.size() > kPlayChallenge && SystemData.m_Ranking.At(kPlayChallenge).m_bOn;
    if (rankingOn && SaveData.bShowRanking) DrawRankingBox(kPlayChallenge, 292, 108);
    StepColourCycle();
  }

  void RunPhase(int32_t) override {
    const int32_t count = WorldCount();
    MenuCursor.MoveList(Input(), 1, m_nTop, kListY, kListRowHeight, 32, std::min(count - m_nTop, kListPage), count, 1);
    PlayCursorSound(Input(), 3, kMenuSoundCursor);
    if (Input().m_wDirection != 0 && count > 0) PrepareWorldInfo(MenuCursor.Current().m_nRow + 1);
    if (Pressed() & kMenuDecide) {
      // An empty list has nothing to start.
      if (count <= 0) return;
      const int32_t world = MenuCursor.Current().m_nRow + 1;
      const std::string file = WorldStageFile(world);
      if (!StartSingleStagePlay(file, 1)) {
        MenuSound(kMenuSoundRefused);
        ShowError("%s", (plat::Sjis("ステージファイル ") + file + plat::Sjis(" が読み込めません！")).c_str());
        return;
      }
      MenuSound(kMenuSoundDecide);
      SaveData.SetStage(StageData.m_strLoadedPath.c_str(), 0, 0, 0);
      SaveData.m_nStage = 1;
      SaveData.m_nWorld = world;
      if (SystemData.m_UnlimitedLives.size() > kPlayChallenge && SystemData.m_UnlimitedLives.At(kPlayChallenge) != 0) {
        SaveData.m_nContinues = SaveData.m_nLives = kUnlimitedLives;
      } else {
        SaveData.m_nContinues = SystemData.m_StartLives.size() > kPlayChallenge
                                    ? static_cast<int32_t>(SystemData.m_StartLives.At(kPlayChallenge))
                                    : 0;
        SaveData.m_nLives = static_cast<int32_t>(std::max<int64_t>(int64_t{SaveData.m_nContinues} - 1, INT32_MIN));
      }
      // The play record's mark of a play the world select started (kept in
      // the challenge progress and replays it is written to).
      SaveData.m_nValue4 = 1;
      g_nRememberedRow = MenuCursor.Current().m_nRow;
      g_nRememberedTop = m_nTop;
      Leave(kSceneStage);
      return;
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundCancel);
      Leave(kSceneTitle);
      return;
    }
    HandleRankingButtons(Pressed(), kPlayChallenge);
    DrawScreen();
    if (count > 0)
      DDBlt(DDBackBuffer(), MenuCursor.Current().m_nX, MenuCursor.Current().m_nY, 32, 32, MenuSystemPicture(), 0, 0,
            1);
  }

 private:
  static int32_t WorldCount() {
    const int32_t count = SystemData.Num(17) != 0 ? SystemData.Num(kSysWorldCount) : SaveData.m_nOpenedWorlds;
    return std::clamp(count, 0, kMaxWorlds);
  }

  static void PrepareWorldInfo(int32_t world) {
    const std::string file = WorldStageFile(world);
    SaveData.SetStage(file.c_str(), 0, 0, 0);
    if (bRankingOn) RankingFile.Load(SceneManager.m_nPlayMode, SaveData.StageBaseName(), 0, 0, 0);
  }

  void PlaceCursor() {
    MenuCursor.Current().m_nX = 32;
    MenuCursor.Current().m_nY = kListY + (MenuCursor.Current().m_nRow - m_nTop) * kListRowHeight;
  }

  int32_t m_nTop = 0;
};

}  // namespace

void ResetWorldSelectMemory() { g_nRememberedRow = g_nRememberedTop = 0; }

cScene* CreateWorldMapMenuScene() { return new cWorldMapMenuScene(); }
cScene* CreateWorldSelectScene() { return new cWorldSelectScene(); }

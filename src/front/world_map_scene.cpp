// The world map: the hero walks the grid cell by cell; stepping onto a world
// or deciding on it offers its stage, and cancel opens the world-map menu.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/errors.h"
#include "base/program.h"
#include "base/text_path.h"
#include "data/data_paths.h"
#include "data/rankings.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "data/world_map.h"
#include "front/front_scenes.h"
#include "front/menu_frame.h"
#include "front/world_map_model.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"
#include "platform/files.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"

namespace {

constexpr int32_t kHeroX = 288, kHeroY = 224;
constexpr int32_t kViewColumns = 20, kViewRows = 15;
// The boxes keep the frame margin above and below their lines and grow
// away from the hero, whose cell stays clear: the enter box's top edge is
// at y 260, under the hero, and its rows stand the margin lower; the box
// over the hero (the world's name, or its best points with the name in a
// box of its own just above) ends where a box of one line at y 204 would,
// and its line stands the margin higher.
constexpr int32_t kBoxCentre = 304, kBoxY = 260, kBoxRowsY = kBoxY + kFrameTextMargin;
constexpr int32_t kOverHeroBoxEnd = 204 + 16;  // the row below the box's last
constexpr int32_t kNameBoxY = kOverHeroBoxEnd - kFrameTextMargin - 16;
constexpr int32_t kNameBoxYAbovePoints = kNameBoxY - 16 - 2 * kFrameTextMargin - 4;
constexpr int kTextEnterFirst = 10;
constexpr int kTextBestPoints = 2;
enum Facing : int32_t { kFaceDown = 0, kFaceUp = 1, kFaceLeft = 2, kFaceRight = 3 };
enum MapPhase : int32_t { kPhaseMap = 1, kPhaseEnter = 2, kPhaseLeave = 3 };

// A world's stage: the newest numbered version of its file, or the file
// itself when it has none. Loaded once: a numbered version that does not
// load has shown its box, and the world's own name (which may be that very
// file, "c01-1.stg4_001") is not tried after it.
bool LoadWorldStage(const std::string& file) {
  std::string numbered;
  if (FindLastNumberedFileString(numbered, file, DataExtensions.At(kExtStage).c_str()))
    return StartSingleStagePlay(file, 1) != 0;
  return plat::FileExists(file) && StartSingleStagePlay(file, 0) != 0;
}

// Whether a best result still belongs to a world on the map: its stage's
// base form (or, without stage numbers, its second name's) is a stage
// world's, with the same stage numbers.
bool HasWorldOnMap(const cStageBestRecord& best, void*) {
  auto has = [&best](const std::string& name) {
    return WorldMapData.HasWorldForStage(WorldStageBaseName(name), best.m_nStageNumber[0], best.m_nStageNumber[1],
                                         best.m_nStageNumber[2]) != 0;
  };
  return has(best.m_strStageFile) || (best.m_nStageNumber[0] == 0 && has(best.m_strStageName));
}

// The map's own box for a world's stage that did not load. A load whose
// failure is ending the game (a file damaged at its end, a stage without a
// hero) has said why in its box: the game ends after it.
void ShowCannotLoad(const std::string& file) {
  if (QuitRequested()) return;
  ShowError("%s", (plat::Sjis("ステージファイル ") + file + plat::Sjis(" が読み込めません！")).c_str());
}

}  // namespace

class cWorldMapScene : public cMenuScene {
 public:
  cWorldMapScene() : cMenuScene(kSceneWorldMap, kPhaseLeave) {}

  int Enter() override {
    PlayScreenMusic(1);
    const cWorldMapModel& map = WorldMapModel;
    if (map.bBackPicture != 0 && !map.strBackPicture.empty())
      std::snprintf(GameSurfaceInfo[SURF_WORLD_BACK].szFileName, sizeof GameSurfaceInfo[SURF_WORLD_BACK].szFileName,
                    "%s", map.strBackPicture.c_str());
    if (!LoadScreenSurfaces(WorldMapSurfaces())) return 0;
    MenuCursor.Reset();
    // Stages of worlds taken off the map no longer count.
    SaveData.RecountTotal(HasWorldOnMap);
    // A cursor from a damaged or older record stays inside the map.
    m_nColumn = map.nWidth > 0 ? std::clamp(SaveData.m_nMapX, 0, map.nWidth - 1) : 0;
    m_nRow = map.nHeight > 0 ? std::clamp(SaveData.m_nMapY, 0, map.nHeight - 1) : 0;
    m_nFacing = std::clamp(SaveData.m_nMapFacing, 0, 3);
    m_nBackColumn = m_nInfoColumn = m_nColumn;
    m_nBackRow = m_nInfoRow = m_nRow;
    PlaceMapCursor();
    m_lpWorld = SelectMapWorld(map.FindNodeAt(m_nColumn, m_nRow), SaveData);
    if (StageWorld()) PrepareWorldInfo();
    if (SaveData.bAutoSave && SceneManager.m_nPrevious == kSceneStage && SaveData.nCurrentSlot >= 0) {
      if (SaveSlot(SaveData, SaveSlotList, SaveData.nCurrentSlot) != SlotResult::kOk)
        ShowError("%s", plat::Sjis("オートセーブに失敗しました！").c_str());
    }
    m_nSubStep = 0;
    return 0;
  }

  void Position(int32_t& column, int32_t& row, int32_t& facing) const {
    column = m_nColumn;
    row = m_nRow;
    facing = m_nFacing;
  }

 protected:
  void DrawScreen() override { Draw(SaveData.m_bStepBack == 0 || m_nPhase != 0); }

  void FadedIn() override {
    m_nPhase = kPhaseMap;
    if (!StageWorld()) return;
    if (SaveData.m_bStepBack != 0) {
      SaveData.m_bStepBack = 0;
      if (!IsWorldCleared(*m_lpWorld, SaveData)) {
        m_nColumn = std::clamp(SaveData.m_nPreMoveX, 0, std::max(WorldMapModel.nWidth - 1, 0));
        m_nRow = std::clamp(SaveData.m_nPreMoveY, 0, std::max(WorldMapModel.nHeight - 1, 0));
        SaveData.m_nMapX = m_nColumn;
        SaveData.m_nMapY = m_nRow;
        m_lpWorld = SelectMapWorld(WorldMapModel.FindNodeAt(m_nColumn, m_nRow), SaveData);
        m_nInfoColumn = m_nBackColumn = m_nColumn;
        m_nInfoRow = m_nBackRow = m_nRow;
        PlaceMapCursor();
        if (StageWorld()) PrepareWorldInfo();
      }
      return;
    }
    if (SceneManager.m_nPrevious != kSceneWorldMapMenu && !IsWorldOpen(*m_lpWorld, SaveData)) {
      // A world the hero stands on that has never been opened starts at once.
      if (LoadWorldStage(m_lpWorld->strStageFile)) {
        EnterWorldStage();
        SaveData.m_nPreMoveX = m_nColumn;
        SaveData.m_nPreMoveY = m_nRow;
        Leave(kSceneStage);
      } else {
        ShowCannotLoad(m_lpWorld->strStageFile);
        RequestQuit();
      }
    }
  }

  void RunPhase(int32_t phase) override {
    if (phase == kPhaseMap)
      RunMap();
    else if (phase == kPhaseEnter)
      RunEnterStage();
  }

 private:
  bool StageWorld() const { return m_lpWorld && m_lpWorld->nKind == kWorldKindStage; }

  void RunMap() {
    MoveOnMap(Input().m_wDirection);
    PlayCursorSound(Input(), 3, kMenuSoundCursor);
    m_lpWorld = SelectMapWorld(WorldMapModel.FindNodeAt(m_nColumn, m_nRow), SaveData);
    if (StageWorld()) {
      if (m_nColumn != m_nInfoColumn || m_nRow != m_nInfoRow) {
        PrepareWorldInfo();
        m_nInfoColumn = m_nColumn;
        m_nInfoRow = m_nRow;
      }
      const bool open = IsWorldOpen(*m_lpWorld, SaveData);
      const bool enterable = !IsWorldCleared(*m_lpWorld, SaveData) || m_lpWorld->bReenterable != 0;
      if (!open || ((Pressed() & kMenuDecide) && enterable)) {
        OpenEnterBox();
        return;
      }
      HandleRankingButtons(Pressed(), SceneManager.m_nPlayMode);
    }
    if (Pressed() & kMenuCancel) {
      MenuSound(kMenuSoundToMenu);
      SaveData.m_nMapX = m_nColumn;
      SaveData.m_nMapY = m_nRow;
      Leave(kSceneWorldMapMenu);
      return;
    }
    Draw(true);
  }

  void OpenEnterBox() {
    SaveData.m_nMapX = m_nColumn;
    SaveData.m_nMapY = m_nRow;
    MenuCursor.SetDepth(0);
    m_nSubStep = 0;
    m_nPhase = kPhaseEnter;
    RunEnterStage();
  }

  // One step of the hero: the first direction bit moves one cell; a wall
  // world, or a cell without a world whose chip is impassable, keeps him
  // where he was (the facing still turns).
  void MoveOnMap(uint16_t keys) {
    if (!(keys & (kDirLeft | kDirRight | kDirUp | kDirDown))) return;
    SaveData.m_nPreMoveX = m_nColumn;
    SaveData.m_nPreMoveY = m_nRow;
    m_nBackColumn = m_nColumn;
    m_nBackRow = m_nRow;
    const cWorldMapModel& map = WorldMapModel;
    int32_t column = m_nColumn, row = m_nRow;
    if (keys & kDirLeft) {
      m_nFacing = kFaceLeft;
      if (column > 0) --column;
    } else if (keys & kDirRight) {
      m_nFacing = kFaceRight;
      if (column + 1 < map.nWidth) ++column;
    } else if (keys & kDirUp) {
      m_nFacing = kFaceUp;
      if (row > 0) --row;
    } else {
      m_nFacing = kFaceDown;
      if (row + 1 < map.nHeight) ++row;
    }
    const cMapWorld* world = SelectMapWorld(map.FindNodeAt(column, row), SaveData);
    const bool blocked = world ? world->nKind == kWorldKindWall : !map.Passable(column, row);
    if (blocked) return;
    SaveData.m_nMapFacing = m_nFacing;
    m_nColumn = column;
    m_nRow = row;
    PlaceMapCursor();
  }

  // The map's cursor record: the hero's cell, and the hero's place on the
  // screen, which never moves.
  void PlaceMapCursor() { MenuCursor.Current() = MenuCursorRecord{m_nColumn, m_nRow, kHeroX, kHeroY}; }

  // The box opens in the frame the map asks for it (the hero arrives on a
  // world not open yet, or decide on one he may enter again) and answers
  // the keys from the next frame on: the decide that opened it does not
  // also choose its row.
  void RunEnterStage() {
    const bool opening = m_nSubStep == 0;
    if (opening) {
      MenuSound(kMenuSoundDecide);
      m_bStageLoaded = LoadWorldStage(m_lpWorld->strStageFile) != 0;
      if (!m_bStageLoaded) ShowCannotLoad(m_lpWorld->strStageFile);
      MenuCursor.Current().m_nRow = 1;
      m_nSubStep = 1;
    }
    const int32_t x = SystemData.GetMenuLeft(kBoxCentre, kTextEnterFirst, 2, true);
    if (opening) {
      MenuCursor.MoveGrid(uint16_t{0}, x, kBoxRowsY, 0, 16, 1, 2);  // its place on its row, unmoved
    } else {
      MenuCursor.MoveGrid(Input(), x, kBoxRowsY, 0, 16, 1, 2);
      PlayCursorSound(Input(), 2, kMenuSoundCursor);
    }
    const bool decide = !opening && (Pressed() & kMenuDecide) != 0;
    const bool cancel = !opening && !decide && (Pressed() & kMenuCancel) != 0;
    if (decide || cancel) {
      MenuSound(decide ? kMenuSoundDecide : kMenuSoundCancel);
      if (decide && MenuCursor.Current().m_nRow == 0 && m_bStageLoaded) {
        SaveData.m_nMapFacing = m_nFacing;
        EnterWorldStage();
        Leave(kSceneStage);
        return;
      }
      // A world that is not open sends the hero back to the cell he came
      // from, and the box's cursor level becomes the map's cursor there;
      // an open one just closes the box's level.
      if (!IsWorldOpen(*m_lpWorld, SaveData)) {
        m_nColumn = m_nBackColumn;
        m_nRow = m_nBackRow;
        SaveData.m_nMapX = m_nColumn;
        SaveData.m_nMapY = m_nRow;
        PlaceMapCursor();
      } else {
        MenuCursor.PopLevel(1);
      }
      m_nSubStep = 0;
      m_nPhase = kPhaseMap;
      return;
    }
    HandleRankingButtons(Pressed(), SceneManager.m_nPlayMode);
    Draw(true);
    DrawSystemTextBox(x, kBoxRowsY, kTextEnterFirst, 2);
    DrawSmallCursor(MenuCursor.Current().m_nX, MenuCursor.Current().m_nY);
  }

  void PrepareWorldInfo() {
    SaveData.SetStage(m_lpWorld->strStageFile.c_str(), m_lpWorld->nStart[0], m_lpWorld->nStart[1],
                      m_lpWorld->nStart[2]);
    m_nBestPoints = SaveData.GetStageBest(SaveData.m_strStageName);
    if (bRankingOn) {
      // The play record's stage (its base form) names the ranking file.
      RankingFile.Load(SceneManager.m_nPlayMode, SaveData.StageBaseName(), m_lpWorld->nStart[0],
                       m_lpWorld->nStart[1], m_lpWorld->nStart[2]);
      StepRankingGenre(SceneManager.m_nPlayMode, 0);
    }
  }

  // The play record of the world's stage just loaded.
  void EnterWorldStage() {
    SaveData.SetStage(StageData.m_strLoadedPath.c_str(), m_lpWorld->nStart[0], m_lpWorld->nStart[1],
                      m_lpWorld->nStart[2]);
    SaveData.m_nWorld = m_lpWorld->nNumber;
    SaveData.m_nStage = 1;
    const bool unlimited = !SystemData.m_UnlimitedLives.empty() && SystemData.m_UnlimitedLives.At(0) != 0;
    if (unlimited)
      SaveData.m_nContinues = kUnlimitedLives;
    else if (SystemData.Num(13) == 0)
      SaveData.m_nContinues = SystemData.m_StartLives.empty() ? 0 : static_cast<int32_t>(SystemData.m_StartLives.At(0));
    else
      SaveData.m_nContinues = static_cast<int32_t>(std::min<int64_t>(int64_t{SaveData.m_nLives} + 1, INT32_MAX));
  }

  void Draw(bool withInfo) {
    DrawMap();
    DDSURFACEDATA* back = DDBackBuffer();
    const int32_t frame = m_nAnimeFrame;
    m_nAnimeFrame = (m_nAnimeFrame + 1) % 80;
    static constexpr int32_t kSource[4][2] = {{0, 64}, {64, 64}, {64, 96}, {0, 96}};
    DDBlt(back, kHeroX, kHeroY, 32, 32, MenuSystemPicture(), kSource[m_nFacing][0] + (frame > 40 ? 32 : 0),
          kSource[m_nFacing][1], 1);
    if (SystemData.Num(15) != 0) DrawLives();
    if (withInfo && StageWorld()) {
      if (SaveData.bShowRanking && SystemData.m_Ranking.size() > kPlayStory && SystemData.m_Ranking.At(kPlayStory).m_bOn)
        DrawRankingBox(SceneManager.m_nPlayMode, 367, 64);
      // The name stands above the hero; with the best points it moves up
      // and the points take its place, still clear of the hero.
      const bool showPoints = SystemData.Num(18) != 0 && m_nBestPoints > 0;
      DrawCentredTextBox(kBoxCentre, showPoints ? kNameBoxYAbovePoints : kNameBoxY, m_lpWorld->strName);
      if (showPoints)
        DrawCentredTextBox(kBoxCentre, kNameBoxY, SystemText(kTextBestPoints) + std::to_string(m_nBestPoints));
    }
    StepColourCycle();
  }

  void DrawLives() {
    const std::string text =
        SaveData.m_nLives == kUnlimitedLives ? plat::Sjis("∞") : std::to_string(std::max(SaveData.m_nLives, 0));
    const int32_t characters = CountCharacters(text.c_str());
    const int32_t x = 621 - (characters + 1) * 16;
    if (GameFonts[1].Created()) GameFonts[1].DrawFrameBox(DDBackBuffer(), x, 17, (characters + 1) * 16, 20);
    DDBlt(DDBackBuffer(), x, 19, 16, 16, MenuSystemPicture(), 0, 48, 1);
    DrawMenuText(x + 16, 19, text);
  }

  // The view: background colour and picture, the chips, and the worlds'
  // icons, with the hero's cell at (9, 7) of the view.
  void DrawMap() {
    const cWorldMapModel& map = WorldMapModel;
    DDSURFACEDATA* back = DDBackBuffer();
    const int32_t originX = m_nColumn - 9, originY = m_nRow - 7;
    DDFillSurface(back, static_cast<uint32_t>(map.nBackColour));
    if (map.bBackPicture != 0) {
      // The picture scrolls with the view: a positive origin moves the part
      // copied, a negative one where it lands.
      const int32_t sx = std::max(originX, 0) * 32, sy = std::max(originY, 0) * 32;
      const int32_t dx = std::max(-originX, 0) * 32, dy = std::max(-originY, 0) * 32;
      DDBlt(back, dx, dy, 640 - dx, 480 - dy, &GameSurfaces[SURF_WORLD_BACK], sx, sy, 1);
    }
    for (int32_t vy = 0; vy < kViewRows; ++vy) {
      for (int32_t vx = 0; vx < kViewColumns; ++vx) {
        const int32_t x = originX + vx, y = originY + vy;
        if (!map.Inside(x, y)) continue;
        const uint32_t chip = map.ChipAt(x, y);
        const int32_t n = chip < map.chips.size() ? std::max(map.chips[chip].nPicture, 0) : 0;
        DDBlt(back, vx * 32, vy * 32, 32, 32, &GameSurfaces[SURF_WORLD_MAP_CHIP], n % 5 * 32, n / 5 * 32, 1);
      }
    }
    for (const cMapNode& node : map.nodes) {
      const int32_t vx = node.x - originX, vy = node.y - originY;
      if (vx < 0 || vy < 0 || vx >= kViewColumns || vy >= kViewRows) continue;
      const cMapWorld* world = SelectMapWorld(&node, SaveData);
      if (!world) continue;
      DDBlt(back, vx * 32, vy * 32, 32, 32, &GameSurfaces[SURF_WORLD_EVENT], IsWorldCleared(*world, SaveData) ? 32 : 0,
            std::max(world->nIconRow, 0) * 32, 1);
    }
  }

  int32_t m_nColumn = 0, m_nRow = 0, m_nFacing = 0;
  int32_t m_nBackColumn = 0, m_nBackRow = 0;  // where a refused step returns to
  int32_t m_nInfoColumn = 0, m_nInfoRow = 0;  // cell of the world information shown
  const cMapWorld* m_lpWorld = nullptr;
  int32_t m_nBestPoints = 0;
  bool m_bStageLoaded = false;
  int32_t m_nAnimeFrame = 0;
};

cScene* CreateWorldMapScene() { return new cWorldMapScene(); }

bool WorldMapHeroPosition(int32_t& column, int32_t& row, int32_t& facing) {
  auto* scene = dynamic_cast<cWorldMapScene*>(SceneManager.Scene(kSceneWorldMap));
  if (!scene) return false;
  scene->Position(column, row, facing);
  return true;
}

#include "front/menu_scene.h"

#include <algorithm>
#include <cmath>

#include "base/program.h"
#include "base/text_path.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/game_fonts.h"
#include "gfx/palette_tools.h"
#include "gfx/surface_table.h"
#include "platform/messages.h"
#include "play/world/stage_scene.h"
#include "scene/menu_cursor.h"
#include "scene/play_record.h"
#include "scene/ranking_draw.h"

namespace {

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

int cMenuScene::Run() {
  cInput& input = InputRecords.At(0);
  input.UpdateRepeat();
  // The ranking buttons act on the frame they go down; the latch below
  // takes care of decide and cancel.
  const uint16_t ranking = input.m_wButtons & (kMenuRankingShow | kMenuRankingGenre);
  const uint16_t rankingDown = ranking & ~m_wHeldRanking;
  m_wHeldRanking = ranking;
  input.LatchButtons(3);
  m_wPressed = static_cast<uint16_t>((input.m_wButtons & (kMenuDecide | kMenuCancel)) | rankingDown);
  if (m_nPhase == -1) {
    Enter();
    m_nPhase = 0;
  }
  if (m_nPhase == 0)
    FadeIn();
  else if (m_nPhase >= m_nLeavePhase)
    FadeOut();
  else
    RunPhase(m_nPhase);
  return 0;
}

int cMenuScene::FadeIn() {
  // Every menu draws its whole screen afresh each frame, so at 8 bits
  // nothing drawn under the faded palette of the scene before is shown.
  DrawScreen();
  if (StepScreenFade(true)) FadedIn();
  return 0;
}

int cMenuScene::FadeOut() {
  DrawScreen();
  if (!StepScreenFade(false)) return 0;
  DDFillSurface(DDBackBuffer(), 16);
  if (ResetsCursorOnLeave()) MenuCursor.Reset();
  SceneManager.m_nPrevious = m_nId;
  SceneManager.m_nCurrent = SceneManager.m_nNext.load();
  // A scene that stays alive (the next is this one again) enters anew.
  m_nPhase = -1;
  m_nSubStep = 0;
  return 0;
}

void cMenuScene::Leave(int32_t next) {
  SceneManager.m_nNext = next;
  m_nSubStep = 0;
  m_nPhase = m_nLeavePhase;
}

void cMenuScene::PlayScreenMusic(int32_t screen) {
  const int32_t track = static_cast<int32_t>(
      screen < static_cast<int32_t>(SystemData.m_ScreenMusic.size()) ? SystemData.m_ScreenMusic.At(screen) : 0);
  const int32_t keep = screen < static_cast<int32_t>(SystemData.m_ScreenMusicLoop.size())
                           ? SystemData.m_ScreenMusicLoop.At(screen)
                           : 0;
  SceneManager.PlaySceneMusic(track, keep, screen);
}

bool cMenuScene::LoadScreenSurfaces(const SurfaceList& list) {
  if (DDLoadSurfaces(GameSurfaces, list.indices, list.count)) return true;
  RequestQuit();  // a fault: the game ends after the picture's message
  return false;
}

const cInput& cMenuScene::Input() const { return InputRecords.At(0); }

void MenuSound(int32_t n) { RequestSoundEffect(n); }

void CloseGameWindow() { plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, 0, 0); }

DDSURFACEDATA* MenuSystemPicture() { return &GameSurfaces[SURF_ACCESSORY]; }

void DrawSmallCursor(int32_t x, int32_t y) { DDBlt(DDBackBuffer(), x, y, 16, 16, MenuSystemPicture(), 64, 0, 1); }

void DrawRowPointer(int32_t x, int32_t y) { DDBlt(DDBackBuffer(), x, y, 16, 16, MenuSystemPicture(), 80, 0, 1); }

void DrawMenuText(int32_t x, int32_t y, const std::string& text) {
  if (GameFonts[1].Created()) GameFonts[1].DrawText(DDBackBuffer(), x, y, text.c_str());
}

void DrawCentredTextBox(int32_t centreX, int32_t y, const std::string& text, int32_t width) {
  const int32_t textWidth = CountCharacters(text.c_str()) * 16;
  if (width <= 0) width = textWidth + 2 * kFrameTextMargin;
  cFont& font = GameFonts[1];
  if (!font.Created()) return;
  // The line stays at y; the box reaches the frame margin above and below it.
  const int32_t left = centreX - width / 2;
  font.DrawFrameBox(DDBackBuffer(), left, y - kFrameTextMargin, width, 16 + 2 * kFrameTextMargin);
  font.DrawText(DDBackBuffer(), left + (width - textWidth) / 2, y, text.c_str());
}

// The ranking buttons shared by the map and its enter box: show or hide the
// ranking, and step its genre among the enabled ones.
void HandleRankingButtons(uint16_t pressed, int mode) {
  const bool on = mode < static_cast<int>(SystemData.m_Ranking.size()) && SystemData.m_Ranking.At(mode).m_bOn;
  if (pressed & kMenuRankingShow) {
    if (on) {
      MenuSound(kMenuSoundRanking);
      SaveData.bShowRanking = SaveData.bShowRanking ? 0 : 1;
    } else {
      SaveData.bShowRanking = 0;
    }
  }
  if ((pressed & kMenuRankingGenre) && on && SystemData.CountSetFlags(mode) > 1) {
    MenuSound(kMenuSoundRanking);
    StepRankingGenre(mode, 1);
  }
}

void StepRankingGenre(int mode, int step) {
  if (mode < 0 || mode >= static_cast<int>(SystemData.m_Ranking.size())) return;
  const cSafeVector<uint8_t>& genres = SystemData.m_Ranking.At(mode).m_Genres;
  const int count = static_cast<int>(genres.size());
  if (count == 0) return;
  const int from = std::clamp(SaveData.nRankingGenre, 0, count - 1);
  // Step 0 keeps an enabled genre and moves off a disabled one.
  for (int k = step; k < step + count; ++k) {
    const int genre = (from + k) % count;
    if (genres.At(genre) != 0) {
      SaveData.nRankingGenre = genre;
      return;
    }
  }
}

void DrawRankingBox(int mode, int32_t x, int32_t y) {
  if (!GameFonts[1].Created()) return;
  cFontRankingPainter painter(DDBackBuffer(), GameFonts[1], MenuSystemPicture());
  DrawRankingList(RankingFile, painter, x, y, SaveData.nRankingGenre, -1, CurrentRankingLook(mode));
}

std::string SystemText(int n) {
  return n >= 0 && n < static_cast<int>(SystemData.m_Texts.size()) ? SystemData.m_Texts.At(n) : std::string();
}

std::vector<int32_t> EnabledCommands(const cSafeVector<cCmd>& commands) {
  std::vector<int32_t> rows;
  for (size_t i = 0; i < commands.size(); ++i)
    if (commands[i].m_bEnabled != 0) rows.push_back(static_cast<int32_t>(i));
  if (rows.empty()) rows.push_back(0);
  return rows;
}

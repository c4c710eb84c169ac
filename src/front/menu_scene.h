// What the five menu screens (title, world map, world-map menu, world
// select, options) share: a phase machine whose first phase fades the
// screen in and whose last fades it out and hands over to the next scene,
// the menu input of the frame, and the small drawing and sound helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/safe_containers.h"
#include "data/record.h"

#include "scene/input.h"
#include "scene/scene.h"

struct DDSURFACEDATA;
struct SurfaceList;

// Menu sounds of the sound list.
enum : int32_t {
  kMenuSoundCursor = 0,
  kMenuSoundDecide = 1,
  kMenuSoundCancel = 2,
  kMenuSoundRefused = 3,
  kMenuSoundToMenu = 4,
  kMenuSoundSaved = 5,
  kMenuSoundRanking = 6,
};

// Buttons of the menu input: decide and cancel are latched; the ranking
// buttons count on the frame they go down.
enum : uint16_t { kMenuDecide = 1, kMenuCancel = 2, kMenuRankingShow = 4, kMenuRankingGenre = 8 };

class cMenuScene : public cScene {
 public:
  // Once a frame: the menu key repeat and button latch of the first input
  // record, the entry on the first frame, then the current phase.
  int Run() override;
  // Phase 0: draws the screen and fades it in; at the end, FadedIn.
  int FadeIn() override;
  // The last phase: fades the screen out; at the end the screen is cleared,
  // the menu cursor reset and the manager switched to the next scene.
  int FadeOut() override;

  int32_t Phase() const { return m_nPhase; }
  int32_t SubStep() const { return m_nSubStep; }

 protected:
  cMenuScene(int32_t id, int32_t leavePhase) : m_nId(id), m_nLeavePhase(leavePhase) {}

  // The screen as this frame shows it (fades draw it too).
  virtual void DrawScreen() = 0;
  // Phases 1 .. leave - 1.
  virtual void RunPhase(int32_t phase) = 0;
  virtual void FadedIn() { m_nPhase = 1; }
  // Whether the leave resets the menu cursor (the world-map menu keeps it).
  virtual bool ResetsCursorOnLeave() const { return true; }

  // Next scene `next`, and the fade-out.
  void Leave(int32_t next);
  // The screen's music: 0 title, 1 world map, 2 world select, 3 options.
  static void PlayScreenMusic(int32_t screen);
  // Loads the screen's surfaces; a failure closes the game (false).
  static bool LoadScreenSurfaces(const SurfaceList& list);

  const cInput& Input() const;
  // Buttons of this frame: decide and cancel latched, ranking buttons on
  // their first frame.
  uint16_t Pressed() const { return m_wPressed; }

  int32_t m_nId;
  int32_t m_nLeavePhase;
  int32_t m_nPhase = -1;
  int32_t m_nSubStep = 0;

 private:
  uint16_t m_wPressed = 0;
  uint16_t m_wHeldRanking = 0;
};

// Drawing and requests the menu screens share.
void MenuSound(int32_t n);
void CloseGameWindow();
DDSURFACEDATA* MenuSystemPicture();
// The 16 x 16 menu cursor (system picture (64, 0)) and the pointer at a
// chosen row (system picture (80, 0)).
void DrawSmallCursor(int32_t x, int32_t y);
void DrawRowPointer(int32_t x, int32_t y);
// Text with the middle game font (16 dots a character); nothing when the
// font was not made.
void DrawMenuText(int32_t x, int32_t y, const std::string& text);
// A framed box around the line `text` (16 dots a character) at y, centred
// on `centreX`, the text centred in it: `width` wide, or with 0 as wide as
// the text with the frame margin (kFrameTextMargin) on either side; as high
// as the line with the frame margin above and below it.
void DrawCentredTextBox(int32_t centreX, int32_t y, const std::string& text, int32_t width = 0);
// The ranking buttons of the hubs (play mode `mode`'s ranking): show or
// hide the ranking, and step its genre among the enabled ones.
void HandleRankingButtons(uint16_t pressed, int mode);
// The ranking genre moved `step` enabled genres on (0: onto an enabled one).
void StepRankingGenre(int mode, int step);
// The ranking being shown, its current genre, in a box at (x, y).
void DrawRankingBox(int mode, int32_t x, int32_t y);
// System text n (empty outside the list).
std::string SystemText(int n);
// Rows of a command list: the enabled commands in list order, at least
// command 0.
std::vector<int32_t> EnabledCommands(const cSafeVector<cCmd>& commands);

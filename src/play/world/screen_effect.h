// Screen effects: one effect at a time transforms the whole finished stage
// picture (moves, shakes, splits, waves, blinks, rotates, cuts a circle,
// zooms, bends through a lens or pixelates it) until its run ends. The slot
// holds the running effect; RunScreenEffect redraws the back buffer through
// the handler of the effect's kind once a drawn frame. Game thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "data/effect_runs.h"
#include "gfx/dd.h"

// The kinds of screen effect (the definition's kind word).
enum eScreenEffectKind : int32_t {
  kScrNone = 0, kScrShift, kScrShakeX, kScrShakeY, kScrSplitX, kScrSplitY, kScrWaveX, kScrWaveY,
  kScrBlink, kScrRotate, kScrCircle, kScrZoom, kScrLens, kScrMosaic, kScrKindCount
};

// The running screen effect of a stage: a copy of a prepared run plus the
// shake position (kinds 2 and 3), which moves in fractions of a dot.
struct cScreenEffectSlot : cScreenEffectRun {
  double dShake = 0.0;

  // Copies run n of the reversed table when mode is 1, else of the forward
  // table; a number outside the tables is reported and leaves the slot idle.
  void Start(int16_t n, int32_t mode, int32_t loop);
  // Runs again from its first frame; mode 2 turns around first.
  void Restart();
  // Advances the value from `start` toward `end` by `step` (or the elapsed
  // time of a run whose bounds are equal); 1 once the run is over and
  // neither loops nor turns around.
  int32_t Step(double start, double end, double step);
  bool Running() const { return nNumber != 0; }
};

// What the handlers draw with: the back buffer and two work surfaces of
// the same size, the hero's screen centre, and the redraw of the background
// layers that the blink lays over the objects.
struct cScreenEffectView {
  DDSURFACEDATA* back = nullptr;
  DDSURFACEDATA* work1 = nullptr;
  DDSURFACEDATA* work2 = nullptr;
  int32_t width = 640, height = 480;
  int32_t heroX = 320, heroY = 240;  // the screen centre when there is no hero
  std::function<void()> redrawBackgrounds;
};

// Redraws the back buffer through the handler of `def`'s kind; unless
// drawOnly, advances the slot. 1 when the effect has ended.
int32_t RunScreenEffectHandler(cScreenEffectSlot& slot, const cScrEffectRecord& def, const cScreenEffectView& view,
                               bool drawOnly);
// The slot's effect for this frame: nothing when idle; at its end the slot
// becomes idle and drawing goes back to the device back buffer.
void RunScreenEffect(cScreenEffectSlot& slot, const cScreenEffectView& view, bool drawOnly);

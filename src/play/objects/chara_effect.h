// Graphic effects of characters: the slot every character owns, its
// stepping, and the drawing of a character's cell through the effect kind
// of the slot's definition (burst, split, wave, blink, rotation, circle,
// zoom, lens, colour change, translucency, mosaic, blur).
//
// A slot starts by copying a prepared run (data/effect_runs.h) and then
// moves its value from start to end by repeated double addition, one step a
// drawn frame; the step counts follow from that addition exactly, so a
// run of 5 tenths from 0 to 32 ends on its 31st step, not its 30th.
#pragma once

#include <cstdint>
#include <string>

#include "data/effect_runs.h"
#include "gfx/dd.h"

inline constexpr int kGraphicEffectKinds = 17;  // 0 (plain) .. 16

// Run modes of a slot.
enum GraphicEffectMode : int32_t { kEffectForward = 0, kEffectReversed = 1, kEffectThereAndBack = 2 };

struct cGraphicEffectSlot : cGraphicEffectRun {
  // Starts definition n: the reversed run for mode 1, the forward run
  // otherwise. A number outside the run tables leaves the slot plain
  // (number 0) and logs the bad number once.
  void Start(int32_t n, int32_t mode, int32_t loop);
  // Copies the run again (in mode 2 from the other direction's table).
  void Restart();
  // Advances one frame: 1 when the effect has ended, else 0.
  int Step();
  // The blink and translucency toggle: it starts at 0 and flips after the
  // first interval + 1 frames, then every `interval` frames (interval clamped
  // to 1 or more).
  void StepToggle(int32_t interval);
  // The wave phase: +1 a frame, back to 0 after 360.
  void StepPhase();
  // The effect kind of the running definition (0 when none).
  int32_t Kind() const;
  // Whether the frame the slot draws now shows nothing of the cell: the
  // blink's hidden phase (toggle 0) and the translucency's (toggle 1).
  bool HidesCell() const;
  bool Running() const { return nNumber != 0; }
};

// What a character's drawing hands to the effect: where the cell lies on
// its sheet and where and how large it is drawn (a drawn size above the
// cell size is an enlarged character).
struct cEffectDraw {
  DDSURFACEDATA* sheet = nullptr;
  int32_t sx = 0, sy = 0;           // the cell on the sheet
  int32_t cellW = 32, cellH = 32;   // its size there
  int32_t x = 0, y = 0;             // screen position
  int32_t w = 32, h = 32;           // drawn size
  DDSURFACEDATA* work = nullptr;    // scratch surface for enlarged cells (may be null)
  int32_t colourFlag = 0;           // 1: drawn with `colour` (an invincible character's colour pair)
  DDDRAWSTATE colour{};             // draw colour and colour operation (Direct3D)
};

// The cell drawn plainly at (d.x, d.y): a blit when it is drawn at its size
// on the sheet, else stretched to the drawn size; with the colour pair when
// the colour flag is set.
void DrawPlainCell(DDSURFACEDATA* lpDst, const cEffectDraw& d);

// Draws the cell through the slot's effect (when `draw` and a destination
// are given) and, unless `still`, advances the slot. Returns 1 on the frame
// the effect ends (the caller then clears the slot), else 0; a still frame
// never ends it.
int DrawGraphicEffect(cGraphicEffectSlot& slot, DDSURFACEDATA* lpDst, const cEffectDraw& d, bool still, bool draw);

// The run-time clamps of the kinds' size parameters: a damaged file may hold
// 0 where the editor allows only 1 or more (strip counts, strip heights,
// intervals), which would divide by zero or never end.
int32_t ClampEffectParam(int32_t kind, int32_t param, int32_t value);


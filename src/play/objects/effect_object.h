// Effect objects: short cell animations of the Effect list placed on the
// stage by hits and by the effect command. Each plays its animation once
// and is removed when the animation ends. Game thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "data/effect_runs.h"
#include "play/world/anime_player.h"

struct DDSURFACEDATA;

// A rectangle in stage dots, edges included.
struct cEffectBox {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// Top-left corner of a width x height effect centred on the overlap of a and
// b; rectangles that do not overlap give the corner for the point (0, 0).
// No random scatter is added here.
void EffectOverlapCorner(const cEffectBox& a, const cEffectBox& b, int32_t width, int32_t height, double* x,
                         double* y);

class cEffectObject {
 public:
  // Between two hit rectangles: the size is the cell size, times `zoom` when
  // the effect may be zoomed and zoom > 1; the corner is scattered by two
  // random draws (x, then y) in [-4k, 4k], k being the zoom of a zoomable
  // effect, else 1. Null (logged once per number) for a number that names no
  // effect.
  static std::shared_ptr<cEffectObject> AtHit(int32_t n, const cEffectBox& a, const cEffectBox& b, int32_t zoom);
  // At a stage position with a drawn size (stretched when it differs from
  // the cell size). Null as above.
  static std::shared_ptr<cEffectObject> At(int32_t n, double x, double y, int32_t width, int32_t height,
                                           int32_t animateWhileStill);
  // Makes this object effect n at a stage position with a drawn size, as At
  // makes a new one: its animation starts again from the first frame. False
  // (the object left as it was) for a number that names no effect.
  bool Restart(int32_t n, double x, double y, int32_t width, int32_t height, int32_t animateWhileStill);

  // Advances (or, on a still frame without animate-while-still, holds) the
  // animation and draws its cell from `sheet` (see EffectSheetIndex) at the
  // position less the scroll. 1 when the object is finished: no frames, or the end code.
  int Frame(DDSURFACEDATA* dst, DDSURFACEDATA* sheet, double scrollX, double scrollY, int32_t still);

  int16_t m_nNumber = 0;
  double m_dX = 0, m_dY = 0;  // top-left in stage dots
  int32_t m_nWidth = 0, m_nHeight = 0;
  int32_t m_bZoomed = 0;
  int32_t m_bAnimateWhileStill = 0;
  int32_t m_nCellWidth = 0, m_nCellHeight = 0;
  int32_t m_bNoFrames = 0;
  cAnimePlayer m_Player;

 private:
  // Loads effect n's prepared animation into the player; false for a bad n.
  bool SetEffect(int32_t n);
};

// The index in the stage's effect sheets (two an effect: its picture, then
// the copy zoomed objects are stretched from) that object `n` draws from:
// 2n - 2, or 2n - 1 when zoomed, except under DirectDraw with the project's
// low-colour option, where zoomed objects stretch the picture itself.
int32_t EffectSheetIndex(int32_t n, bool zoomed, bool directDraw, bool lowColour);

// Sum over effect n's frames of their running frames (the time a waiting
// effect command holds the game); 0 for a bad n.
int32_t EffectTotalFrames(int32_t n);


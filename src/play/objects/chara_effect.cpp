#include "play/objects/chara_effect.h"

#include <algorithm>
#include <cmath>

#include "base/logs.h"
#include "data/database.h"
#include "data/effect_params.h"
#include "gfx/fx_colour.h"
#include "gfx/fx_geom.h"
#include "gfx/palette_tools.h"
#include "play/objects/character.h"

namespace {

// Cells are drawn without their transparent colour.
constexpr uint32_t kColourKey = 1;

// The palette colour the blur effect changes toward in an 8-bit display.
constexpr int32_t kBlurColourIn8Bits = 31;

const std::vector<cGraphicEffectRun>& TableOf(int32_t direction) {
  return direction ? GraphicEffectRunsReversed : GraphicEffectRuns;
}

void CopyRun(cGraphicEffectSlot& slot, const cGraphicEffectRun& run) {
  slot.pDef = run.pDef;
  slot.nStart = run.nStart;
  slot.nEnd = run.nEnd;
  slot.dValue = run.dValue;
  slot.dStep = run.dStep;
  slot.nTime = run.nTime;
  slot.dElapsed = run.dElapsed;
  slot.nCounter = run.nCounter;
  slot.nToggle = run.nToggle;
}

int32_t Param(const cGraphicEffectSlot& slot, int32_t param) {
  if (!slot.pDef) return 0;
  return ClampEffectParam(slot.pDef->m_nKind, param, slot.pDef->m_nParams[param - 1]);
}

// The value as an integer, kept inside the int range whatever a damaged
// definition made of it.
int32_t Whole(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::clamp(v, -1.0e6, 1.0e6));
}

int32_t CeilDiv(int32_t a, int32_t b) { return b > 0 ? (a + b - 1) / b : a; }

// The drawing of the plain cell at (x, y), stretched when the drawn size is
// not the cell size; with the colour pair when the flag is set.
void Plain(DDSURFACEDATA* dst, int x, int y, const cEffectDraw& d) {
  const DDDRAWSTATE* colour = d.colourFlag ? &d.colour : nullptr;
  if (d.w == d.cellW && d.h == d.cellH)
    DDBltEx(dst, x, y, d.w, d.h, d.sheet, d.sx, d.sy, kColourKey, colour);
  else
    DDBltStretchEx(dst, x, y, d.w, d.h, d.sheet, d.sx, d.sy, d.cellW, d.cellH, kColourKey, colour);
}

// The colour pair set around a transforming primitive, reset afterwards.
class ColourScope {
 public:
  explicit ColourScope(const cEffectDraw& d) : on_(d.colourFlag != 0) {
    if (!on_) return;
    DDSetDrawColor(d.colour.dwColor);
    DDSetColorOp(d.colour.dwColorOp);
  }
  ~ColourScope() {
    if (!on_) return;
    DDResetDrawColor();
    DDResetColorOp();
  }
  ColourScope(const ColourScope&) = delete;
  ColourScope& operator=(const ColourScope&) = delete;

 private:
  bool on_;
};

// Rotation A of an enlarged character: the cell is turned at its size on
// the sheet into a square work image of side trunc(cell width x sqrt 2),
// which is then stretched onto a square of side trunc(drawn width x sqrt 2)
// centred on the character. False when the work surface cannot hold it (the
// caller then turns the enlarged picture as rotation B does).
bool RotateAtSheetSize(DDSURFACEDATA* dst, const cEffectDraw& d, int angle) {
  const int side = static_cast<int>(d.cellW * std::sqrt(2.0));
  const int drawn = static_cast<int>(d.w * std::sqrt(2.0));
  if (!d.work || side <= 0 || side > d.work->nWidth || side > d.work->nHeight) return false;
  DDFillRect(d.work, 0, 0, side, side, 0);
  DDBltRotate(d.work, side / 2, side / 2, d.cellW, d.cellH, d.cellW / 2, d.cellH / 2, angle, d.sheet, d.sx, d.sy,
              kColourKey);
  const ColourScope colour(d);
  DDBltStretch(dst, d.x + d.w / 2 - drawn / 2, d.y + d.h / 2 - drawn / 2, drawn, drawn, d.work, 0, 0, side, side,
               kColourKey);
  return true;
}

// Where a transforming kind reads its picture: the sheet itself for a cell
// drawn at its own size; for an enlarged cell, the work surface at (0, 0)
// after the cell was stretched there (sizes then scale by `factor`).
struct Source {
  DDSURFACEDATA* surface = nullptr;
  int sx = 0, sy = 0;
  int factor = 1;
};

Source Prepare(const cEffectDraw& d) {
  Source s{d.sheet, d.sx, d.sy, 1};
  const bool enlarged = d.w != d.cellW || d.h != d.cellH;
  if (!enlarged || !d.work || d.w > d.work->nWidth || d.h > d.work->nHeight) return s;
  DDFillRect(d.work, 0, 0, d.w, d.h, 0);
  DDBltStretch(d.work, 0, 0, d.w, d.h, d.sheet, d.sx, d.sy, d.cellW, d.cellH, kColourKey);
  s = Source{d.work, 0, 0, std::max(1, d.cellW > 0 ? d.w / d.cellW : 1)};
  return s;
}

void DrawKind(cGraphicEffectSlot& slot, int32_t kind, DDSURFACEDATA* dst, const cEffectDraw& in) {
  if (kind == 0) return Plain(dst, in.x, in.y, in);
  if (slot.HidesCell()) return;
  if (kind == 6) return Plain(dst, in.x, in.y, in);
  const bool enlarged = in.w != in.cellW || in.h != in.cellH;
  if (kind == 7 && enlarged && !lpDTCon && RotateAtSheetSize(dst, in, Whole(slot.dValue))) return;
  const Source s = Prepare(in);
  // Without a work surface large enough an enlarged cell is transformed at
  // its size on the sheet.
  cEffectDraw d = in;
  if (s.surface == in.sheet) {
    d.w = in.cellW;
    d.h = in.cellH;
  }
  const int f = s.factor;
  const int v = Whole(slot.dValue);
  const ColourScope colour(d);
  switch (kind) {
    case 1:
      DDBltBurst(dst, d.x, d.y, d.w, d.h, s.surface, s.sx, s.sy, v * f, kColourKey);
      break;
    case 2:
    case 3: {
      const int32_t parts = Param(slot, 4);
      const int32_t strip = kind == 2 ? CeilDiv(d.h, parts) : CeilDiv(d.w, parts);
      DDBltSplit(dst, d.x, d.y, d.w, d.h, strip, v * f, s.surface, s.sx, s.sy, kColourKey, kind == 3 ? 1u : 0u);
      break;
    }
    case 4:
    case 5:
      DDBltWave(dst, d.x, d.y, d.w, d.h, Param(slot, 4), slot.dValue * f, slot.nCounter, Param(slot, 5) * f,
                s.surface, s.sx, s.sy, kColourKey, kind == 5 ? 1u : 0u);
      break;
    case 7:  // at the drawn size: rotation A and B are the same (and under Direct3D always)
    case 8:
      DDBltRotate(dst, d.x + d.w / 2, d.y + d.h / 2, d.w, d.h, d.w / 2, d.h / 2, v, s.surface, s.sx, s.sy, kColourKey);
      break;
    case 9:
      DDBltRotateDepth(dst, d.x, d.y, d.w, d.h, s.surface, s.sx, s.sy, s.surface, s.sx, s.sy, d.w, d.h, kColourKey, v,
                       0);
      break;
    case 10:
      DDBltCircle(dst, d.x + d.w / 2, d.y + d.h / 2, d.w / 2, d.h / 2, v * f, Param(slot, 4) * f, s.surface,
                  s.sx + d.w / 2, s.sy + d.h / 2, kColourKey);
      break;
    case 11:
      if (f == 1) {
        const int dd = Whole(slot.dValue - 32.0);
        DDBltStretch(dst, d.x - (dd >> 1), d.y - (dd >> 1), d.w + dd, d.h + dd, s.surface, s.sx, s.sy, d.w, d.h,
                     kColourKey);
      } else {
        const int dd = Whole((slot.dValue - 32.0) * f);
        DDBltStretch(dst, d.x - (dd >> 2), d.y - (dd >> 2), d.w + (dd >> 1), d.h + (dd >> 1), s.surface, s.sx, s.sy,
                     d.w, d.h, kColourKey);
      }
      break;
    case 12: {
      const int dx = Param(slot, 4) * f, dy = Param(slot, 5) * f;
      DDBltLens(dst, d.x + d.w / 2 + dx, d.y + d.h / 2 + dy, std::min(d.w, d.h) / 2, v, s.surface,
                s.sx + d.w / 2 + dx, s.sy + d.h / 2 + dy, kColourKey, 0);
      break;
    }
    case 13:
      DDBltColorChange(dst, d.x, d.y, d.w, d.h, s.surface, s.sx, s.sy, kColourKey, DDState.DDPalette, g_BlendTable,
                       std::clamp(Param(slot, 4), 0, 255), v);
      break;
    case 14:
      DDBltTranslucentHalf(dst, d.x, d.y, d.w, d.h, s.surface, s.sx, s.sy, kColourKey, g_BlendTable);
      break;
    case 15:
      DDBltMosaic(dst, d.x, d.y, d.w, d.h, v * f, s.surface, s.sx, s.sy, kColourKey);
      break;
    case 16:
      // Palette numbers cannot be averaged: in 8 bits the blur draws as a
      // colour change toward palette colour 31 at the blur's level.
      if (DDState.nBpp == 8)
        DDBltColorChange(dst, d.x, d.y, d.w, d.h, s.surface, s.sx, s.sy, kColourKey, DDState.DDPalette, g_BlendTable,
                         kBlurColourIn8Bits, v);
      else
        DDBltBlur(dst, d.x, d.y, d.w, d.h, v * f, v * f, s.surface, s.sx, s.sy, kColourKey);
      break;
    default:
      Plain(dst, d.x, d.y, d);
      break;
  }
}

}  // namespace

void DrawPlainCell(DDSURFACEDATA* lpDst, const cEffectDraw& d) {
  if (lpDst && d.sheet && d.w > 0 && d.h > 0) Plain(lpDst, d.x, d.y, d);
}

int32_t ClampEffectParam(int32_t kind, int32_t param, int32_t value) {
  // Only the parameters that size strips, counts and intervals are clamped:
  // the values move freely between start and end.
  const bool sized = ((kind == 2 || kind == 3 || kind == 4 || kind == 5 || kind == 10) && param == 4) ||
                     ((kind == 4 || kind == 5) && param == 5) || ((kind == 6 || kind == 14) && param == 2);
  if (!sized) return value;
  const EffectParamEntry& e = CharaEffectParamTable(kind, param);
  return std::clamp<int32_t>(value, std::max<int32_t>(1, e.minimum), std::max<int32_t>(1, e.maximum));
}

void cGraphicEffectSlot::Start(int32_t n, int32_t mode, int32_t loop) {
  const int32_t direction = mode == kEffectReversed ? 1 : 0;
  const auto& table = TableOf(direction);
  if (n <= 0 || static_cast<size_t>(n) >= table.size() || !table[static_cast<size_t>(n)].pDef) {
    // Logged once a run: an effect command in a repeating flow would
    // otherwise fill the log.
    static bool logged = false;
    if (n != 0 && !logged) {
      logged = true;
      WriteECLog("graphic effect %d does not exist; drawn plainly", n);
    }
    *this = cGraphicEffectSlot{};
    return;
  }
  if (table[static_cast<size_t>(n)].pDef->m_nKind == 0) {
    // A plain entry draws like no effect; kept running it would never end
    // and hold a defeated character's display for ever.
    *this = cGraphicEffectSlot{};
    return;
  }
  CopyRun(*this, table[static_cast<size_t>(n)]);
  nDirection = direction;
  nNumber = static_cast<int16_t>(n);
  nMode = mode;
  nFrame = 0;
  bLoop = loop;
}

void cGraphicEffectSlot::Restart() {
  if (nMode == kEffectThereAndBack) nDirection = nDirection ? 0 : 1;
  const auto& table = TableOf(nDirection);
  if (nNumber <= 0 || static_cast<size_t>(nNumber) >= table.size()) {
    *this = cGraphicEffectSlot{};
    return;
  }
  CopyRun(*this, table[static_cast<size_t>(nNumber)]);
  nFrame = 0;
}

int cGraphicEffectSlot::Step() {
  bool more;
  if (nStart == nEnd) {
    dElapsed += dStep;
    more = dElapsed <= nTime;
  } else if (nStart < nEnd) {
    dValue += dStep;
    more = dValue <= nEnd;
  } else {
    dValue -= dStep;
    more = dValue >= nEnd;
  }
  ++nFrame;
  if (more) return 0;
  if (bLoop || (nMode == kEffectThereAndBack && nDirection == 0)) {
    Restart();
    return 0;
  }
  return 1;
}

void cGraphicEffectSlot::StepToggle(int32_t interval) {
  if (++nCounter > std::max(1, interval)) {
    nToggle = nToggle ? 0 : 1;
    nCounter = 1;
  }
}

void cGraphicEffectSlot::StepPhase() {
  if (++nCounter > 360) nCounter = 0;
}

int32_t cGraphicEffectSlot::Kind() const {
  if (nNumber <= 0 || !pDef) return 0;
  return std::clamp(pDef->m_nKind, 0, kGraphicEffectKinds - 1);
}

bool cGraphicEffectSlot::HidesCell() const {
  switch (Kind()) {
    case 6: return nToggle != 1;
    case 14: return nToggle != 0;
    default: return false;
  }
}

int DrawGraphicEffect(cGraphicEffectSlot& slot, DDSURFACEDATA* lpDst, const cEffectDraw& d, bool still, bool draw) {
  const int32_t kind = slot.Kind();
  if (draw && lpDst && d.sheet && d.w > 0 && d.h > 0) {
    DDBatchOff();
    DrawKind(slot, kind, lpDst, d);
    DDBatchOn();
  }
  if (still || kind == 0) return 0;
  if (kind == 4 || kind == 5) slot.StepPhase();
  if (kind == 6 || kind == 14) slot.StepToggle(Param(slot, 2));
  return slot.Step();
}


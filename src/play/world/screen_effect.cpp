#include "play/world/screen_effect.h"

#include <algorithm>
#include <cmath>

#include "data/database.h"
#include "gfx/fx_colour.h"
#include "gfx/fx_geom.h"

namespace {

constexpr uint32_t kUncovered = 16;  // palette entry of the areas no effect covers
constexpr double kSqrt2 = 1.4142135623730951;
// Offsets, radii and sizes taken from data are kept within a few screens:
// the blits clip anyway, this keeps the arithmetic small.
constexpr int32_t kFar = 4096;

int32_t Clamp(double v, int32_t lo, int32_t hi) {
  if (!(v == v)) return lo;  // NaN
  return static_cast<int32_t>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}
// A count or strip size read from data: at least 1.
int32_t AtLeastOne(int32_t v) { return std::max(v, 1); }

const std::vector<cScreenEffectRun>& Table(int32_t direction) {
  return direction ? ScreenEffectRunsReversed : ScreenEffectRuns;
}

// Step 1 of every transforming handler: the finished frame goes to a work
// surface and the back buffer is cleared for the transformed copy.
void Lift(const cScreenEffectView& v, bool clear = true) {
  DDBlt(v.work1, 0, 0, v.width, v.height, v.back, 0, 0, 0);
  if (clear) DDFillRect(v.back, 0, 0, v.width, v.height, kUncovered);
}

struct AlphaScope {
  AlphaScope() { DDSetAlphaOp(1); }
  ~AlphaScope() { DDResetAlphaOp(); }
};

// The runs that count frames up to their time: a time of zero or less from
// data counts as one tenth of a second, as the prepared runs do, rather than
// running backwards for ever.
int32_t StepValue(cScreenEffectSlot& s, const int32_t* p, bool drawOnly) {
  return drawOnly ? 0 : s.Step(p[1], p[2], s.dStep);
}

int32_t Shift(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  Lift(v);
  {
    AlphaScope alpha;
    DDBlt(v.back, s.nWord1, s.nWord2, v.width, v.height, v.work1, 0, 0, 0);
  }
  const int32_t end = drawOnly ? 0 : s.Step(0, AtLeastOne(p[0]), s.dStep);
  // A time of zero puts the point at its end at once.
  const double t = p[0] > 0 ? std::min(s.dValue / p[0], 1.0) : 1.0;
  s.nWord1 = Clamp((static_cast<double>(p[3]) - p[1]) * t + p[1], -kFar, kFar);
  s.nWord2 = Clamp((static_cast<double>(p[4]) - p[2]) * t + p[2], -kFar, kFar);
  return end;
}

int32_t Shake(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly, bool vertical) {
  const double amplitude = Clamp(p[1], 0, kFar);
  const int32_t pos = static_cast<int32_t>(s.dShake);
  const int32_t size = vertical ? v.height : v.width;
  Lift(v, false);
  if (pos > 0) {
    vertical ? DDFillRect(v.back, 0, 0, v.width, pos + 1, kUncovered)
             : DDFillRect(v.back, 0, 0, pos + 1, v.height, kUncovered);
  } else if (pos < 0) {
    vertical ? DDFillRect(v.back, 0, pos + size, v.width, 1 - pos, kUncovered)
             : DDFillRect(v.back, pos + size, 0, 1 - pos, v.height, kUncovered);
  }
  {
    AlphaScope alpha;
    DDBlt(v.back, vertical ? 0 : pos, vertical ? pos : 0, v.width, v.height, v.work1, 0, 0, 0);
  }
  if (drawOnly) return 0;
  // Four amplitudes per shake, spread over the effect's frames.
  const double speed = amplitude * Clamp(p[2], 0, 1000) * 4.0 / (AtLeastOne(p[0]) * 6.0);
  if (s.nWord1 == 0) {
    s.dShake += speed;
    if (s.dShake >= amplitude) s.dShake = amplitude, s.nWord1 = 1;
  } else {
    s.dShake -= speed;
    if (s.dShake <= -amplitude) s.dShake = -amplitude, s.nWord1 = 0;
  }
  return s.Step(0, AtLeastOne(p[0]), s.dStep);
}

int32_t Split(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly, bool columns) {
  const int32_t size = columns ? v.width : v.height;
  const int32_t parts = Clamp(p[3], 1, size > 0 ? size : 1);  // more strips than lines: one line each
  const int32_t strip = (size + parts - 1) / parts;
  Lift(v);
  {
    AlphaScope alpha;
    DDBltSplit(v.back, 0, 0, v.width, v.height, strip, Clamp(s.dValue, -kFar, kFar), v.work1, 0, 0, 0,
               columns ? 1 : 0);
  }
  return StepValue(s, p, drawOnly);
}

int32_t Wave(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly, bool columns) {
  Lift(v);
  {
    AlphaScope alpha;
    DDBltWave(v.back, 0, 0, v.width, v.height, Clamp(p[3], 0, 1000), Clamp(s.dValue, -kFar, kFar), s.nWord1,
              Clamp(p[4], 1, kFar), v.work1, 0, 0, 0, columns ? 1 : 0);
  }
  if (drawOnly) return 0;
  s.nWord1 = (s.nWord1 + 1) % 360;
  return StepValue(s, p, drawOnly);
}

int32_t Blink(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  if (s.nWord2 == 0 && v.redrawBackgrounds) v.redrawBackgrounds();
  if (s.nWord1 >= p[1]) {
    s.nWord1 = 0;
    s.nWord2 ^= 1;
  }
  if (drawOnly) return 0;
  ++s.nWord1;
  return s.Step(0, AtLeastOne(p[0]), s.dStep);
}

int32_t Rotate(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  Lift(v);
  {
    AlphaScope alpha;
    const int32_t angle = static_cast<int32_t>(std::fmod(std::isfinite(s.dValue) ? s.dValue : 0.0, 360.0));
    DDBltRotate(v.back, v.width / 2, v.height / 2, v.width, v.height, v.width / 2, v.height / 2, angle, v.work1, 0,
                0, 0);
  }
  return StepValue(s, p, drawOnly);
}

// Half the extent that reaches the far edge from c on an axis of `size`.
int32_t FarHalf(int32_t c, int32_t size) { return c < size / 2 ? size - c : c; }

int32_t Circle(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  const int32_t cx = std::clamp(v.heroX, -kFar, kFar), cy = std::clamp(v.heroY, -kFar, kFar);
  Lift(v);
  {
    AlphaScope alpha;
    DDBltCircle(v.back, cx, cy, FarHalf(cx, v.width), FarHalf(cy, v.height), Clamp(s.dValue, 0, kFar),
                Clamp(p[3], 1, kFar), v.work1, cx, cy, 0);
  }
  return StepValue(s, p, drawOnly);
}

int32_t Zoom(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  const double scale = (std::isfinite(s.dValue) ? s.dValue : 0.0) / v.width;
  Lift(v);
  {
    AlphaScope alpha;
    if (scale < 1.0) {
      const int32_t w = Clamp(v.width * scale, 0, v.width), h = Clamp(v.height * scale, 0, v.height);
      if (w > 0 && h > 0)
        DDBltStretch(v.back, (v.width - w) / 2, (v.height - h) / 2, w, h, v.work1, 0, 0, v.width, v.height, 0);
    } else {
      // A window around the hero, kept inside the screen.
      const int32_t w = Clamp(v.width / scale, 1, v.width), h = Clamp(v.height / scale, 1, v.height);
      const int32_t left = std::clamp(v.heroX - w / 2, 0, v.width - w);
      const int32_t top = std::clamp(v.heroY - h / 2, 0, v.height - h);
      DDBltStretch(v.back, 0, 0, v.width, v.height, v.work1, left, top, w, h, 0);
    }
  }
  return StepValue(s, p, drawOnly);
}

int32_t Lens(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  const int32_t x = Clamp(static_cast<double>(v.heroX) + p[3], -kFar, kFar);
  const int32_t y = Clamp(static_cast<double>(v.heroY) + p[4], -kFar, kFar);
  const int32_t radius = Clamp(std::max(FarHalf(x, v.width), FarHalf(y, v.height)) * kSqrt2, 0, 2 * kFar);
  DDFillRect(v.work2, 0, 0, v.width, v.height, 0);
  DDBlt(v.work2, 0, 0, v.width, v.height, v.back, 0, 0, 0);
  DDFillRect(v.back, 0, 0, v.width, v.height, kUncovered);
  {
    AlphaScope alpha;
    DDBltLens(v.back, x, y, radius, Clamp(s.dValue, -kFar, kFar), v.work2, x, y, 0, 0);
  }
  return StepValue(s, p, drawOnly);
}

int32_t Mosaic(cScreenEffectSlot& s, const int32_t* p, const cScreenEffectView& v, bool drawOnly) {
  const int32_t size = Clamp(s.dValue, 1, std::max(v.width, v.height));
  if (size > 1) {  // squares of one dot are the picture itself
    Lift(v);
    AlphaScope alpha;
    DDBltMosaic(v.back, 0, 0, v.width, v.height, size, v.work1, 0, 0, 0);
  }
  return StepValue(s, p, drawOnly);
}

}  // namespace

void cScreenEffectSlot::Start(int16_t n, int32_t mode, int32_t loop) {
  const std::vector<cScreenEffectRun>& table = Table(mode == 1 ? 1 : 0);
  if (n < 0 || static_cast<size_t>(n) >= table.size()) {
    (void)Database.m_ScrEffects.At(n);  // reports the bad number
    *this = cScreenEffectSlot();
    return;
  }
  static_cast<cScreenEffectRun&>(*this) = table[static_cast<size_t>(n)];
  nNumber = n;
  nMode = mode;
  bLoop = loop;
  nDirection = mode == 1 ? 1 : 0;
  nFrame = 0;
  dShake = 0.0;
}

void cScreenEffectSlot::Restart() {
  const int32_t mode = nMode, loop = bLoop;
  int32_t direction = nDirection;
  if (mode == 2) direction ^= 1;
  const std::vector<cScreenEffectRun>& table = Table(direction);
  if (nNumber < 0 || static_cast<size_t>(nNumber) >= table.size()) return;
  static_cast<cScreenEffectRun&>(*this) = table[static_cast<size_t>(nNumber)];
  nMode = mode;
  bLoop = loop;
  nDirection = direction;
  nFrame = 0;
  dShake = 0.0;
}

int32_t cScreenEffectSlot::Step(double start, double end, double step) {
  bool goOn;
  if (bTimeOnly) {
    dElapsed += dStep;
    goOn = dElapsed <= nTime;
  } else if (start > end) {
    dValue -= step;
    goOn = std::trunc(dValue) >= end;
  } else {
    dValue += step;
    goOn = std::trunc(dValue) <= end;
  }
  if (goOn) return 0;
  if (bLoop || (nMode == 2 && nDirection == 0)) {
    Restart();
    return 0;
  }
  return 1;
}

int32_t RunScreenEffectHandler(cScreenEffectSlot& s, const cScrEffectRecord& def, const cScreenEffectView& v,
                               bool drawOnly) {
  const int32_t* p = def.m_nParams;
  if (def.m_nKind > kScrNone && def.m_nKind < kScrKindCount && def.m_nKind != kScrBlink) {
    if (!v.back || !v.work1 || !v.work2) {
      // Nothing to draw with: the effect still runs its time.
      if (drawOnly) return 0;
      return def.m_nKind <= kScrShakeY ? s.Step(0, AtLeastOne(p[0]), s.dStep) : s.Step(p[1], p[2], s.dStep);
    }
  }
  switch (def.m_nKind) {
    case kScrShift: return Shift(s, p, v, drawOnly);
    case kScrShakeX: return Shake(s, p, v, drawOnly, false);
    case kScrShakeY: return Shake(s, p, v, drawOnly, true);
    case kScrSplitX: return Split(s, p, v, drawOnly, false);
    case kScrSplitY: return Split(s, p, v, drawOnly, true);
    case kScrWaveX: return Wave(s, p, v, drawOnly, false);
    case kScrWaveY: return Wave(s, p, v, drawOnly, true);
    case kScrBlink: return Blink(s, p, v, drawOnly);
    case kScrRotate: return Rotate(s, p, v, drawOnly);
    case kScrCircle: return Circle(s, p, v, drawOnly);
    case kScrZoom: return Zoom(s, p, v, drawOnly);
    case kScrLens: return Lens(s, p, v, drawOnly);
    case kScrMosaic: return Mosaic(s, p, v, drawOnly);
    default:
      // No effect (or an unknown kind): drawing goes to the device back
      // buffer again.
      if ((lpDTCon && lpDTCon->bVirtualBackBuffer)) DDSetVirtualBackBuffer(0);
      return 0;
  }
}

void RunScreenEffect(cScreenEffectSlot& slot, const cScreenEffectView& view, bool drawOnly) {
  if (slot.nNumber == 0) return;
  const cScrEffectRecord& def = (slot.nDirection ? Database.m_ScrEffects2 : Database.m_ScrEffects).At(slot.nNumber);
  if (RunScreenEffectHandler(slot, def, view, drawOnly)) {
    slot.nNumber = 0;
    DDSetVirtualBackBuffer(0);
  }
}

// Shots: set-up, the per-sub-step flight (lifetime, range, clamps, blocks),
// drawing, and the layout of volleys by the six firing patterns.
#include "play/objects/shot.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <functional>

#include "base/logs.h"
#include "base/random.h"
#include "gfx/surface_table.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/objects/sword.h"
#include "play/world/stage_scene.h"
#include "scene/replay_recorder.h"

cCombatSwitches g_CombatSwitches;

namespace {

inline constexpr uint32_t kColourKey = 1;
// A sheet's colour variant stands this many entries after it in the surface
// table (the shot sheets 20 and 21: 38 and 39).
inline constexpr int kColourVariantOffset = SURF_SHOT_SYSTEM - SURF_SHOT;

double FrameScale() {
  const double f = StageFrameScale();
  return f > 0 ? f : 1.0;
}

int32_t SubSteps() {
  const int32_t n = StageSubSteps();
  return n < 1 ? 1 : n;
}

// 1/sqrt(2), computed once.
double Rsqrt2() {
  static const double r = 1.0 / std::sqrt(2.0);
  return r;
}

int32_t Trunc(double v) { return TruncToInt(v); }

int32_t SaturatingProduct(int64_t a, int64_t b, int64_t c) {
  const int64_t v = std::clamp<int64_t>(a, -100000000, 100000000) * b * c;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The character in target slot `slot` of `c`; null for an empty or bad slot.
cCharacter* TargetInSlot(const cCharacter& c, int32_t slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= c.m_Targets.size()) return nullptr;
  return c.m_Targets[static_cast<size_t>(slot)];
}

}  // namespace

// ---------------------------------------------------------------------------
// Directions

// Replays recorded with older data versions keep the reading of their time:
// below 778 choice 9 reads the table (as a set flag does now), 778 and 779
// give the facing for choices 0 and 9 whatever the flag.
int32_t ConvertFacingToDirection(int32_t choice, int32_t flag, int32_t facing) {
  static constexpr int32_t kTable[10] = {0, 2, 3, 6, 7, 8, 9, 10, 11, 0};
  const int32_t base = facing == 1 ? kCodeRight : kCodeLeft;
  if (choice < 0 || choice > 9) return base;
  const int32_t replay = ReplayPlaybackVersion();
  if (replay != 0 && replay < 778) flag = 1;
  else if (replay == 778 || replay == 779) flag = 0;
  if (flag) return choice == 0 ? base : kTable[choice];
  return (choice == 0 || choice == 9) ? base : kTable[choice];
}

int32_t DirectionAngle(int32_t code) {
  switch (code) {
    case kCodeRight: return 180;
    case kCodeUp: return 90;
    case kCodeDown: return 270;
    case kCodeUpLeft: return 45;
    case kCodeDownLeft: return 315;
    case kCodeUpRight: return 135;
    case kCodeDownRight: return 225;
    default: return 0;
  }
}

// The direction code of a definition's direction choice for `shooter`.
int32_t VolleyDirection(int32_t choice, int32_t facing, int32_t flowDirection) {
  const bool right = facing == 1;
  switch (choice) {
    case 0: return right ? kCodeRight : kCodeLeft;
    case 1: return right ? kCodeLeft : kCodeRight;
    case 4: return right ? kCodeDown : kCodeUp;
    case 5: return right ? kCodeUp : kCodeDown;
    case 12: return ConvertFacingToDirection(flowDirection, 0, facing);
    default: return choice;
  }
}

namespace {

void AngleVelocity(double angle, double speed, double& vx, double& vy) {
  vx = -std::cos(angle * kShotRadians) * speed;
  vy = -std::sin(angle * kShotRadians) * speed;
}

// The velocity of a direction code without an angle.
void CodeVelocity(int32_t code, double speed, double& vx, double& vy) {
  const double d = speed * Rsqrt2();
  vx = vy = 0;
  switch (code) {
    case kCodeLeft: vx = -speed; break;
    case kCodeRight: vx = speed; break;
    case kCodeUp: vy = -speed; break;
    case kCodeDown: vy = speed; break;
    case kCodeUpLeft: vx = -d; vy = -d; break;
    case kCodeDownLeft: vx = -d; vy = d; break;
    case kCodeUpRight: vx = d; vy = -d; break;
    case kCodeDownRight: vx = d; vy = d; break;
    default: break;
  }
}

// Everything a pattern reads: the shooter's screen rectangle and the view.
struct cPatternContext {
  cStageScene* scene = nullptr;
  cCharacter* shooter = nullptr;
  const cEdShot* def = nullptr;
  int32_t left = 0, top = 0, right = 0, bottom = 0, dw = 0, dh = 0;
  double vx0 = 0, vy0 = 0;  // view origin
  int32_t n = 0;            // objects of the pattern
  std::function<void(cVolley&)> create;
};

// The aim target of the definition (null when there is none).
cCharacter* AimTarget(const cPatternContext& p) {
  switch (p.def->AimTarget()) {
    case 0: return TargetInSlot(*p.shooter, p.def->TargetSlot());
    case 1: return FirstHero();
    case 2: return p.shooter;
    default: return nullptr;
  }
}

// The angle in whole degrees from world point (x, y) to the aim target's
// drawn centre; `fallback` when there is no target. On a stage that scrolls
// by itself, a shot that does not move with the scroll is carried back by
// it: the aim allows for that, and `speed` (the volley's, per frame) becomes
// the length of the allowed-for vector.
double TowardTarget(const cPatternContext& p, double x, double y, double fallback, double* speed = nullptr) {
  const cCharacter* target = AimTarget(p);
  if (!target) return fallback;
  const double tx = target->ScreenCentreX() + std::trunc(p.vx0);
  const double ty = target->ScreenCentreY() + std::trunc(p.vy0);
  const double dx = tx - x, dy = ty - y;
  if (dx == 0 && dy == 0) return fallback;
  const cAxisView& sx = StageViewX();
  const cAxisView& sy = StageViewY();
  const bool scrolling = (sx.Moves() && sx.step != 0) || (sy.Moves() && sy.step != 0);
  if (speed && scrolling && !p.def->MovesWithScroll()) {
    cStageObject still;  // a shot that stays where the scroll leaves it
    double ax = 0, ay = 0;
    int32_t direction = 0;
    const double fs = FrameScale();
    AimVector(ax, ay, direction, &still, x, y, tx, ty, *speed / fs, false, true, false);
    if (ax != 0 || ay != 0) {
      *speed = std::sqrt(ax * ax + ay * ay) * fs;
      return std::trunc(std::atan2(-ay, -ax) / kShotRadians);
    }
  }
  // Velocity is (-cos a, -sin a): the angle that points along (dx, dy).
  return std::trunc(std::atan2(-dy, -dx) / kShotRadians);
}

// Asks for one object at (x, y) flying at (vx, vy); `speed` is the volley
// speed this object's aim settled on (its range is flown at it).
void Emit(cPatternContext& p, cVolley& v, double x, double y, double vx, double vy, double speed = -1) {
  if (v.created >= kMaxVolleyObjects) return;
  ++v.created;
  v.x = Trunc(x);
  v.y = Trunc(y);
  v.vx = vx;
  v.vy = vy;
  const double volleySpeed = v.speed;
  if (speed >= 0) v.speed = speed;
  p.create(v);
  v.speed = volleySpeed;
}

// The diagonal start point of a turned formation at angle a.
void DiagonalStart(const cPatternContext& p, const cVolley& v, double a, double& x, double& y) {
  const double r = Rsqrt2();
  const int32_t w2 = v.width >> 1, h2 = v.height >> 1, dw2 = p.dw >> 1, dh2 = p.dh >> 1;
  const double kx = (w2 + (p.right - p.left - dw2) + 1) * r;
  const double ky = (p.bottom - p.top - dh2 + h2 + 1) * r;
  const double t = (a + 225) * kShotRadians;
  x = std::trunc(p.left + dw2 + p.vx0 + std::sin(t) * ky + std::cos(t) * kx - w2);
  y = std::trunc(std::sin(t) * kx - std::cos(t) * ky + p.top + dh2 + p.vy0 - h2);
}

// The column / row of the straight patterns for a direction code: first
// position and step; false for a code that places nothing.
bool StraightLayout(const cPatternContext& p, const cVolley& v, bool fromBottom, double& x, double& y, double& sx,
                    double& sy) {
  const int32_t n = p.n, w = v.width, h = v.height;
  const int32_t g = std::clamp(p.def->PatternParam(0), -1000, 1000) * 16;
  const int32_t w2 = w >> 1, h2 = h >> 1, g2 = g >> 1, dw2 = p.dw >> 1, dh2 = p.dh >> 1;
  const double tvx = std::trunc(p.vx0), tvy = std::trunc(p.vy0);
  const double r = Rsqrt2();
  const double cxw = tvx + p.left + dw2, cyw = tvy + p.top + dh2;
  switch (v.direction) {
    case kCodeLeft:
    case kCodeRight:
      x = v.direction == kCodeLeft ? std::trunc(p.left + p.vx0 + 1 - w) : std::trunc(p.right + p.vx0 + 1);
      if (fromBottom) {
        y = tvy + p.bottom - h + 1;
        sx = 0;
        sy = -(h + g);
      } else {
        y = tvy + p.top + dh2 - double(n - 1) * g2 - double(n) * h2;
        sx = 0;
        sy = h + g;
      }
      return true;
    case kCodeUp:
    case kCodeDown:
      y = v.direction == kCodeUp ? tvy + p.top - h : tvy + p.bottom + 1;
      if (fromBottom && v.direction == kCodeUp) {
        // The column grows upward from the shooter's bottom.
        y = tvy + p.bottom - h + 1;
        x = tvx + p.left + dw2 - w2;
        sx = 0;
        sy = -(h + g);
      } else {
        x = tvx + p.left + dw2 - double(n - 1) * g2 - double(n) * w2;
        sx = w + g;
        sy = 0;
      }
      return true;
    case kCodeUpLeft:
    case kCodeDownLeft:
    case kCodeUpRight:
    case kCodeDownRight: {
      const bool leftGoing = v.direction == kCodeUpLeft || v.direction == kCodeDownLeft;
      const bool upGoing = v.direction == kCodeUpLeft || v.direction == kCodeUpRight;
      const double x0 = leftGoing ? std::trunc(cxw - (dw2 + w2 - 1) * r - w2)
                                  : std::trunc(cxw + (p.right - p.left - dw2 + w2 + 1) * r - w2);
      const double y0 = upGoing ? std::trunc(cyw - (dh2 + h2) * r - h2)
                                : std::trunc(cyw + (p.bottom - p.top - dh2 + h2 + 1) * r - h2);
      if (v.direction == kCodeUpLeft || v.direction == kCodeDownRight) {
        sx = std::trunc((w + g) * r);
        sy = -std::trunc((h + g) * r);
        x = std::trunc(x0 - (n - 1) * (w2 + g2) * r);
        y = std::trunc(y0 + (n - 1) * (g2 + h2) * r);
      } else {
        sx = std::trunc((w + g) * r);
        sy = std::trunc((h + g) * r);
        x = std::trunc(x0 - (n - 1) * (w2 + g2) * r);
        y = std::trunc(y0 - (n - 1) * (g2 + h2) * r);
      }
      return true;
    }
    default:
      return false;
  }
}

void PatternStraight(cPatternContext& p, cVolley& v, bool variantB) {
  double x = 0, y = 0, sx = 0, sy = 0;
  const bool aim = p.def->AimFlag() != 0;
  const bool rotate = !variantB && p.def->RotateFormation() != 0;
  const int32_t n = p.n, w = v.width, h = v.height;
  if (rotate && (v.angle != 0 || aim)) {
    const int32_t g = std::clamp(p.def->PatternParam(0), -1000, 1000) * 16;
    const int32_t w2 = w >> 1, h2 = h >> 1, g2 = g >> 1;
    const double cx = std::trunc(p.vx0) + p.left + (p.dw >> 1) + v.offsetX;
    const double cy = std::trunc(p.vy0) + p.top + (p.dh >> 1) + v.offsetY;
    const double base = DirectionAngle(v.direction);
    double speed = v.speed;
    double a = (aim ? TowardTarget(p, cx, cy, base, &speed) : base) + v.angle;
    DiagonalStart(p, v, a, x, y);
    if (aim) {
      speed = v.speed;
      a = TowardTarget(p, x + w2 + v.offsetX, y + h2 + v.offsetY, base, &speed) + v.angle;
    }
    const double c = std::cos(a * kShotRadians), s = std::sin(a * kShotRadians);
    if ((s >= 0 && c < 0) || (s < 0 && c >= 0)) {
      x = std::trunc(x + ((w2 + g2) * double(n - 1)) * s);
      y = std::trunc(y - ((g2 + h2) * double(n - 1)) * c);
      sx = std::trunc(-(w + g) * s);
      sy = std::trunc((h + g) * c);
    } else {
      x = std::trunc(x - ((w2 + g2) * double(n - 1)) * s);
      y = std::trunc(y + ((g2 + h2) * double(n - 1)) * c);
      sx = std::trunc((w + g) * s);
      sy = std::trunc(-(h + g) * c);
    }
    x += v.offsetX;
    y += v.offsetY;
    for (int32_t k = 0; k < n; ++k) Emit(p, v, x + k * sx, y + k * sy, -c * speed, -s * speed, speed);
    return;
  }
  if (!StraightLayout(p, v, variantB, x, y, sx, sy)) return;
  x += v.offsetX;
  y += v.offsetY;
  for (int32_t k = 0; k < n; ++k) {
    const double ox = x + k * sx, oy = y + k * sy;
    double vx = 0, vy = 0;
    if (v.angle != 0 || aim) {
      const double base = DirectionAngle(v.direction);
      double speed = v.speed;
      const double a = (aim ? TowardTarget(p, ox + (w >> 1), oy + (h >> 1), base, &speed) : base) + v.angle;
      AngleVelocity(a, speed, vx, vy);
      Emit(p, v, ox, oy, vx, vy, speed);
    } else {
      CodeVelocity(v.direction, v.speed, vx, vy);
      Emit(p, v, ox, oy, vx, vy);
    }
  }
}

void PatternSpread(cPatternContext& p, cVolley& v) {
  const int32_t w = v.width, h = v.height, w2 = w >> 1, h2 = h >> 1;
  const double tvx = std::trunc(p.vx0), tvy = std::trunc(p.vy0);
  const bool aim = p.def->AimFlag() != 0;
  double x = 0, y = 0;
  const double cx = tvx + p.left + (p.dw >> 1) - w2, cy = tvy + p.top + (p.dh >> 1) - h2;
  const double base0 = DirectionAngle(v.direction);
  double speed = v.speed;
  const double base = (aim ? TowardTarget(p, cx + w2 + v.offsetX, cy + h2 + v.offsetY, base0, &speed) : base0) + v.angle;
  if (p.def->RotateFormation() && (v.angle != 0 || aim)) {
    DiagonalStart(p, v, base, x, y);
  } else {
    switch (v.direction) {
      case kCodeLeft: x = tvx + p.left - w + 1; y = cy; break;
      case kCodeRight: x = tvx + p.right + 1; y = cy; break;
      case kCodeUp: x = cx; y = tvy + p.top - h; break;
      case kCodeDown: x = cx; y = tvy + p.bottom + 1; break;
      default:
        // The diagonals start at the corner their flight leaves from.
        DiagonalStart(p, v, base0, x, y);
        break;
    }
  }
  x += v.offsetX;
  y += v.offsetY;
  const double step = p.def->PatternParam(0);
  const double k = (p.n % 2 == 0) ? p.n / 2.0 - 0.5 : (p.n - 1) / 2.0;
  for (int32_t i = 0; i < p.n; ++i) {
    double vx = 0, vy = 0;
    AngleVelocity(base - k * step + i * step, speed, vx, vy);
    Emit(p, v, x, y, vx, vy, speed);
  }
}

void PatternLightning(cPatternContext& p, cVolley& v) {
  const cCharacter* ref = AimTarget(p);
  if (!ref) return;
  const double r = Rsqrt2();
  const int32_t w = v.width, h = v.height;
  const double VX = p.vx0, VY = p.vy0;
  const int32_t cx = ref->m_rcScreen.left + ref->m_nDrawWidth / 2;
  const int32_t cy = ref->m_rcScreen.top + ref->m_nDrawHeight / 2;
  const int32_t g = g_CombatSwitches.shotGapOff ? 0 : std::clamp(p.def->PatternParam(0), -1000, 1000) * 16;
  const int32_t lines = std::clamp(p.def->PatternParam(1), 1, 64);
  const int32_t G = std::clamp(p.def->PatternParam(2), -1000, 1000) * 16;
  double x = 0, y = 0, sx = 0, sy = 0, lx = 0, ly = 0;
  const double s = v.speed, d = v.speed * r;
  double vx = 0, vy = 0;
  switch (v.direction) {
    case kCodeLeft:
      x = std::trunc(VX + 640 - w); y = std::trunc(VY) - h / 2 + cy; sx = -(w + g); vx = -s; lx = 0; ly = G; break;
    case kCodeRight:
      x = std::trunc(VX); y = std::trunc(VY) - h / 2 + cy; sx = w + g; vx = s; lx = 0; ly = G; break;
    case kCodeUp:
      x = std::trunc(VX) - w / 2 + cx; y = std::trunc(VY + 480 - h); sy = -(h + g); vy = -s; lx = G; break;
    case kCodeDown:
      x = std::trunc(VX) - w / 2 + cx; y = std::trunc(VY); sy = h + g; vy = s; lx = G; break;
    case kCodeUpLeft: {
      const int32_t A = 640 - cx, B = 480 - cy;
      if (A >= B) { x = std::trunc(cx + VX + B - w); y = std::trunc(VY + 480 - h); }
      else { x = std::trunc(VX + 640 - w); y = std::trunc(cy + VY + A - h); }
      sx = std::trunc(-(w + g) * r); sy = std::trunc(-(h + g) * r); vx = -d; vy = -d;
      lx = std::trunc(G * r); ly = -std::trunc(G * r);
      break;
    }
    case kCodeDownLeft: {
      const int32_t A = 640 - cx;
      if (A >= cy) { x = std::trunc(cx + VX + cy - w); y = std::trunc(VY); }
      else { x = std::trunc(VX + 640 - w); y = std::trunc(cy + VY - A); }
      sx = std::trunc(-(w + g) * r); sy = std::trunc((h + g) * r); vx = -d; vy = d;
      lx = std::trunc(G * r); ly = std::trunc(G * r);
      break;
    }
    case kCodeUpRight: {
      const int32_t B = 480 - cy;
      if (cx >= B) { x = std::trunc(cx + VX - B); y = std::trunc(VY + 480 - h); }
      else { x = std::trunc(VX); y = std::trunc(cy + VY + cx - h); }
      sx = std::trunc((w + g) * r); sy = std::trunc(-(h + g) * r); vx = d; vy = -d;
      lx = std::trunc(G * r); ly = std::trunc(G * r);
      break;
    }
    case kCodeDownRight:
      if (cx >= cy) { x = std::trunc(cx + VX - cy); y = std::trunc(VY); }
      else { x = std::trunc(VX); y = std::trunc(cy + VY - cx); }
      sx = std::trunc((w + g) * r); sy = std::trunc((h + g) * r); vx = d; vy = d;
      lx = std::trunc(G * r); ly = -std::trunc(G * r);
      break;
    default:
      return;
  }
  if (lines >= 2) {
    const int32_t k = ((lines - 1) >> 1) * G + ((lines % 2 == 0) ? (G >> 1) : 0);
    switch (v.direction) {
      case kCodeLeft: case kCodeRight: y -= k; break;
      case kCodeUp: case kCodeDown: x -= k; break;
      case kCodeUpLeft: case kCodeDownRight: x -= std::trunc(k * r); y += std::trunc(k * r); break;
      default: x -= std::trunc(k * r); y -= std::trunc(k * r); break;
    }
  }
  x += v.offsetX;
  y += v.offsetY;
  if (v.angle != 0) AngleVelocity(DirectionAngle(v.direction) + v.angle, v.speed, vx, vy);
  for (int32_t k = 0; k < p.n; ++k)
    for (int32_t j = 0; j < lines; ++j) Emit(p, v, x + k * sx + j * lx, y + k * sy + j * ly, vx, vy);
}

void PatternExplosion(cPatternContext& p, cVolley& v) {
  if (p.n <= 0) return;
  const double x = std::trunc(p.vx0) + p.left + (p.dw >> 1) - (v.width >> 1) + v.offsetX;
  const double y = std::trunc(p.vy0) + p.top + (p.dh >> 1) - (v.height >> 1) + v.offsetY;
  for (int32_t i = 0; i < p.n; ++i) {
    double vx = 0, vy = 0;
    AngleVelocity(DirectionAngle(v.direction) + v.angle + i * 360.0 / p.n, v.speed, vx, vy);
    Emit(p, v, x, y, vx, vy);
  }
}

void PatternSurround(cPatternContext& p, cVolley& v) {
  const cCharacter* ref = AimTarget(p);
  if (!ref || p.n <= 0) return;
  const double cx = std::trunc(p.vx0) + ref->ScreenCentreX() - (v.width >> 1) + v.offsetX;
  const double cy = std::trunc(p.vy0) + ref->ScreenCentreY() - (v.height >> 1) + v.offsetY;
  const double radius = std::clamp(p.def->PatternParam(0), -1000, 1000) * 16.0;
  for (int32_t i = 0; i < p.n; ++i) {
    const double a = DirectionAngle(v.direction) + v.angle + i * 360.0 / p.n;
    const double ox = std::trunc(std::cos(a * kShotRadians) * radius + 0.5);
    const double oy = std::trunc(std::sin(a * kShotRadians) * radius + 0.5);
    double vx = 0, vy = 0;
    AngleVelocity(a, v.speed, vx, vy);
    Emit(p, v, cx + ox, cy + oy, vx, vy);
  }
}

void RunPattern(cPatternContext& p, cVolley& v) {
  switch (p.def->Pattern()) {
    case 0: PatternStraight(p, v, false); break;
    case 1: PatternStraight(p, v, true); break;
    case 2: PatternSpread(p, v); break;
    case 3: PatternLightning(p, v); break;
    case 4: PatternExplosion(p, v); break;
    case 5: PatternSurround(p, v); break;
    default: break;  // an unknown pattern fires nothing
  }
}

double MirroredAngle(const cEdShot& d, int32_t angle, int32_t facing) {
  double a = angle;
  if (d.MirrorAngle() && facing == 1) a = 360 - a;
  if (d.RandomSpread() != 0) a += RandomRange(-d.RandomSpread(), d.RandomSpread());
  return a;
}

void PrepareContext(cPatternContext& p, cStageScene& scene, cCharacter& shooter, const cEdShot& d) {
  p.scene = &scene;
  p.shooter = &shooter;
  p.def = &d;
  if (shooter.m_nKind == 1) {
    shooter.UpdateScreenRect();
    for (int32_t slot : {d.TargetSlot(), d.SecondTargetSlot()})
      if (cCharacter* t = TargetInSlot(shooter, slot); t && t->m_nKind == 1) t->UpdateScreenRect();
  }
  p.left = shooter.m_rcScreen.left;
  p.top = shooter.m_rcScreen.top;
  p.right = shooter.m_rcScreen.right;
  p.bottom = shooter.m_rcScreen.bottom;
  p.dw = shooter.m_nDrawWidth;
  p.dh = shooter.m_nDrawHeight;
  p.vx0 = StageViewX().position;
  p.vy0 = StageViewY().position;
  const int32_t n = d.ObjectCount();
  if (n > kMaxVolleyObjects) WriteECLog("shot: %d objects asked for, %d made", n, kMaxVolleyObjects);
  p.n = std::clamp(n, 0, kMaxVolleyObjects);
}

}  // namespace

void RunVolleyPattern(cStageScene& scene, cCharacter& shooter, const cEdShot& d, cVolley& volley,
                      const std::function<void(cVolley&)>& create) {
  cPatternContext p;
  PrepareContext(p, scene, shooter, d);
  p.create = create;
  RunPattern(p, volley);
}

void FireShots(cStageScene& scene, cCharacter& shooter, const cEdShot& d, int32_t commandKind, int32_t flowDirection,
               int32_t flowGroup) {
  cPatternContext p;
  PrepareContext(p, scene, shooter, d);
  cVolley v;
  v.commandKind = commandKind;
  v.flowGroup = flowGroup;
  const int32_t scale = std::max(1, d.ScaleValue());
  v.width = v.height = std::min(scale, 64) * 16;
  v.direction = VolleyDirection(d.DirectionChoice(), shooter.m_nFacing, flowDirection);
  double speed = d.Speed() * 0.1;
  double angle = MirroredAngle(d, d.BaseAngle(), shooter.m_nFacing);
  int32_t range = d.Range(), lifetime = d.Lifetime();
  p.create = [&](cVolley& volley) {
    cShot* shot = scene.AddShot();
    if (!shot) return;
    shot->Setup(d, shooter, volley, commandKind, scene.m_nShotCounter);
    scene.m_nShotCounter = scene.m_nShotCounter == INT32_MAX ? 0 : scene.m_nShotCounter + 1;
    shot->Register();
    scene.GroupShot(*shot);
  };
  const int32_t shots = std::clamp(d.ExtraCount(), -1, kMaxVolleyObjects - 1) + 1;
  for (int32_t i = 0; i < shots && v.created < kMaxVolleyObjects; ++i) {
    v.index = i;
    v.speed = speed;
    v.angle = angle;
    v.range = range;
    v.lifetime = lifetime;
    const double ox = d.StartX() + double(d.StepX()) * i;
    const double oy = d.StartY() + double(d.StepY()) * i;
    v.offsetX = Trunc(shooter.m_nFacing == 1 && d.MirrorStartX() ? -ox : ox);
    v.offsetY = Trunc(shooter.m_nFacing == 1 && d.MirrorStartY() ? -oy : oy);
    RunPattern(p, v);
    // The next shot's values, also after the last shot: its angle takes a
    // random draw of the spread like every other, so a volley of n shots
    // draws n + 1 numbers and a replay draws exactly what its recording did.
    speed += d.SpeedStep() * 0.1;
    angle = MirroredAngle(d, d.BaseAngle() + d.AngleStep() * (i + 1), shooter.m_nFacing);
    range = std::clamp(range + d.RangeStep(), -100000, 100000);
    lifetime = std::clamp(lifetime + d.LifetimeStep(), -100000, 100000);
  }
}

// ---------------------------------------------------------------------------
// cShot

cShot::~cShot() { Unregister(); }

bool cShot::HasHit(int32_t id) const { return std::find(m_HitIds.begin(), m_HitIds.end(), id) != m_HitIds.end(); }

bool cShot::IsHarmful() const {
  return m_Definition.Power() != 0 || m_Definition.Impact() != 0 || m_Definition.m_nItemPalette != 0;
}

int32_t cShot::Group() const { return m_nGroup; }

void cShot::OnScaleChanged(int32_t factor) {
  m_Hit.offsetX = m_Hit.baseOffsetX * factor;
  m_Hit.offsetY = m_Hit.baseOffsetY * factor;
  m_Hit.width = m_Hit.baseWidth * factor;
  m_Hit.height = m_Hit.baseHeight * factor;
  ClampX();
  cStageObject::ClampY(2);
}

void cShot::AdjustForScale(int32_t newScale, int32_t oldScale, int32_t) {
  m_dY -= (m_nBaseHeight / 2) * double(newScale - oldScale);
  cStageObject::ClampY(2);
}

void cShot::OnMovedX() { m_Hit.UpdateX(m_dX); }
void cShot::OnMovedY() { m_Hit.UpdateY(m_dY); }

void cShot::AccelerationComponents(double& ax, double& ay, double vx, double vy) const {
  auto conv = [](double v) { return v / FrameScale() * 0.016666666666666666; };
  if (vx == 0 && vy == 0) {
    ax = ay = 0;
  } else if (vx == 0) {
    ax = 0;
    ay = vy > 0 ? conv(m_dAcceleration) : -conv(m_dAcceleration);
  } else if (vy == 0) {
    ay = 0;
    ax = vx > 0 ? conv(m_dAcceleration) : -conv(m_dAcceleration);
  } else {
    const double len = std::sqrt(vx * vx + vy * vy);
    ax = conv(vx / len * m_dAcceleration);
    ay = conv(vy / len * m_dAcceleration);
  }
}

void cShot::Setup(const cEdShot& d, cCharacter& shooter, const cVolley& v, int32_t commandKind, int32_t id) {
  m_Definition = d;
  const int32_t scale = std::clamp(d.ScaleValue(), 1, 64);
  const double fs = FrameScale();
  int32_t width = 16, height = 16;
  m_bIsProjectile = commandKind == kCmdKindSword ? 0 : 1;
  if (!m_bIsProjectile) {
    cSwordFrame frame;
    if (GetSwordFrame(d.MoveKind(), 0, frame)) {
      width = std::clamp(frame.width, 1, 4096);
      height = std::clamp(frame.height, 1, 4096);
    }
  }
  m_nOwnerId = shooter.m_nId;
  m_nShooterKind = shooter.m_nKind;
  cStageObject::Setup(id, shooter.m_nKind, shooter.m_nOwner, -1, 0, kShotAnimeSet, 1, 0, 0, width, height, width,
                      height, shooter.m_nFacing, 1, static_cast<uint16_t>(v.index), &m_Definition);
  int32_t faction = d.FactionNumber();
  if (d.UseShooterFaction()) {
    faction = shooter.Definition().GroupByte();
    m_Definition.m_f27 = static_cast<uint8_t>(faction);
    m_nBlockFlags = faction;
  }
  m_nGroup = std::clamp(faction, 0, kGroupCount - 1);
  // A shot's hit square is centred in its 16-dot cell. A sword hits with
  // its whole frame (set again by each of its frames): the shot's square,
  // put in the corner of a sword's frame, would cover only the hilt of a
  // blade held to the right and only the tip of one held to the left.
  const int32_t side = shooter.m_nKind == 0 ? 0 : 1;
  const int32_t hw = std::clamp(g_CombatSwitches.shotHitWidth[side], 0, 4096);
  const int32_t hh = std::clamp(g_CombatSwitches.shotHitHeight[side], 0, 4096);
  m_Hit.baseOffsetX = m_Hit.offsetX = m_bIsProjectile ? 8 - hw / 2 : 0;
  m_Hit.baseOffsetY = m_Hit.offsetY = m_bIsProjectile ? 8 - hh / 2 : 0;
  m_Hit.baseWidth = m_Hit.width = m_bIsProjectile ? hw : width;
  m_Hit.baseHeight = m_Hit.height = m_bIsProjectile ? hh : height;
  SetScale(scale, 1, 1);
  m_dX = v.x;
  ClampX();
  m_dY = v.y;
  cStageObject::ClampY(2);
  m_dOwnVX = v.vx / fs;
  m_dOwnVY = v.vy / fs;
  m_nIndex = v.index;
  m_nFlowGroup = v.flowGroup;
  m_nMoveKind = d.MoveKind();
  m_bAccelerating = d.Accelerate() != 0 ? 1 : 0;
  if (m_bAccelerating) {
    m_dAcceleration = ((double(d.AccelerationStep()) * v.index + d.Acceleration()) * 0.1) / fs;
    AccelerationComponents(m_dAccelX, m_dAccelY, m_dOwnVX, m_dOwnVY);
  } else {
    m_dAcceleration = 0;
    m_dAccelX = m_dAccelY = 0;
  }
  m_dSpeedX = m_dSpeedY = 0;
  m_bFollowsScroll = d.MovesWithScroll();
  m_bLifeOn = d.LifetimeOn() != 0 ? 1 : 0;
  m_bRangeOn = d.RangeOn() != 0 ? 1 : 0;
  if (m_bLifeOn) m_nLifeFrames = SaturatingProduct(v.lifetime, SubSteps(), 6);
  if (m_bRangeOn) {
    const double D = std::max(0.0, v.range * 16.0 - m_nWidth);
    const double s = std::fabs(v.speed / fs);
    if (D > 0 && s > 0) {
      m_nRangeFrames = Trunc(D / s);
    } else {
      m_nRangeFrames = Trunc(fs);
      if (s > 0 && Trunc(fs * s) > m_nWidth) m_nRangeFrames = Trunc(m_nWidth / s);
    }
    if (m_nRangeFrames < fs) {
      const double sum = std::fabs(v.vx) + std::fabs(v.vy);
      if (sum > 0) {
        m_dOwnVX = (D / fs) * v.vx / sum;
        m_dOwnVY = (D / fs) * v.vy / sum;
      }
      m_nRangeFrames = Trunc(fs);
    }
  }
  m_nFrameCount = 0;
  m_nAimFrame = 0;
  m_nEndFrame = 0;
  m_bDone = 0;
  m_nSwordFrame = 0;
  m_pTarget = TargetInSlot(shooter, d.SecondTargetSlot());
  m_pOwner = &shooter;
  m_bPresent = 1;
}

void cShot::Register() {
  const int32_t kind = m_Definition.MoveKind();
  if (m_bIsProjectile && (kind == 3 || kind == 6) && m_pTarget) {
    auto& links = m_pTarget->m_Links;
    const bool there = std::any_of(links.begin(), links.end(),
                                   [this](const cLinkEntry& e) { return e.object == this && e.kind == 0; });
    if (!there) links.push_back({this, 0, &m_pTarget});
  } else {
    m_pTarget = nullptr;
  }
  if (m_pOwner) {
    auto& links = m_pOwner->m_Links;
    const bool there = std::any_of(links.begin(), links.end(),
                                   [this](const cLinkEntry& e) { return e.object == this && e.kind == 4; });
    if (!there) links.push_back({this, 4, &m_pOwner});
  }
}

void cShot::Unregister() {
  auto drop = [this](cCharacter* c) {
    if (!c) return;
    auto& links = c->m_Links;
    links.erase(std::remove_if(links.begin(), links.end(), [this](const cLinkEntry& e) { return e.object == this; }),
                links.end());
  };
  drop(m_pTarget);
  if (m_pOwner != m_pTarget) drop(m_pOwner);
  m_pTarget = nullptr;
  m_pOwner = nullptr;
}

// The speed carried by the forced scroll, by the hero's rule: without
// scroll-relative aiming only a shot that moves with the scroll is carried
// (a free-flying one on both axes); with it every free-flying shot is
// carried and a falling one is not, as a hero on its feet is not. A
// falling shot keeps its own vertical speed either way.
void cShot::CarryByScroll() {
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  const bool carried = g_MotionSwitches.scrollRelativeAim ? m_bFreeVertical != 0 : m_bFollowsScroll != 0;
  m_dSpeedX = carried && !vx.atLimit ? vx.step : 0;
  if (m_bFreeVertical) m_dSpeedY = carried && !vy.atLimit ? vy.step : 0;
}

int cShot::MoveByKind() {
  if (!m_bIsProjectile) return SwordMove();
  CarryByScroll();
  RunMoveKind();
  if (m_bAccelerating) {
    m_dOwnVX += m_dAccelX;
    if (!m_bFreeVertical)
      m_dSpeedY += m_dAccelY;
    else
      m_dOwnVY += m_dAccelY;
  }
  m_dSpeedX += m_dOwnVX;
  if (m_bFreeVertical) m_dSpeedY += m_dOwnVY;
  if (m_bLifeOn) {
    if (m_nLifeFrames < 1) return 1;
    --m_nLifeFrames;
  }
  if (m_dSpeedX > 0) m_nFacing = 1;
  else if (m_dSpeedX < 0) m_nFacing = 0;
  if (m_bRangeOn) {
    if (m_nRangeFrames < 1) {
      if (!m_Definition.StopAtRange()) return 1;
      // Stopped at its range: it stays, carried only by the scroll.
      m_dOwnVX = m_dOwnVY = 0;
      m_nMoveKind = 0;
      m_bAccelerating = 0;
      m_dAccelX = m_dAccelY = 0;
      CarryByScroll();
      m_bRangeOn = 0;
    } else {
      --m_nRangeFrames;
    }
  }
  return 0;
}

int cShot::MoveX() {
  if (m_dAccelX != 0) m_dSpeedX += m_dAccelX;
  if (m_dSpeedX == 0) return 0;
  const double max = StageMaxSpeed();
  m_dSpeedX = std::clamp(m_dSpeedX, -max, max);
  m_dX += m_dSpeedX;
  ClampX();
  return 0;
}

int cShot::MoveY() {
  if (m_dAccelY != 0) m_dSpeedY += m_dAccelY;
  if (m_dSpeedY != 0) cStageObject::MoveY(2);
  return 0;
}

int cShot::ClampX() {
  const cAxisView& v = StageViewX();
  const int64_t margin = int64_t{v.blockOffset} * 32;
  const int32_t w = m_nWidth;
  int code = 0;
  if (m_dX < 0 && w < margin) {
    m_dX = 0;
    code = kEdgeMapEnd;
  } else if (m_dX >= 0 && m_dX + w - 1 >= v.mapExtent && w < margin) {
    m_dX = double(int64_t{v.mapExtent} - w);
    code = kEdgeMapEnd;
  }
  m_dRight = m_dX + w - 1;
  OnMovedX();
  m_nColumnLeft = CellOf(m_dX);
  m_nColumnRight = CellOf(m_dRight);
  return code;
}

int cShot::HitsBlock() {
  if (m_Definition.PassBlocks()) return 0;
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->BlockMap().IsEmpty()) return 0;
  cBlockMap& map = scene->BlockMap();
  // Cells off the map are not solid: a shot beyond the map's edge (where
  // the clamp leaves wide shots) tests nothing there.
  auto solid = [&](double x, double y) {
    if (x < 0 || y < 0) return false;
    const int32_t column = CellOf(x), row = CellOf(y);
    if (column >= map.Columns() || row >= map.Rows()) return false;
    const int32_t cell = map.CellIndex(column, row);
    return cell >= 0 && map.IsBlockSolid(cell, m_nBlockFlags) != kBlockNotSolid;
  };
  if (m_nWidth > 32) {
    // Sample points 0, 32, 64, ... short of size - 1, then size - 1 (at
    // least 0), rows outside, columns inside; the first solid one answers.
    auto anySample = [](int32_t size, auto&& test) {
      for (int64_t d = 0; d < int64_t{size} - 1; d += 32)
        if (test(static_cast<int32_t>(d))) return true;
      return test(std::max(0, size - 1));
    };
    const bool hit = anySample(m_nHeight, [&](int32_t dy) {
      return anySample(m_nWidth, [&](int32_t dx) { return solid(m_dX + dx, m_dY + dy); });
    });
    return hit ? 1 : 0;
  }
  // The four corners: left/top, left/bottom, right/top, right/bottom, in
  // that order. Corners often share a cell; a cell already found empty (no
  // block, so nothing is evaluated) is not looked at again.
  auto line = [](double v, int32_t count) {
    if (v < 0) return -1;  // off the map (as is a value that is not a number)
    const int32_t n = CellOf(v);
    return n < count ? n : -1;
  };
  const int32_t left = line(m_dX, map.Columns()), right = line(m_dRight, map.Columns());
  const int32_t top = line(m_dY, map.Rows()), bottom = line(m_dBottom, map.Rows());
  int32_t emptyCell = -1;
  auto solidCell = [&](int32_t column, int32_t row) {
    if (column < 0 || row < 0) return false;
    const int32_t cell = map.CellIndex(column, row);
    if (cell < 0 || cell == emptyCell) return false;
    if (!map.HasBlock(cell)) {
      emptyCell = cell;
      return false;
    }
    return map.IsBlockSolid(cell, m_nBlockFlags) != kBlockNotSolid;
  };
  if (solidCell(left, top) || solidCell(left, bottom) || solidCell(right, top) || solidCell(right, bottom)) return 1;
  return 0;
}

void cShot::Draw(DDSURFACEDATA* target, int32_t hold) {
  if (m_Definition.Hidden()) return;
  if (!m_bIsProjectile) {
    DrawSword(target);
    return;
  }
  const int32_t cell = hold ? m_AnimePlayer.GetCell() : m_AnimePlayer.Step();
  if (!target || cell < 0) return;
  const int32_t graphic = m_Definition.Graphic();
  if (graphic < 0) return;
  // The stage-palette choice draws from the sheet's colour variant.
  int sheetId = m_nFacing ? SURF_SHOT_MIRROR : SURF_SHOT;
  if (m_Definition.PaletteChoice() == 1 && GameSurfaces[sheetId + kColourVariantOffset].nWidth > 0)
    sheetId += kColourVariantOffset;
  DDSURFACEDATA* sheet = &GameSurfaces[sheetId];
  const int32_t sx = (cell + (graphic / 30) * 2) * 16;
  const int32_t sy = (graphic % 30) * 16;
  if (sx + 16 > sheet->nWidth || sy + 16 > sheet->nHeight) return;
  UpdateScreenRect();
  // Wholly off the target: the blit would clip it away.
  if (m_rcScreen.left >= target->nWidth || m_rcScreen.top >= target->nHeight ||
      int64_t{m_rcScreen.left} + m_nDrawWidth <= 0 || int64_t{m_rcScreen.top} + m_nDrawHeight <= 0)
    return;
  if (std::max(1, m_Definition.ScaleValue()) < 2)
    DDBlt(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, sheet, sx, sy, kColourKey);
  else
    DDBltStretch(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, sheet, sx, sy, 16, 16,
                 kColourKey);
}

// ---------------------------------------------------------------------------
// The stage's shot list

cShot* cStageScene::AddShot() {
  if (m_ShotList.size() >= kMaxStageShots) {
    if (!m_bShotCapLogged) WriteECLog("shots: the stage holds %zu shots; more are not fired", kMaxStageShots);
    m_bShotCapLogged = 1;
    return nullptr;
  }
  m_ShotList.push_back(std::make_shared<cShot>());
  cShot* shot = m_ShotList.back().get();
  shot->m_ListPos = std::prev(m_ShotList.end());
  shot->m_nOrderSerial = m_ShotOrder.Push(shot);
  return shot;
}

void cStageScene::GroupShot(cShot& shot) {
  // Shots are grouped in the order they joined the list (each right after
  // its AddShot), so a walk over the shot order that keeps one group's
  // shots visits them as the group's list holds them.
  assert(!m_ShotList.empty() && m_ShotList.back().get() == &shot);
  m_ShotGroups.resize(kGroupCount);
  std::list<cShot*>& group = m_ShotGroups[static_cast<size_t>(shot.m_nGroup)];
  group.push_back(&shot);
  shot.m_GroupPos = std::prev(group.end());
  shot.m_bGrouped = 1;
  if (cShotOrderEntry* entry = m_ShotOrder.Find(shot.m_nOrderSerial)) entry->group = shot.m_nGroup;
  if (shot.m_Definition.CancelsShots()) ++m_nCancellerShots;
}

void MarkShotForRemoval(cStageScene& scene, cShot& shot) {
  if (shot.m_bRemove) return;
  shot.m_bRemove = 1;
  scene.m_MarkedShots.push_back(&shot);
}

void FlushShots(cStageScene& scene) {
#ifndef NDEBUG
  // Every flag was set through MarkShotForRemoval.
  size_t flagged = 0, cancellers = 0;
  for (const auto& s : scene.m_ShotList) {
    flagged += s->m_bRemove ? 1 : 0;
    cancellers += s->m_bGrouped && s->m_Definition.CancelsShots() ? 1 : 0;
  }
  assert(flagged == scene.m_MarkedShots.size());
  assert(cancellers == scene.m_nCancellerShots);
  assert(scene.m_ShotOrder.size() - scene.m_ShotOrder.Holes() == scene.m_ShotList.size());
#endif
  if (scene.m_MarkedShots.empty()) return;
  // Erasing a node leaves the others where they are: the lists keep their
  // order. The list entry owns the shot, so it goes last.
  for (cShot* shot : scene.m_MarkedShots) {
    if (shot->m_bGrouped) {
      scene.m_ShotGroups[static_cast<size_t>(shot->m_nGroup)].erase(shot->m_GroupPos);
      if (shot->m_Definition.CancelsShots()) --scene.m_nCancellerShots;
    }
    scene.m_ShotOrder.Drop(shot->m_nOrderSerial);
    scene.m_ShotList.erase(shot->m_ListPos);
  }
  scene.m_MarkedShots.clear();
  scene.m_ShotOrder.Compact();
}

void ClearShots(cStageScene& scene) {
  for (auto& group : scene.m_ShotGroups) group.clear();
  scene.m_ShotList.clear();
  scene.m_ShotOrder.Clear();
  scene.m_MarkedShots.clear();
  scene.m_nCancellerShots = 0;
}

void cStageScene::MoveShots(int32_t step) {
  // Shots fired during the walk (by a summon's flows) join at the end and
  // move from the next sub-step: the walk covers the shots that were there.
  // The walk goes over the shot order (the list's order, no shot leaves
  // it before the FlushShots at the end).
  // Half as far ahead as the shots, the block cells under each shot (where
  // it stands before its move, almost always where its block test looks)
  // are brought in too: on a long stage the block map is not cached.
  const size_t count = m_ShotOrder.size();
  for (size_t k = 0; k < kShotLookAhead && k < count; ++k) PrefetchShotAhead(m_ShotOrder, k);
  cBlockMap& map = BlockMap();
  auto prefetchCells = [&map](const cShot* shot) {
    const size_t cells = map.CellCount();
    const int top = map.CellIndex(shot->m_nColumnLeft, shot->m_nRowTop);
    if (top >= 0 && static_cast<size_t>(top) < cells) PrefetchLine(&map.Cell(top));
    const int bottom = map.CellIndex(shot->m_nColumnLeft, shot->m_nRowBottom);
    if (bottom >= 0 && bottom != top && static_cast<size_t>(bottom) < cells) PrefetchLine(&map.Cell(bottom));
  };
  // The removal areas of the players' shots and of the others (nothing a
  // shot's move does changes the stage's parameters).
  cLiveRange ranges[2];
  for (int i = 0; i < 2 && step == 1; ++i)
    ranges[i] = LiveRangeOf(StageData.m_Params[i == 0 ? kRemovalPlayerShots : kRemovalOtherShots]);
  for (size_t k = 0; k < count; ++k) {
    PrefetchShotAhead(m_ShotOrder, k + kShotLookAhead);
    if (k + kShotLookAhead / 2 < count)
      if (const cShot* ahead = m_ShotOrder[k + kShotLookAhead / 2].shot) prefetchCells(ahead);
    cShot* const at = m_ShotOrder[k].shot;
    if (!at) continue;
    cShot& shot = *at;
    if (shot.m_bRemove) continue;
    if (shot.MoveByKind() != 0) {
      MarkShotForRemoval(*this, shot);
      continue;
    }
    shot.ApplyGravity();
    shot.MoveY();
    shot.MoveX();
    shot.m_bOnScreen = shot.IsOnScreen() ? 1 : 0;
    if (step == 1 && shot.IsProjectile()) {
      if (shot.IsOutsideLiveRange(shot.m_nKind == 0 ? ranges[0] : ranges[1])) {
        MarkShotForRemoval(*this, shot);
        continue;
      }
    }
    if (shot.HitsBlock() != 0) MarkShotForRemoval(*this, shot);
  }
  FlushShots(*this);
}

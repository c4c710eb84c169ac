// The volleys of the shot command: the direction codes of a definition's
// direction choice, and where each shot of the six firing patterns
// (straight A and B, spread, lightning, explosion, surround) starts and how
// it flies.
#include <algorithm>
#include <cmath>
#include <functional>

#include "base/angles.h"
#include "base/logs.h"
#include "base/random.h"
#include "play/objects/character.h"
#include "play/objects/shot.h"
#include "play/world/stage_scene.h"
#include "scene/replay_recorder.h"

namespace {

// 1/sqrt(2), computed once.
double Rsqrt2() {
  static const double r = 1.0 / std::sqrt(2.0);
  return r;
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
  vx = -std::cos(angle * kRadiansPerDegreeShort) * speed;
  vy = -std::sin(angle * kRadiansPerDegreeShort) * speed;
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
    case 0: return p.shooter->TargetInSlot(p.def->TargetSlot());
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
    const double fs = StageFrameScaleOrOne();
    AimVector(ax, ay, direction, &still, x, y, tx, ty, *speed / fs, false, true, false);
    if (ax != 0 || ay != 0) {
      *speed = std::sqrt(ax * ax + ay * ay) * fs;
      return std::trunc(std::atan2(-ay, -ax) / kRadiansPerDegreeShort);
    }
  }
  // Velocity is (-cos a, -sin a): the angle that points along (dx, dy).
  return std::trunc(std::atan2(-dy, -dx) / kRadiansPerDegreeShort);
}

// Asks for one object at (x, y) flying at (vx, vy); `speed` is the volley
// speed this object's aim settled on (its range is flown at it).
void Emit(cPatternContext& p, cVolley& v, double x, double y, double vx, double vy, double speed = -1) {
  if (v.created >= kMaxVolleyObjects) return;
  ++v.created;
  v.x = TruncToInt(x);
  v.y = TruncToInt(y);
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
  const double t = (a + 225) * kRadiansPerDegreeShort;
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
    const double c = std::cos(a * kRadiansPerDegreeShort), s = std::sin(a * kRadiansPerDegreeShort);
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
    const double ox = std::trunc(std::cos(a * kRadiansPerDegreeShort) * radius + 0.5);
    const double oy = std::trunc(std::sin(a * kRadiansPerDegreeShort) * radius + 0.5);
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

void PrepareContext(cPatternContext& p, cCharacter& shooter, const cEdShot& d) {
  p.shooter = &shooter;
  p.def = &d;
  if (shooter.m_nKind == 1) {
    shooter.UpdateScreenRect();
    for (int32_t slot : {d.TargetSlot(), d.SecondTargetSlot()})
      if (cCharacter* t = shooter.TargetInSlot(slot); t && t->m_nKind == 1) t->UpdateScreenRect();
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

void RunVolleyPattern(cCharacter& shooter, const cEdShot& d, cVolley& volley,
                      const std::function<void(cVolley&)>& create) {
  cPatternContext p;
  PrepareContext(p, shooter, d);
  p.create = create;
  RunPattern(p, volley);
}

void FireShots(cStageScene& scene, cCharacter& shooter, const cEdShot& d, int32_t commandKind, int32_t flowDirection,
               int32_t flowGroup) {
  cPatternContext p;
  PrepareContext(p, shooter, d);
  cVolley v;
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
    v.offsetX = TruncToInt(shooter.m_nFacing == 1 && d.MirrorStartX() ? -ox : ox);
    v.offsetY = TruncToInt(shooter.m_nFacing == 1 && d.MirrorStartY() ? -oy : oy);
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


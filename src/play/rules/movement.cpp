// Geometry and motion of stage objects: clamps against the stage's limits,
// per-axis moves, scale changes, the screen rectangle, on-screen and
// live-range tests, the velocity helpers of the movement commands and the
// shots, and the one-axis range test of the position conditions.
#include <climits>
#include <cmath>

#include "base/angles.h"
#include "base/logs.h"
#include "flow/conditions.h"
#include "play/objects/character.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"

cMotionSwitches g_MotionSwitches;

namespace {

const cAxisView kNoView{};
const cAxisView* s_pViewX = nullptr;
const cAxisView* s_pViewY = nullptr;

int32_t Clamp32(int64_t v) {
  if (v < INT32_MIN) return INT32_MIN;
  if (v > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(v);
}

// The step of an axis's forced scroll while it moves, else 0.
double MovingStep(const cAxisView& view) { return view.Moves() ? view.step : 0.0; }


}  // namespace

// ---------------------------------------------------------------------------
// Units

double ConvertSpeed(int16_t v) {
  const double scale = StageSpeedScale();
  return v * 0.01 / (scale > 0 ? scale : 1.0);
}

const cAxisView& StageViewX() { return s_pViewX ? *s_pViewX : kNoView; }
const cAxisView& StageViewY() { return s_pViewY ? *s_pViewY : kNoView; }

void SetStageView(const cAxisView* x, const cAxisView* y) {
  s_pViewX = x;
  s_pViewY = y;
}

// ---------------------------------------------------------------------------
// Clamps and motion

int cStageObject::ClampX(int mode) {
  const cAxisView& v = StageViewX();
  const int32_t w = m_nWidth;
  int code = 0;
  switch (mode) {
    case 0:
      if (m_dX < v.rangeLow) m_dX = v.rangeLow;
      else if (m_dX + w - 1 >= v.rangeHigh) m_dX = static_cast<double>(int64_t{v.rangeHigh} - w);
      break;
    case 1:
      if (m_dX < v.areaLow) m_dX = v.areaLow;
      else if (m_dX + w - 1 >= v.areaHigh) m_dX = static_cast<double>(int64_t{v.areaHigh} - w);
      else if (m_dX < v.rangeLow || m_dX + w - 1 >= v.rangeHigh) code = kEdgeOutRange;
      break;
    case 2:
      if (m_dX < 0) {
        m_dX = 0;
        code = kEdgeMapEnd;
      } else if (m_dX + w - 1 >= v.mapExtent) {
        m_dX = static_cast<double>(int64_t{v.mapExtent} - w);
        code = kEdgeMapEnd;
      } else if (m_dX < v.areaLow || m_dX + w - 1 >= v.areaHigh) {
        code = kEdgeOutArea;
      } else if (m_dX < v.rangeLow || m_dX + w - 1 >= v.rangeHigh) {
        code = kEdgeOutRange;
      }
      break;
    default:
      break;
  }
  m_dRight = w + m_dX - 1;
  OnMovedX();
  m_nColumnLeft = CellOf(m_dX);
  m_nColumnRight = CellOf(m_dRight);
  return code;
}

// The twin of ClampX on y. Mode 1 answers 1 outside the scroll range on
// either side, as on x. Mode 2 holds an object at the map's top or bottom
// only when it is shorter than the rows above the stage area: a taller one
// (a tall boss standing at the top) is left where it is.
int cStageObject::ClampY(int mode) {
  const cAxisView& v = StageViewY();
  const int32_t h = m_nHeight;
  int code = 0;
  switch (mode) {
    case 0:
      if (m_dY < v.rangeLow) m_dY = v.rangeLow;
      else if (m_dY + h - 1 >= v.rangeHigh) m_dY = static_cast<double>(int64_t{v.rangeHigh} - h);
      break;
    case 1:
      if (m_dY < v.areaLow) m_dY = v.areaLow;
      else if (m_dY + h - 1 >= v.areaHigh) m_dY = static_cast<double>(int64_t{v.areaHigh} - h);
      else if (m_dY < v.rangeLow || m_dY + h - 1 >= v.rangeHigh) code = kEdgeOutRange;
      break;
    case 2: {
      const bool holdable = int64_t{h} < int64_t{v.blockOffset} * 32;
      if (m_dY < 0) {
        if (holdable) {
          m_dY = 0;
          code = kEdgeMapEnd;
        }
      } else if (m_dY + h - 1 >= v.mapExtent) {
        if (holdable) {
          m_dY = static_cast<double>(int64_t{v.mapExtent} - h);
          code = kEdgeMapBottom;
        }
      } else if (m_dY < v.areaLow) {
        code = kEdgeOutArea;
      } else if (m_dY + h - 1 >= v.areaHigh) {
        code = kEdgeBelowArea;
      } else if (m_dY < v.rangeLow) {
        code = kEdgeOutRange;
      } else if (m_dY + h - 1 >= v.rangeHigh) {
        code = kEdgeBelowRange;
      }
      break;
    }
    default:
      break;
  }
  m_dBottom = h + m_dY - 1;
  OnMovedY();
  m_nRowTop = CellOf(m_dY);
  m_nRowBottom = CellOf(m_dBottom);
  return code;
}

int cStageObject::MoveX(int mode) {
  const double max = StageMaxSpeed();
  if (m_dSpeedX > max) m_dSpeedX = max;
  if (m_dSpeedX < -max) m_dSpeedX = -max;
  m_dX += m_dSpeedX;
  return ClampX(mode);
}

int cStageObject::MoveY(int mode) {
  const double max = StageMaxSpeed();
  if (m_dSpeedY > max) m_dSpeedY = max;
  if (m_dSpeedY < -max) m_dSpeedY = -max;
  m_dY += m_dSpeedY;
  return ClampY(mode);
}

int32_t cStageObject::ApplyGravity() {
  if (m_bFreeVertical == 0) m_dSpeedY += StageGravity();
  return m_bFreeVertical;
}

// The switch gates both signs: an axis whose deceleration is off this
// sub-step keeps its acceleration whichever way it points.
void cStageObject::DecelerateAxis(double& acceleration, int32_t enabled) {
  if (!enabled) return;
  if (acceleration > 0) {
    acceleration -= m_dDeceleration;
    if (acceleration < 0) acceleration = 0;
  } else if (acceleration < 0) {
    acceleration += m_dDeceleration;
    if (acceleration > 0) acceleration = 0;
  }
}

// ---------------------------------------------------------------------------
// Scale

void cStageObject::SetScale(int32_t newScale, int32_t oldScale, int32_t flag) {
  if (newScale == oldScale) return;
  m_nWidth = Clamp32(int64_t{m_nBaseWidth} * newScale);
  m_nHeight = Clamp32(int64_t{m_nBaseHeight} * newScale);
  m_nMarginX = Clamp32(int64_t{m_nBaseMarginX} * newScale);
  m_nMarginY = Clamp32(int64_t{m_nBaseMarginY} * newScale);
  m_nDrawWidth = Clamp32(int64_t{m_nBaseDrawWidth} * newScale);
  m_nDrawHeight = Clamp32(int64_t{m_nBaseDrawHeight} * newScale);
  KeepCentreOnScale(newScale, oldScale, flag);
  OnScaleChanged(newScale);
}

void cStageObject::KeepCentreOnScale(int32_t newScale, int32_t oldScale, int32_t flag) {
  if (newScale == oldScale) return;
  ShiftForScale(newScale, oldScale);
  AdjustForScale(newScale, oldScale, flag);
}

// A scaled body grows to the right; moving x back by half the base width per
// step of scale keeps its centre where it was.
void cStageObject::ShiftForScale(int32_t newScale, int32_t oldScale) {
  if (newScale == oldScale) return;
  m_dX -= static_cast<double>(int64_t{m_nBaseWidth >> 1} * (int64_t{newScale} - oldScale));
  ClampX(2);
}

// ---------------------------------------------------------------------------
// Screen rectangle and tests

void cStageObject::UpdateScreenRect() {
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  const double sx = vx.position, sy = vy.position;
  int64_t left, top;
  if (m_bFreeVertical) {
    if (vx.Moves()) {
      left = m_bFollowsScroll ? int64_t{TruncToInt(m_dX - sx)} - m_nMarginX
                              : TruncToInt((m_dX - m_nMarginX) - TruncToInt(sx));
    } else {
      left = int64_t{TruncToInt(m_dX)} - TruncToInt(sx) - m_nMarginX;
    }
  } else {
    left = TruncToInt((m_dX - m_nMarginX) - TruncToInt(sx));
  }
  if (m_bFreeVertical == 0) {
    top = TruncToInt((m_dY - m_nMarginY) - TruncToInt(sy));
  } else if (vy.Moves()) {
    top = int64_t{TruncToInt(m_dY - sy)} - m_nMarginY + 1;
  } else {
    top = int64_t{TruncToInt(m_dY)} - TruncToInt(sy) - m_nMarginY;
  }
  m_rcScreen.left = Clamp32(left);
  m_rcScreen.top = Clamp32(top);
  m_rcScreen.right = Clamp32(left + m_nDrawWidth - 1);
  m_rcScreen.bottom = Clamp32(top + m_nDrawHeight - 1);
}

bool cStageObject::IsOnScreenAxes(bool ignoreX, bool ignoreY) const {
  if (!ignoreX) {
    const double sx = StageViewX().position;
    if (!(m_dRight >= sx && m_dX < sx + 640)) return false;
  }
  if (ignoreY) return true;
  const double sy = StageViewY().position;
  return m_dBottom >= sy && m_dY < sy + 480;
}

bool cStageObject::IsOnScreen() const { return IsOnScreenAxes(false, false); }

bool cStageObject::IsInsideStage(bool wholeMap) const {
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  if (wholeMap) return 0 <= m_dX && m_dRight < vx.mapExtent && 0 <= m_dY && m_dBottom < vy.mapExtent;
  return vx.areaLow <= m_dX && m_dRight < vx.areaHigh && vy.areaLow <= m_dY && m_dBottom < vy.areaHigh;
}

bool cStageObject::OverlapsRect(double left, double top, double right, double bottom) const {
  return m_dX <= right && m_dRight >= left && m_dY <= bottom && m_dBottom >= top;
}

cLiveRange LiveRangeOf(const cStageParam& area) {
  cLiveRange range;
  range.left = area.m_nValues[0];
  range.right = area.m_nValues[1];
  range.top = area.m_nValues[2];
  range.bottom = area.m_nValues[3];
  range.leftDistance = area.m_nValues[4];
  range.rightDistance = area.m_nValues[5];
  range.topDistance = area.m_nValues[6];
  range.bottomDistance = area.m_nValues[7];
  return range;
}

bool cStageObject::IsOutsideLiveRange(const cLiveRange& limits) const {
  if (m_bOnScreen) return false;
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  const double sx = vx.position, sy = vy.position;
  if (limits.left && TruncToInt(sx - limits.leftDistance * 32.0) >= m_dRight) return true;
  if (limits.right && TruncToInt(limits.rightDistance * 32.0 + sx + 640) <= m_dX) return true;
  if (limits.bottom && TruncToInt(limits.bottomDistance * 32.0 + sy + 480) <= m_dY) return true;
  if (limits.top && TruncToInt(sy - limits.topDistance * 32.0) >= m_dBottom) return true;
  // Touching the map's first or last dot counts as having left it.
  return m_dX <= 0 || m_dRight >= vx.mapExtent - 1.0 || m_dY <= 0 || m_dBottom >= vy.mapExtent - 1.0;
}

void cStageObject::ShiftToScreenCentreX(int32_t x) {
  const int32_t c = ScreenCentreX();
  if (c >= x) m_dX -= static_cast<double>(int64_t{c} - x);
  else m_dX += static_cast<double>(int64_t{x} - c);
}

void cStageObject::ShiftToScreenCentreY(int32_t y) {
  const int32_t c = ScreenCentreY();
  if (c >= y) m_dY -= static_cast<double>(int64_t{c} - y);
  else m_dY += static_cast<double>(int64_t{y} - c);
}

// ---------------------------------------------------------------------------
// Position conditions

void ComputeJudgeRange(int32_t& low, int32_t& high, int32_t position, int32_t length,
                       int32_t lengthLow, int32_t lengthHigh, bool centred) {
  const int64_t h = length >> 1;
  const int64_t m = int64_t{position} + h;
  if (lengthLow == 0 && lengthHigh == 0) {
    // A plain range: the judging object's span, or only its centre point.
    low = Clamp32(centred ? position : m);
    high = Clamp32(centred ? m + h : m);
    return;
  }
  // An extended side reaches from the centre outward by its length; the
  // other side stops at the centre.
  low = Clamp32(lengthLow != 0 ? int64_t{position} - lengthLow : m);
  high = Clamp32(lengthHigh != 0 ? m + h + lengthHigh : m);
}

bool cStageObject::OverlapsOnAxis(int32_t judgePosition, int32_t judgeLength, int32_t targetLow,
                                  int32_t targetHigh, int32_t targetMargin, int32_t lengthLow,
                                  int32_t lengthHigh, bool centred, bool heightTest,
                                  const cStageObject* target) const {
  int32_t low = 0, high = 0;
  ComputeJudgeRange(low, high, judgePosition, judgeLength, lengthLow, lengthHigh, centred);
  if (m_nKind == 1) {
    // The line names the object by its id, which stays the same from run to
    // run.
    WriteECLog(
        "Addr = %u\nnJudgeLeft(Up) = %d, nJudgeRight(Down) = %d\nnTargetBltLeft(Up) = %d, "
        "nTargetBltRight(Down) = %d, nTargetTrueToX(Y) = %d\nnLenghLeft(Up) = %d, nLenghRight(Down) = %d",
        static_cast<unsigned>(m_nId), low, high, targetLow, targetHigh, targetMargin, lengthLow, lengthHigh);
  }
  const int64_t margin = targetMargin;
  if (heightTest && !g_MotionSwitches.range && target &&
      int64_t{TruncToInt(target->m_dBottom - target->m_dY)} + margin + 1 >= target->m_nDrawHeight) {
    return low <= targetHigh && targetLow + margin <= high;
  }
  return low <= targetHigh - margin && targetLow + margin <= high;
}

// ---------------------------------------------------------------------------
// Velocity helpers

namespace {

// Solves for the velocity of a scroll-following mover aimed at a target:
// the quadratic on the longer axis, the other axis from the time it takes.
// False when the numbers leave no answer (no distance on the longer axis, no
// real root, no time); what was written so far stays.
bool ScrollFollowingAim(double& vx, double& vy, double dx, double dy, double startX, double startY,
                        double targetX, double targetY, double cx, double cy) {
  const double s = std::sqrt(vx * vx + vy * vy);
  if (std::fabs(dx) <= std::fabs(dy)) {
    const double dy2 = dy * dy;
    if (dy2 == 0) return false;
    const double dx2 = dx * dx;
    const double a = dx2 / dy2 + 1;
    const double b = (2 * dx2 * cy - 2 * cx * dx * dy) / dy2;
    const double c = (cx * cx * dy2 + cy * cy * dx2 - 2 * cx * cy * dx * dy) / dy2 - s * s;
    const double disc = b * b - 4 * a * c;
    if (a == 0 || disc < 0) return false;
    vy = -((-b - std::sqrt(disc)) / (2 * a));
    if (dy < 0) vy = -vy;
    if (cy - vy == 0) return false;
    const double t = (startY - targetY) / (cy - vy);
    if (t == 0) return false;
    vx = (t * cx + dx) / t;
  } else {
    const double dx2 = dx * dx;
    if (dx2 == 0) return false;
    const double dy2 = dy * dy;
    const double a = dy2 / dx2 + 1;
    const double b = (2 * dy2 * cx - 2 * cy * dy * dx) / dx2;
    const double c = (cy * cy * dx2 + cx * cx * dy2 - 2 * cy * cx * dy * dx) / dx2 - s * s;
    const double disc = b * b - 4 * a * c;
    if (a == 0 || disc < 0) return false;
    vx = -((-b - std::sqrt(disc)) / (2 * a));
    if (dx < 0) vx = -vx;
    if (cx - vx == 0) return false;
    const double t = (startX - targetX) / (cx - vx);
    if (t == 0) return false;
    vy = (t * cy + dy) / t;
  }
  return true;
}

int32_t DirectionOf(double vx) { return vx > 0 ? 2 : (vx < 0 ? 1 : 0); }

}  // namespace

int AimVector(double& vx, double& vy, int32_t& direction, const cStageObject* mover, double startX,
              double startY, double targetX, double targetY, double speed, bool relative,
              bool keepSign, bool arrivalTest) {
  const double dx = targetX - startX;
  const double dy = targetY - startY;
  const bool flee = !keepSign && speed < 0;
  if (flee) {
    // Each axis moves at |speed| / sqrt(2) away from the target.
    const double v = -(speed / std::sqrt(2.0));
    vx = targetX <= startX ? v : -v;
    vy = startY < targetY ? -v : v;
  } else {
    double len = std::sqrt(dx * dx + dy * dy);
    if (len == 0) len = 1;
    vx = dx / len * speed;
    vy = dy / len * speed;
  }

  const double cx = MovingStep(StageViewX());
  const double cy = MovingStep(StageViewY());
  if (g_MotionSwitches.scrollRelativeAim) {
    vx += cx;
    vy += cy;
  } else if (mover) {
    const bool follows = mover->m_bFollowsScroll != 0;
    bool subtract = false;
    if (relative) {
      subtract = !follows;
    } else if (follows) {
      if (flee) subtract = true;
      else if (!ScrollFollowingAim(vx, vy, dx, dy, startX, startY, targetX, targetY, cx, cy)) return 0;
    } else {
      subtract = !flee;
    }
    if (subtract) {
      vx -= cx;
      vy -= cy;
    }
  }

  direction = DirectionOf(vx);
  if (arrivalTest && !flee) return std::fabs(dx) <= std::fabs(speed) && std::fabs(dy) <= std::fabs(speed) ? 1 : 0;
  return 0;
}

int StepToward(double& vx, double& vy, int32_t& direction, const cStageObject* mover, double from,
               double to, double speed, bool noScroll, bool arrivalTest) {
  if (from >= to) {
    vx = -speed;
    direction = 1;
  } else {
    vx = speed;
    direction = 2;
  }
  if (!noScroll && mover && mover->m_bFollowsScroll && g_MotionSwitches.scrollRelativeAim) {
    vx += MovingStep(StageViewX());
  }
  vy = 0;
  return arrivalTest && std::fabs(speed) >= std::fabs(from - to) ? 1 : 0;
}

int StepTowardY(double& vx, double& vy, int32_t& direction, const cStageObject* mover, double from,
                double to, double speed, bool noScroll, bool arrivalTest) {
  vy = from >= to ? -speed : speed;
  if (!noScroll && mover && mover->m_bFollowsScroll && g_MotionSwitches.scrollRelativeAim) {
    vy += MovingStep(StageViewY());
  }
  vx = 0;
  direction = 0;
  return arrivalTest && std::fabs(speed) >= std::fabs(from - to) ? 1 : 0;
}

namespace {
void RefreshRects(cStageObject& mover, cStageObject* other, const cMoveStep& step) {
  if (step.keepRects) return;
  mover.UpdateScreenRect();
  if (other) other->UpdateScreenRect();
}
}  // namespace

int MoveToward(cStageObject& mover, cCmdState* state, cMoveStep& step, cStageObject* other,
               double targetX, double targetY, bool relative, bool arrivalTest) {
  const int arrived = AimVector(step.vx, step.vy, step.direction, &mover, mover.ScreenCentreX(),
                                mover.ScreenCentreY(), targetX, targetY, step.speed, relative,
                                step.keepSign, arrivalTest);
  if (arrived && step.stopOnArrival) {
    RefreshRects(mover, other, step);
    mover.SetScreenCentreEx(TruncToInt(targetX), TruncToInt(targetY), state);
  }
  return arrived;
}

int MoveTowardX(cStageObject& mover, cCmdState* state, cMoveStep& step, cStageObject* other,
                double targetX, bool noScroll, bool arrivalTest) {
  const int arrived = StepToward(step.vx, step.vy, step.direction, &mover, mover.ScreenCentreX(), targetX,
                                 step.speed, noScroll, arrivalTest);
  if (arrived && step.stopOnArrival) {
    RefreshRects(mover, other, step);
    mover.SetScreenCentreXEx(TruncToInt(targetX), state);
  }
  return arrived;
}

int MoveTowardY(cStageObject& mover, cCmdState* state, cMoveStep& step, cStageObject* other,
                double targetY, bool noScroll, bool arrivalTest) {
  const int arrived = StepTowardY(step.vx, step.vy, step.direction, &mover, mover.ScreenCentreY(), targetY,
                                  step.speed, noScroll, arrivalTest);
  if (arrived && step.stopOnArrival) {
    RefreshRects(mover, other, step);
    mover.SetScreenCentreYEx(TruncToInt(targetY), state);
  }
  return arrived;
}

void AimPoint(const cStageObject& object, int32_t& x, int32_t& y, int32_t offsetX, int32_t offsetY,
              bool xFixed, bool yFixed) {
  if (!xFixed) x = Clamp32(int64_t{object.ScreenCentreX()} + offsetX);
  if (!yFixed) y = Clamp32(int64_t{object.ScreenCentreY()} + offsetY);
}

namespace {
void AdvancePhase(double& phase, double phaseStep, double fs) {
  phase += phaseStep;
  if (phase >= fs * 360) phase -= fs * 360;
}
}  // namespace

double WaveVelocity(double amplitude, double angularSpeed, double& phase, double phaseStep,
                    double phaseOffset) {
  const double fs = StageFrameScaleOrOne();
  const double k = angularSpeed * kRadiansPerDegree;
  const double v = std::cos((phase / fs + phaseOffset) * k) * amplitude * k / fs;
  AdvancePhase(phase, phaseStep, fs);
  return v;
}

double WaveAcceleration(double amplitude, double angularSpeed, double& phase, double phaseStep,
                        double phaseOffset) {
  const double fs = StageFrameScaleOrOne();
  const double k = angularSpeed * kRadiansPerDegree;
  const double a = -(k * std::sin((phase / fs + phaseOffset) * k) * (k / fs) * amplitude) / fs;
  AdvancePhase(phase, phaseStep, fs);
  return a;
}

// ---------------------------------------------------------------------------
// Searches

bool cCharacterFilter::Passes(const cCharacter& c) const {
  if (c.m_bDying || c.m_bRemoved) return false;
  const cEdCharacter& def = c.Definition();
  if (groupFilter && def.GroupByte() != group) return false;
  if (statusFilter) {
    if (statusIndex < 0 || static_cast<size_t>(statusIndex) >= c.m_Status.size()) return false;
    if (!CompareByOperator(c.m_Status[static_cast<size_t>(statusIndex)], value, op)) return false;
  }
  if (excludeIdFilter && c.m_nId == id) return false;
  if (excludeInvincible1 && def.Invincibility() == 1) return false;
  if (excludeInvincible2 && def.Invincibility() == 2) return false;
  if (excludeWholeCell && def.WholeCell() != 0) return false;
  return true;
}

namespace {

// The nearest qualifying present character; `onScreen` -1 takes any,
// 0 only off-screen ones, 1 only on-screen ones.
cCharacter* Nearest(int32_t x, int32_t y, const cCharacterLists& lists, int onScreen,
                    const cCharacterFilter& filter) {
  cCharacter* best = nullptr;
  int64_t bestDistance = 0;
  for (const std::list<cCharacter*>* list : lists) {
    if (!list) continue;
    for (cCharacter* c : *list) {
      if (!c || !c->m_bPresent) continue;
      if (onScreen >= 0 && (c->m_bOnScreen != 0) != (onScreen != 0)) continue;
      if (!filter.Passes(*c)) continue;
      const int64_t dx = int64_t{c->ScreenCentreX()} - x;
      const int64_t dy = int64_t{c->ScreenCentreY()} - y;
      const int64_t distance = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
      if (!best || distance < bestDistance) {
        best = c;
        bestDistance = distance;
      }
    }
  }
  return best;
}

}  // namespace

cCharacter* FindNearestObject(int32_t x, int32_t y, const cCharacterLists& lists, int32_t scope,
                              const cCharacterFilter& filter) {
  switch (scope) {
    case 0: {
      if (cCharacter* c = Nearest(x, y, lists, 1, filter)) return c;
      return Nearest(x, y, lists, 0, filter);
    }
    case 2:
      return Nearest(x, y, lists, 1, filter);
    default:
      return Nearest(x, y, lists, -1, filter);
  }
}

cCharacter* FindNearestCharacter(const cStageObject& object, const cCharacterLists& lists) {
  cCharacterFilter filter;
  filter.excludeInvincible2 = true;
  return FindNearestObject(object.ScreenCentreX(), object.ScreenCentreY(), lists,
                           g_MotionSwitches.onScreenTargetsOnly ? 2 : 0, filter);
}

cCharacter* FindFirstObject(const cCharacterLists& lists, const cCharacterFilter& filter) {
  for (const std::list<cCharacter*>* list : lists) {
    if (!list) continue;
    for (cCharacter* c : *list)
      if (c && filter.Passes(*c)) return c;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Ground turn-around

namespace {

// Solidity of the map cell at (column, row), both held inside the map.
bool SolidCell(cBlockMap& map, int32_t column, int32_t row, int32_t blockFlags) {
  if (map.IsEmpty()) return false;
  column = column < 0 ? 0 : (column >= map.Columns() ? map.Columns() - 1 : column);
  row = row < 0 ? 0 : (row >= map.Rows() ? map.Rows() - 1 : row);
  const int index = map.CellIndex(column, row);
  return index >= 0 && map.IsBlockSolid(index, blockFlags) != 0;
}

}  // namespace

void GroundTurnVelocity(cCharacter& character, double speed, double& vx, int32_t& direction) {
  vx = character.FacingSign() * speed;
  direction = 0;
  cStageScene* scene = CurrentStageScene();
  if (character.m_bSideBump) {
    // Pushed back sideways: turn round, and keep up with the block character
    // that pushed so the walker is not caught by it again at once.
    direction = character.m_nFacing == 0 ? 2 : 1;
    vx = -vx;
    if (scene) {
      for (cStageCharacter& pusher : scene->m_CharacterList) {
        if (pusher.m_nId != character.m_nLastPusherId) continue;
        const double dx = pusher.m_dX - character.m_dPusherX;
        if (dx != 0) {
          const bool against = (character.m_nFacing == 1 && dx < 0) || (character.m_nFacing == 0 && dx > 0);
          vx += against ? 2 * dx : dx;
        }
        break;
      }
    }
    character.m_bSideBump = 0;
    return;
  }
  if (!scene) return;
  cBlockMap& map = scene->BlockMap();
  int32_t row = CellOf(character.m_dBottom + 1.1);
  if (row > map.Rows() - 1) row = map.Rows() - 1;
  const bool left = SolidCell(map, character.m_nColumnLeft, row, character.m_nBlockFlags);
  const bool right = SolidCell(map, character.m_nColumnRight, row, character.m_nBlockFlags);
  const bool ledge = g_MotionSwitches.ledge != 0;
  // The turn follows the sign of the command's speed, not of the velocity
  // (which also carries the facing): the walker turns to the side that takes
  // it back over its floor. Forwards (speed >= 0) it faces away from the
  // ledge; backwards (speed < 0) it faces the ledge and so walks away from
  // it. Judged by the velocity instead, a walker facing left would keep its
  // facing at a left ledge and walk off. The fixed-turn rule of older
  // projects turns by the ledge alone, so a backward walker leaves there.
  if (left && !right) direction = (ledge || speed >= 0) ? 1 : 2;
  else if (!left && right) direction = (!ledge && speed < 0) ? 1 : 2;
}

// The movement commands (kinds 2..10): each call works out a velocity and
// adds it to the character's speed (or, in acceleration mode, pushes its
// accumulated speed); the character's own steps then move it against the
// blocks. They also turn the character and ask for its moving animation.
//
// Units: dots, dots per call (one call per sub-step), whole degrees with 0
// pointing left, 90 up, 180 right and 270 down (a velocity of speed s at
// angle a is (-cos a * s, -sin a * s), screen y growing downward).
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "base/angles.h"
#include "data/flow.h"
#include "flow/conditions.h"
#include "flow/flow_state.h"
#include "play/commands/commands.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/world/stage_scene.h"

cMoveSwitches g_MoveSwitches;

namespace {

constexpr double kHalfRoot2 = 0.7071067811865476;  // 1 / sqrt(2)

// What a movement command keeps between its calls. The prepared values come
// from the flows' preparation and stay; the rest starts over whenever the
// command starts.
class cMoveWork final : public cCmdWork {
 public:
  std::unique_ptr<cCmdWork> Clone() const override { return std::make_unique<cMoveWork>(*this); }
  void Restart() override {
    direction = 0;
    targetX = targetY = 0;
    angle = 0;
    vx = vy = 0;
    result = 0;
    phaseX = phaseY = 0;
    previousFacing = 0;
    idle = false;
    hasLastAim = false;
    jump.remaining = jump.duration;
    jump.firstRun = 1;
    jump.waited = 0;
    jump.started = 0;
    jump.repeat = 0;
  }

  // Prepared.
  double radius = 0;           // circle: dots x sub-steps per frame
  int32_t startAngle = 0;      // circle: degrees x sub-steps per frame
  int32_t homingPeriod = 0;    // calls between two aims of a homing move
  cJumpCommand jump;
  // Per run.
  int32_t direction = 0;       // resolved direction code
  int32_t targetX = 0, targetY = 0;  // target offsets in dots
  int32_t angle = 0;
  double vx = 0, vy = 0;
  int32_t result = 0;          // 0 no turn, 1 face left, 2 face right
  double phaseX = 0, phaseY = 0;
  int32_t previousFacing = 0;
  bool idle = false;           // a charge without a target: it stands still
  // Homing with a period: where the target stood at the last aim, which
  // the next aim, a period later, goes for.
  bool hasLastAim = false;
  int32_t lastAimX = 0, lastAimY = 0;
};

cMoveWork& Work(cCmdState& state) {
  auto* work = dynamic_cast<cMoveWork*>(state.m_pWork.get());
  if (work == nullptr) {
    auto fresh = std::make_unique<cMoveWork>();
    work = fresh.get();
    state.m_pWork = std::move(fresh);
  }
  return *work;
}

// The sub-steps per frame as the divisor of the circle and acceleration
// formulas: a stage without running values counts as one sub-step a frame.
double FrameScaleF() {
  const double f = StageFrameScale();
  return f >= 1 ? f : 1.0;
}

int32_t Clamp32(double v) { return TruncToInt(v); }
int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
}

bool IsFree(const cCharacter& c) { return c.m_bFreeVertical != 0; }
bool FacingFixed(const cCharacter& c) { return c.Definition().FixedFacing() != 0; }
double CentreX(const cStageObject& o) { return o.m_dX + o.m_nWidth / 2.0; }

// A movement command always comes with its movement record; one without
// gets a default record's values.
const cEdMove& MoveOf(const cCmdState& state) {
  static const cEdMove kDefault;
  return state.m_pCommand && state.m_pCommand->m_pMove ? *state.m_pCommand->m_pMove : kDefault;
}


// Direction codes of an input direction (none, left, right, up, down,
// left+up, left+down, right+up, right+down, any): none and any give no
// direction.
constexpr int32_t kInputToDirection[10] = {0, 2, 3, 6, 7, 8, 9, 10, 11, 0};

// Base angles and turn results of the direction codes 0..11.
struct cDirectionInfo {
  int32_t angle;
  int32_t result;
};
constexpr cDirectionInfo kDirections[12] = {{0, 0},   {0, 0},   {0, 1},   {180, 2}, {0, 0},    {0, 0},
                                            {90, 0},  {270, 0}, {45, 1},  {315, 1}, {135, 2}, {225, 2}};

}  // namespace

// ---------------------------------------------------------------------------
// Shared steps

int32_t ConvertFacingToDirection(int32_t inputDirection) {
  return inputDirection >= 0 && inputDirection < 10 ? kInputToDirection[inputDirection] : 0;
}

int32_t ResolveDirection(const cCharacter& c, int32_t choice, int32_t inputDirection) {
  return ResolveDirection(c, choice, inputDirection, IsFree(c));
}

int32_t ResolveDirection(const cCharacter& c, int32_t choice, int32_t inputDirection, bool free) {
  const bool right = c.m_nFacing == 1;
  switch (choice) {
    case 0: return right ? 3 : 2;
    case 1: return right ? 2 : 3;
    case 4: return right ? 7 : 6;
    case 5: return right ? 6 : 7;
    case 12: {
      int32_t d = ConvertFacingToDirection(inputDirection);
      if (!free) {
        if (d == 8 || d == 9) d = 2;
        if (d == 10 || d == 11) d = 3;
      }
      return d;
    }
    default: return choice >= 2 && choice <= 11 ? choice : 0;
  }
}

int32_t ComputeMoveAngle(const cCharacter& c, const cEdMove& move) {
  int64_t angle = move.AngleStart() + int64_t{move.AngleStep()} * c.m_wInstance;
  if (move.MirrorAngle() && c.m_nFacing == 1) angle = 360 - angle;
  if (angle >= 360) angle %= 360;
  return static_cast<int32_t>(std::max<int64_t>(angle, std::numeric_limits<int32_t>::min()));
}

void ComputeMoveTargetOffset(const cCharacter& c, const cEdMove& move, int32_t& x, int32_t& y) {
  int64_t ox = int64_t{move.TargetBlockX()} * 32 + move.TargetDotX();
  int64_t oy = int64_t{move.TargetBlockY()} * 32 + move.TargetDotY();
  if (c.m_nFacing == 1 && move.MirrorTargetX()) ox = -ox;
  if (c.m_nFacing == 1 && move.MirrorTargetY()) oy = -oy;
  x = Clamp32(ox);
  y = Clamp32(oy);
}

void SetDirectionVelocity(const cCharacter& c, int32_t direction, double speed, double& vx, double& vy,
                          int32_t& result) {
  vx = vy = 0;
  result = 0;
  const double d = speed * kHalfRoot2;
  switch (direction) {
    case 2: vx = -speed; result = 1; break;
    case 3: vx = speed; result = 2; break;
    case 6: vy = -speed; break;
    case 7: vy = speed; break;
    case 8: vx = -d; vy = -d; result = 1; break;
    case 9: vx = -d; vy = d; result = 1; break;
    case 10: vx = d; vy = -d; result = 2; break;
    case 11: vx = d; vy = d; result = 2; break;
    default: break;
  }
  if (!IsFree(c)) vy = 0;
}

void SetAngleVelocity(const cCharacter& c, int32_t direction, int32_t angle, double speed, double& vx, double& vy,
                      int32_t& result) {
  const cDirectionInfo info = direction >= 0 && direction < 12 ? kDirections[direction] : cDirectionInfo{0, 0};
  result = info.result;
  const double a = (static_cast<double>(info.angle) + angle) * kRadiansPerDegree;
  vx = -std::cos(a) * speed;
  vy = IsFree(c) ? -std::sin(a) * speed : 0;
}

void SetTargetVelocity(cCharacter& c, cCmdState& state, const cEdMove& move, int32_t offsetX, int32_t offsetY,
                       double speed, double& vx, double& vy, int32_t& result) {
  const cAxisView& viewX = StageViewX();
  const cAxisView& viewY = StageViewY();
  const double centreX = c.ScreenCentreX() + viewX.position;
  const double centreY = c.ScreenCentreY() + viewY.position;
  double dx = 0, dy = 0;
  switch (move.PointReference()) {
    case 0:  // from where the character was placed
      dx = c.m_nSetupWords[0] + static_cast<double>(offsetX) - centreX;
      dy = c.m_nSetupWords[1] + static_cast<double>(offsetY) - centreY;
      break;
    case 1:  // from where it stands
      dx = offsetX;
      dy = offsetY;
      break;
    case 2:  // a block of the stage
      dx = viewX.blockOffset * 32.0 + offsetX + 16 - centreX;
      dy = viewY.blockOffset * 32.0 + offsetY + 16 - centreY;
      break;
    case 3:  // a point of the screen
      dx = offsetX + 16.0 + viewX.position - centreX;
      dy = offsetY + 16.0 + viewY.position - centreY;
      break;
    default:
      break;
  }
  if (!move.MoveAlongX()) dx = 0;
  if (!move.MoveAlongY()) dy = 0;
  vx = vy = 0;
  result = 0;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0) return;
  if (!move.IgnoreX()) vx = dx / length * speed;
  if (!move.IgnoreY()) vy = dy / length * speed;
  result = vx < -1e-8 ? 1 : (vx > 1e-8 ? 2 : 0);
  if (move.StopOnArrival() && speed != 0) {
    // The command lasts as many calls as the way takes, whatever its own
    // duration said; a tiny speed is held to the counter's range.
    const double calls = std::floor(std::fabs(length) / std::fabs(speed));
    state.m_nRemaining = Clamp32(calls);
    if (move.StopWhenReached() && calls < 1) vx = vy = 0;
  }
}

namespace {

// Toward (targetX, targetY) on the axes given: both through MoveToward, one
// through MoveTowardX or MoveTowardY. The aiming moves make no arrival test:
// they keep going past the point and never snap onto it.
void AimAlong(cCharacter& c, cCmdState& state, const cEdMove& move, cStageObject* other, double targetX,
              double targetY, bool alongX, bool alongY, double& vx, double& vy, int32_t& result) {
  cMoveStep step;
  step.speed = state.m_dSpeed;
  step.stopOnArrival = move.StopOnArrival();
  if (alongX && alongY) MoveToward(c, &state, step, other, targetX, targetY, false, false);
  else if (alongX) MoveTowardX(c, &state, step, other, targetX, false, false);
  else if (alongY) MoveTowardY(c, &state, step, other, targetY, false, false);
  vx = step.vx;
  vy = step.vy;
  result = step.direction;
}

}  // namespace

void AimAtObject(cCharacter& c, cCmdState& state, const cEdMove& move, cStageObject* other, double targetX,
                 double targetY, double& vx, double& vy, int32_t& result) {
  AimAlong(c, state, move, other, targetX, targetY, !move.IgnoreX(), !move.IgnoreY(), vx, vy, result);
}

void ComputeOffscreenAvoidVelocity(const cCharacter& c, int32_t direction, double speed, double& vx, double& vy) {
  vx = vy = 0;
  const bool left = direction == 2 || direction == 8 || direction == 9;
  const bool right = direction == 3 || direction == 10 || direction == 11;
  const bool up = direction == 6 || direction == 8 || direction == 10;
  const bool down = direction == 7 || direction == 9 || direction == 11;
  const cScreenRect& r = c.m_rcScreen;
  const cAxisView& viewX = StageViewX();
  const cAxisView& viewY = StageViewY();
  // The forced scroll carries the screen edge along: the character keeps up
  // with it as long as the scroll still has room to go.
  if (viewX.Moves()) {
    const double v = viewX.step, margin = std::fabs(v + 1);
    const double x = viewX.position - viewX.rangeLow, room = viewX.rangeHigh - viewX.rangeLow - 640.0;
    if (left && r.left > 608 - margin && x > 0 && x + v <= room) vx = v - speed;
    if (right && r.right < margin + 32 && x + v > 0 && x < room) vx = v + speed;
  } else {
    if (left && r.left > 608) vx = -speed;
    if (right && r.right < 32) vx = speed;
  }
  if (viewY.Moves()) {
    const double w = viewY.step, margin = std::fabs(w + 1);
    const double y = viewY.position - viewY.rangeLow, room = viewY.rangeHigh - viewY.rangeLow - 480.0;
    if (up && r.top > 448 - margin && y > 0 && y + w <= room) vy = w - speed;
    if (down && r.bottom < margin + 32 && y + w > 0 && y < room) vy = w + speed;
  } else {
    if (up && r.top > 448) vy = -speed;
    if (down && r.bottom < 32) vy = speed;
  }
  if (!IsFree(c)) vy = 0;
}

void ApplyMoveVelocity(cCharacter& c, double vx, double vy, int32_t result, const cCmdState& state,
                       const cEdMove& move, bool forceTurn) {
  if ((!FacingFixed(c) || forceTurn) && !move.KeepFacing()) {
    if (result == 1) c.m_nFacing = 0;
    else if (result == 2) c.m_nFacing = 1;
  }
  if (!move.AccelerationMode()) {
    c.m_dSpeedX += vx;
    c.m_dSpeedY += vy;
  } else {
    const double f = FrameScaleF();
    const double limit = std::fabs(state.m_dSpeed2);
    auto push = [&](double v, double& accumulated, int32_t& decelerate) {
      double p = v / f / 60;
      if ((accumulated < 0 && v > 0) || (accumulated > 0 && v < 0)) p *= move.AccelerationFactor();
      else decelerate = 0;
      accumulated = std::clamp(accumulated + p, -limit, limit);
    };
    push(vx, c.m_dAccelX, c.m_bDecelerateX);
    push(vy, c.m_dAccelY, c.m_bDecelerateY);
  }
  // Moving animation: 2 walks (or flies), 1 stands; a stronger request of
  // the same sub-step stays.
  if (move.MoveAnime() == 0) {
    c.m_nAnimeRequest3 = 1;
    if (c.m_bAnimeRequest < 3) {
      c.m_bAnimeRequest = 2;
      c.m_nAnimeRequest = IsFree(c) ? 3 : 1;
    }
  } else if (move.MoveAnime() == 1 && c.m_bAnimeRequest < 2) {
    c.m_bAnimeRequest = 1;
    c.m_nAnimeRequest = IsFree(c) ? 2 : 0;
  }
}

// ---------------------------------------------------------------------------
// Preparation

namespace {

void PrepareCircleMove(cCharacter& c, cCmdState& state, const cEdMove& move, cMoveWork& work) {
  const int64_t n = SubStepsPerFrame();
  const int64_t clone = c.m_wInstance;
  const int64_t radiusHbl = std::clamp<int64_t>(move.DistanceStart() + move.DistanceStep() * clone, 0, 20);
  work.radius = static_cast<double>(radiusHbl * 16 * n);
  const int64_t mirror = move.MirrorAngle() && c.m_nFacing == 1 ? 180 : 0;
  const int64_t start = (move.AngleStart() + move.AngleStep() * clone + mirror) * n;
  const int64_t end = (move.EndAngleStart() + move.EndAngleStep() * clone + mirror) * n;
  work.startAngle = Clamp32(start);
  const double span = static_cast<double>(end > start ? end - start : start - end);
  const double f = FrameScaleF();
  if (move.TimingChoice() == 1) {
    // By speed: the time follows; without a speed the time stays.
    if (state.m_dSpeed != 0) state.m_nDuration = Clamp32(std::fabs(span / state.m_dSpeed / f));
  } else {
    state.m_dSpeed = span / std::max(state.m_nDuration, 1) / f;
  }
}

}  // namespace

namespace {
// The commands whose state PrepareCommandState gives a movement's work.
bool TakesMoveWork(const cEdCmd& command) {
  if (command.m_nFamily != 0) return false;
  const int32_t kind = CommandKindIndex(command);
  return kind >= kCmdMoveStraight && kind <= kCmdJump;
}
}  // namespace

size_t CommandWorkBytes(const cEdCmd& command) { return TakesMoveWork(command) ? sizeof(cMoveWork) : 0; }

void PrepareCommandState(cCharacter& character, cCmdState& state) {
  const cEdCmd* command = state.m_pCommand;
  if (command == nullptr || !TakesMoveWork(*command)) return;
  const int32_t kind = CommandKindIndex(*command);
  cMoveWork& work = Work(state);
  const int64_t clone = character.m_wInstance;
  if (command->m_pMove) {
    const cEdMove& move = *command->m_pMove;
    const double f = FrameScaleF();
    state.m_dSpeed = static_cast<double>(move.SpeedStart() + move.SpeedStep() * clone) * 0.1 / f;
    // The second speed (the bound of acceleration mode) is the record's
    // only with that mode on.
    state.m_dSpeed2 = move.AccelerationMode() ? move.SpeedLimit() * 0.1 / f : 0;
  }
  const cEdMove& move = MoveOf(state);
  switch (kind) {
    case kCmdMoveStraight:
    case kCmdMoveGroundTurn:
    case kCmdMoveCharge:
    case kCmdMoveAvoidScreenEdge:
      ResolveMoveDistance(state, *command, character.m_wInstance);
      break;
    case kCmdMoveCircle:
      PrepareCircleMove(character, state, move, work);
      break;
    case kCmdMoveHoming:
      // The distance pair is the homing period ("誘導性能の悪さ", in frames
      // of sub-steps); its timing choice then works the speed or the time
      // out of the same pair as for the other moves.
      work.homingPeriod =
          Clamp32(std::max<int64_t>(0, (move.DistanceStart() + move.DistanceStep() * clone) * SubStepsPerFrame()));
      ResolveMoveDistance(state, *command, character.m_wInstance);
      break;
    case kCmdJump: {
      // Word 0 is the jump's height mode; word 2 its height in half blocks
      // (the higher one of the run-speed mode). The key can lift the jump
      // for as long as the rise lasts.
      cJumpCommand& jump = work.jump;
      for (size_t i = 0; i < jump.params.size(); ++i) jump.params[i] = static_cast<int32_t>(command->Word(i));
      jump.heightHbl = std::clamp(jump.params[2], 0, 1000);
      jump.soundId = command->m_nSound;
      jump.soundOnScreenOnly = command->m_nOption;
      character.PrepareJump(jump);
      jump.holdLimit = jump.duration;
      state.m_nDuration = jump.duration;
      break;
    }
    default:
      break;
  }
  work.Restart();
}

void StopMoveVelocity(cCmdState* state) {
  if (state == nullptr) return;
  if (auto* work = dynamic_cast<cMoveWork*>(state->m_pWork.get())) work->vx = work->vy = 0;
}

// ---------------------------------------------------------------------------
// Executors

void ExecuteStraightMove(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  cMoveWork& work = Work(state);
  const cEdMove& move = MoveOf(state);
  const bool pointMode = move.Displacement() == 1;
  if (!state.m_bStarted) {
    state.m_bStarted = 1;
    const cFlowState* flow = CurrentFlow();
    work.direction = ResolveDirection(c, move.DirectionChoice(), flow ? flow->m_nInputDirection : 0);
    work.angle = ComputeMoveAngle(c, move);
    if (pointMode) {
      ComputeMoveTargetOffset(c, move, work.targetX, work.targetY);
      SetTargetVelocity(c, state, move, work.targetX, work.targetY, state.m_dSpeed, work.vx, work.vy, work.result);
    } else if (work.angle != 0) {
      SetAngleVelocity(c, work.direction, work.angle, state.m_dSpeed, work.vx, work.vy, work.result);
    } else {
      SetDirectionVelocity(c, work.direction, state.m_dSpeed, work.vx, work.vy, work.result);
    }
    if (!IsFree(c)) work.vy = 0;
  } else {
    if (!IsFree(c)) work.vy = 0;
    // Turned by a facing command while it moves: the move turns with it.
    if (move.TurnWithFacing() && FacingFixed(c) && c.m_nFacing != work.previousFacing &&
        (!pointMode || g_MoveSwitches.turnInPointMode)) {
      work.vx = -work.vx;
      work.vy = -work.vy;
    }
  }
  if (!g_MoveSwitches.keepIgnoredAxes) {
    if (move.IgnoreX()) work.vx = 0;
    if (move.IgnoreY()) work.vy = 0;
  }
  ApplyMoveVelocity(c, work.vx, work.vy, work.result, state, move, false);
  work.previousFacing = c.m_nFacing;
}

void ExecuteGroundTurnMove(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  if (IsFree(c)) return;
  const cEdMove& move = MoveOf(state);
  double vx = c.FacingSign() * state.m_dSpeed;
  int32_t result = 0;
  // Knocked back, it keeps walking the way it faces; otherwise it turns at
  // walls, pushes and ledges.
  if (c.m_dKnockbackX == 0 && c.m_dKnockbackY == 0) GroundTurnVelocity(c, state.m_dSpeed, vx, result);
  ApplyMoveVelocity(c, vx, 0, result, state, move, true);
}

void ExecuteCircleMove(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  cMoveWork& work = Work(state);
  if (work.radius == 0) return;
  const cEdMove& move = MoveOf(state);
  if (!state.m_bStarted) {
    state.m_bStarted = 1;
    work.phaseX = work.phaseY = work.startAngle;
  }
  int32_t sense = move.CircleSense();
  if (sense == 2) sense = c.m_nFacing == 1 ? 1 : 0;
  else if (sense == 3) sense = c.m_nFacing == 0 ? 1 : 0;
  const double f = FrameScaleF();
  const double speed = state.m_dSpeed;
  const double step = f * speed;
  const double wrap = f * 360;
  auto advance = [&](double& phase, double offset) {
    const double v = std::cos((phase / f + offset) * kRadiansPerDegree) * work.radius * kRadiansPerDegree / f;
    phase += step;
    if (std::isfinite(phase)) phase = std::fmod(phase, wrap);
    return v;
  };
  double vx = 0, vy = 0;
  if (!move.IgnoreX()) vx -= advance(work.phaseX, 0) * speed;
  if (IsFree(c) && !move.IgnoreY()) vy -= advance(work.phaseY, sense == 1 ? 90 : 270) * speed;
  ApplyMoveVelocity(c, vx, vy, 0, state, move, false);
}

namespace {

// Toward a screen point: a free character as AimAtObject does, a ground
// one along x only.
void AimAtPoint(cCharacter& c, cCmdState& state, const cEdMove& move, cStageObject* target, int32_t x, int32_t y,
                double& vx, double& vy, int32_t& result) {
  if (IsFree(c)) AimAtObject(c, state, move, target, x, y, vx, vy, result);
  else AimAlong(c, state, move, target, x, y, !move.IgnoreX(), false, vx, vy, result);
}

}  // namespace

void ExecuteChargeMove(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  cMoveWork& work = Work(state);
  const cEdMove& move = MoveOf(state);
  if (!state.m_bStarted) {
    state.m_bStarted = 1;
    work.angle = ComputeMoveAngle(c, move);
    ComputeMoveTargetOffset(c, move, work.targetX, work.targetY);
    work.vx = work.vy = 0;
    work.result = 0;
    cCharacter* target = c.TargetInSlot(move.TargetSlot());
    if (target == nullptr) {
      work.idle = true;
      return;
    }
    if (target->m_bDying) return;
    const double speed = state.m_dSpeed;
    int32_t x = 0, y = 0;
    AimPoint(*target, x, y, work.targetX, work.targetY, false, false);
    AimAtPoint(c, state, move, target, x, y, work.vx, work.vy, work.result);
    if (work.angle != 0) {
      // The aimed direction turned by the command's angle.
      double a;
      if (!g_MoveSwitches.angleFromVertical) {
        a = work.angle + std::trunc(std::atan2(work.vy, work.vx) / kRadiansPerDegree + 180);
        work.vx = -std::cos(a * kRadiansPerDegree) * speed;
        work.vy = -std::sin(a * kRadiansPerDegree) * speed;
      } else {
        a = work.angle + std::trunc(std::atan2(work.vx, work.vy) / kRadiansPerDegree + 90);
        work.vx = std::cos(a * kRadiansPerDegree) * speed;
        work.vy = -std::sin(a * kRadiansPerDegree) * speed;
      }
      if (!IsFree(c)) work.vy = 0;
    }
  } else if (!IsFree(c)) {
    work.vy = 0;
  }
  if (work.idle) return;
  ApplyMoveVelocity(c, work.vx, work.vy, work.result, state, move, false);
}

void ExecuteHomingMove(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  cMoveWork& work = Work(state);
  const cEdMove& move = MoveOf(state);
  cCharacter* target = c.TargetInSlot(move.TargetSlot());
  if (target == nullptr || target->m_bDying) return;
  if (!state.m_bStarted) {
    state.m_bStarted = 1;
    ComputeMoveTargetOffset(c, move, work.targetX, work.targetY);
  }
  int32_t x = 0, y = 0;
  AimPoint(*target, x, y, work.targetX, work.targetY, false, false);
  const int32_t period = work.homingPeriod;
  if (period <= 0) {
    AimAtPoint(c, state, move, target, x, y, work.vx, work.vy, work.result);
  } else if (state.m_nPeriod == 0 || (state.m_nPeriod % period == 0 && !work.hasLastAim)) {
    AimAtPoint(c, state, move, target, x, y, work.vx, work.vy, work.result);
    work.hasLastAim = true;
    work.lastAimX = x, work.lastAimY = y;
  } else if (state.m_nPeriod % period == 0) {
    // It follows where the target was a period ago.
    AimAtPoint(c, state, move, target, work.lastAimX, work.lastAimY, work.vx, work.vy, work.result);
    work.lastAimX = x, work.lastAimY = y;
  }
  // The counter counts every call; far along it steps back by whole periods
  // so that it never overflows and never meets 0 again.
  if (++state.m_nPeriod >= (1 << 30) && period > 0) state.m_nPeriod -= ((state.m_nPeriod / period) - 1) * period;
  else if (state.m_nPeriod >= (1 << 30)) state.m_nPeriod = 1;
  ApplyMoveVelocity(c, work.vx, work.vy, work.result, state, move, false);
}

void ExecuteAvoidOffscreenMove(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  const cEdMove& move = MoveOf(state);
  const cFlowState* flow = CurrentFlow();
  const int32_t direction = ResolveDirection(c, move.DirectionChoice(), flow ? flow->m_nInputDirection : 0);
  double vx = 0, vy = 0;
  ComputeOffscreenAvoidVelocity(c, direction, state.m_dSpeed, vx, vy);
  ApplyMoveVelocity(c, vx, vy, 0, state, move, false);
  AdvancePeriod(state);
}

void ExecuteDisableMove(cCharacter& c, cCmdState&) {
  c.m_dKnockbackX = c.m_dKnockbackY = 0;
  c.m_dSpeedX = c.m_dSpeedY = 0;
  c.m_dAccelX = c.m_dAccelY = 0;
  c.m_bPinnedX = c.m_bPinnedY = 0;
  c.m_bStanding = 1;
}

void ExecuteTurn(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  if (!FacingFixed(c)) return;
  if (IsPeriodDue(state) && state.m_pCommand) {
    RequestSoundEffectById(state.m_pCommand->m_nSound);
    const int32_t choice = static_cast<int32_t>(state.m_pCommand->Word(0));
    if (choice == 0 || choice == 1) {
      c.m_nFacing = choice;
    } else if (choice >= 2 && choice <= 9) {
      const cCharacter* target = c.TargetInSlot((choice - 2) / 2);
      if (target == nullptr) return;  // the counter stays: it tries again next call
      const bool targetLeft = CentreX(*target) < CentreX(c);
      const bool toward = choice % 2 == 0;
      c.m_nFacing = toward ? (targetLeft ? 0 : 1) : (targetLeft ? 1 : 0);
    } else if ((choice == 10 || choice == 11) && c.m_nLastSide != kNoSide) {
      // Toward (10) or away from (11) the side of the last block met; a
      // character that has met none keeps its facing.
      const bool rightSide = c.m_nLastSide == 1;
      c.m_nFacing = (choice == 10) == rightSide ? 1 : 0;
    }
  }
  AdvancePeriod(state);
}

void ExecuteJump(cCharacter& c, cCmdState& state) {
  c.m_bPinnedX = c.m_bPinnedY = 0;
  cMoveWork& work = Work(state);
  cJumpCommand& jump = work.jump;
  // The key-adjusted jump of the hero rises while the last key step of the
  // running flow is held.
  const cFlowState* flow = CurrentFlow();
  jump.hasKeys = flow && !flow->m_Keys.empty() ? 1 : 0;
  jump.keysHeld = 0;
  if (jump.hasKeys) {
    if (const auto* hero = dynamic_cast<const cHero*>(&c); hero && hero->m_pInput && flow->m_Keys.back())
      jump.keysHeld = KeyStepHeldNow(*hero->m_pInput, *flow->m_Keys.back()) ? 1 : 0;
  }
  jump.remaining = state.m_nRemaining;
  c.Jump(jump);
  if (jump.remaining <= 0) state.m_nRemaining = 0;
  if (state.m_nPeriod < std::numeric_limits<int32_t>::max()) ++state.m_nPeriod;
}

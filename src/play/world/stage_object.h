// Stage objects: everything that moves or can be touched on a running stage
// (the hero, the placed characters, items and shots) derives from
// cStageObject, which holds the world position and size in dots, the speed
// per axis, the screen rectangle, an animation player and the clamps against
// the stage's limits. Objects are held by value in the stage's node-based
// containers, so they are copyable and keep their addresses while they live.
//
// Units: positions and sizes are doubles in dots (32 dots = one block, 16 =
// a half block); speeds are dots per sub-step. A displayed frame runs the
// stage's sub-step count of sub-steps, and every "per frame" step of the
// movement code is one sub-step. Conversions to integers truncate toward
// zero (TruncToInt); block cells are trunc(coordinate) >> 5.
//
// stage_object.cpp: construction, copying, Setup, SetAxisMode.
// rules/movement.cpp: clamps, moves, scale, screen rectangle, screen and range
// tests, velocity helpers, searches and the one-axis range test.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "data/stage_data.h"
#include "play/world/anime_player.h"

class cCmdState;
class cCharacter;

// ---------------------------------------------------------------------------
// Units and running values

// Saturating truncation toward zero: NaN and values below the i32 range give
// INT32_MIN, values above it INT32_MAX.
inline int32_t TruncToInt(double v) {
  if (v != v || v <= -2147483649.0) return INT32_MIN;  // NaN, or below the range
  if (v >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}
// Block cell of a coordinate: trunc(v) >> 5 (an arithmetic shift, so -1 dot
// is cell -1).
inline int32_t CellOf(double v) { return TruncToInt(v) >> 5; }
// A length in half blocks (signed byte) as dots.
inline int32_t HblToDots(int8_t n) { return n * 32 / 2; }
// A speed entered in hundredths of a dot as dots per sub-step.
double ConvertSpeed(int16_t v);

// The running values of the working stage, derived from its speed level by
// cStageData::ApplySpeedLevel (n = sub-steps per frame).
inline int32_t StageSubSteps() { return StageData.Int(kStageSubSteps); }              // n
inline double StageFrameScale() { return StageData.Dbl(kStageFrameScale); }          // n
// The frame scale as a divisor: a stage without running values moves as at
// one sub-step a frame instead of dividing by zero.
inline double StageFrameScaleOrOne() {
  const double f = StageFrameScale();
  return f > 0 ? f : 1.0;
}
inline double StageSpeedScale() { return StageData.Dbl(kStageSpeedScale); }          // n * n
inline double StageGravity() { return StageData.Dbl(kStageGravityPerStep); }         // per sub-step
inline double StageMaxSpeed() { return StageData.Dbl(kStageMaxSpeed); }              // |speed| bound per axis
inline int32_t StageLandingConstant() { return StageData.Int(kStageLandingConstant); }  // 8n

// Project rule switches read by the movement code, with the values of a new
// project (all off); stage set-up fills them from the project's rules
// (play/world/system_switches.h).
struct cMotionSwitches {
  int32_t scrollRelativeAim = 0;   // aiming adds the forced-scroll steps
  int32_t scaleAnchor = 0;         // scale changes keep the body's foot differently
  int32_t scaleAnchor2 = 0;
  int32_t ledge = 0;               // ground turn-around at ledges
  int32_t range = 0;               // position conditions: plain overlap for tall targets
  int32_t onScreenTargetsOnly = 0; // stage switch: nearest-character search on screen only
};
extern cMotionSwitches g_MotionSwitches;

// ---------------------------------------------------------------------------
// Scroll state as the movement code reads it

// One axis of the stage's view as objects read it: the stage scene's scroll
// record of that axis (cAutoScroll) is one of these. Ranges are [low, high)
// in dots.
struct cAxisView {
  double position = 0;     // the screen's left or top in world dots
  int32_t atLimit = 0;     // the forced scroll has reached its end
  double step = 0;         // forced-scroll speed per sub-step
  int32_t rangeLow = 0, rangeHigh = 0;  // scroll range
  int32_t areaLow = 0, areaHigh = 0;    // stage area
  int32_t blockOffset = 0; // column / row at which the stage area begins
  int32_t mapExtent = 0;   // width / height of the whole block map in dots
  // A forced scroll moves on this axis.
  bool Moves() const { return step != 0 && atLimit == 0; }
};
// The view of the running stage: horizontal and vertical. The stage scene
// points them at its two scroll records while it lives (SetStageView);
// without a scene they read an all-zero view.
const cAxisView& StageViewX();
const cAxisView& StageViewY();
void SetStageView(const cAxisView* x, const cAxisView* y);

// A removal area: flags and distances in blocks beyond the screen edges.
struct cLiveRange {
  int32_t left = 0, right = 0, top = 0, bottom = 0;  // flags
  int32_t leftDistance = 0, rightDistance = 0, topDistance = 0, bottomDistance = 0;
};
// The removal area a stage parameter record holds (flags, then distances).
cLiveRange LiveRangeOf(const cStageParam& area);

// ---------------------------------------------------------------------------
// Records shared by the object classes

// A rectangle in world dots kept beside the body (characters have a body and
// an attack rectangle, the hero a third one for items).
struct cHitRect {
  double left = 0, top = 0, right = 0, bottom = 0;   // world dots
  int32_t offsetX = 0, offsetY = 0, width = 0, height = 0;  // from the body's left/top, scaled
  int32_t baseOffsetX = 0, baseOffsetY = 0, baseWidth = 0, baseHeight = 0;  // at scale 1

  // Edges after the body moved: left = trunc(x) + offset x, right = left +
  // width - 1 (and the same on y).
  void UpdateX(double x);
  void UpdateY(double y);
};

struct cScreenRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // on the 640 x 480 screen
};

// Edge codes of ClampX / ClampY / MoveX / MoveY.
enum : int {
  kEdgeInside = 0,     // inside the scroll range
  kEdgeOutRange = 1,   // x: outside the scroll range; y: above it
  kEdgeOutArea = 2,    // x: outside the stage area; y: above it
  kEdgeMapEnd = 3,     // held at the map's left, right or top end
  kEdgeBelowRange = 4, // y: below the scroll range
  kEdgeBelowArea = 5,  // y: below the stage area
  kEdgeMapBottom = 6,  // held at the map's bottom
  // Results of the characters' StepX / StepY.
  kStepLeave = 4,      // StepX: left the map sideways
  kStepKilled = 7,     // StepY: a falling object fell out
  kStepLeaveY = 8,     // StepY: a free-vertical object left the map
};

inline constexpr int32_t kUnlimitedLife = 0x7fffffff;

// ---------------------------------------------------------------------------

class cStageObject {
 public:
  // Empty: no animations, every position, size, speed and flag 0.
  cStageObject() = default;
  // Copies are member for member (the animation set deep-copied).
  cStageObject(const cStageObject& other) = default;
  cStageObject& operator=(const cStageObject& other) = default;

  // Slot 0.
  virtual ~cStageObject() = default;
  // Slot 1: copies every cStageObject member.
  virtual void CopyBaseFrom(const cStageObject& other);
  // Slot 2: a change of scale from `oldScale` to `newScale` (whole factors):
  // sizes and margins from their base values, the body kept in place
  // (KeepCentreOnScale), then OnScaleChanged. Nothing when they are equal.
  virtual void SetScale(int32_t newScale, int32_t oldScale, int32_t flag);
  // Slot 3: after a scale change; the base has nothing to rescale.
  virtual void OnScaleChanged(int32_t factor) {}
  // Slot 4: keeps the footing after a scale change; nothing in the base.
  virtual void AdjustForScale(int32_t newScale, int32_t oldScale, int32_t flag) {}
  // Slots 5 and 6: after x / y changed; the base has no rectangles to follow.
  virtual void OnMovedX() {}
  virtual void OnMovedY() {}
  // Slots 7..12: put the drawn centre on a screen point. Objects other than
  // characters cannot be placed this way, so the base does nothing; the
  // characters use ShiftToScreenCentreX/Y below.
  virtual void SetScreenCentre(int32_t x, int32_t y) {}
  virtual void SetScreenCentreEx(int32_t x, int32_t y, cCmdState* state) {}
  virtual void SetScreenCentreX(int32_t x) {}
  virtual void SetScreenCentreXEx(int32_t x, cCmdState* state) {}
  virtual void SetScreenCentreY(int32_t y) {}
  virtual void SetScreenCentreYEx(int32_t y, cCmdState* state) {}

  // Set-up from a placement and its definition. The position is not touched.
  // `animeSet` (may be null) fills the animation player, whose `startAnime`
  // is then started by force.
  void Setup(int32_t id, int32_t kind, int32_t owner, int32_t blockFlags, int32_t value,
             const cAnimeFrameEntry* const* animeSet, int32_t startAnime, int32_t marginX,
             int32_t marginY, int32_t baseWidth, int32_t baseHeight, int32_t drawWidth,
             int32_t drawHeight, int32_t facing, int32_t axisMode, uint16_t instance,
             const void* definition);
  // (free vertical, axis mode 2) = (0, 1), (1, 0), (1, 1), (1, 2) for modes
  // 0..3; other modes change nothing.
  void SetAxisMode(int32_t mode);
  // +1 facing right, -1 facing left.
  int32_t FacingSign() const { return m_nFacing != 0 ? 1 : -1; }

  // --- Clamps and motion (rules/movement.cpp) ---
  // Holds x against the horizontal view's limits and answers an edge code:
  // mode 0 the scroll range, mode 1 the stage area, mode 2 the map.
  // Then right, OnMovedX and the columns follow the new x.
  int ClampX(int mode);
  int ClampY(int mode);
  // Speed bounded to the maximum speed, one step, then the clamp's code.
  int MoveX(int mode);
  int MoveY(int mode);
  // Falling objects gain the gravity per sub-step; answers free vertical.
  int32_t ApplyGravity();
  // Brings an acceleration one deceleration step toward 0 (not past it).
  void DecelerateAxis(double& acceleration, int32_t enabled);

  // --- Scale (rules/movement.cpp) ---
  void KeepCentreOnScale(int32_t newScale, int32_t oldScale, int32_t flag);
  void ShiftForScale(int32_t newScale, int32_t oldScale);

  // --- Screen rectangle and tests (rules/movement.cpp) ---
  void UpdateScreenRect();
  bool IsOnScreen() const;
  bool IsOnScreenAxes(bool ignoreX, bool ignoreY) const;
  bool IsInsideStage(bool wholeMap) const;
  // Edges touching count as overlapping.
  bool OverlapsRect(double left, double top, double right, double bottom) const;
  // Never true while on screen.
  bool IsOutsideLiveRange(const cLiveRange& limits) const;
  // Moves x (y) so that the drawn centre's screen x (y) becomes x (y); the
  // characters' SetScreenCentreX/Y run this and then their UpdateX/Y.
  void ShiftToScreenCentreX(int32_t x);
  void ShiftToScreenCentreY(int32_t y);
  // The drawn centre on screen (integer halving of the drawn size).
  int32_t ScreenCentreX() const { return m_rcScreen.left + m_nDrawWidth / 2; }
  int32_t ScreenCentreY() const { return m_rcScreen.top + m_nDrawHeight / 2; }
  // The one-axis range test of the position conditions.
  bool OverlapsOnAxis(int32_t judgePosition, int32_t judgeLength, int32_t targetLow,
                      int32_t targetHigh, int32_t targetMargin, int32_t lengthLow,
                      int32_t lengthHigh, bool centred, bool heightTest,
                      const cStageObject* target) const;

  // --- Members ---
  int32_t m_nId = 0;                       // unique on the stage
  int32_t m_nLifeCountdown = 0;            // kUnlimitedLife, else sub-steps left
  int32_t m_nFacing = 0;                   // 0 left, 1 right
  uint16_t m_wInstance = 0;                // n of the start + step x n parameters
  int32_t m_nSetupValue = 0;               // handed to Setup by the caller
  cAnimePlayer m_AnimePlayer;
  cScreenRect m_rcScreen;
  int32_t m_nMarginX = 0, m_nMarginY = 0;  // body left/top inside the drawn cell, scaled
  int32_t m_nDrawWidth = 0, m_nDrawHeight = 0;  // drawn cell, scaled
  int32_t m_nBaseMarginX = 0, m_nBaseMarginY = 0;
  int32_t m_nBaseDrawWidth = 0, m_nBaseDrawHeight = 0;
  int32_t m_nKind = 0;                     // definition's kind byte (signed)
  int32_t m_nOwner = 0;                    // definition's owner byte (signed)
  int32_t m_nBlockFlags = 0;               // handed to IsBlockSolid
  double m_dX = 0, m_dY = 0;               // body's left/top in world dots
  double m_dRight = 0, m_dBottom = 0;      // x + width - 1, y + height - 1
  int32_t m_nColumnLeft = 0, m_nRowTop = 0, m_nColumnRight = 0, m_nRowBottom = 0;
  double m_dSpeedX = 0, m_dSpeedY = 0;     // dots per sub-step
  double m_dAccelX = 0, m_dAccelY = 0;     // added to the speed, decays toward 0
  double m_dDeceleration = 0;              // shrink of the acceleration per sub-step
  int32_t m_bDecelerateX = 0, m_bDecelerateY = 0;
  int32_t m_bFollowsScroll = 0;            // carried by the forced scroll
  int32_t m_nWidth = 0, m_nHeight = 0;     // body, scaled
  int32_t m_nBaseWidth = 0, m_nBaseHeight = 0;
  int32_t m_bFreeVertical = 0;             // 0: falls under gravity
  uint8_t m_byAxisMode2 = 0;
  int32_t m_bPresent = 0;                  // appearance conditions hold (this sub-step)
  int32_t m_bOnScreen = 0;
  uint8_t m_byAppearLatch = 0;             // appearance conditions have held once
  const void* m_pDefinition = nullptr;     // definition the object was set up from
  // Marked for removal by the stage scene (cStageScene::RemoveCharacter,
  // RemoveItem): the mark belongs to this object, so a copy starts
  // unmarked and an assignment keeps the target's own mark.
  struct cRemovalMark {
    bool on = false;
    cRemovalMark() = default;
    cRemovalMark(const cRemovalMark&) {}
    cRemovalMark& operator=(const cRemovalMark&) { return *this; }
  };
  cRemovalMark m_RemovalMark;
};

// ---------------------------------------------------------------------------
// Velocity helpers (rules/movement.cpp)

// Velocity from (startX, startY) toward (targetX, targetY) at `speed` (away
// from it for a negative speed unless keepSign), with the forced-scroll
// compensation for `mover` (may be null). Direction: 2 moving right, 1 left,
// 0 neither. Answers 1 when arrivalTest is set and the target is reached
// within this step.
int AimVector(double& vx, double& vy, int32_t& direction, const cStageObject* mover,
              double startX, double startY, double targetX, double targetY, double speed,
              bool relative, bool keepSign, bool arrivalTest);
// One axis toward a target: velocity -speed (direction 1) when from >= to,
// else +speed (direction 2).
int StepToward(double& vx, double& vy, int32_t& direction, const cStageObject* mover,
               double from, double to, double speed, bool noScroll, bool arrivalTest);
int StepTowardY(double& vx, double& vy, int32_t& direction, const cStageObject* mover,
                double from, double to, double speed, bool noScroll, bool arrivalTest);
// What a movement command hands to MoveToward / MoveTowardX / MoveTowardY:
// its speed and move-record options in, the velocity and direction code out
// (the command stores them in its state).
struct cMoveStep {
  double speed = 0;
  bool keepSign = false;       // a negative speed aims backwards instead of fleeing
  bool stopOnArrival = false;  // the move record's stop-on-arrival byte
  bool keepRects = false;      // its second option byte: no screen-rectangle refresh on arrival
  double vx = 0, vy = 0;
  int32_t direction = 0;
};
// Aims the mover's drawn centre at a screen point (AimVector). On arrival
// with stop-on-arrival the drawn centre is put on the point
// (SetScreenCentreEx), after both screen rectangles are refreshed.
// Answers AimVector's arrival result.
int MoveToward(cStageObject& mover, cCmdState* state, cMoveStep& step, cStageObject* other,
               double targetX, double targetY, bool relative, bool arrivalTest);
// The same along one axis (StepToward / StepTowardY), placing with
// SetScreenCentreXEx / SetScreenCentreYEx.
int MoveTowardX(cStageObject& mover, cCmdState* state, cMoveStep& step, cStageObject* other,
                double targetX, bool noScroll, bool arrivalTest);
int MoveTowardY(cStageObject& mover, cCmdState* state, cMoveStep& step, cStageObject* other,
                double targetY, bool noScroll, bool arrivalTest);
// The point a homing or charging command aims at: the object's drawn centre
// plus the offsets; a fixed axis is left as it was.
void AimPoint(const cStageObject& object, int32_t& x, int32_t& y, int32_t offsetX,
              int32_t offsetY, bool xFixed, bool yFixed);
// Wave motion: velocity and acceleration of a cosine wave of `amplitude`,
// angular speed in degrees per frame; the phase advances by phaseStep and
// wraps at frame scale x 360.
double WaveVelocity(double amplitude, double angularSpeed, double& phase, double phaseStep,
                    double phaseOffset);
double WaveAcceleration(double amplitude, double angularSpeed, double& phase, double phaseStep,
                        double phaseOffset);

// ---------------------------------------------------------------------------
// Searches over the stage's characters (rules/movement.cpp)

// The lists a search walks, in order: the stage's lists by side (the hero
// among the characters of its side).
using cCharacterLists = std::vector<const std::list<cCharacter*>*>;

// Filters shared by the searches. A filter whose switch is off lets every
// character through.
struct cCharacterFilter {
  bool groupFilter = false;
  int32_t group = 0;             // the definition's group byte must equal it
  bool statusFilter = false;
  int32_t statusIndex = 0;       // status word compared ...
  int32_t value = 0;             // ... with this value ...
  int32_t op = 0;                // ... by operator 0..7 (CompareByOperator)
  bool excludeIdFilter = false;
  int32_t id = 0;                // excluded id
  bool excludeInvincible1 = false;  // leave out definitions of invincibility kind 1
  bool excludeInvincible2 = false;  // ... of kind 2
  bool excludeWholeCell = false;    // leave out whole-cell bodies

  // Whether `c` qualifies: it is still on the stage (neither dying nor
  // removed) and passes every filter that is on. A status number the
  // character does not have matches nothing.
  bool Passes(const cCharacter& c) const;
};
// The present, qualifying character of `lists` nearest to (x, y) by
// |dx| + |dy| of its drawn centre (as its screen rectangle stands); the
// earlier one in list order wins a tie; null when none. Scope 0: on-screen
// characters, and only when none qualifies the off-screen ones; 1: all
// present; 2: on-screen only.
cCharacter* FindNearestObject(int32_t x, int32_t y, const cCharacterLists& lists, int32_t scope,
                              const cCharacterFilter& filter);
// The nearest target of `object`: on screen only when the stage says so,
// never a character of invincibility kind 2.
cCharacter* FindNearestCharacter(const cStageObject& object, const cCharacterLists& lists);
// The first qualifying character in list order (present or not, on screen
// or not); null when none.
cCharacter* FindFirstObject(const cCharacterLists& lists, const cCharacterFilter& filter);

// The ground turn-around movement: velocity x and direction code (0 none,
// 1 left, 2 right) for a walker at `speed`. After a sideways push it turns
// back (and takes on the pushing block character's motion); otherwise it
// turns at the edge of the floor under its feet.
void GroundTurnVelocity(cCharacter& character, double speed, double& vx, int32_t& direction);

// The judge range [low, high] of a position condition on one axis.
void ComputeJudgeRange(int32_t& low, int32_t& high, int32_t position, int32_t length,
                       int32_t lengthLow, int32_t lengthHigh, bool centred);

// Flow commands as stage play carries them out: the executor of every
// command kind of both families, the dispatch the flow runtime calls once
// per step of a running command, and the rules the executors share (the
// period of repeating commands, the command's own sound).
//
// Two families of commands exist. Flow commands (family 0, kinds 0..39) run
// inside a character's flow for as long as their duration lasts, one call
// per sub-step; their executors take the character and the command's run
// state (cCmdState), in which the movement, shot and summon kinds keep their
// work. Item commands (family 1, kinds 0..24) run all at once when the hero
// takes an item; item kind k (2..24) is flow kind k + 15. Both families share
// one body per kind from the stage clear (17) on: the body takes the
// character and the command record and answers a stop code (0 go on; an
// item list ends at the first non-zero one). A command whose family or kind
// lies outside these tables - a negative kind byte among them - does nothing
// and only waits its duration.
//
// Every executor is declared here by name so that each can live in the file
// of its subject (movement in move_commands.cpp, status operations in
// status_commands.cpp, shots with the shots ...). Game thread only.
#pragma once

#include <cstddef>
#include <cstdint>

class cCharacter;
class cCmdState;
class cEdCmd;
class cStageObject;

// ---------------------------------------------------------------------------
// The two kind tables (commands.cpp): an executor for every flow kind of
// data's `CommandKind`, a body for every item kind, each table checked at
// compile time against data's kind numbers.

// An executor of a flow command: one call per step while the command runs.
using FlowExecutor = void (*)(cCharacter& character, cCmdState& state);
// The body of a command kind shared by both families: one call; a stop code.
using CommandBody = int32_t (*)(cCharacter& character, const cEdCmd& command);

// The kind byte of a command as the tables index it: the stored byte is
// signed, so 128..255 are negative kinds (and have no row).
int32_t CommandKindIndex(const cEdCmd& command);

// ---------------------------------------------------------------------------
// Dispatch

// Runs the flow command of `state` for one step on `character` (the flow
// runtime's ExecuteCommand): the executor of its kind, or nothing for a
// command that is not a flow command of a known kind.
void ExecuteCommand(cCharacter& character, cCmdState& state);
// Runs one item command on `character` (the hero taking an item): its
// body's stop code; 0 for anything that is not an item command of a known
// kind.
int32_t ExecuteItemCommand(cCharacter& character, const cEdCmd& command);

// Work a command keeps from its preparation on: before the flows run, every
// command state gets its speed from the movement record and the per-kind
// preparation (move distances, circle geometry, homing period, jump speed
// and length). The flow runtime calls this once per command state when it
// builds a character's flows, after setting the state's duration.
void PrepareCommandState(cCharacter& character, cCmdState& state);
// The bytes of the work record PrepareCommandState gives a command state of
// `command` (0: it gives none); what stage set-up counts per command state.
size_t CommandWorkBytes(const cEdCmd& command);

// ---------------------------------------------------------------------------
// Shared rules

// Calls between two actions of a repeating command: 6 x the sub-steps per
// frame (a tenth of a second).
int32_t CommandRepeatPeriod();
// A repeating command acts on the calls where its period counter is 0.
bool IsPeriodDue(const cCmdState& state);
// After every call of a repeating command: counter + 1, back to 0 at the
// repeat period.
void AdvancePeriod(cCmdState& state);
// Whether the character acts in this sub-step (the stage's activation; the
// hero always acts).
bool IsActing(const cCharacter& character);
// The command's own sound (its Sound.dat id; 0 none), unless the command
// plays only while its character acts and the character does not.
void PlayCommandSound(const cCharacter& character, const cEdCmd& command);
// Plays sound `soundId` under the same only-while-active rule.
void PlaySoundWhileActive(const cCharacter& character, const cEdCmd& command, int32_t soundId);

// ---------------------------------------------------------------------------
// Flow-family executors (character, command state)

void DoNothing(cCharacter& character, cCmdState& state);

// Movement (move_commands.cpp).
void ExecuteStraightMove(cCharacter& character, cCmdState& state);
void ExecuteGroundTurnMove(cCharacter& character, cCmdState& state);
void ExecuteCircleMove(cCharacter& character, cCmdState& state);
void ExecuteChargeMove(cCharacter& character, cCmdState& state);
void ExecuteHomingMove(cCharacter& character, cCmdState& state);
void ExecuteAvoidOffscreenMove(cCharacter& character, cCmdState& state);
void ExecuteDisableMove(cCharacter& character, cCmdState& state);
void ExecuteTurn(cCharacter& character, cCmdState& state);
void ExecuteJump(cCharacter& character, cCmdState& state);

// Project switches of the movement commands; a new project has them all off.
// Stage set-up fills them from the project's rules (play/world/system_switches.h).
struct cMoveSwitches {
  int32_t turnInPointMode = 0;    // a move toward a point turns with the facing too
  int32_t keepIgnoredAxes = 0;    // a straight move keeps the velocity of ignored axes
  int32_t angleFromVertical = 0;  // a charge's extra angle is measured from the vertical
};
extern cMoveSwitches g_MoveSwitches;

// The steps the movement commands share (move_commands.cpp). Direction
// codes: 2 left, 3 right, 6 up, 7 down, 8 left-up, 9 left-down, 10
// right-up, 11 right-down; other codes move nowhere.
class cEdMove;
// Direction choice 0..12 of the movement record, by the character's facing
// (12: the input direction the running flow started with).
int32_t ResolveDirection(const cCharacter& character, int32_t choice, int32_t inputDirection);
// The same with the axis mode given apart from the character: `free` false
// keeps an input direction to the ground's left and right.
int32_t ResolveDirection(const cCharacter& character, int32_t choice, int32_t inputDirection, bool free);
// An input direction (0 none, 1 left, 2 right, 3 up, 4 down, 5..8 the
// diagonals, 9 any) as a direction code.
int32_t ConvertFacingToDirection(int32_t inputDirection);
int32_t ComputeMoveAngle(const cCharacter& character, const cEdMove& move);
void ComputeMoveTargetOffset(const cCharacter& character, const cEdMove& move, int32_t& x, int32_t& y);
// Velocities and the turn result (0 none, 1 face left, 2 face right).
void SetDirectionVelocity(const cCharacter& character, int32_t direction, double speed, double& vx, double& vy,
                          int32_t& result);
void SetAngleVelocity(const cCharacter& character, int32_t direction, int32_t angle, double speed, double& vx,
                      double& vy, int32_t& result);
// Toward the move record's point; with stop-on-arrival the command's
// remaining calls become the calls the way takes.
void SetTargetVelocity(cCharacter& character, cCmdState& state, const cEdMove& move, int32_t offsetX,
                       int32_t offsetY, double speed, double& vx, double& vy, int32_t& result);
// Toward a screen point from the character's drawn centre at the command's
// speed, with the forced-scroll compensation (MoveToward), along x or y
// alone when the record ignores the other axis (MoveTowardX, MoveTowardY);
// both ignored gives no velocity and no turn. `other` is the object aimed
// at, or null.
void AimAtObject(cCharacter& character, cCmdState& state, const cEdMove& move, cStageObject* other,
                 double targetX, double targetY, double& vx, double& vy, int32_t& result);
void ComputeOffscreenAvoidVelocity(const cCharacter& character, int32_t direction, double speed, double& vx,
                                   double& vy);
// Turns the character by the result (unless its facing is fixed and the
// turn not forced, or the record keeps the facing), adds the velocity to
// its speed (or pushes its acceleration in acceleration mode) and asks for
// the moving animation.
void ApplyMoveVelocity(cCharacter& character, double vx, double vy, int32_t result, const cCmdState& state,
                       const cEdMove& move, bool forceTurn);

// The command's own velocity stops (a movement command put its character on
// its target point); nothing for a state without movement work.
void StopMoveVelocity(cCmdState* state);

// Shots, swords and summons: repeating, with their work in the state.
void ExecuteShot(cCharacter& character, cCmdState& state);
void ExecuteSword(cCharacter& character, cCmdState& state);
void ExecuteSummonBlock(cCharacter& character, cCmdState& state);
void ExecuteSummonCharacter(cCharacter& character, cCmdState& state);
void ExecuteSummonItem(cCharacter& character, cCmdState& state);

// ---------------------------------------------------------------------------
// Bodies shared by both families (character, command record) -> stop code.
// A flow command of these kinds forwards its record to the body; the flow
// forms of the stage clear and the message add what the item forms do not
// (commands.cpp).

int32_t ExecuteFlowOperation(cCharacter& character, const cEdCmd& command);  // flow family only
// The stage-end request the clear asks for (the flow form stores it in the
// stage; an item list stops at it).
int32_t ExecuteStageClear(cCharacter& character, const cEdCmd& command);
int32_t ExecuteGameWait(cCharacter& character, const cEdCmd& command);
// `continueFlag`: the window continues the one before it (the flow's
// message-wait flag, or the stage's item-message flag).
int32_t ExecuteMessage(cCharacter& character, const cEdCmd& command, int32_t continueFlag);
int32_t ExecuteWarp(cCharacter& character, const cEdCmd& command);
int32_t ExecuteSetTarget(cCharacter& character, const cEdCmd& command);
int32_t ExecuteStatusOperation(cCharacter& character, const cEdCmd& command);
int32_t ExecuteStatusOperation2(cCharacter& character, const cEdCmd& command);
int32_t ExecuteVanish(cCharacter& character, const cEdCmd& command);
int32_t ExecuteItemGet(cCharacter& character, const cEdCmd& command);
int32_t ExecuteGraphicChange(cCharacter& character, const cEdCmd& command);
int32_t ExecuteBaseAnimeSetChange(cCharacter& character, const cEdCmd& command);
int32_t ExecuteAnime(cCharacter& character, const cEdCmd& command);
int32_t ExecuteEffect(cCharacter& character, const cEdCmd& command);
int32_t ExecuteCharaEffect(cCharacter& character, const cEdCmd& command);
int32_t ExecuteScreenEffect(cCharacter& character, const cEdCmd& command);
int32_t ExecutePicture(cCharacter& character, const cEdCmd& command);
int32_t ExecuteScreenColour(cCharacter& character, const cEdCmd& command);
int32_t ExecuteBackgroundChange(cCharacter& character, const cEdCmd& command);
// Sound, music and code (commands.cpp).
int32_t ExecuteSoundEffect(cCharacter& character, const cEdCmd& command);
int32_t ExecuteBgm(cCharacter& character, const cEdCmd& command);
int32_t ExecuteCode(cCharacter& character, const cEdCmd& command);
// The arrange entry goes to the hero's own list for an item command, to the
// running flow's pending list for a flow command.
int32_t ExecuteArrange(cCharacter& character, const cEdCmd& command);
// Item kind 1: the flow change, queued for the hero.
int32_t ExecuteItemChangeFlow(cCharacter& character, const cEdCmd& command);

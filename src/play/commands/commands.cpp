// The command-kind tables, the dispatch of both families, the rules shared by
// repeating commands and the command sound, and the sound, music and code
// commands.
#include "play/commands/commands.h"

#include <algorithm>
#include <iterator>

#include "data/flow.h"
#include "data/labels.h"
#include "flow/expr.h"
#include "flow/flow_state.h"
#include "play/objects/character.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"

namespace {

// A flow command of a kind whose body is shared with the item family.
template <CommandBody Body>
void Forward(cCharacter& character, cCmdState& state) {
  if (state.m_pCommand) Body(character, *state.m_pCommand);
}

// The flow form of the stage clear hands the stage its end request.
void ForwardStageClear(cCharacter& character, cCmdState& state) {
  if (!state.m_pCommand) return;
  const int32_t request = ExecuteStageClear(character, *state.m_pCommand);
  if (cStageScene* scene = CurrentStageScene()) scene->m_nEndRequest = request;
}

// The flow form of the message continues the window before it while the
// running flow waits for a message.
void ForwardMessage(cCharacter& character, cCmdState& state) {
  if (!state.m_pCommand) return;
  const cFlowState* flow = CurrentFlow();
  ExecuteMessage(character, *state.m_pCommand, flow ? flow->m_bMessageWait : 0);
}

int32_t NoBody(cCharacter&, const cEdCmd&) { return 0; }

// The item form of the stage clear stops the rest of the item's list.
int32_t ItemStageClear(cCharacter& character, const cEdCmd& command) {
  ExecuteStageClear(character, command);
  return 1;
}

// Item messages of one item run follow each other: the first opens a window,
// every later one continues it.
int32_t ItemMessage(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  ExecuteMessage(character, command, scene ? scene->m_bItemMessage : 0);
  if (scene) scene->m_bItemMessage = 1;
  return 0;
}

// The executor of each flow kind, at the kind's number. Each row names its
// kind, so a row out of place or a kind without a row stops the build.
struct cFlowKindRow {
  CommandKind kind;
  FlowExecutor executor;
};

constexpr cFlowKindRow kFlowKinds[] = {
    {kCmdNone, DoNothing},
    {kCmdWait, DoNothing},  // only its duration counts
    // The movement kinds take the movement record.
    {kCmdMoveStraight, ExecuteStraightMove},
    {kCmdMoveGroundTurn, ExecuteGroundTurnMove},
    {kCmdMoveCircle, ExecuteCircleMove},
    {kCmdMoveCharge, ExecuteChargeMove},
    {kCmdMoveHoming, ExecuteHomingMove},
    {kCmdMoveAvoidScreenEdge, ExecuteAvoidOffscreenMove},
    {kCmdStopMoving, ExecuteDisableMove},
    {kCmdTurn, ExecuteTurn},
    {kCmdJump, ExecuteJump},
    // The shot and summon kinds take the shot record.
    {kCmdShot, ExecuteShot},
    {kCmdSword, ExecuteSword},
    {kCmdSummonBlock, ExecuteSummonBlock},
    {kCmdSummonCharacter, ExecuteSummonCharacter},
    {kCmdSummonItem, ExecuteSummonItem},
    {kCmdFlowControl, Forward<ExecuteFlowOperation>},
    {kCmdStageClear, ForwardStageClear},
    {kCmdGameWait, Forward<ExecuteGameWait>},
    {kCmdMessage, ForwardMessage},
    {kCmdWarp, Forward<ExecuteWarp>},
    {kCmdSetTarget, Forward<ExecuteSetTarget>},
    {kCmdStatus, Forward<ExecuteStatusOperation>},
    {kCmdStatus2, Forward<ExecuteStatusOperation2>},
    {kCmdVanish, Forward<ExecuteVanish>},
    {kCmdGetItem, Forward<ExecuteItemGet>},
    {kCmdChangeGraphic, Forward<ExecuteGraphicChange>},
    {kCmdChangeAnimeSet, Forward<ExecuteBaseAnimeSetChange>},
    {kCmdPlayAnime, Forward<ExecuteAnime>},
    {kCmdPlayEffect, Forward<ExecuteEffect>},
    {kCmdPlayCharaEffect, Forward<ExecuteCharaEffect>},
    {kCmdPlayScreenEffect, Forward<ExecuteScreenEffect>},
    {kCmdShowPicture, Forward<ExecutePicture>},
    {kCmdScreenColour, Forward<ExecuteScreenColour>},
    {kCmdChangeBackground, Forward<ExecuteBackgroundChange>},
    {kCmdPlaySound, Forward<ExecuteSoundEffect>},
    {kCmdPlayBgm, Forward<ExecuteBgm>},
    {kCmdRunCode, Forward<ExecuteCode>},  // its code is the command's text
    {kCmdArrange, Forward<ExecuteArrange>},
    {kCmdLoop, DoNothing},  // unrolled before the flows run
};

// The body of each item kind, at the kind's number: the two kinds of the
// item family's own, then the flow kinds it shares from the stage clear on.
struct cItemKindRow {
  int kind;
  CommandBody body;
};

constexpr cItemKindRow kItemKinds[] = {
    {kItemCmdNone, NoBody},
    {kItemCmdChangeFlow, ExecuteItemChangeFlow},
    {ItemKindOfFlowKind(kCmdStageClear), ItemStageClear},
    {ItemKindOfFlowKind(kCmdGameWait), ExecuteGameWait},
    {ItemKindOfFlowKind(kCmdMessage), ItemMessage},
    {ItemKindOfFlowKind(kCmdWarp), ExecuteWarp},
    {ItemKindOfFlowKind(kCmdSetTarget), ExecuteSetTarget},
    {ItemKindOfFlowKind(kCmdStatus), ExecuteStatusOperation},
    {ItemKindOfFlowKind(kCmdStatus2), ExecuteStatusOperation2},
    {ItemKindOfFlowKind(kCmdVanish), ExecuteVanish},
    {ItemKindOfFlowKind(kCmdGetItem), ExecuteItemGet},
    {ItemKindOfFlowKind(kCmdChangeGraphic), ExecuteGraphicChange},
    {ItemKindOfFlowKind(kCmdChangeAnimeSet), ExecuteBaseAnimeSetChange},
    {ItemKindOfFlowKind(kCmdPlayAnime), ExecuteAnime},
    {ItemKindOfFlowKind(kCmdPlayEffect), ExecuteEffect},
    {ItemKindOfFlowKind(kCmdPlayCharaEffect), ExecuteCharaEffect},
    {ItemKindOfFlowKind(kCmdPlayScreenEffect), ExecuteScreenEffect},
    {ItemKindOfFlowKind(kCmdShowPicture), ExecutePicture},
    {ItemKindOfFlowKind(kCmdScreenColour), ExecuteScreenColour},
    {ItemKindOfFlowKind(kCmdChangeBackground), ExecuteBackgroundChange},
    {ItemKindOfFlowKind(kCmdPlaySound), ExecuteSoundEffect},
    {ItemKindOfFlowKind(kCmdPlayBgm), ExecuteBgm},
    {ItemKindOfFlowKind(kCmdRunCode), ExecuteCode},
    {ItemKindOfFlowKind(kCmdArrange), ExecuteArrange},
    {ItemKindOfFlowKind(kCmdLoop), NoBody},  // unrolled before the list runs
};

// Row i is the row of kind i.
template <class Row, size_t N>
constexpr bool InKindOrder(const Row (&rows)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (rows[i].kind != static_cast<int>(i)) return false;
  return true;
}
static_assert(std::size(kFlowKinds) == kCommandKindCount, "a flow kind without an executor");
static_assert(InKindOrder(kFlowKinds), "flow-kind rows out of the kind order");
static_assert(std::size(kItemKinds) == kItemCommandKindCount, "an item kind without a body");
static_assert(InKindOrder(kItemKinds), "item-kind rows out of the kind order");

}  // namespace

int32_t CommandKindIndex(const cEdCmd& command) { return static_cast<int8_t>(command.m_nKind); }

void ExecuteCommand(cCharacter& character, cCmdState& state) {
  if (!state.m_pCommand || state.m_pCommand->m_nFamily != 0) return;
  const int32_t kind = CommandKindIndex(*state.m_pCommand);
  if (kind < 0 || kind >= kCommandKindCount) return;
  kFlowKinds[static_cast<size_t>(kind)].executor(character, state);
}

int32_t ExecuteItemCommand(cCharacter& character, const cEdCmd& command) {
  if (command.m_nFamily != 1) return 0;
  const int32_t kind = CommandKindIndex(command);
  if (kind < 0 || kind >= kItemCommandKindCount) return 0;
  return kItemKinds[static_cast<size_t>(kind)].body(character, command);
}

// ---------------------------------------------------------------------------
// Shared rules

int32_t CommandRepeatPeriod() { return 6 * SubStepsPerFrame(); }

bool IsPeriodDue(const cCmdState& state) { return state.m_nPeriod == 0; }

void AdvancePeriod(cCmdState& state) {
  // A counter that a copied or arranged state left past the period starts
  // over as well.
  if (state.m_nPeriod < 0 || state.m_nPeriod >= CommandRepeatPeriod() - 1) state.m_nPeriod = 0;
  else ++state.m_nPeriod;
}

bool IsActing(const cCharacter& character) {
  const auto* placed = dynamic_cast<const cStageCharacter*>(&character);
  return placed == nullptr || placed->m_bActing != 0;
}

void PlaySoundWhileActive(const cCharacter& character, const cEdCmd& command, int32_t soundId) {
  if (soundId == 0) return;
  if (command.m_nOption != 0 && !IsActing(character)) return;
  RequestSoundEffectById(soundId);
}

void PlayCommandSound(const cCharacter& character, const cEdCmd& command) {
  PlaySoundWhileActive(character, command, command.m_nSound);
}

void DoNothing(cCharacter&, cCmdState&) {}

// ---------------------------------------------------------------------------
// Sound, music and code

int32_t ExecuteSoundEffect(cCharacter& character, const cEdCmd& command) {
  PlaySoundWhileActive(character, command, static_cast<uint16_t>(command.Word(0)));
  return 0;
}

int32_t ExecuteBgm(cCharacter&, const cEdCmd& command) {
  if (cStageScene* scene = CurrentStageScene())
    scene->PlayStageBGM(static_cast<int32_t>(command.Word(0)), static_cast<int32_t>(command.Word(1)));
  return 0;
}

int32_t ExecuteCode(cCharacter& character, const cEdCmd& command) {
  // The statement reads "my" from the current-object slot: an item command
  // runs outside any flow, so the slot is pointed at the character for the
  // call and put back afterwards.
  cCurrentObjectsGuard keep;
  SetCurrentCharacter(&character);
  RunCodeCommand(command.m_strText);
  return 0;
}

int32_t ExecuteItemChangeFlow(cCharacter& character, const cEdCmd& command) {
  ExecuteChangeFlow(&character, command, 0);
  return 0;
}

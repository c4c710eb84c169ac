// The command-kind tables, the dispatch of both families, the rules shared by
// repeating commands and the command sound, and the sound, music and code
// commands.
#include "play/commands/commands.h"

#include <algorithm>

#include "data/flow.h"
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

#define FLOW_ROW(fn, words) cFlowKindRow{#fn, words, fn}
#define FORWARD_ROW(fn, words) cFlowKindRow{#fn, words, Forward<fn>}

const std::array<cFlowKindRow, kFlowKindRows> kFlowKinds = {{
    FLOW_ROW(DoNothing, 0),                  // 0 empty kind
    FLOW_ROW(DoNothing, 0),                  // 1 wait: only its duration counts
    FLOW_ROW(ExecuteStraightMove, 0),        // 2..8 take the movement record
    FLOW_ROW(ExecuteGroundTurnMove, 0),
    FLOW_ROW(ExecuteCircleMove, 0),
    FLOW_ROW(ExecuteChargeMove, 0),
    FLOW_ROW(ExecuteHomingMove, 0),
    FLOW_ROW(ExecuteAvoidOffscreenMove, 0),
    FLOW_ROW(ExecuteDisableMove, 0),
    FLOW_ROW(ExecuteTurn, 1),
    FLOW_ROW(ExecuteJump, 5),
    FLOW_ROW(ExecuteShot, 0),                // 11..15 take the shot record
    FLOW_ROW(ExecuteSword, 0),
    FLOW_ROW(ExecuteSummonBlock, 0),
    FLOW_ROW(ExecuteSummonCharacter, 0),
    FLOW_ROW(ExecuteSummonItem, 0),
    FORWARD_ROW(ExecuteFlowOperation, 4),
    cFlowKindRow{"ExecuteStageClear", 9, ForwardStageClear},
    FORWARD_ROW(ExecuteGameWait, 1),
    cFlowKindRow{"ExecuteMessage", 18, ForwardMessage},
    FORWARD_ROW(ExecuteWarp, 0),
    FORWARD_ROW(ExecuteSetTarget, 16),
    FORWARD_ROW(ExecuteStatusOperation, 18),
    FORWARD_ROW(ExecuteStatusOperation2, 5),
    FORWARD_ROW(ExecuteVanish, 3),
    FORWARD_ROW(ExecuteItemGet, 2),
    FORWARD_ROW(ExecuteGraphicChange, 3),
    FORWARD_ROW(ExecuteBaseAnimeSetChange, 1),
    FORWARD_ROW(ExecuteAnime, 1),
    FORWARD_ROW(ExecuteEffect, 8),
    FORWARD_ROW(ExecuteCharaEffect, 3),
    FORWARD_ROW(ExecuteScreenEffect, 3),
    FORWARD_ROW(ExecutePicture, 15),
    FORWARD_ROW(ExecuteScreenColour, 8),
    FORWARD_ROW(ExecuteBackgroundChange, 2),
    FORWARD_ROW(ExecuteSoundEffect, 1),
    FORWARD_ROW(ExecuteBgm, 2),
    FORWARD_ROW(ExecuteCode, 0),             // its code is the command's text
    FORWARD_ROW(ExecuteArrange, 5),
    FLOW_ROW(DoNothing, 2),                  // 39 loop: unrolled before the flows run
}};

#define ITEM_ROW(fn, words) cItemKindRow{#fn, words, fn}

const std::array<cItemKindRow, kItemKindRows> kItemKinds = {{
    cItemKindRow{"DoNothing", 0, NoBody},
    ITEM_ROW(ExecuteItemChangeFlow, 2),
    cItemKindRow{"ExecuteStageClear", 9, ItemStageClear},
    ITEM_ROW(ExecuteGameWait, 1),
    cItemKindRow{"ExecuteMessage", 18, ItemMessage},
    ITEM_ROW(ExecuteWarp, 0),
    ITEM_ROW(ExecuteSetTarget, 16),
    ITEM_ROW(ExecuteStatusOperation, 18),
    ITEM_ROW(ExecuteStatusOperation2, 5),
    ITEM_ROW(ExecuteVanish, 3),
    ITEM_ROW(ExecuteItemGet, 2),
    ITEM_ROW(ExecuteGraphicChange, 3),
    ITEM_ROW(ExecuteBaseAnimeSetChange, 1),
    ITEM_ROW(ExecuteAnime, 1),
    ITEM_ROW(ExecuteEffect, 8),
    ITEM_ROW(ExecuteCharaEffect, 3),
    ITEM_ROW(ExecuteScreenEffect, 3),
    ITEM_ROW(ExecutePicture, 15),
    ITEM_ROW(ExecuteScreenColour, 8),
    ITEM_ROW(ExecuteBackgroundChange, 2),
    ITEM_ROW(ExecuteSoundEffect, 1),
    ITEM_ROW(ExecuteBgm, 2),
    ITEM_ROW(ExecuteCode, 0),
    ITEM_ROW(ExecuteArrange, 5),
    cItemKindRow{"DoNothing", 2, NoBody},    // 24 loop: unrolled before the list runs
}};

#undef FLOW_ROW
#undef FORWARD_ROW
#undef ITEM_ROW

}  // namespace

const std::array<cFlowKindRow, kFlowKindRows>& FlowKindTable() { return kFlowKinds; }
const std::array<cItemKindRow, kItemKindRows>& ItemKindTable() { return kItemKinds; }

int32_t CommandKindIndex(const cEdCmd& command) { return static_cast<int8_t>(command.m_nKind); }

void ExecuteCommand(cCharacter& character, cCmdState& state) {
  if (!state.m_pCommand || state.m_pCommand->m_nFamily != 0) return;
  const int32_t kind = CommandKindIndex(*state.m_pCommand);
  if (kind < 0 || kind >= kFlowKindRows) return;
  kFlowKinds[static_cast<size_t>(kind)].executor(character, state);
}

int32_t ExecuteItemCommand(cCharacter& character, const cEdCmd& command) {
  if (command.m_nFamily != 1) return 0;
  const int32_t kind = CommandKindIndex(command);
  if (kind < 0 || kind >= kItemKindRows) return 0;
  return kItemKinds[static_cast<size_t>(kind)].executor(character, command);
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

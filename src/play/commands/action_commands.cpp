// Executors of the action commands that act on the stage.
//
// ---- Shots, swords and summons (combat): kinds 11 to 15 ----
// A shot or summon command acts on the calls where its period counter is 0
// (its first call, then every repeat period while it lasts); a sword command
// acts once, on its first call, however long it runs.
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/errors.h"
#include "base/text_path.h"
#include "data/conditions.h"
#include "data/flow.h"
#include "data/move_shot.h"
#include "flow/conditions.h"
#include "flow/flow_state.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/shot.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"

namespace {

// The firing flow's input direction and flow group (0 when no flow runs).
void FlowOf(const cStageScene& scene, int32_t& direction, int32_t& group) {
  direction = 0;
  group = 0;
  if (const cFlowState* flow = scene.CurrentFlow) {
    direction = flow->m_nInputDirection;
    group = flow->Definition().m_nGroup;
  }
}

// The command's shot record, or null (a command without one does nothing).
const cEdShot* ShotRecord(const cCmdState& state) {
  return state.m_pCommand && state.m_pCommand->m_pShot ? state.m_pCommand->m_pShot.get() : nullptr;
}

template <class Action>
void Volley(cCharacter& character, cCmdState& state, Action action) {
  cStageScene* scene = CurrentStageScene();
  const cEdShot* record = ShotRecord(state);
  if (scene && record && IsPeriodDue(state)) {
    PlayCommandSound(character, *state.m_pCommand);
    int32_t direction = 0, group = 0;
    FlowOf(*scene, direction, group);
    // The record is copied: the shots' flows may arrange the command.
    const cEdShot copy = *record;
    action(*scene, copy, direction, group);
  }
  AdvancePeriod(state);
}

}  // namespace

void ExecuteShot(cCharacter& character, cCmdState& state) {
  Volley(character, state, [&](cStageScene& scene, const cEdShot& d, int32_t direction, int32_t group) {
    FireShots(scene, character, d, kCmdShot, direction, group);
  });
}

void ExecuteSword(cCharacter& character, cCmdState& state) {
  cStageScene* scene = CurrentStageScene();
  const cEdShot* record = ShotRecord(state);
  // The period counter only grows: it is 0 on the first call alone.
  if (scene && record && state.m_nPeriod == 0) {
    PlayCommandSound(character, *state.m_pCommand);
    int32_t direction = 0, group = 0;
    FlowOf(*scene, direction, group);
    const cEdShot copy = *record;
    FireSword(*scene, character, copy, direction, group);
  }
  if (state.m_nPeriod < INT32_MAX) ++state.m_nPeriod;
}

void ExecuteSummonBlock(cCharacter& character, cCmdState& state) {
  Volley(character, state, [&](cStageScene& scene, const cEdShot& d, int32_t direction, int32_t) {
    SummonBlocks(scene, character, d, direction);
  });
}

void ExecuteSummonCharacter(cCharacter& character, cCmdState& state) {
  Volley(character, state, [&](cStageScene& scene, const cEdShot& d, int32_t direction, int32_t) {
    SummonCharacters(scene, character, d, direction);
  });
}

void ExecuteSummonItem(cCharacter& character, cCmdState& state) {
  Volley(character, state, [&](cStageScene& scene, const cEdShot& d, int32_t direction, int32_t) {
    SummonItems(scene, character, d, direction);
  });
}
// ---- end of shots, swords and summons ----

// ---- Flow, stage and world commands (commands): kinds 16 to 20 ----
// Operations on flows, the stage clear, the game wait, the message and the
// warp. Each is one body shared by the flow and item families.

cCommandSwitches g_CommandSwitches;

namespace {

int32_t Param(const cEdCmd& command, size_t i) { return static_cast<int32_t>(command.Word(i)); }


// Flow operations 0..5.
enum : int32_t { kOpStart, kOpEnd, kOpPause, kOpResume, kOpDelete, kOpHalt };
// Scopes.
enum : int32_t { kScopeThis, kScopeOthers, kScopeById };

void OperateFlow(cCharacter& owner, cActorFlows& flows, cFlowState& flow, int32_t op) {
  switch (op) {
    case kOpStart: {
      flow.Stop();
      owner.RemoveAnimeRuns(flow.m_nFlowId);
      // The start belongs to the flow's owner: its exclusive numbers and, for
      // a flow that runs its instant commands at once, the current character
      // are the owner's even when another character asked.
      {
        cCurrentObjectsGuard keep;
        SetCurrentCharacter(&owner);
        flow.Start(&owner);
      }
      flow.m_bAbort = 1;
      // A flow restarting itself: the command running now must not count as
      // finished when this call returns (its count was ended by the stop),
      // or the step would move the restarted flow past its first command.
      // One call left makes the step see the abort and end there.
      if (&flow == CurrentFlow())
        if (cCmdState* running = CurrentCommand(); running && running->m_nRemaining < 2) running->m_nRemaining = 2;
      break;
    }
    case kOpEnd:
      flow.Stop();
      owner.RemoveAnimeRuns(flow.m_nFlowId);
      flow.m_bAbort = 1;
      break;
    case kOpPause:
      flow.m_bPaused = 1;
      owner.HoldAnimeRuns(flow.m_nFlowId);
      flow.m_bAbort = 1;
      break;
    case kOpResume:
      flow.m_bPaused = 0;
      owner.ReleaseAnimeRuns(flow.m_nFlowId);
      break;
    case kOpDelete:
      owner.m_bRemoveFlows = 1;
      flows.m_bRemoveRequest = 1;
      flow.m_bRemovalRequest = 1;
      flow.m_bAbort = 1;
      break;
    case kOpHalt:
      // Halt ends a running flow's commands and marks its exclusive number
      // as ended for the owner.
      flow.Halt();
      flow.m_bAbort = 1;
      break;
    default:
      break;
  }
}

}  // namespace

int32_t ExecuteFlowOperation(cCharacter& character, const cEdCmd& command) {
  // The command's condition list gates it only while the list is switched
  // on (its used byte).
  if (const cCondList* list = command.m_pCondList.get();
      list && list->m_nOption != 0 && !CheckConditionList(list->m_vConds, list->m_nMode, &character))
    return 0;
  const int32_t whose = Param(command, 3);
  cCharacter* owner = &character;
  if (whose >= 1 && whose <= 4) {
    owner = character.TargetInSlot(whose - 1);
    if (!owner) return 0;
  }
  const int32_t op = Param(command, 0);
  const int32_t scope = Param(command, 1);
  const int32_t id = Param(command, 2);
  cActorFlows* flows = FindFlowsOfCharacter(*owner);
  if (!flows) return 0;
  cFlowState* running = CurrentFlow();
  // The chosen flows are collected first: deleting one at once must not
  // disturb the walk over the owner's flow list.
  std::vector<cFlowState*> chosen;
  if (scope == kScopeThis) {
    // The running flow, whoever's flows were named: it belongs to the
    // character running the command. None when the command runs outside a
    // flow (an item command).
    cActorFlows* own = FindFlowsOfCharacter(character);
    if (!running || !own || own->IndexOf(running) < 0) return 0;
    owner = &character;
    flows = own;
    chosen.push_back(running);
  } else {
    for (size_t i = 0; i < flows->Count(); ++i) {
      cFlowState& flow = flows->At(i);
      if (scope == kScopeOthers && &flow != running) chosen.push_back(&flow);
      if (scope == kScopeById && id != 0 && flow.Definition().m_nGroup != 0 &&
          static_cast<int32_t>(flow.Definition().m_nGroup) == id)
        chosen.push_back(&flow);
    }
  }
  for (cFlowState* flow : chosen) OperateFlow(*owner, *flows, *flow, op);
  // Deleting by ID on a character other than the one running removes the
  // flows now; the running character's flows go when its flow loop settles
  // the removal requests.
  if (op == kOpDelete && scope == kScopeById && owner != &character) {
    for (cFlowState* flow : chosen) {
      const int32_t index = flows->IndexOf(flow);
      if (index >= 0) flows->RemoveFlow(owner, static_cast<size_t>(index));
    }
  }
  return 0;
}

int32_t ExecuteStageClear(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return kEndClear;
  const int32_t current = SaveData.m_nStage;
  switch (Param(command, 0)) {
    case 0:
      scene->m_nNextStageNumber = current < INT32_MAX ? current + 1 : current;
      scene->m_strNextStageName.clear();
      break;
    case 1:
      scene->m_nNextStageNumber = Param(command, 1);
      scene->m_strNextStageName.clear();
      break;
    case 2: {
      // The command's text is rewritten in place to "name." so that running
      // it again gives the same name.
      std::string& text = const_cast<cEdCmd&>(command).m_strText;
      scene->m_nNextStageNumber = current;
      if (text.empty()) {
        ShowError("ステージファイル %s が不正です。\nステージファイルとして認識できません。", "");
        scene->m_strNextStageName.clear();
        break;
      }
      StripExtensionString(text);
      text += ".";
      scene->m_strNextStageName = text;
      break;
    }
    default:  // world clear: no next stage
      scene->m_nNextStageNumber = 0;
      scene->m_strNextStageName.clear();
      break;
  }
  if (Param(command, 2) != 0) {
    // The cursor stays on the map: beyond it is the last cell, below 0 the
    // first.
    const cWorldMapBounds& map = cSaveData::s_MapBounds;
    SaveData.m_nMapX = std::clamp(Param(command, 3), 0, std::max(map.nWidth - 1, 0));
    SaveData.m_nMapY = std::clamp(Param(command, 4), 0, std::max(map.nHeight - 1, 0));
    SaveData.m_nMapFacing = 0;
  }
  if (Param(command, 5) != 0) {
    SaveData.m_bStartGiven = 1;
    SaveData.m_nStartX = Param(command, 6);
    SaveData.m_nStartY = Param(command, 7);
    const int32_t facing = Param(command, 8);
    SaveData.m_nStartFacing = facing == 2 ? character.m_nFacing : (facing != 0 ? 1 : 0);
  } else {
    SaveData.m_bStartGiven = 0;
  }
  return kEndClear;
}

int32_t ExecuteGameWait(cCharacter&, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || command.m_vParams.empty()) return 0;
  // The whole stored time; one longer than the counters hold waits as long
  // as they do.
  const int64_t frames = std::clamp<int64_t>(int64_t{Param(command, 0)} * 6, 0, cStageScene::kMaxWaitFrames);
  if (frames == 0) return 0;
  // An invisible timed entry stands in the window list for the wait.
  cMessageSettings entry;
  entry.style = kMessageInvisible;
  entry.displayMode = kMessageTimed;
  entry.remainingFrames = static_cast<int32_t>(frames);
  entry.keepCounting = 1;
  entry.fixPosition = 1;
  const std::shared_ptr<cMessageWindow> window = scene->AddMessageWindow(entry);
  // Nothing moves while the stage is kept drawn for the frames.
  scene->SetWaitState(0, 0, static_cast<int32_t>(frames), 0);
  scene->KeepFramesWhileWaiting();
  scene->SetWaitState(0, 0, 0, 0);
  scene->RemoveMessageWindow(window);
  return 0;
}

int32_t ExecuteMessage(cCharacter& character, const cEdCmd& command, int32_t continueFlag) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->m_nQuitRequest) return 0;
  const bool byId = Param(command, 12) != 0;
  const bool close = Param(command, 15) != 0;
  auto& windows = scene->m_MessageWindows;
  auto found = windows.end();
  if (byId) {
    found = std::find_if(windows.begin(), windows.end(), [&](const std::shared_ptr<cMessageWindow>& w) {
      return w->m_Settings.idFlag != 0 && w->m_Settings.windowId == Param(command, 13);
    });
  }
  if (close) {
    if (found != windows.end()) windows.erase(found);
    return 0;
  }
  cMessageSettings settings;
  settings.style = kMessageText;
  settings.text = command.m_strText;
  settings.positionMode = Param(command, 0);
  settings.column = Param(command, 1);
  settings.row = Param(command, 2);
  settings.offsetX = Param(command, 3);
  settings.offsetY = Param(command, 4);
  settings.keepOnScreen = Param(command, 5);
  settings.displayMode = Param(command, 6);
  const int64_t frames = Param(command, 17) == 0 ? int64_t{Param(command, 7)} * 6 : 1;
  settings.remainingFrames = static_cast<int32_t>(std::clamp<int64_t>(frames, 0, cStageScene::kMaxWaitFrames));
  settings.keepCounting = Param(command, 8);
  settings.expand = Param(command, 9);
  settings.fixPosition = Param(command, 10);
  settings.refresh = Param(command, 11);
  settings.idFlag = Param(command, 12);
  settings.windowId = Param(command, 13);
  settings.frame = Param(command, 14);
  settings.refreshInterval = Param(command, 16);
  if (settings.positionMode >= 1 && settings.positionMode <= 3) settings.followedId = character.m_nId;
  else if (settings.positionMode >= 4 && settings.positionMode <= 6) settings.followedId = FirstHero() ? FirstHero()->m_nId : 0;
  settings.noOpening = continueFlag;

  // A window shown under the same ID is re-set in place when the new text
  // has its size, else replaced where it stood in the list.
  std::shared_ptr<cMessageWindow> shown;
  if (found != windows.end()) {
    auto fresh = std::make_shared<cMessageWindow>(settings);
    if (fresh->m_nWidth == (*found)->m_nWidth && fresh->m_nHeight == (*found)->m_nHeight) {
      (*found)->Set(settings, 1);  // the same size: its text surface is kept
      shown = *found;
    } else {
      *found = fresh;
      shown = fresh;
    }
  } else {
    if (windows.size() >= cStageScene::kMaxMessageWindows) windows.pop_front();
    shown = std::make_shared<cMessageWindow>(settings);
    windows.push_back(shown);
  }
  if (settings.keepCounting == 0) return 0;

  // The game waits for the window: for decide, or for its time.
  if (settings.displayMode == kMessageUntilDecide) {
    scene->SetWaitState(1, 1, 0, continueFlag);
    if (continueFlag == 0) RequestSoundEffect(kSoundMessage);
  } else if (settings.displayMode == kMessageTimed) {
    scene->SetWaitState(1, 0, settings.remainingFrames, continueFlag);
  } else {
    scene->SetWaitState(0, 0, 0, 0);
  }
  scene->KeepFramesWhileWaiting();
  scene->SetWaitState(0, 0, 0, 0);
  auto it = std::find(windows.begin(), windows.end(), shown);
  if (it != windows.end()) windows.erase(it);
  return 0;
}

int32_t ExecuteWarp(cCharacter& character, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  const cEdMove* move = command.m_pMove.get();
  if (!scene || !move) return 0;
  cCharacter& c = character;
  const double savedX = c.m_dX, savedY = c.m_dY, savedRight = c.m_dRight, savedBottom = c.m_dBottom;
  const int32_t base = move->Displacement();
  auto moveTo = [&c](double x, double y) {
    c.m_dX = x;
    c.UpdateX();
    c.m_dY = y;
    c.UpdateY();
  };
  if (base >= 0 && base <= 4) {
    cCharacter* axisObject = &c;
    if (base >= 1) {
      cCharacter* target = c.TargetInSlot(base - 1);
      if (!target) return 0;
      axisObject = target;
      // Centre on the target's drawn centre.
      const double cx = target->m_dX - target->m_nMarginX + target->m_nDrawWidth / 2.0;
      const double cy = target->m_dY - target->m_nMarginY + target->m_nDrawHeight / 2.0;
      moveTo(cx - c.m_nDrawWidth / 2.0 + c.m_nMarginX, cy - c.m_nDrawHeight / 2.0 + c.m_nMarginY);
    }
    const cFlowState* flow = CurrentFlow();
    const int32_t input = flow ? flow->m_nInputDirection : 0;
    // By the axis mode of the object the warp starts from (the mover, or
    // the target it is put on); without the warp-axis rule every warp
    // resolves as a free character's.
    const bool freeAxis = !g_CommandSwitches.warpAxis || axisObject->m_bFreeVertical != 0;
    const int32_t direction = ResolveDirection(c, move->DirectionChoice(), input, freeAxis);
    const double d = (int64_t{move->DistanceStart()} + int64_t{move->DistanceStep()} * c.m_wInstance) * 16.0;
    const double diagonal = d / std::sqrt(2.0);
    double dx = 0, dy = 0;
    switch (direction) {
      case 2: dx = -d; break;
      case 3: dx = d; break;
      case 6: dy = -d; break;
      case 7: dy = d; break;
      case 8: dx = -diagonal; dy = -diagonal; break;
      case 9: dx = -diagonal; dy = diagonal; break;
      case 10: dx = diagonal; dy = -diagonal; break;
      case 11: dx = diagonal; dy = diagonal; break;
      default: break;
    }
    moveTo(c.m_dX + dx, c.m_dY + dy);
  } else if (base == 5) {
    const double x = int64_t{move->TargetBlockX()} * 32 + move->TargetDotX();
    const double y = int64_t{move->TargetBlockY()} * 32 + move->TargetDotY();
    const bool free = c.m_bFreeVertical != 0;
    switch (move->PointReference()) {
      case 0: {
        const bool right = c.m_nFacing == 1;
        moveTo(c.m_dX + (right && move->MirrorTargetX() ? -x : x), c.m_dY + (right && move->MirrorTargetY() ? -y : y));
        break;
      }
      case 1:
        if (free && !g_CommandSwitches.screenWarp) {
          moveTo(StageViewX().blockOffset * 32.0 - c.m_nWidth / 2.0 + x + 16.5,
                 StageViewY().blockOffset * 32.0 - c.m_nHeight / 2.0 + y + 16.5);
        } else {
          c.SetBlockX(move->TargetBlockX());
          c.SetBlockY(move->TargetBlockY(), 0);
          moveTo(c.m_dX + move->TargetDotX(), c.m_dY + move->TargetDotY());
        }
        break;
      case 2: {
        const double sx = scene->m_ScrollX.position, sy = scene->m_ScrollY.position;
        if (g_CommandSwitches.screenWarp) {
          moveTo(c.m_nMarginX + sx + x, c.m_nMarginY + sy + y);
        } else {
          moveTo(sx + x + 16.5 - c.m_nWidth / 2.0,
                 sy + y + 16.5 - (free ? c.m_nHeight / 2.0 : c.m_nHeight - 32.0));
        }
        c.UpdateScreenRect();
        c.m_bPinnedX = c.m_bPinnedY = 1;
        break;
      }
      default:
        break;
    }
  } else {
    return 0;
  }
  c.UpdateScreenRect();
  if (!c.IsInsideStage(false) || scene->IsPlaceBlocked(c)) {
    // Into a wall or out of the stage: the character stays where it was.
    moveTo(savedX, savedY);
    c.m_dRight = savedRight;
    c.m_dBottom = savedBottom;
    c.UpdateScreenRect();
    c.m_bPinnedX = c.m_bPinnedY = 0;
  } else if (!c.m_bFreeVertical) {
    c.m_dSpeedY = 0;
  }
  return 0;
}
// ---- end of flow, stage and world commands ----

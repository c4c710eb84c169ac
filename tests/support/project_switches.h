// The switch records stage set-up fills from the project's rules
// (ApplyProjectSwitches): kept for a scope and put back as they were after
// it, so that a test may apply a project's rules.
#pragma once

#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/shot.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"

class ScopedProjectSwitches {
 public:
  ScopedProjectSwitches() = default;
  ~ScopedProjectSwitches() {
    g_MotionSwitches = motion_;
    g_MoveSwitches = moves_;
    g_FlowSwitches = flows_;
    g_CombatSwitches = combat_;
    g_CharacterSwitches = characters_;
    g_CommandSwitches = commands_;
    g_DrawSwitches = draw_;
    cStageScene::s_bKeepStartPosition = keepStart_;
  }
  ScopedProjectSwitches(const ScopedProjectSwitches&) = delete;
  ScopedProjectSwitches& operator=(const ScopedProjectSwitches&) = delete;

 private:
  const cMotionSwitches motion_ = g_MotionSwitches;
  const cMoveSwitches moves_ = g_MoveSwitches;
  const cFlowSwitches flows_ = g_FlowSwitches;
  const cCombatSwitches combat_ = g_CombatSwitches;
  const cCharacterSwitches characters_ = g_CharacterSwitches;
  const cCommandSwitches commands_ = g_CommandSwitches;
  const cDrawSwitches draw_ = g_DrawSwitches;
  const int32_t keepStart_ = cStageScene::s_bKeepStartPosition;
};

// What a program that sets stages up outside the game (a benchmark, a fuzz
// target) needs first, once: a display without a window system and the
// stage's flows installed, as the game has them before its first stage.
#pragma once

#include <cstdlib>

#include "gfx/dd.h"
#include "play/commands/flow_host_impl.h"

inline void StartHeadlessStageOnce() {
  static const bool started = [] {
    setenv("PELMORA_HEADLESS", "1", 0);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    InstallStageFlows();
    DDInit(0, 0, 640, 480, 32, 0, 1, 1, 60, 0, nullptr, nullptr, 0);
    return true;
  }();
  (void)started;
}

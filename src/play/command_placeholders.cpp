// Command kinds whose executors are not built yet: each does nothing, so a
// command of such a kind only waits its duration. Whoever builds a kind
// removes its line here and defines the executor in the kind's own file.
#include "play/commands.h"

// clang-format off
int32_t ExecuteEffect(cCharacter&, const cEdCmd&) { return 0; }                    // built with combat/commands/effects
int32_t ExecuteScreenEffect(cCharacter&, const cEdCmd&) { return 0; }              // built with combat/commands/effects
int32_t ExecutePicture(cCharacter&, const cEdCmd&) { return 0; }                   // built with combat/commands/effects
int32_t ExecuteScreenColour(cCharacter&, const cEdCmd&) { return 0; }              // built with combat/commands/effects
int32_t ExecuteBackgroundChange(cCharacter&, const cEdCmd&) { return 0; }          // built with combat/commands/effects
// clang-format on

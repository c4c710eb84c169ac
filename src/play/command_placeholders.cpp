// Command kinds whose executors are not built yet: each does nothing, so a
// command of such a kind only waits its duration. Whoever builds a kind
// removes its line here and defines the executor in the kind's own file.
#include "play/commands.h"

// clang-format off
int32_t ExecuteCharaEffect(cCharacter&, const cEdCmd&) { return 0; }               // built with combat/commands/effects
// clang-format on

// Process entry: turns the command line into the entry point's arguments.
//   pelmora [--show-command=N] [STAGE_FILE]
// STAGE_FILE (a path as the editor passes it, UTF-8 here) is test-played at
// once; --show-command stands in for the show command the editor passes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/winmain.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {
constexpr const char* kUsage =
    "usage: pelmora [--show-command=N] [STAGE_FILE]\n"
    "Runs the game in the current folder (the game's project folder).\n";
}  // namespace

int main(int argc, char** argv) {
  plat::SetProgramName("pelmora");
  int showCommand = plat::SW_SHOWNORMAL;
  std::string stage;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strncmp(arg, "--show-command=", 15) == 0) {
      char* end = nullptr;
      long value = std::strtol(arg + 15, &end, 10);
      if (end == arg + 15 || *end != '\0' || value < 0 || value > 11) {
        std::fprintf(stderr, "pelmora: bad show command: %s\n", arg);
        return 2;
      }
      showCommand = static_cast<int>(value);
    } else if (std::strcmp(arg, "--help") == 0) {
      std::printf("%s", kUsage);
      return 0;
    } else if (std::strncmp(arg, "--", 2) == 0) {
      std::fprintf(stderr, "pelmora: unknown option: %s\n%s", arg, kUsage);
      return 2;
    } else if (stage.empty()) {
      stage = arg;
    } else {
      std::fprintf(stderr, "pelmora: more than one stage file given\n");
      return 2;
    }
  }
  return WinMain(plat::Utf8ToCp932(stage).c_str(), showCommand);
}

// Process entry: turns the command line into the entry point's arguments.
//   pelmora [--show-command=N] [GAME_FOLDER] [STAGE_FILE]
// GAME_FOLDER (an existing folder) becomes the working folder before anything
// else happens, so the game runs there as if started inside it. STAGE_FILE (a
// path as the editor passes it, relative to the game's folder, UTF-8 here) is
// test-played at once; --show-command stands in for the show command the
// editor passes. A word that starts with '-' is an option, up to "--".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/winmain.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

constexpr const char* kUsage =
    "usage: pelmora [--show-command=N] [STAGE_FILE]\n"
    "       pelmora [--show-command=N] GAME_FOLDER [STAGE_FILE]\n"
    "       pelmora -h | --help\n"
    "Runs the game in GAME_FOLDER, or in the current folder (the game's project\n"
    "folder). STAGE_FILE, a path relative to the game's folder, is test-played at\n"
    "once; one whose name starts with '-' is given after \"--\".\n";

int Refuse(const std::string& why) {
  std::fprintf(stderr, "pelmora: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// A failed start's reason, told again on the standard error, where whoever
// started the game from a terminal or a script looks (also when no box could
// be shown): its first line after "pelmora: ", the others indented under it.
void TellReason(const std::string& cp932) {
  std::string text = plat::Cp932ToUtf8(cp932);
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 3)) text.replace(at, 1, "\n  ");
  std::fprintf(stderr, "pelmora: %s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  plat::SetProgramName("pelmora");
  int showCommand = plat::SW_SHOWNORMAL;
  std::vector<std::string> words;  // the folder and the stage file, in order
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (optionsEnded || arg[0] != '-') {
      words.emplace_back(arg);
    } else if (std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (std::strncmp(arg, "--show-command=", 15) == 0) {
      char* end = nullptr;
      long value = std::strtol(arg + 15, &end, 10);
      if (end == arg + 15 || *end != '\0' || value < 0 || value > 11) {
        std::fprintf(stderr, "pelmora: bad show command: %s\n", arg);
        return 2;
      }
      showCommand = static_cast<int>(value);
    } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::printf("%s", kUsage);
      return 0;
    } else {
      return Refuse(std::string("unknown option: ") + arg);
    }
  }

  // A first word that names an existing folder is the game's folder; the
  // game is then played there, its log and files written there.
  std::error_code ec;
  if (!words.empty() && std::filesystem::is_directory(words.front(), ec)) {
    std::filesystem::current_path(words.front(), ec);
    if (ec) {
      std::fprintf(stderr, "pelmora: cannot enter the game folder %s: %s\n", words.front().c_str(),
                   ec.message().c_str());
      return 1;
    }
    words.erase(words.begin());
  }
  if (words.size() > 1) return Refuse("more than one stage file given");
  const std::string stage = words.empty() ? std::string() : words.front();

  const int code = WinMain(plat::Utf8ToCp932(stage).c_str(), showCommand);
  for (const std::string& reason : StartFailureReasons()) TellReason(reason);
  return code;
}

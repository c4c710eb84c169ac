// Process entry: turns the command line into the entry point's arguments.
//   pelmora [--show-command=N] [GAME_FOLDER] [STAGE_FILE]
// GAME_FOLDER (a folder that holds a game) becomes the working folder before
// anything else happens, so the game runs there as if started inside it.
// STAGE_FILE (a path as the editor passes it, relative to the game's folder,
// UTF-8 here) is test-played at once; a lone first word that is no game
// folder is one. --show-command stands in for the show command the editor
// passes. A word that starts with '-' is an option, up to "--".
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/winmain.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

constexpr const char* kUsage =
    "usage: pelmora [--show-command=N] [STAGE_FILE]\n"
    "       pelmora [--show-command=N] GAME_FOLDER [STAGE_FILE]\n"
    "       pelmora -h | --help\n"
    "Runs the game in GAME_FOLDER (a folder with the game's data or default\n"
    "folder in it), or in the current folder (the game's project folder).\n"
    "STAGE_FILE, a path relative to the game's folder, is test-played at once;\n"
    "one whose name starts with '-' is given after \"--\". A lone word that is\n"
    "no GAME_FOLDER is the STAGE_FILE.\n";

// A word of the command line as the messages print it.
std::string Shown(const std::string& word) { return plat::ShownOnTerminal(word, true); }

int Refuse(const std::string& why) {
  std::fprintf(stderr, "pelmora: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// A failed start's reason, told again on the standard error, where whoever
// started the game from a terminal or a script looks (also when no box could
// be shown): its first line after "pelmora: ", the others indented under it.
void TellReason(const std::string& cp932) { std::fputs(StartReasonText("pelmora", cp932).c_str(), stderr); }

// Whether `word` names a folder that holds a game, asked inside it (so the
// folder's name needs no CP932 form); true leaves the program in it, false
// where it was. False with `error` set when the folder cannot be entered or
// left again.
bool EnterGameFolder(const std::string& word, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(word, ec)) return false;
  const fs::path started = fs::current_path(ec);
  if (ec) {
    error = "cannot tell the current folder: " + ec.message();
    return false;
  }
  fs::current_path(word, ec);
  if (ec) {
    error = "cannot enter the folder " + Shown(word) + ": " + ec.message();
    return false;
  }
  if (WorkingFolderHoldsGame()) return true;
  fs::current_path(started, ec);
  if (ec) error = "cannot go back to the folder " + Shown(started.string()) + ": " + ec.message();
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  plat::SetProgramName("pelmora");
  // A write past the file-size limit (ulimit -f) then fails as a write to a
  // full disk fails, and is told as one, instead of ending the program
  // without a word.
  std::signal(SIGXFSZ, SIG_IGN);
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
        std::fprintf(stderr, "pelmora: bad show command: %s\n", Shown(arg).c_str());
        return 2;
      }
      showCommand = static_cast<int>(value);
    } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::printf("%s", kUsage);
      return 0;
    } else {
      return Refuse("unknown option: " + Shown(arg));
    }
  }

  // A first word that names a folder holding a game is the game's folder;
  // the game is then played there, its log and files written there. Any
  // other first word is the stage file.
  std::string error;
  const bool entered = !words.empty() && EnterGameFolder(words.front(), error);
  if (!error.empty()) {
    std::fprintf(stderr, "pelmora: %s\n", error.c_str());
    return 1;
  }
  if (entered) words.erase(words.begin());
  if (entered && words.size() > 1) return Refuse("more than one stage file given");
  if (words.size() > 1) {
    std::error_code ec;
    return Refuse(std::filesystem::is_directory(words.front(), ec)
                      ? "the game folder " + Shown(words.front()) + " holds no game (neither data nor default)"
                      : "no game folder " + Shown(words.front()));
  }
  const std::string stage = plat::Utf8ToCp932(words.empty() ? std::string() : words.front());

  // A word that is no stage file either, where no game is here to test-play
  // it in, names nothing: said naming the word, with nothing written into a
  // folder that is not a game's.
  int code;
  const std::string found = stage.empty() ? std::string() : FindCommandLineStage(stage);
  if (!stage.empty() && !WorkingFolderHoldsGame() && (found.empty() || plat::IsDirectory(found)))
    code = RefuseStart(NothingToPlayText(stage, plat::GetCurrentDirectory()));
  else
    code = WinMain(stage.c_str(), showCommand);
  for (const std::string& reason : StartFailureReasons()) TellReason(reason);
  return code;
}

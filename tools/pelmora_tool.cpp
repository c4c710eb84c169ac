// pelmora-tool COMMAND [ARGS...]: see "pelmora-tool help".
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/safe_write.h"
#include "platform/stop_signals.h"
#include "platform/window_host.h"
#include "staged_folder.h"
#include "stop_signals.h"
#include "tool.h"

namespace tool {

namespace {
std::map<std::string, Command>& Commands() {
  static std::map<std::string, Command> commands;
  return commands;
}
std::vector<DemoPart>& DemoParts() {
  static std::vector<DemoPart> parts;
  return parts;
}

constexpr const char* kMakeDemoUsage = "usage: pelmora-tool make-demo DIR [--text-menu] [--force]\n";

int MakeDemo(const std::vector<std::string>& args) {
  DemoOptions options;
  bool force = false;
  std::vector<std::string> folders;
  for (const std::string& a : args) {
    if (a == "--text-menu")
      options.textMenu = true;
    else if (a == "--force")
      force = true;
    else
      folders.push_back(a);
  }
  if (folders.size() != 1 || folders[0].rfind("--", 0) == 0) {
    std::fputs(kMakeDemoUsage, stderr);
    return 2;
  }
  const std::string& folder = folders[0];
  if (folder.empty()) {
    std::fprintf(stderr, "make-demo: DIR is empty: name the folder to write the demo into\n%s", kMakeDemoUsage);
    return 2;
  }
  const std::string shown = Shown(folder);
  // From here on Ctrl-C, SIGTERM and SIGHUP stop the build between two
  // files, and what it made goes.
  plat::StopSignalWatch watch;
  const auto stopped = [&](const std::string& left) {
    std::fprintf(stderr, "make-demo: %s: %s\n", StopReason().c_str(), left.c_str());
    return 128 + StopSignal();
  };
  // What runs killed before they could take their temporary folders away
  // left there, before the folder is looked at: a folder that held nothing
  // else is empty again.
  StagedFolder::RemoveLeftovers(folder);
  namespace fs = std::filesystem;
  std::error_code ec;
  // A folder that holds anything may be a project of its own: the demo's
  // files would replace its system data and the player's settings.
  if (!force && fs::is_directory(folder, ec)) {
    const bool empty = fs::is_empty(folder, ec);
    if (ec) {
      std::fprintf(stderr, "make-demo: %s cannot be read: %s\n", shown.c_str(), ec.message().c_str());
      return 1;
    }
    if (!empty) {
      std::fprintf(stderr,
                   "make-demo: %s is not empty: the demo is written into a new or empty folder "
                   "(--force writes it over what the folder holds)\n",
                   shown.c_str());
      return 2;
    }
  }
  StagedFolder staged;
  const std::string why = staged.Make(folder);
  if (!why.empty()) {
    std::fprintf(stderr, "make-demo: %s cannot be made: %s\n", shown.c_str(), why.c_str());
    return 1;
  }
  const std::string left = staged.IntoExistingFolder() ? shown + " is left as it was" : "nothing was written";
  if (StopSignal() != 0) return stopped(left);
  // The parts write into the working folder, so that the files their
  // messages name are named as they stand in the project.
  const fs::path started = fs::current_path(ec);
  fs::current_path(staged.Path(), ec);
  if (ec) {
    std::fprintf(stderr, "make-demo: %s cannot be entered: %s\n", Shown(staged.Path()).c_str(),
                 ec.message().c_str());
    return 1;
  }
  auto parts = DemoParts();
  std::stable_sort(parts.begin(), parts.end(), [](const DemoPart& a, const DemoPart& b) { return a.order < b.order; });
  for (const DemoPart& part : parts) {
    const bool built = part.build(".", options);
    if (StopSignal() != 0) {
      fs::current_path(started, ec);
      return stopped(left);
    }
    if (!built) {
      fs::current_path(started, ec);
      std::fprintf(stderr, "make-demo: the demo's %s could not be made: %s\n", part.name.c_str(), left.c_str());
      return 1;
    }
  }
  fs::current_path(started, ec);
  const std::string unplaced = staged.Commit([] { return GoOn(BuildStep::kMove); });
  if (StopSignal() != 0 && !unplaced.empty()) return stopped(left);
  if (!unplaced.empty()) {
    std::fprintf(stderr, "make-demo: the demo cannot be put into %s (%s): %s\n", shown.c_str(), unplaced.c_str(),
                 left.c_str());
    return 1;
  }
  return 0;
}

Registrar makeDemo(Command{"make-demo",
                           "make-demo DIR [--text-menu] [--force] writes the demo game project into DIR, a new or\n"
                           "                           empty folder (--text-menu: the title's menu as text, not the\n"
                           "                           menu picture's strips; --force: into a folder that holds files)",
                           MakeDemo});

// Why the last file the commands wrote could not be written.
std::string& LastFailure() {
  static std::string why;
  return why;
}

// Keeps why a file was not written and says so for a command. A command
// that ends at once on a stop signal has written its output: a stop under
// way ends it before it says anything of a write the stop refused.
bool Written(const std::string& command, const std::string& path, const std::string& why) {
  if (EndsOnStopSignals()) plat::FinishUnlessStopped();
  LastFailure() = why;
  if (why.empty()) return true;
  std::fprintf(stderr, "%s: %s cannot be written (%s)\n", command.c_str(), Shown(path).c_str(), why.c_str());
  return false;
}
}  // namespace

// make-demo's files are each written only while no stop was asked.
bool WriteOutputFile(const std::string& command, const std::string& path,
                     const std::function<bool(std::FILE*)>& fill) {
  if (!GoOn(BuildStep::kWrite, command)) return Written(command, path, StopReason());
  return Written(command, path, plat::WriteFileSafely(path, [&](std::FILE* file) {
                   const bool filled = fill(file);
                   const int error = errno;  // why the fill failed, for the writer
                   GoOn(BuildStep::kFilled, command);
                   errno = error;
                   return filled;
                 }));
}

bool WriteOutputFile(const std::string& command, const std::string& path, const std::string& bytes) {
  return WriteOutputFile(command, path, [&bytes](std::FILE* file) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  });
}

NumberWord ReadNumberWord(const std::string& word, const NumberRange& range, double& value) {
  const auto digits = [&](size_t from) {
    size_t i = from;
    while (i < word.size() && std::isdigit(static_cast<unsigned char>(word[i]))) ++i;
    return i - from;
  };
  // -DIGITS[.DIGITS]: nothing else is a number here.
  size_t i = !word.empty() && word[0] == '-' ? 1 : 0;
  const size_t whole = digits(i);
  if (whole == 0) return NumberWord::kNotANumber;
  i += whole;
  const bool point = i < word.size() && word[i] == '.';
  if (point) {
    const size_t fraction = digits(i + 1);
    if (fraction == 0) return NumberWord::kNotANumber;
    i += 1 + fraction;
  }
  if (i != word.size()) return NumberWord::kNotANumber;
  double v = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
  // Beyond what a double holds, either way: out of every range.
  if (ec == std::errc::result_out_of_range) return NumberWord::kOutOfRange;
  if (ec != std::errc() || end != word.data() + word.size()) return NumberWord::kNotANumber;
  if (!(v >= range.lowest && v <= range.highest)) return NumberWord::kOutOfRange;
  // A whole value is written without a point ("2", not "2.0").
  if (range.whole && point) return NumberWord::kNotWhole;
  value = v;
  return NumberWord::kNumber;
}

bool ReadNumber(const std::string& command, const std::string& what, const std::string& word,
                const NumberRange& range, double& value) {
  const char* problem = nullptr;
  switch (ReadNumberWord(word, range, value)) {
    case NumberWord::kNumber: return true;
    case NumberWord::kNotANumber: problem = "is not a number"; break;
    case NumberWord::kNotWhole: problem = "is not a whole number"; break;
    case NumberWord::kOutOfRange: problem = "is out of range"; break;
  }
  // "--set C1=" is followed by its value at once.
  const char* gap = !what.empty() && what.back() == '=' ? "" : " ";
  std::fprintf(stderr, "%s: %s%s%s %s (it takes %s)\n", command.c_str(), Shown(what).c_str(), gap,
               Shown(word).c_str(), problem, range.takes);
  return false;
}

void RegisterCommand(Command command) { Commands()[command.name] = std::move(command); }
void RegisterDemoPart(DemoPart part) { DemoParts().push_back(std::move(part)); }

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  LastFailure() = GoOn(BuildStep::kWrite) ? plat::WriteFileSafely(path, bytes) : StopReason();
  return LastFailure().empty();
}

const std::string& LastWriteFailure() { return LastFailure(); }

namespace {
std::string& ReadFailure() {
  static std::string why;
  return why;
}
}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, size_t limit) {
  std::string& why = ReadFailure();
  why.clear();
  if (std::string problem = InputFileProblem(path); !problem.empty()) {
    why = std::move(problem);
    return false;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = errno != 0 ? std::strerror(errno) : "it cannot be opened";
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) {
    why = "its size cannot be learnt";
    return false;
  }
  if (static_cast<uint64_t>(size) > limit) {
    why = "larger than the " + std::to_string(limit) + " bytes this command reads";
    return false;
  }
  in.seekg(0);
  bytes.resize(static_cast<size_t>(size));
  errno = 0;
  in.read(bytes.data(), size);
  if (!in) {
    why = errno != 0 ? std::strerror(errno) : "it ended before its size";
    return false;
  }
  return true;
}

const std::string& LastReadFailure() { return ReadFailure(); }

}  // namespace tool

namespace {

void PrintCommands(std::FILE* out) {
  std::fprintf(out, "usage: pelmora-tool COMMAND [ARGS...]   (pelmora-tool COMMAND --help: that command's usage)\ncommands:\n");
  for (auto& [key, command] : tool::Commands()) std::fprintf(out, "  %s\n", command.usage.c_str());
}

bool AsksForHelp(const std::string& word) { return word == "--help" || word == "-h" || word == "help"; }

// What the run printed must reach its reader: a standard output that
// cannot take it (a full disk, /dev/full) fails a run that did not fail
// already.
int EndStandardOutput(int status) {
  errno = 0;
  bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
  int error = errno;
  if (std::fclose(stdout) != 0 && ok) ok = false, error = errno;
  if (ok) return status;
  // A write that failed before the end leaves the stream's error mark, not its reason.
  std::fprintf(stderr, "pelmora-tool: the standard output cannot be written (%s)\n",
               error != 0 ? std::strerror(error) : "a write to it failed");
  return status != 0 ? status : 1;
}

int Run(const std::vector<std::string>& words) {
  auto& commands = tool::Commands();
  if (!words.empty() && AsksForHelp(words[0])) {
    PrintCommands(stdout);
    return 0;
  }
  // A run without a command is a usage error: the list goes where errors go.
  if (words.empty()) {
    std::fprintf(stderr, "pelmora-tool: no command given\n");
    PrintCommands(stderr);
    return 2;
  }
  auto it = commands.find(words[0]);
  if (it == commands.end()) {
    std::fprintf(stderr, "pelmora-tool: unknown command: %s\n", tool::Shown(words[0]).c_str());
    PrintCommands(stderr);
    return 2;
  }
  const tool::Command& command = it->second;
  const std::vector<std::string> args(words.begin() + 1, words.end());
  // "--help" anywhere among a command's words asks for its usage.
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    std::printf("usage: pelmora-tool %s\n", command.usage.c_str());
    if (command.details) std::printf("%s", command.details().c_str());
    return 0;
  }
  return command.run(args);
}

}  // namespace

int main(int argc, char** argv) {
  // The platform's own messages (no display ...) name this program.
  plat::SetProgramName("pelmora-tool");
  // A file-size limit (ulimit -f) is a write error like a full disk, said
  // and failed as one, not the end of the run with a file half-written.
  std::signal(SIGXFSZ, SIG_IGN);
  return EndStandardOutput(Run(std::vector<std::string>(argv + 1, argv + argc)));
}

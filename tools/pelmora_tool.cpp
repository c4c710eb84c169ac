// pelmora-tool COMMAND [ARGS...]: see "pelmora-tool help".
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "platform/window_host.h"
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
  namespace fs = std::filesystem;
  std::error_code ec;
  // A folder that holds anything may be a project of its own: the demo's
  // files would replace its system data and the player's settings.
  if (!force && fs::is_directory(folder, ec)) {
    const bool empty = fs::is_empty(folder, ec);
    if (ec) {
      std::fprintf(stderr, "make-demo: %s cannot be read: %s\n", folder.c_str(), ec.message().c_str());
      return 1;
    }
    if (!empty) {
      std::fprintf(stderr,
                   "make-demo: %s is not empty: the demo is written into a new or empty folder "
                   "(--force writes it over what the folder holds)\n",
                   folder.c_str());
      return 2;
    }
  }
  fs::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "make-demo: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
    return 1;
  }
  auto parts = DemoParts();
  std::stable_sort(parts.begin(), parts.end(), [](const DemoPart& a, const DemoPart& b) { return a.order < b.order; });
  for (const DemoPart& part : parts) {
    if (!part.build(folder, options)) {
      std::fprintf(stderr, "make-demo: %s failed\n", part.name.c_str());
      return 1;
    }
  }
  return 0;
}

Registrar makeDemo(Command{"make-demo",
                           "make-demo DIR [--text-menu] [--force] writes the demo game project into DIR, a new or\n"
                           "                           empty folder (--text-menu: the title's menu as text, not the\n"
                           "                           menu picture's strips; --force: into a folder that holds files)",
                           MakeDemo});

// Why a stream did not take every byte: the error of the last failed call.
std::string StreamError(int error) { return error != 0 ? std::strerror(error) : "a write failed"; }

// Fills `file`, flushes and closes it; why that failed, empty when it did not.
std::string FillAndClose(std::FILE* file, const std::function<bool(std::FILE*)>& fill) {
  errno = 0;
  bool ok = fill(file);
  int error = errno;
  if (ok && (std::fflush(file) != 0 || std::ferror(file))) ok = false, error = errno;
  if (std::fclose(file) != 0 && ok) ok = false, error = errno;
  return ok ? std::string() : StreamError(error);
}

// A name for a temporary file beside `target`, not the name of any other
// file made at the same time (a random part: several runs may write into
// one folder at once).
std::filesystem::path TemporarySibling(const std::filesystem::path& target) {
  static std::mt19937_64 random{std::random_device{}()};
  char part[24];
  std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(random()));
  std::string name = ".";
  name.append(target.filename().string()).append(".~").append(part).append(".tmp");
  return target.has_parent_path() ? target.parent_path() / name : std::filesystem::path(name);
}

// A fill that writes `bytes` whole.
std::function<bool(std::FILE*)> WholeBytes(const std::string& bytes) {
  return [&bytes](std::FILE* file) { return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(); };
}

}  // namespace

std::string WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& fill) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path);
  if (target.filename().empty()) return "not a file name";
  // A link is followed: the file it names is replaced, the link stays.
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  const fs::file_status status = fs::status(target, ec);
  const bool exists = fs::exists(status);
  if (exists && fs::is_directory(status)) return "it is a folder";
  if (exists && !fs::is_regular_file(status)) {
    // A device or a pipe cannot be replaced: it takes the bytes as they come.
    errno = 0;
    std::FILE* file = std::fopen(target.c_str(), "wb");
    if (!file) return StreamError(errno);
    return FillAndClose(file, fill);
  }
  std::FILE* file = nullptr;
  fs::path temporary;
  for (int attempt = 0; attempt < 8 && !file; ++attempt) {
    temporary = TemporarySibling(target);
    errno = 0;
    file = std::fopen(temporary.c_str(), "wbx");  // made anew, never an existing file
    if (!file && errno != EEXIST) return StreamError(errno);
  }
  if (!file) return "no temporary file could be made beside it";
  std::string why = FillAndClose(file, fill);
  if (why.empty() && exists) fs::permissions(temporary, status.permissions(), ec);  // as the file was
  if (why.empty()) {
    fs::rename(temporary, target, ec);
    if (ec) why = ec.message();
  }
  if (!why.empty()) fs::remove(temporary, ec);
  return why;
}

std::string WriteFileSafely(const std::string& path, const std::string& bytes) {
  return WriteFileSafely(path, WholeBytes(bytes));
}

bool WriteOutputFile(const std::string& command, const std::string& path,
                     const std::function<bool(std::FILE*)>& fill) {
  const std::string why = WriteFileSafely(path, fill);
  if (why.empty()) return true;
  std::fprintf(stderr, "%s: %s cannot be written (%s)\n", command.c_str(), path.c_str(), why.c_str());
  return false;
}

bool WriteOutputFile(const std::string& command, const std::string& path, const std::string& bytes) {
  return WriteOutputFile(command, path, WholeBytes(bytes));
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
  std::fprintf(stderr, "%s: %s%s%s %s (it takes %s)\n", command.c_str(), what.c_str(), gap, word.c_str(), problem,
               range.takes);
  return false;
}

void RegisterCommand(Command command) { Commands()[command.name] = std::move(command); }
void RegisterDemoPart(DemoPart part) { DemoParts().push_back(std::move(part)); }

bool WriteWholeFile(const std::string& path, const std::string& bytes) { return WriteFileSafely(path, bytes).empty(); }

bool ReadWholeFile(const std::string& path, std::string& bytes, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > limit) return false;
  in.seekg(0);
  bytes.resize(static_cast<size_t>(size));
  in.read(bytes.data(), size);
  return static_cast<bool>(in);
}

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
    std::fprintf(stderr, "pelmora-tool: unknown command: %s\n", words[0].c_str());
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
  return EndStandardOutput(Run(std::vector<std::string>(argv + 1, argv + argc)));
}

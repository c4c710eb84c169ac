// pelmora-tool play PROJECT_DIR [STAGE_FILE] --frames N [--input FILE ...]
//                    [--trace FILE] [--shots DIR [--every K]] [--sound FILE.wav]
//                    [--show-command=N]
// Plays the game in PROJECT_DIR headless on the virtual clock, as fast as the
// machine allows, for N frames or until the game ends: the real entry point,
// start-up, scene manager and frame step. STAGE_FILE (relative to the project,
// "\" or "/") is played on its own as a test play. --show-command gives the
// entry point the show command as `pelmora --show-command=N` does: 5 starts
// the game as the editor does (its test play when a STAGE_FILE is named).
// --sound writes the mix a player hears, 735 sample frames (44100 Hz stereo,
// 16 bits) for each frame played, as a WAV (not at all when the run fails).
// Exit 0 when it played, 1 when start-up failed (or a file could not be
// written), 2 on a usage error; SIGTERM, SIGINT or SIGHUP ends it at once,
// by that signal, keeping no file it had not finished. Several --input files
// are played one after another; every other option is given once at most,
// and no output may name another, an --input file or a file of the project
// (output_clash.h). With an output on the standard output, the summary line
// goes to the standard error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "app/headless_play.h"
#include "app/winmain.h"
#include "platform/file_identity.h"
#include "platform/instance.h"
#include "platform/stop_signals.h"
#include "platform/text.h"
#include "output_clash.h"
#include "stop_signals.h"
#include "tool.h"

namespace tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: pelmora-tool play PROJECT_DIR [STAGE_FILE] --frames N [--input FILE ...] [--trace FILE] "
    "[--shots DIR [--every K]] [--sound FILE.wav] [--show-command=N]\n";

// The options a run takes once at most: a second one would silently take
// the place of the first. (--input is a list: each adds a file.)
const std::set<std::string> kOnceOptions = {"--frames", "--trace", "--shots", "--sound", "--every", "--show-command"};

// The show commands the entry point takes, as `pelmora` reads them.
constexpr const char* kShowCommandOption = "--show-command=";
constexpr uint32_t kLastShowCommand = 11;

// The counts play takes, read as every command reads its numbers.
constexpr NumberRange kFrameCounts{0, 4294967295.0, true, "a whole number of frames from 0 to 4294967295"};
constexpr NumberRange kShotSteps{1, 4294967295.0, true, "a whole number of frames from 1 to 4294967295"};
constexpr NumberRange kShowCommands{0, kLastShowCommand, true, "a whole number from 0 to 11"};

bool ReadCount(const std::string& what, const std::string& word, const NumberRange& range, uint32_t& out) {
  double value = 0;
  if (!ReadNumber("play", what, word, range, value)) {
    std::fprintf(stderr, "%s", kUsage);
    return false;
  }
  out = static_cast<uint32_t>(value);
  return true;
}

// A folder of this run's own for the single-instance lock and the window
// registration, so that a copy of the game running elsewhere (or another
// scripted play beside this one) is neither asked about nor closed.
class RuntimeFolder {
 public:
  RuntimeFolder() {
    // The temporary folder is TMPDIR's, or /tmp: one that is not there is
    // said, not thrown.
    std::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    const char* named = std::getenv("TMPDIR");
    where_ = !ec ? temporary.string() : named != nullptr ? named : "/tmp";
    std::random_device entropy;
    for (int attempt = 0; !ec && attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate = temporary / ("pelmora-play-" + std::to_string(entropy()));
      if (fs::create_directory(candidate, ec)) path_ = candidate.string();
      if (ec == std::errc::file_exists) ec.clear();
    }
    if (ec) why_ = ec.message();
    if (!path_.empty()) ::setenv("PELMORA_RUNTIME_DIR", path_.c_str(), 1);
  }
  ~RuntimeFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  bool Made() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  // Where it was to be made, and why it could not be.
  const std::string& Where() const { return where_; }
  const std::string& Why() const { return why_; }

 private:
  std::string path_;
  std::string where_;
  std::string why_;
};

// The lines of the run's log that name the stage file, on stderr: a stage
// file that does not exist is only logged, and the game goes on to its title.
// Returns the lines told.
std::set<std::string> PrintStageLogLines(const std::string& stage) {
  std::set<std::string> told;
  std::string log;
  if (!ReadWholeFile(kReportLogName, log)) return told;
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    if (line.find(stage) != std::string::npos) {
      // The line quotes the stage's name as the game got it: its control
      // characters are shown, not sent to the terminal.
      std::fprintf(stderr, "play: %s: %s\n", kReportLogName, tool::ShownText(line).c_str());
      told.insert(line);
    }
    at = end + 1;
  }
  return told;
}

// Why the game did not start, as `pelmora` tells it, but for a reason the
// stage's log lines told already (every line of it among them).
void PrintStartReasons(const std::vector<std::string>& reasons, const std::set<std::string>& told) {
  for (const std::string& reason : reasons) {
    const std::string text = plat::Cp932ToUtf8(reason);
    bool toldAlready = true;
    for (size_t at = 0; at <= text.size() && toldAlready;) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      toldAlready = told.count(text.substr(at, end - at)) != 0;
      at = end + 1;
    }
    if (!toldAlready) std::fputs(StartReasonText("play", reason).c_str(), stderr);
  }
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "play: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// Whether the file `name` is one of the screenshots a run of `frames`
// frames writes with --every `every`.
bool IsScreenshotOfTheRun(const std::string& name, uint32_t frames, uint32_t every) {
  const std::string prefix = "frame-", suffix = ".png";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const uint64_t frame = std::stoull(digits);
  return frame >= 1 && frame <= frames && frame % every == 0 && ScreenshotName(static_cast<uint32_t>(frame)) == name;
}

// The files and folders at the top of a project that the game reads or
// writes: its settings, its two logs and the player's records. (Its data,
// pictures and sounds are in folders.)
const std::vector<std::string> kGameTopNames = {"System.ini", kReportLogName, "EC_Game.txt", "user_data"};

// Why the outputs cannot all be written (empty when they can): two named
// by one path, where one would be lost, one over an input file (the stage
// file played among them), the screenshot folder named as a file or
// holding a file named as one of its screenshots, or an output over a file
// of the project's game.
std::string OutputsInConflict(const HeadlessPlayOptions& options, const std::vector<std::string>& inputPaths,
                              const std::string& project, const std::string& stage) {
  RunFiles files;
  for (const std::string& input : inputPaths) files.inputs.push_back({"--input", input});
  if (!stage.empty()) {
    std::string path = stage;  // relative to the project, "\" or "/"
    std::replace(path.begin(), path.end(), '\\', '/');
    files.inputs.push_back({"STAGE_FILE", (fs::path(project) / path).string()});
  }
  if (!options.tracePath.empty()) files.outputs.push_back({"--trace", options.tracePath});
  if (!options.soundPath.empty()) files.outputs.push_back({"--sound", options.soundPath});
  files.gameFolders.push_back({{"the project folder", project}, kGameTopNames});
  if (!options.shotFolder.empty()) {
    files.writtenFolder = {"--shots", options.shotFolder};
    files.writesName = [&options](const std::string& name) {
      return IsScreenshotOfTheRun(name, options.frames, options.every);
    };
  }
  return OutputClash(files);
}

int Play(const std::vector<std::string>& args) {
  // Before the game makes any thread: SIGTERM, SIGINT and SIGHUP are taken
  // on one of their own once the run's folder is made.
  plat::HoldStopSignals();
  std::vector<std::string> positional;
  std::vector<std::string> inputPaths;
  HeadlessPlayOptions options;
  options.nameShown = Shown;
  bool haveFrames = false, haveEvery = false;
  std::set<std::string> given;  // the options of kOnceOptions met
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    const std::string option = a.rfind(kShowCommandOption, 0) == 0 ? "--show-command" : a;
    if (kOnceOptions.count(option) != 0 && !given.insert(option).second)
      return Usage(option + " is given more than once: it takes one value");
    if (a == "--frames" && hasValue) {
      if (!ReadCount("--frames", args[++i], kFrameCounts, options.frames)) return 2;
      haveFrames = true;
    } else if (a == "--input" && hasValue) {
      inputPaths.push_back(args[++i]);
    } else if (a == "--trace" && hasValue) {
      options.tracePath = args[++i];
    } else if (a == "--shots" && hasValue) {
      options.shotFolder = args[++i];
    } else if (a == "--sound" && hasValue && args[i + 1].rfind("--", 0) != 0) {
      options.soundPath = args[++i];
    } else if (a == "--sound") {
      return Usage("--sound needs the path of the WAV file to write");
    } else if (a == "--every" && hasValue) {
      if (!ReadCount("--every", args[++i], kShotSteps, options.every)) return 2;
      haveEvery = true;
    } else if (a.rfind(kShowCommandOption, 0) == 0) {
      uint32_t show = 0;
      if (!ReadCount(kShowCommandOption, a.substr(std::strlen(kShowCommandOption)), kShowCommands, show)) return 2;
      options.showCommand = static_cast<int>(show);
    } else if (a.rfind("--", 0) == 0) {
      return Usage("unknown or incomplete option " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (haveEvery && options.shotFolder.empty())
    return Usage("--every K says which frames --shots DIR pictures: it needs --shots");
  if (!haveFrames || positional.empty() || positional.size() > 2) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }

  // Files named on the command line are taken from where the tool was
  // started; the game then runs in the project folder.
  std::error_code ec;
  const fs::path started = fs::current_path(ec);
  auto absolute = [&](std::string& path) {
    if (!path.empty()) path = (started / path).lexically_normal().string();
  };
  for (std::string& inputPath : inputPaths) absolute(inputPath);
  absolute(options.tracePath);
  absolute(options.shotFolder);
  absolute(options.soundPath);
  if (const std::string conflict = OutputsInConflict(options, inputPaths, (started / positional[0]).string(),
                                                     positional.size() == 2 ? positional[1] : "");
      !conflict.empty())
    return Usage(conflict);
  // The summary stays out of an output written to the standard output.
  std::FILE* const summary =
      plat::IsStandardOutput(options.tracePath) || plat::IsStandardOutput(options.soundPath) ? stderr : stdout;

  // Each input file's frames count on from the end of the file before it.
  for (const std::string& inputPath : inputPaths) {
    std::string text;
    if (!ReadWholeFile(inputPath, text, 64u << 20)) {
      std::fprintf(stderr, "play: cannot read the input file %s (%s)\n", Shown(inputPath).c_str(),
                   LastReadFailure().c_str());
      return 1;
    }
    std::string error;
    PlayScript part;
    if (!part.Parse(text, error)) {
      std::fprintf(stderr, "play: %s: %s\n", Shown(inputPath).c_str(), error.c_str());
      return 2;
    }
    if (!options.script.Append(part)) {
      std::fprintf(stderr, "play: %s: the scripts together are too long\n", Shown(inputPath).c_str());
      return 2;
    }
  }
  if (positional.size() == 2) {
    bool lossless = true;
    options.commandLine = plat::Utf8ToCp932(positional[1], &lossless);
    if (!lossless) {
      std::fprintf(stderr, "play: the stage file name %s has no CP932 form\n", Shown(positional[1]).c_str());
      return 2;
    }
  }

  fs::current_path(positional[0], ec);
  if (ec) {
    std::fprintf(stderr, "play: cannot enter the project folder %s: %s\n", Shown(positional[0]).c_str(),
                 ec.message().c_str());
    return 1;
  }
  RuntimeFolder runtime;
  if (!runtime.Made()) {
    std::fprintf(stderr, "play: cannot make a runtime folder under %s (%s)\n", Shown(runtime.Where()).c_str(),
                 runtime.Why().empty() ? "no name was free" : runtime.Why().c_str());
    return 1;
  }
  // Stopped, the run keeps none of its files unfinished (the platform
  // throws those away) and leaves no runtime folder, whatever its game was
  // doing: blocked in start-up, drawing, or writing into a full pipe.
  EndOnStopSignals("play", [folder = runtime.Path()] { plat::RemoveRuntimeFolderForGood(folder); });
  const HeadlessPlayResult result = RunHeadlessPlay(options);
  plat::FinishUnlessStopped();
  std::set<std::string> told;
  if (positional.size() == 2) told = PrintStageLogLines(positional[1]);
  PrintStartReasons(result.startReasons, told);
  if (!result.error.empty()) std::fprintf(stderr, "play: %s\n", result.error.c_str());
  std::fprintf(summary, "play: %u frame(s)%s\n", result.framesPlayed, result.gameEnded ? ", the game ended" : "");
  return result.exitCode;
}

Registrar play(Command{"play",
                       "play PROJECT_DIR [STAGE_FILE] --frames N [--input FILE ...] [--trace FILE] "
                       "[--shots DIR [--every K]] [--sound FILE.wav] [--show-command=N]\n"
                       "                           plays the game headless on the virtual clock",
                       Play});

}  // namespace
}  // namespace tool

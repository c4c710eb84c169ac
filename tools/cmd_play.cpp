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
// written), 2 on a usage error. Several --input files are played one after
// another.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "app/headless_play.h"
#include "app/winmain.h"
#include "platform/text.h"
#include "tool.h"

namespace tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: pelmora-tool play PROJECT_DIR [STAGE_FILE] --frames N [--input FILE ...] [--trace FILE] "
    "[--shots DIR [--every K]] [--sound FILE.wav] [--show-command=N]\n";

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
    std::random_device entropy;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path() / ("pelmora-play-" + std::to_string(entropy()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) path_ = candidate.string();
    }
    if (!path_.empty()) ::setenv("PELMORA_RUNTIME_DIR", path_.c_str(), 1);
  }
  ~RuntimeFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  bool Made() const { return !path_.empty(); }

 private:
  std::string path_;
};

// The lines of the run's log that name the stage file, on stderr: a stage
// file that does not exist is only logged, and the game goes on to its title.
void PrintStageLogLines(const std::string& stage) {
  std::string log;
  if (!ReadWholeFile(kReportLogName, log)) return;
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    if (line.find(stage) != std::string::npos) std::fprintf(stderr, "play: %s: %s\n", kReportLogName, line.c_str());
    at = end + 1;
  }
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "play: %s\n%s", why.c_str(), kUsage);
  return 2;
}

int Play(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::vector<std::string> inputPaths;
  HeadlessPlayOptions options;
  bool haveFrames = false, haveEvery = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
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

  // Each input file's frames count on from the end of the file before it.
  for (const std::string& inputPath : inputPaths) {
    std::string text;
    if (!ReadWholeFile(inputPath, text, 64u << 20)) {
      std::fprintf(stderr, "play: cannot read the input file %s (%s)\n", inputPath.c_str(),
                   LastReadFailure().c_str());
      return 1;
    }
    std::string error;
    PlayScript part;
    if (!part.Parse(text, error)) {
      std::fprintf(stderr, "play: %s: %s\n", inputPath.c_str(), error.c_str());
      return 2;
    }
    if (!options.script.Append(part)) {
      std::fprintf(stderr, "play: %s: the scripts together are too long\n", inputPath.c_str());
      return 2;
    }
  }
  if (positional.size() == 2) {
    bool lossless = true;
    options.commandLine = plat::Utf8ToCp932(positional[1], &lossless);
    if (!lossless) {
      std::fprintf(stderr, "play: the stage file name %s has no CP932 form\n", positional[1].c_str());
      return 2;
    }
  }

  fs::current_path(positional[0], ec);
  if (ec) {
    std::fprintf(stderr, "play: cannot enter the project folder %s: %s\n", positional[0].c_str(),
                 ec.message().c_str());
    return 1;
  }
  RuntimeFolder runtime;
  if (!runtime.Made()) {
    std::fprintf(stderr, "play: cannot make a runtime folder under %s\n", fs::temp_directory_path().string().c_str());
    return 1;
  }
  const HeadlessPlayResult result = RunHeadlessPlay(options);
  if (positional.size() == 2) PrintStageLogLines(positional[1]);
  if (!result.error.empty()) std::fprintf(stderr, "play: %s\n", result.error.c_str());
  std::printf("play: %u frame(s)%s\n", result.framesPlayed, result.gameEnded ? ", the game ended" : "");
  return result.exitCode;
}

Registrar play(Command{"play",
                       "play PROJECT_DIR [STAGE_FILE] --frames N [--input FILE ...] [--trace FILE] "
                       "[--shots DIR [--every K]] [--sound FILE.wav] [--show-command=N]\n"
                       "                           plays the game headless on the virtual clock",
                       Play});

}  // namespace
}  // namespace tool

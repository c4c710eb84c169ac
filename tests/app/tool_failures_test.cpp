// pelmora-tool, run as a process, where what it writes cannot be written: a
// file on a full disk (a file size limit on the run stands in for one: its
// writes past the limit fail with "File too large"), /dev/full as the file
// or as the standard output. Each command says so and exits 1, and leaves
// nothing behind: no file cut short or empty, no temporary file, and a file
// that stood where it wrote as it was. Also: make-demo over a folder that
// holds files, the mosaic's largest block, and the name the no-display
// message gives the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/audio_fixtures.h"
#include "support/bmp_writer.h"
#include "support/sandbox.h"
#include "support/test_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A run of the tool: its words, where its standard output goes, the largest
// file it may write (bytes), and its environment's changes.
struct Launch {
  std::vector<std::string> args;
  std::string out = "/dev/null";
  rlim_t fileLimit = RLIM_INFINITY;
  std::vector<std::string> unset = {};
  std::vector<std::string> set = {};  // "NAME=VALUE"
};

struct Ran {
  int status = -1;
  std::string err;
};

Ran RunTool(const Launch& launch) {
  // Everything the child needs is made before the fork: after it, only
  // calls that are safe in a child of a threaded process.
  std::vector<std::string> words = {PELMORA_TOOL};
  words.insert(words.end(), launch.args.begin(), launch.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    const auto named = [&](const std::string& other) { return other == name || other.rfind(name + "=", 0) == 0; };
    if (std::none_of(launch.unset.begin(), launch.unset.end(), named) &&
        std::none_of(launch.set.begin(), launch.set.end(), named))
      environment.push_back(entry);
  }
  environment.insert(environment.end(), launch.set.begin(), launch.set.end());
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = std::min(limit.rlim_max, launch.fileLimit);

  Ran ran;
  int errors[2];
  if (pipe2(errors, O_CLOEXEC) != 0) return ran;
  const int out = open(launch.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return ran;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out, 1);
    dup2(errors[1], 2);
    // A write past the limit fails with EFBIG instead of ending the run.
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  close(errors[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(errors[0], buffer, sizeof buffer)) > 0;) ran.err.append(buffer, static_cast<size_t>(n));
  close(errors[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) ran.status = WEXITSTATUS(status);
  return ran;
}

// Every entry under `folder`, as paths relative to it.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    names.insert(fs::relative(entry.path(), folder).string());
  return names;
}

// A picture of `w` × `h` dots of scattered colours (a PNG of it does not
// shrink much).
std::string Noise(int w, int h) {
  std::vector<uint32_t> rgb;
  uint32_t state = 12345;
  for (int i = 0; i < w * h; ++i) {
    state = state * 1103515245u + 12345u;
    rgb.push_back(state >> 8 & 0xFFFFFFu);
  }
  return testbmp::AsString(testbmp::Rgb24(w, h, rgb));
}

constexpr rlim_t kLimit = 64;  // bytes: less than any file the commands write

class ToolFailuresTest : public ::testing::Test {
 protected:
  std::string At(const std::string& name) const { return folder_ / name; }
  TempFolder folder_{"toolfail"};
};

// Each command that writes a file: the file cannot be written on a full
// disk or on /dev/full. The run says "COMMAND: OUT cannot be written (why)"
// and exits 1; no file is left where it wrote, a file that stood there
// keeps its bytes, and no temporary file is left beside it. The same runs
// with room to write succeed, with more bytes than the limit let through.
TEST_F(ToolFailuresTest, AFileThatCannotBeWrittenIsSaidSoAndNothingIsLeftBehind) {
  const std::string picture = folder_.Write("in/noise.bmp", Noise(64, 64));
  std::string table(65536, '\0');
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char>(i * 7 >> 3);
  const std::string blend = folder_.Write("in/table.dat", table);
  std::vector<int16_t> samples;
  for (int i = 0; i < 2205; ++i) samples.push_back(static_cast<int16_t>((i * 2654435761u) >> 16));
  const std::string sound = folder_.Write("in/sound.wav", fixtures::WavePcm16(1, 22050, samples));
  const std::string font = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

  struct Case {
    const char* command;
    std::function<std::vector<std::string>(const std::string& out)> args;
  };
  const Case cases[] = {
      {"image", [&](const std::string& out) { return std::vector<std::string>{"image", picture, out, "--mode", "dd32"}; }},
      {"effect",
       [&](const std::string& out) {
         return std::vector<std::string>{"effect", "mosaic", picture, out, "--mode", "d3d16", "--size", "3"};
       }},
      {"text",
       [&](const std::string& out) {
         return std::vector<std::string>{"text", "1", "漢字Ab", out, "--mode", "dd8", "--font-file", font};
       }},
      {"resave",
       [&](const std::string& out) { return std::vector<std::string>{"resave", blend, out, "--kind", "blendtable"}; }},
      {"render-audio",
       [&](const std::string& out) { return std::vector<std::string>{"render-audio", sound, out}; }},
  };
  const std::set<std::string> inputs = Entries(folder_.Path());
  std::set<std::string> expected = inputs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const std::string prefix = std::string(c.command) + ": ";
    // With room: written whole, larger than the limit below.
    const std::string ok = At(std::string("ok-") + c.command);
    Ran ran = RunTool({c.args(ok)});
    ASSERT_EQ(ran.status, 0) << ran.err;
    ASSERT_GT(fs::file_size(ok), kLimit);
    expected.insert(fs::path(ok).filename().string());

    // A full disk: nothing where it wrote.
    const std::string full = At(std::string("full-") + c.command);
    ran = RunTool({c.args(full), "/dev/null", kLimit});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(prefix + full + " cannot be written (File too large)"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(full));

    // A full disk over a file that was there: the file as it was.
    const std::string kept = folder_.Write(std::string("kept-") + c.command, "the bytes that were there");
    ran = RunTool({c.args(kept), "/dev/null", kLimit});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(prefix + kept + " cannot be written (File too large)"), std::string::npos) << ran.err;
    EXPECT_EQ(Slurp(kept), "the bytes that were there");
    expected.insert(fs::path(kept).filename().string());

    // /dev/full, a device that takes no byte.
    ran = RunTool({c.args("/dev/full")});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(prefix + "/dev/full cannot be written (No space left on device)"), std::string::npos)
        << ran.err;
  }
  // No temporary file and nothing else beside them.
  EXPECT_EQ(Entries(folder_.Path()), expected);
}

// A scripted play on a full disk: the screenshots that could not be written
// whole are not left cut short (every picture left is a whole PNG, ending
// with its IEND chunk), and the run fails saying so.
TEST_F(ToolFailuresTest, AScreenshotThatCannotBeWrittenIsNotLeftCutShort) {
  const std::string project = At("project"), shots = At("shots");
  ASSERT_EQ(RunTool({{"make-demo", project}}).status, 0);
  constexpr rlim_t kRoomForTheLogOnly = 16 * 1024;  // bytes: less than a stage's screenshot
  const Ran ran = RunTool({{"play", project, "data\\stg4\\demo.stg4_1", "--frames", "3", "--shots", shots},
                           "/dev/null",
                           kRoomForTheLogOnly,
                           {},
                           {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"}});
  EXPECT_EQ(ran.status, 1) << ran.err;
  EXPECT_NE(ran.err.find("screenshot could not be written"), std::string::npos) << ran.err;
  ASSERT_TRUE(fs::is_directory(shots));
  size_t left = 0;
  for (const auto& entry : fs::directory_iterator(shots)) {
    const std::string png = Slurp(entry.path().string());
    ASSERT_GE(png.size(), 12u) << entry.path();
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND") << entry.path() << " is cut short";
    ++left;
  }
  EXPECT_LT(left, 3u) << "the disk was full for some of them";
}

// What a command prints must reach its reader: with the standard output on
// /dev/full (or a file on a full disk) the run says so and exits 1, for a
// long output and a one-line one alike; with room it exits 0.
TEST_F(ToolFailuresTest, AStandardOutputThatCannotBeWrittenFailsTheRun) {
  std::string table(65536, '\0');
  const std::string blend = folder_.Write("table.dat", table);
  const std::vector<std::vector<std::string>> runs = {
      {"dump", blend, "--kind", "blendtable"},
      {"check", blend, "--kind", "blendtable"},
      {"expr", "C1 = 5"},
      {"effect", "--list"},
      {"--help"},
      {"resave", "--help"},
  };
  const std::string saying = "pelmora-tool: the standard output cannot be written (";
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args[0] + " " + args.back());
    Ran ran = RunTool({args, At("out.txt")});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_GT(fs::file_size(At("out.txt")), 0u);

    ran = RunTool({args, "/dev/full"});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(saying), std::string::npos) << ran.err;
  }
  // Why, where the last write tells it: a short output fails at the end.
  Ran ran = RunTool({{"check", blend, "--kind", "blendtable"}, "/dev/full"});
  EXPECT_NE(ran.err.find(saying + "No space left on device)"), std::string::npos) << ran.err;
  ran = RunTool({{"dump", blend, "--kind", "blendtable"}, At("out.txt"), kLimit});
  EXPECT_EQ(ran.status, 1) << ran.err;
  EXPECT_NE(ran.err.find(saying), std::string::npos) << ran.err;
}

// make-demo writes into a new or empty folder. A folder that holds files
// (another project, say) is refused, naming it, with nothing written;
// --force writes the demo over it, leaving the files it does not make.
TEST_F(ToolFailuresTest, MakeDemoWritesIntoANewOrEmptyFolderOnlyUnlessForced) {
  const std::string project = At("project");
  folder_.Write("project/data/System.dat", "mine");
  folder_.Write("project/System.ini", "Mine=1");
  folder_.Write("project/notes.txt", "keep");
  const std::set<std::string> before = Entries(project);

  Ran ran = RunTool({{"make-demo", project}});
  EXPECT_EQ(ran.status, 2);
  EXPECT_NE(ran.err.find("make-demo: " + project + " is not empty"), std::string::npos) << ran.err;
  EXPECT_NE(ran.err.find("--force"), std::string::npos) << ran.err;
  EXPECT_EQ(Entries(project), before);
  EXPECT_EQ(Slurp(project + "/data/System.dat"), "mine");
  EXPECT_EQ(Slurp(project + "/System.ini"), "Mine=1");

  ran = RunTool({{"make-demo", project, "--force"}});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_GT(fs::file_size(project + "/data/System.dat"), 4u);
  EXPECT_NE(Slurp(project + "/System.ini"), "Mine=1");
  EXPECT_EQ(Slurp(project + "/notes.txt"), "keep");

  ran = RunTool({{"make-demo", "--help"}, At("help.txt")});
  EXPECT_EQ(ran.status, 0);
  EXPECT_NE(Slurp(At("help.txt")).find("make-demo DIR [--text-menu] [--force]"), std::string::npos);

  // An empty folder and one not there yet are written.
  fs::create_directory(At("empty"));
  for (const std::string& folder : {At("empty"), At("new/demo")}) {
    SCOPED_TRACE(folder);
    ran = RunTool({{"make-demo", folder}});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(fs::is_regular_file(folder + "/data/System.dat"));
    EXPECT_TRUE(fs::is_regular_file(folder + "/System.ini"));
  }
}

// A mosaic block as large as the picture's longer side is the whole
// picture in one colour: the largest block taken is one dot shorter, for a
// wide picture and a tall one alike (two blocks then, of two colours).
TEST_F(ToolFailuresTest, AMosaicBlockAsLargeAsThePictureIsRefused) {
  struct Case {
    int w, h;
  };
  for (const Case c : {Case{9, 4}, Case{4, 9}}) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const std::string in = folder_.Write("p.bmp", Noise(c.w, c.h));
    const std::string out = At("m.png");
    Ran ran = RunTool({{"effect", "mosaic", in, out, "--mode", "dd32", "--size", "8"}});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(fs::exists(out));
    fs::remove(out);
    ran = RunTool({{"effect", "mosaic", in, out, "--mode", "dd32", "--size", "9"}});
    EXPECT_EQ(ran.status, 2);
    EXPECT_NE(ran.err.find("--size 9 is out of range: with this " + std::to_string(c.w) + "x" + std::to_string(c.h) +
                           " picture it takes 2..8"),
              std::string::npos)
        << ran.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

// With no window system to reach and no video driver asked for, the
// platform's message names the program that was run: pelmora-tool, not the
// game.
TEST_F(ToolFailuresTest, WithoutADisplayTheMessageNamesTheToolNotTheGame) {
  const Ran ran = RunTool({{"dialog", "box"},
                       "/dev/null",
                       RLIM_INFINITY,
                       {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "SDL_VIDEODRIVER", "PELMORA_DIALOG_ANSWERS",
                        "PELMORA_DIALOG_LOG", "PELMORA_HEADLESS"},
                       {"TMPDIR=" + folder_.Path()}});
  EXPECT_EQ(ran.status, 1) << ran.err;
  // The window system's own libraries may speak first.
  const std::string lines = "\n" + ran.err;
  EXPECT_NE(lines.find("\npelmora-tool: no display: "), std::string::npos) << ran.err;
  EXPECT_EQ(lines.find("\npelmora: "), std::string::npos) << ran.err;
  EXPECT_NE(ran.err.find("dialog: no display to show the box dialog on"), std::string::npos) << ran.err;
}

}  // namespace

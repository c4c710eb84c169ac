// pelmora-tool, run as a process, where what it writes cannot be written: a
// file on a full disk (a file size limit on the run stands in for one: the
// tool takes a write past the limit as a failed write, "File too large",
// not as the end of the run), /dev/full as the file or as the standard
// output. Each command says so and exits 1, and leaves nothing behind: no
// file cut short or empty, no temporary file, and a file that stood where it
// wrote as it was. A file a command replaces keeps its mode. Also: make-demo
// over a folder that holds files, or on a full disk (the project whole or
// not at all), play's sound capture on a device or a full disk, the mosaic's
// largest block, and the name the no-display message gives the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// A run of the tool: its words, where its standard output goes (empty: a
// pipe this process reads), the largest file it may write (bytes), its
// environment's changes and the folder it starts in (empty: this process's).
struct Launch {
  std::vector<std::string> args;
  std::string out = "/dev/null";
  rlim_t fileLimit = RLIM_INFINITY;
  std::vector<std::string> unset = {};
  std::vector<std::string> set = {};  // "NAME=VALUE"
  std::string folder = {};
};

struct Ran {
  int status = -1;
  std::string err;
  std::string out;  // what came through the pipe, when the output was one
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
  if (!launch.folder.empty() && !fs::is_directory(launch.folder)) return ran;
  int errors[2], piped[2] = {-1, -1};
  if (pipe2(errors, O_CLOEXEC) != 0) return ran;
  if (launch.out.empty() && pipe2(piped, O_CLOEXEC) != 0) return ran;
  const int out = launch.out.empty() ? piped[1] : open(launch.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return ran;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out, 1);
    dup2(errors[1], 2);
    // A write past the limit sends SIGXFSZ, which ends a run by default: the
    // tool itself must take it as a failed write (EFBIG), as a full disk.
    signal(SIGXFSZ, SIG_DFL);
    setrlimit(RLIMIT_FSIZE, &limit);
    if (!launch.folder.empty() && chdir(launch.folder.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  close(errors[1]);
  // Both pipes at once: the tool may fill either while the other waits.
  std::vector<std::pair<int, std::string*>> streams = {{errors[0], &ran.err}};
  if (piped[0] >= 0) streams.push_back({piped[0], &ran.out});
  while (!streams.empty()) {
    std::vector<pollfd> watched;
    for (const auto& [fd, text] : streams) watched.push_back({fd, POLLIN, 0});
    if (poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) break;
    for (size_t i = watched.size(); i-- > 0;) {
      if (watched[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(watched[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        streams[i].second->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(watched[i].fd);
        streams.erase(streams.begin() + static_cast<long>(i));
      }
    }
  }
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) ran.status = WEXITSTATUS(status);
  return ran;
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

// The commands that write a file, their inputs made in `folder` (under in/):
// the words of a run that writes OUT.
struct WritingCommand {
  const char* command;
  std::function<std::vector<std::string>(const std::string& out)> args;
};
std::vector<WritingCommand> WritingCommands(const TempFolder& folder) {
  const std::string picture = folder.Write("in/noise.bmp", Noise(64, 64));
  std::string table(65536, '\0');
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char>(i * 7 >> 3);
  const std::string blend = folder.Write("in/table.dat", table);
  std::vector<int16_t> samples;
  for (int i = 0; i < 2205; ++i) samples.push_back(static_cast<int16_t>((i * 2654435761u) >> 16));
  const std::string sound = folder.Write("in/sound.wav", fixtures::WavePcm16(1, 22050, samples));
  const std::string font = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
  using Words = std::vector<std::string>;
  return {
      {"image", [=](const std::string& out) { return Words{"image", picture, out, "--mode", "dd32"}; }},
      {"effect",
       [=](const std::string& out) {
         return Words{"effect", "mosaic", picture, out, "--mode", "d3d16", "--size", "3"};
       }},
      {"text",
       [=](const std::string& out) {
         return Words{"text", "1", "漢字Ab", out, "--mode", "dd8", "--font-file", font};
       }},
      {"resave", [=](const std::string& out) { return Words{"resave", blend, out, "--kind", "blendtable"}; }},
      {"render-audio", [=](const std::string& out) { return Words{"render-audio", sound, out}; }},
  };
}

// A device node of this test's own where it can make one (as root: a copy
// of /dev/full or /dev/null that a fault replacing it cannot harm), else the
// system's.
std::string Device(const TempFolder& folder, const char* name, unsigned minor) {
  const std::string own = folder / name;
  if (geteuid() == 0 && mknod(own.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) return own;
  return std::string("/dev/") + name;
}

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
  const std::vector<WritingCommand> cases = WritingCommands(folder_);
  const std::string full = Device(folder_, "full", 7);
  const std::set<std::string> inputs = Entries(folder_.Path());
  std::set<std::string> expected = inputs;
  for (const WritingCommand& c : cases) {
    SCOPED_TRACE(c.command);
    const std::string prefix = std::string(c.command) + ": ";
    // With room: written whole, larger than the limit below.
    const std::string ok = At(std::string("ok-") + c.command);
    Ran ran = RunTool({c.args(ok)});
    ASSERT_EQ(ran.status, 0) << ran.err;
    ASSERT_GT(fs::file_size(ok), kLimit);
    expected.insert(fs::path(ok).filename().string());

    // A full disk: nothing where it wrote.
    const std::string cut = At(std::string("full-") + c.command);
    ran = RunTool({c.args(cut), "/dev/null", kLimit});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(prefix + cut + " cannot be written (File too large)"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(cut));

    // A full disk over a file that was there: the file as it was.
    const std::string kept = folder_.Write(std::string("kept-") + c.command, "the bytes that were there");
    ran = RunTool({c.args(kept), "/dev/null", kLimit});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(prefix + kept + " cannot be written (File too large)"), std::string::npos) << ran.err;
    EXPECT_EQ(Slurp(kept), "the bytes that were there");
    expected.insert(fs::path(kept).filename().string());

    // /dev/full, a device that takes no byte.
    ran = RunTool({c.args(full)});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(prefix + full + " cannot be written (No space left on device)"), std::string::npos)
        << ran.err;
    EXPECT_TRUE(fs::is_character_file(full)) << "the device was replaced";
  }
  // No temporary file and nothing else beside them.
  EXPECT_EQ(Entries(folder_.Path()), expected);
}

// A file a command writes over keeps its mode: a private file stays
// private, a script its execute bits, whichever command rewrites it.
TEST_F(ToolFailuresTest, AFileWrittenOverKeepsItsMode) {
  const fs::perms modes[] = {fs::perms::owner_read | fs::perms::owner_write,
                             fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec,
                             fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read};
  for (const WritingCommand& c : WritingCommands(folder_)) {
    for (const fs::perms mode : modes) {
      SCOPED_TRACE(std::string(c.command) + " over a file of mode " + std::to_string(static_cast<int>(mode)));
      const std::string out = folder_.Write("out", "the bytes that were there");
      fs::permissions(out, mode);
      const Ran ran = RunTool({c.args(out)});
      ASSERT_EQ(ran.status, 0) << ran.err;
      EXPECT_NE(Slurp(out), "the bytes that were there");
      EXPECT_EQ(fs::status(out).permissions() & fs::perms::mask, mode);
    }
  }
}

// The demo's parts in the order make-demo builds them, and a file-size
// limit on the run that lets every part before each through and stops that
// one: one byte short of its system data, then room for the system data's
// largest file (System.dat) but not the project data's, then room for every
// file of data/ but not for a stage background. Made into a new folder
// (below folders not there yet), an empty one, and with --force into a
// folder that holds files, the run says which file could not be written
// and why, exits 1, and leaves nothing: no folder made, no file added or
// changed, no temporary folder beside or inside.
TEST_F(ToolFailuresTest, MakeDemoOnAFullDiskLeavesNothingAndSaysWhy) {
  const std::string reference = At("reference");
  ASSERT_EQ(RunTool({{"make-demo", reference}}).status, 0);
  const auto size = [&](const std::string& name) { return static_cast<rlim_t>(fs::file_size(reference + "/" + name)); };
  rlim_t largestData = 0;
  for (const auto& entry : fs::recursive_directory_iterator(reference + "/data"))
    if (entry.is_regular_file()) largestData = std::max<rlim_t>(largestData, entry.file_size());
  struct Case {
    const char* part;
    rlim_t limit;
    std::string said;
  };
  const Case cases[] = {
      {"system data", size("data/System.dat") - 1, "make-demo: ./data/System.dat cannot be written (File too large)"},
      {"project data", size("data/System.dat"), "project data: cannot write ./data/"},
      {"bitmaps", largestData, "bitmaps: cannot write ./"},
  };
  fs::create_directory(At("empty"));
  folder_.Write("forced/notes.txt", "keep");
  folder_.Write("forced/System.ini", "Mine=1");
  folder_.Write("forced/data/System.dat", "mine");
  struct Target {
    std::string folder;
    std::vector<std::string> options;
    std::string left;
  };
  const Target targets[] = {
      {At("new/deeper/demo"), {}, "nothing was written"},
      {At("empty"), {}, At("empty") + " is left as it was"},
      {At("forced"), {"--force"}, At("forced") + " is left as it was"},
  };
  const std::set<std::string> before = Entries(folder_.Path());
  for (const Case& c : cases) {
    for (const Target& target : targets) {
      SCOPED_TRACE(std::string(c.part) + " into " + target.folder);
      std::vector<std::string> args = {"make-demo", target.folder};
      args.insert(args.end(), target.options.begin(), target.options.end());
      const Ran ran = RunTool({args, "/dev/null", c.limit});
      EXPECT_EQ(ran.status, 1) << ran.err;
      EXPECT_NE(ran.err.find(c.said), std::string::npos) << ran.err;
      EXPECT_NE(ran.err.find("(File too large)"), std::string::npos) << ran.err;
      EXPECT_NE(ran.err.find(std::string("make-demo: the demo's ") + c.part + " could not be made: " + target.left),
                std::string::npos)
          << ran.err;
      EXPECT_EQ(Entries(folder_.Path()), before);
    }
  }
  EXPECT_EQ(Slurp(At("forced/notes.txt")), "keep");
  EXPECT_EQ(Slurp(At("forced/System.ini")), "Mine=1");
  EXPECT_EQ(Slurp(At("forced/data/System.dat")), "mine");
}

// A small file system of its own (tmpfs) mounted on a folder for a scope;
// Mounted() is false where this process may not mount one (not root).
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, uint64_t bytes) : folder_(folder) {
    fs::create_directories(folder);
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = geteuid() == 0 && mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// A disk that fills up while make-demo writes the demo's last two parts:
// one with room for every file but half the blend tables, one with room for
// every file but half the sounds. Into a new folder on it and with --force
// into the disk's own folder (which holds a file), the run names the file
// that could not be written and why, and leaves the disk as it was. Only
// where a tmpfs can be mounted (as root); the file-size limit above stands
// in for a full disk elsewhere.
TEST_F(ToolFailuresTest, MakeDemoOnASmallDiskSaysWhyInEveryPart) {
  const std::string reference = At("reference");
  ASSERT_EQ(RunTool({{"make-demo", reference}}).status, 0);
  // The disk's pages each file takes, summed by where it goes.
  uint64_t before = 0, tables = 0, sounds = 0;
  for (const auto& entry : fs::recursive_directory_iterator(reference)) {
    if (!entry.is_regular_file()) continue;
    const uint64_t pages = (entry.file_size() + 4095) / 4096 * 4096;
    const std::string name = fs::relative(entry.path(), reference).string();
    if (name.rfind("bmp/hbt/", 0) == 0)
      tables += pages;
    else if (name.rfind("wave/", 0) == 0 || name.rfind("bgm/", 0) == 0)
      sounds += pages;
    else
      before += pages;
  }
  struct Case {
    const char* part;
    uint64_t room;
    const char* said;
  };
  const Case cases[] = {
      {"blend tables", before + tables / 2, "blend tables: cannot write ./bmp/hbt/"},
      {"sounds", before + tables + sounds / 2, "demo sounds: cannot write "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.part);
    const std::string disk = At(std::string("disk-") + c.part);
    SmallDisk small(disk, c.room);
    if (!small.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    folder_.Write(std::string("disk-") + c.part + "/notes.txt", "keep");
    const std::set<std::string> held = Entries(disk);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"make-demo", disk + "/demo"}, std::vector<std::string>{"make-demo", disk, "--force"}}) {
      SCOPED_TRACE(args[1]);
      const Ran ran = RunTool({args});
      EXPECT_EQ(ran.status, 1) << ran.err;
      EXPECT_NE(ran.err.find(c.said), std::string::npos) << ran.err;
      EXPECT_NE(ran.err.find("(No space left on device)"), std::string::npos) << ran.err;
      EXPECT_NE(ran.err.find(std::string("make-demo: the demo's ") + c.part + " could not be made"), std::string::npos)
          << ran.err;
      EXPECT_EQ(Entries(disk), held);
      EXPECT_EQ(Slurp(disk + "/notes.txt"), "keep");
    }
  }
}

// make-demo --force over a folder that holds files puts each of the demo's
// files over the one of its name. When one cannot take its place (a file
// stands where the demo puts its wave folder), every file already moved is
// taken back: the files it replaced (the settings, the system data) return
// with their bytes and mode, and the files and folders it added go. Without
// that file, the same run writes the demo, and the files it replaced keep
// their mode.
TEST_F(ToolFailuresTest, MakeDemoPutsEveryFileBackWhenOneCannotTakeItsPlace) {
  const std::string project = At("project");
  folder_.Write("project/notes.txt", "keep");
  const std::string settings = folder_.Write("project/System.ini", "Mine=1");
  fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write);
  folder_.Write("project/data/System.dat", "mine");
  folder_.Write("project/wave", "a file where the demo puts a folder");
  const std::set<std::string> before = Entries(folder_.Path());

  Ran ran = RunTool({{"make-demo", project, "--force"}});
  EXPECT_EQ(ran.status, 1) << ran.err;
  EXPECT_NE(ran.err.find("make-demo: the demo cannot be put into " + project + " (" + project +
                         "/wave is not a folder): " + project + " is left as it was"),
            std::string::npos)
      << ran.err;
  EXPECT_EQ(Entries(folder_.Path()), before);
  EXPECT_EQ(Slurp(settings), "Mine=1");
  EXPECT_EQ(fs::status(settings).permissions() & fs::perms::mask, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Slurp(project + "/data/System.dat"), "mine");

  fs::remove(project + "/wave");
  ran = RunTool({{"make-demo", project, "--force"}});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(Slurp(settings), "Mine=1");
  EXPECT_EQ(fs::status(settings).permissions() & fs::perms::mask, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_GT(fs::file_size(project + "/data/System.dat"), 4u);
  EXPECT_TRUE(fs::is_directory(project + "/wave"));
  EXPECT_EQ(Slurp(project + "/notes.txt"), "keep");
  for (const std::string& name : Entries(folder_.Path()))
    EXPECT_EQ(name.find(".~"), std::string::npos) << name << " left behind";
}

// Whatever a folder holds, a file of any name, a hidden one, an empty
// folder, the player's records alone, make-demo refuses it without --force
// (exit 2), naming it, and writes nothing.
TEST_F(ToolFailuresTest, MakeDemoRefusesAFolderThatHoldsAnythingWithoutForce) {
  const std::string holds[] = {"notes.txt", ".hidden", "sub/", "user_data/Save.dat"};
  for (const std::string& held : holds) {
    SCOPED_TRACE(held);
    const std::string project = At("project");
    fs::remove_all(project);
    if (held.back() == '/')
      fs::create_directories(project + "/" + held);
    else
      folder_.Write("project/" + held, "mine");
    const std::set<std::string> before = Entries(folder_.Path());
    const Ran ran = RunTool({{"make-demo", project}});
    EXPECT_EQ(ran.status, 2) << ran.err;
    EXPECT_NE(ran.err.find("make-demo: " + project + " is not empty"), std::string::npos) << ran.err;
    EXPECT_EQ(Entries(folder_.Path()), before);
  }
}

// play --sound and play --trace are written whole or not at all: into the
// null device in place (exit 0, the device stays one); into the full one,
// or on a full disk, the run says why (exit 1) and leaves no file, no
// temporary file, and a file that stood there as it was.
TEST_F(ToolFailuresTest, ASoundCaptureOrTraceThatCannotBeWrittenSaysWhyAndReplacesNothing) {
  const std::string project = At("project");
  ASSERT_EQ(RunTool({{"make-demo", project}}).status, 0);
  struct Output {
    std::string option, what;      // what: as the message names it
    std::vector<std::string> run;  // the play the option is given to
    std::string fresh, kept;       // a file not there, one that is
  };
  const Output outputs[] = {
      {"--sound", "the sound file", {"play", project, "--frames", "30"}, At("cut.wav"), At("kept.wav")},
      {"--trace",
       "the trace",
       {"play", project, "data\\stg4\\demo.stg4_1", "--frames", "200"},
       At("cut.jsonl"),
       At("kept.jsonl")},
  };
  constexpr rlim_t kLessThanTheOutput = 16 * 1024;  // bytes: 30 frames of sound, 200 of a stage's trace, are more
  const std::string null = Device(folder_, "null", 3), full = Device(folder_, "full", 7);
  for (const Output& o : outputs) folder_.Write(fs::path(o.kept).filename().string(), "the bytes that were there\n");
  const std::set<std::string> before = Entries(folder_.Path());

  for (const Output& o : outputs) {
    SCOPED_TRACE(o.option);
    const auto play = [&](const std::string& path, rlim_t limit) {
      std::vector<std::string> args = o.run;
      args.insert(args.end(), {o.option, path});
      return RunTool({args, "/dev/null", limit, {}, {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"}});
    };
    Ran ran = play(null, RLIM_INFINITY);
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(fs::is_character_file(null));

    ran = play(full, RLIM_INFINITY);
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find("play: " + o.what + " " + full + " cannot be written (No space left on device)"),
              std::string::npos)
        << ran.err;
    EXPECT_TRUE(fs::is_character_file(full));

    for (const std::string& path : {o.fresh, o.kept}) {
      SCOPED_TRACE(path);
      ran = play(path, kLessThanTheOutput);
      EXPECT_EQ(ran.status, 1) << ran.err;
      EXPECT_NE(ran.err.find("play: " + o.what + " " + path + " cannot be written (File too large)"),
                std::string::npos)
          << ran.err;
    }
    EXPECT_EQ(Slurp(o.kept), "the bytes that were there\n");
  }
  std::set<std::string> after = Entries(folder_.Path()), expected = before;
  for (auto* names : {&after, &expected})
    std::erase_if(*names, [](const std::string& name) { return name.rfind("project/", 0) == 0; });
  EXPECT_EQ(after, expected);
}

// A scripted play on a full disk: the screenshots that could not be written
// whole are not left cut short (every picture left is a whole PNG, ending
// with its IEND chunk), and the run fails naming the first of them (the
// first frame whose picture, written with room, is larger than the limit)
// and why.
TEST_F(ToolFailuresTest, AScreenshotThatCannotBeWrittenIsNotLeftCutShort) {
  const std::string project = At("project"), shots = At("shots"), room = At("room");
  ASSERT_EQ(RunTool({{"make-demo", project}}).status, 0);
  constexpr rlim_t kRoomForTheLogOnly = 16 * 1024;  // bytes: less than a stage's screenshot
  const auto play = [&](const std::string& folder, rlim_t limit) {
    return RunTool({{"play", project, "data\\stg4\\demo.stg4_1", "--frames", "3", "--shots", folder},
                    "/dev/null",
                    limit,
                    {},
                    {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"}});
  };
  ASSERT_EQ(play(room, RLIM_INFINITY).status, 0);
  uint32_t first = 0;
  for (uint32_t frame = 3; frame >= 1; --frame)
    if (fs::file_size(room + "/frame-00000" + std::to_string(frame) + ".png") > kRoomForTheLogOnly) first = frame;
  ASSERT_NE(first, 0u) << "every picture fits";
  const Ran ran = play(shots, kRoomForTheLogOnly);
  EXPECT_EQ(ran.status, 1) << ran.err;
  EXPECT_NE(ran.err.find("play: the screenshot " + shots + "/frame-00000" + std::to_string(first) +
                         ".png cannot be written (File too large)\n"),
            std::string::npos)
      << ran.err;
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

// The screenshots that cannot be written are told by the first of them,
// with why: of five frames, the second and the fourth find a folder where
// their picture goes. The others are written.
TEST_F(ToolFailuresTest, TheFirstScreenshotThatCannotBeWrittenIsNamedWithWhy) {
  const std::string project = At("project"), shots = At("shots");
  ASSERT_EQ(RunTool({{"make-demo", project}}).status, 0);
  for (const char* taken : {"frame-000002.png", "frame-000004.png"}) fs::create_directories(shots + "/" + taken);
  const Ran ran = RunTool({{"play", project, "--frames", "5", "--shots", shots},
                           "/dev/null",
                           RLIM_INFINITY,
                           {},
                           {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"}});
  EXPECT_EQ(ran.status, 1) << ran.err;
  EXPECT_NE(ran.err.find("play: the screenshot " + shots + "/frame-000002.png cannot be written (it is a folder)\n"),
            std::string::npos)
      << ran.err;
  for (const char* written : {"frame-000001.png", "frame-000003.png", "frame-000005.png"})
    EXPECT_EQ(Slurp(shots + "/" + written).substr(1, 3), "PNG") << written;
  EXPECT_EQ(Entries(shots).size(), 5u) << "nothing else is left";
}

// play's outputs into a pipe (`play --sound /dev/stdout | cat`, by each of
// the standard output's names): the pipe takes the bytes the same run
// writes into a file, exactly (the WAV's header, written first, and its
// samples; the trace's lines), and nothing else: the run's summary goes to
// the standard error. Exit 0.
TEST_F(ToolFailuresTest, AnOutputIntoAPipeIsTheFileByteForByte) {
  const std::string project = At("project");
  ASSERT_EQ(RunTool({{"make-demo", project}}).status, 0);
  for (const std::string option : {"--sound", "--trace"}) {
    const auto play = [&](const std::string& path, const std::string& out) {
      return RunTool({{"play", project, "data\\stg4\\demo.stg4_1", "--frames", "30", option, path},
                      out,
                      RLIM_INFINITY,
                      {},
                      {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"}});
    };
    Ran ran = play(At("file"), "/dev/null");
    ASSERT_EQ(ran.status, 0) << ran.err;
    const std::string written = Slurp(At("file"));
    ASSERT_GT(written.size(), 1000u);
    for (const std::string name : {"/dev/stdout", "/proc/self/fd/1", "/dev/fd/1"}) {
      SCOPED_TRACE(option + " " + name);
      ran = play(name, "");
      EXPECT_EQ(ran.status, 0) << ran.err;
      EXPECT_TRUE(ran.out == written) << ran.out.size() << " bytes, not the " << written.size() << " of the file";
      EXPECT_NE(ran.err.find("play: 30 frame(s)\n"), std::string::npos) << ran.err;
    }
  }
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

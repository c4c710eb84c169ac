// `pelmora-tool play`'s outputs against what it reads: an output over an
// --input script, a file of the project's game (its System.dat, the stage
// played, its settings and logs, a file the project links to), or the
// screenshots the run writes (the last of them too, the folder spelled any
// way), is refused as a usage error naming both, with nothing written. A trace or sound into a pipe
// whose reader has gone ends the run at its first failed write. A start
// that fails for a stage file cut short says why once. And the stop
// signals where they are hardest to take: SIGTERM with the standard error
// a full pipe, and SIGINT inherited ignored (a script's background job).
// A temporary folder where the run's runtime folder cannot be made.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "app/stop_signal_defaults.h"
#include "support/sandbox.h"
#include "support/test_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Every file under `folder` (links as their targets' names) with its bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().string();
    files[path] = entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                  : entry.is_regular_file() ? Slurp(path)
                                            : "";
  }
  return files;
}

// The number N of the run's summary "play: N frame(s)" (-1: none).
long FramesPlayed(const std::string& err) {
  const size_t at = err.rfind("play: ");
  return at == std::string::npos || err.find(" frame(s)", at) == std::string::npos
             ? -1
             : std::strtol(err.c_str() + at + 6, nullptr, 10);
}

class PlayOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
    fs::create_directories(logs_);
    fs::create_directories(tmp_);
  }
  // A play of the demo project started in the test's folder, its standard
  // output and error in logs/.
  GameProcess::Spec Play(std::vector<std::string> args, std::vector<std::string> env = {}) const {
    args.insert(args.begin(), {"play", project_});
    env.insert(env.begin(), "TMPDIR=" + tmp_);  // a TMPDIR of the caller's comes later and wins
    return {PELMORA_TOOL, folder_.Path(), args, env, logs_ + "/out.txt", logs_ + "/err.txt"};
  }
  DefaultStopSignals defaults_;  // the runs start with the stop signals as a terminal gives them
  TempFolder folder_{"playoutputs"};
  const std::string project_ = folder_ / "project";
  const std::string logs_ = folder_ / "logs";
  const std::string tmp_ = folder_ / "tmp";  // the runs' TMPDIR, where their runtime folders go
};

// Each output over a file the run reads or into the project folder, by any
// name: exit 2, the two named (the output by its option and path, then the
// file it clashes with), the usage, and not a byte changed anywhere. An
// output that reaches no file of them is written.
TEST_F(PlayOutputsTest, AnOutputOverAnInputOrIntoTheProjectIsRefusedNamingBoth) {
  const std::string script = folder_.Write("in.txt", "10 SPACE\n");
  const std::string shared = folder_.Write("shared/extra.dat", "a file the project links to");
  const std::string screenshot = folder_.Write("shots/frame-000010.png", "a script named as a screenshot");
  fs::create_symlink(script, folder_ / "script-link");
  fs::create_symlink(project_ + "/data/System.dat", folder_ / "system-link");
  fs::create_symlink(shared, project_ + "/data/extra.dat");
  fs::create_symlink(folder_ / "shared", project_ + "/data/shared");
  fs::create_symlink(folder_ / "later.dat", project_ + "/data/later.dat");  // a file not there yet
  fs::create_directory(folder_ / "linked");
  fs::create_symlink(script, folder_ / "linked/frame-000010.png");
  fs::copy_file(project_ + "/data/stg4/demo.stg4_1", project_ + "/top.stg4_1");
  fs::create_symlink("/dev/null", project_ + "/silenced");
  const std::string system = project_ + "/data/System.dat";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string output, other;  // what the message names: the output, the file it clashes with
  };
  const Case cases[] = {
      {"the project's System.dat", {"--trace", system}, "--trace " + system, "the project folder " + project_},
      {"the stage played",
       {"data\\stg4\\demo.stg4_1", "--sound", "project/data/stg4/demo.stg4_1"},
       "--sound " + project_ + "/data/stg4/demo.stg4_1",
       "STAGE_FILE " + project_ + "/data/stg4/demo.stg4_1"},
      {"a file the project links to", {"--trace", "shared/extra.dat"}, "--trace " + shared, "the project folder"},
      {"a new file in a folder the project links to",
       {"--trace", "shared/new.jsonl"},
       "--trace " + (folder_ / "shared/new.jsonl"),
       "the project folder"},
      {"a file the project links to, not there yet", {"--sound", "later.dat"}, "--sound " + (folder_ / "later.dat"),
       "the project folder"},
      {"a link to the project's System.dat", {"--sound", "system-link"}, "--sound " + (folder_ / "system-link"),
       "the project folder"},
      {"the screenshot folder on the project's settings", {"--shots", "project/System.ini"},
       "--shots " + project_ + "/System.ini", "the project folder"},
      {"the project's settings", {"--trace", "project/System.ini"}, "--trace " + project_ + "/System.ini",
       "the project folder"},
      {"the game's log, not there yet", {"--sound", "project/Report_Game.txt"},
       "--sound " + project_ + "/Report_Game.txt", "the project folder"},
      {"the player's records, not there yet", {"--trace", "project/user_data/Option.dat"},
       "--trace " + project_ + "/user_data/Option.dat", "the project folder"},
      {"the stage played, at the project's top",
       {"top.stg4_1", "--trace", "project/top.stg4_1"},
       "--trace " + project_ + "/top.stg4_1",
       "STAGE_FILE " + project_ + "/top.stg4_1"},
      {"the script as the sound", {"--input", "in.txt", "--sound", "in.txt"}, "--sound " + script,
       "--input " + script},
      {"the script as the trace", {"--input", "in.txt", "--trace", "script-link"},
       "--trace " + (folder_ / "script-link"), "--input " + script},
      {"a screenshot over the script",
       {"--input", "shots/frame-000010.png", "--shots", "shots", "--every", "10"},
       "--input names " + screenshot, "a file --shots writes"},
      {"a screenshot through its link to the script",
       {"--input", "in.txt", "--shots", "linked", "--every", "10"},
       "--shots " + (folder_ / "linked/frame-000010.png"), "--input " + script},
  };
  const std::map<std::string, std::string> before = Contents(folder_.Path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = {"--frames", "30"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    GameProcess play(Play(args));
    EXPECT_EQ(play.Wait(), 2) << play.Err();
    const std::string err = play.Err();
    EXPECT_EQ(err.rfind("play: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.output), std::string::npos) << err;
    EXPECT_NE(err.find(c.other, err.find(c.output) + c.output.size()), std::string::npos) << err;
    EXPECT_NE(err.find("\nusage: pelmora-tool play "), std::string::npos) << err;
    std::map<std::string, std::string> after = Contents(folder_.Path());
    for (const std::string log : {"/out.txt", "/err.txt"}) after.erase(logs_ + log);
    EXPECT_TRUE(after == before) << "a file was written or changed";
  }
  // A device replaces nothing; a new file is no file of the game's, at the
  // project's top or in its folders, nor is a trace an earlier run left at
  // its top or a picture in its screenshot folder.
  const struct {
    std::vector<std::string> args;
    std::string written;
  } taken[] = {
      {{"--trace", "/dev/null"}, ""},
      {{"--trace", "run.jsonl"}, folder_ / "run.jsonl"},
      {{"--trace", "project/run.jsonl"}, project_ + "/run.jsonl"},
      {{"--trace", "project/run.jsonl"}, project_ + "/run.jsonl"},
      {{"--trace", "project/data/run.jsonl"}, project_ + "/data/run.jsonl"},
      {{"--shots", "project/shots"}, project_ + "/shots/frame-000003.png"},
      {{"--shots", "project/shots"}, project_ + "/shots/frame-000003.png"},
      {{"--shots", "project/bmp/shots"}, project_ + "/bmp/shots/frame-000003.png"},
      {{"--shots", "project/bmp/shots"}, project_ + "/bmp/shots/frame-000003.png"},
  };
  for (const auto& t : taken) {
    SCOPED_TRACE(t.args.back());
    std::vector<std::string> args = {"--frames", "3", "--input", "in.txt"};
    args.insert(args.end(), t.args.begin(), t.args.end());
    GameProcess play(Play(args));
    EXPECT_EQ(play.Wait(), 0) << play.Err();
    if (!t.written.empty()) {
      EXPECT_TRUE(fs::is_regular_file(t.written));
    }
  }
  EXPECT_EQ(CountLines(Slurp(project_ + "/run.jsonl")), 3u);
}

// The screenshots --shots writes are outputs like the others, up to the
// run's last frame and whatever way the folder is spelled: with a slash
// after it (made, or not there yet), through a link to it, or with "..",
// and what a screenshot's name that is a link leads to; and so is the
// folder itself. A file the run does not picture (a frame it
// skips or never reaches) may be another output.
TEST_F(PlayOutputsTest, TheRunsScreenshotsAreOutputsByEverySpellingOfTheirFolder) {
  folder_.Write("shots/frame-000010.png", "a screenshot of before");
  fs::create_symlink(folder_ / "shots", folder_ / "shots-link");
  fs::create_directory(folder_ / "linked");
  fs::create_symlink("../elsewhere/target.wav", folder_ / "linked/frame-000020.png");
  fs::create_directory(folder_ / "elsewhere");
  struct Case {
    const char* what;
    std::string shots, sound;
    int status;
    const char* told;  // how the refusal ends
  };
  const char* const screenshot = "a file --shots writes\n";
  const Case cases[] = {
      {"the last frame's", "shots", "shots/frame-000030.png", 2, screenshot},
      {"a slash after the folder", "shots/", "shots/frame-000020.png", 2, screenshot},
      {"a slash after a folder not there yet", "fresh/", "fresh/frame-000020.png", 2, screenshot},
      {"a folder not there yet", "fresh", "fresh/./frame-000020.png", 2, screenshot},
      {"a link to the folder", "shots-link", "shots/frame-000020.png", 2, screenshot},
      {"the folder through ..", "elsewhere/../shots", "shots/frame-000010.png", 2, screenshot},
      {"the sound through ..", "shots", "elsewhere/../shots/frame-000020.png", 2, screenshot},
      {"the folder not there yet, with a slash", "fresh/", "fresh", 2, "the folder --shots writes into, as its file\n"},
      {"the folder, with a slash", "shots/", "shots", 2, "the folder --shots writes into, as its file\n"},
      {"a screenshot's link to the sound", "linked", "elsewhere/target.wav", 2, "/linked/frame-000020.png)\n"},
      {"a frame the run skips", "shots", "shots/frame-000025.png", 0, ""},
      {"a frame after the run", "shots", "shots/frame-000040.png", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GameProcess play(Play({"--frames", "30", "--shots", c.shots, "--every", "10", "--sound", c.sound}));
    EXPECT_EQ(play.Wait(), c.status) << play.Err();
    const std::string sound = fs::is_regular_file(folder_ / c.sound) ? Slurp(folder_ / c.sound) : "";
    if (c.status == 2) {
      EXPECT_EQ(play.Err().rfind("play: --sound names ", 0), 0u) << play.Err();
      EXPECT_NE(play.Err().find(std::string(c.told) + "usage: "), std::string::npos) << play.Err();
      EXPECT_FALSE(fs::exists(folder_ / "fresh")) << "nothing is made";
      EXPECT_NE(sound.substr(0, 4), "RIFF") << c.sound << " holds the sound";
    } else {
      EXPECT_EQ(sound.substr(0, 4), "RIFF") << play.Err();
      EXPECT_EQ(Slurp(folder_ / "shots/frame-000030.png").substr(1, 3), "PNG");
    }
  }
  EXPECT_EQ(Slurp(folder_ / "shots/frame-000020.png").substr(1, 3), "PNG");
}

// A run started with its standard output a pipe whose reader has gone; its
// standard error goes to `err`. Its exit status.
int RunIntoAGonePipe(const std::vector<std::string>& words, const std::string& folder, const std::string& err) {
  // As GameProcess sets it: no display, no sound device, no trace of the game's own.
  std::vector<std::string> env = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "PELMORA_AUDIO=",
                                  "PELMORA_TRACE=", "TMPDIR=" + folder};
  const size_t set = env.size();
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (size_t i = 0; i < set; ++i) replaced = replaced || entry.rfind(env[i].substr(0, env[i].find('=') + 1), 0) == 0;
    if (!replaced) env.push_back(entry);
  }
  std::vector<std::string> args = words;
  args.insert(args.begin(), PELMORA_TOOL);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  close(ends[0]);  // the reader has gone
  const pid_t pid = fork();
  if (pid == 0) {
    const int errors = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (errors < 0 || dup2(ends[1], 1) < 0 || dup2(errors, 2) < 0) _exit(127);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(ends[1]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The first write that fails ends the run, naming the output and why: of
// 20,000 frames, it plays no more than the pipe's buffer and the stream's
// held before it failed.
TEST_F(PlayOutputsTest, AnOutputIntoAPipeWhoseReaderHasGoneEndsTheRunAtItsFirstFailedWrite) {
  for (const auto& [option, what] : {std::pair{"--sound", "the sound file"}, std::pair{"--trace", "the trace"}}) {
    SCOPED_TRACE(option);
    const int status =
        RunIntoAGonePipe({"play", project_, "--frames", "20000", option, "/dev/stdout"}, tmp_, logs_ + "/err.txt");
    const std::string err = Slurp(logs_ + "/err.txt");
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find(std::string("play: ") + what + " /dev/stdout cannot be written (Broken pipe)\n"),
              std::string::npos)
        << err;
    const long played = FramesPlayed(err);
    EXPECT_GE(played, 0) << err;
    EXPECT_LT(played, 1000) << err;
  }
}

// A stage file cut short fails the start of its test play: the log's line
// says why, and the run does not say it again as the start's reason.
TEST_F(PlayOutputsTest, AStageFileCutShortFailsTheStartWithItsReasonToldOnce) {
  const std::string stage = project_ + "/data/stg4/demo.stg4_1";
  folder_.Write("project/data/stg4/demo.stg4_1", Slurp(stage).substr(0, 1000));
  GameProcess play(Play({"data\\stg4\\demo.stg4_1", "--frames", "10"}));
  EXPECT_EQ(play.Wait(), 1) << play.Err();
  const std::string err = play.Err();
  const std::string reason = "ステージファイル data\\stg4\\demo.stg4_1 が破損しています！";
  const size_t first = err.find(reason);
  EXPECT_NE(first, std::string::npos) << err;
  EXPECT_EQ(err.find(reason, first + 1), std::string::npos) << "told twice:\n" << err;
  EXPECT_NE(err.find("play: the game did not start"), std::string::npos) << err;
}

// The stop message goes to a standard error that can take it at once: one
// that is a pipe nobody empties, full already (a stopped pager), is passed
// over, and SIGTERM ends the run all the same.
TEST_F(PlayOutputsTest, SIGTERMEndsARunWhoseStandardErrorIsAFullPipe) {
  const std::string pipe = folder_ / "stderr";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const int filler = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(filler, 0);
  const std::string block(4096, 'x');
  while (write(filler, block.data(), block.size()) > 0) {
  }
  close(filler);
  GameProcess::Spec spec = Play({"--frames", "1000000", "--trace", folder_ / "run.jsonl"});
  spec.err = pipe;
  GameProcess play(spec);
  ASSERT_TRUE(play.Started());
  // Its runtime folder made, the run takes the stop signals.
  EXPECT_TRUE(WaitFor([&] { return play.Ended() || !fs::is_empty(tmp_); }));
  EXPECT_FALSE(play.Ended());
  play.Signal(SIGTERM);
  EXPECT_EQ(play.Wait(), 128 + SIGTERM);
  EXPECT_TRUE(fs::is_empty(tmp_)) << "the runtime folder was left";
  EXPECT_FALSE(fs::exists(folder_ / "run.jsonl"));
  close(reader);
}

// A run that a script started in the background inherits SIGINT ignored
// (a Ctrl-C meant for the script's shell is not for it) and keeps ignoring
// it; SIGTERM ends it, saying so.
TEST_F(PlayOutputsTest, ABackgroundJobOfAScriptKeepsIgnoringSIGINT) {
  const std::string script = std::string("'") + PELMORA_TOOL + "' play '" + project_ +
                             "' --frames 1000000 --trace run.jsonl & echo $! > pid; wait $!";
  GameProcess shell({"/bin/sh", folder_.Path(), {"-c", script}, {"TMPDIR=" + tmp_}, logs_ + "/out.txt",
                     logs_ + "/err.txt"});
  ASSERT_TRUE(WaitFor([&] {
    return shell.Ended() || (!fs::is_empty(tmp_) && Slurp(folder_ / "pid").find('\n') != std::string::npos);
  }));
  ASSERT_FALSE(shell.Ended()) << shell.Err();
  const pid_t run = static_cast<pid_t>(std::stol(Slurp(folder_ / "pid")));
  // Both wait for the run; the first it takes is the one that stops it.
  ASSERT_EQ(kill(run, SIGINT), 0);
  ASSERT_EQ(kill(run, SIGTERM), 0);
  EXPECT_EQ(shell.Wait(), 128 + SIGTERM) << shell.Err();
  EXPECT_NE(shell.Err().find("play: stopped by SIGTERM"), std::string::npos) << shell.Err();
  EXPECT_TRUE(fs::is_empty(tmp_)) << "the runtime folder was left";
}

// The run's own runtime folder goes into the temporary folder (TMPDIR):
// one that is not there, or not a folder, is named with the reason (exit 1),
// never a crash.
TEST_F(PlayOutputsTest, ARuntimeFolderThatCannotBeMadeIsNamedWithWhy) {
  const std::string file = folder_.Write("a-file", "");
  const struct {
    std::string tmpdir, why;
  } cases[] = {{folder_ / "nowhere", "No such file or directory"}, {file, "Not a directory"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tmpdir);
    GameProcess play(Play({"--frames", "1"}, {"TMPDIR=" + c.tmpdir}));
    EXPECT_EQ(play.Wait(), 1) << play.Err();
    EXPECT_EQ(play.Err(), "play: cannot make a runtime folder under " + c.tmpdir + " (" + c.why + ")\n");
  }
}

}  // namespace

// make-demo stopped while it builds: Ctrl-C (SIGINT), SIGTERM or SIGHUP (its
// terminal closed) at any step,
// a file being written or a move putting the project in place, takes its
// temporary folder away and leaves the place as it was (every file of a
// --force run put back), exit 128 + the signal, saying so. A run killed
// outright (SIGKILL) leaves its temporary folder; the next run there removes
// it, unless a live run holds it. The build is held at a chosen step by
// PELMORA_TEST_HOLD_TOOL, so that each signal lands where the test
// means it to.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "app/stop_signal_defaults.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// The temporary folders of make-demo in `folder` (beside a target or in it).
std::vector<std::string> TemporaryFolders(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(".demo.~", 0) == 0 || name.rfind(".~make-demo.", 0) == 0) found.push_back(entry.path().string());
  }
  return found;
}

class MakeDemoStopTest : public ::testing::Test {
 protected:
  // A make-demo run in the test's folder; `hold` ("write N", "move N")
  // holds it before that step.
  std::unique_ptr<GameProcess> Start(std::vector<std::string> args, const std::string& hold = "") {
    args.insert(args.begin(), "make-demo");
    const std::string tag = std::to_string(runs_++);
    std::vector<std::string> env;
    if (!hold.empty()) env.push_back("PELMORA_TEST_HOLD_TOOL=" + hold);
    return std::make_unique<GameProcess>(GameProcess::Spec{PELMORA_TOOL, folder_.Path(), std::move(args), env,
                                                           folder_ / ("out" + tag), folder_ / ("err" + tag)});
  }
  // Waits until the run is held at its step: false when it ended first.
  static bool Held(GameProcess& run) {
    return WaitFor([&] { return run.Err().find("make-demo: held before ") != std::string::npos || run.Ended(); }) &&
           run.Err().find("make-demo: held before ") != std::string::npos;
  }
  TempFolder folder_{"demostop"};
  int runs_ = 0;
  DefaultStopSignals defaults_;  // the runs start with the stop signals as a terminal gives them
};

// Into a new folder, an empty one and (--force) one that holds files, held
// before the first file, a file half-way, the first move and (into a folder)
// a move after others were made, each signal: the run ends with 128 + the
// signal, says it stopped and what it leaves, and the place is as it was:
// no temporary folder, no target made, the files of the forced folder back
// with their bytes.
TEST_F(MakeDemoStopTest, ASignalAtAnyStepLeavesThePlaceAsItWas) {
  fs::create_directory(folder_ / "empty");
  folder_.Write("forced/notes.txt", "keep");
  folder_.Write("forced/System.ini", "Mine=1");
  folder_.Write("forced/data/System.dat", "mine");
  const std::set<std::string> before = Entries(folder_.Path());
  struct Target {
    std::string folder;
    std::vector<std::string> options;
    std::string left;
    std::vector<const char*> holds;
  };
  const Target targets[] = {
      {"demo", {}, "nothing was written", {"write 1", "write 60", "move 1"}},
      {"empty", {}, "empty is left as it was", {"write 1", "write 60", "move 1", "move 4"}},
      {"forced", {"--force"}, "forced is left as it was", {"write 1", "write 60", "move 1", "move 4"}},
  };
  for (const Target& target : targets) {
    for (const char* hold : target.holds) {
      for (const auto& [signal, name] :
           {std::pair{SIGINT, "SIGINT"}, std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGHUP, "SIGHUP"}}) {
        SCOPED_TRACE(target.folder + ", " + hold + ", " + name);
        std::vector<std::string> args = {target.folder};
        args.insert(args.end(), target.options.begin(), target.options.end());
        auto run = Start(args, hold);
        ASSERT_TRUE(Held(*run)) << run->Err();
        run->Signal(signal);
        EXPECT_EQ(run->Wait(), 128 + signal) << run->Err();
        EXPECT_NE(run->Err().find(std::string("make-demo: stopped by ") + name + ": " + target.left),
                  std::string::npos)
            << run->Err();
        std::set<std::string> now = Entries(folder_.Path());
        for (auto it = now.begin(); it != now.end();)
          it = (it->rfind("out", 0) == 0 || it->rfind("err", 0) == 0) ? now.erase(it) : std::next(it);
        EXPECT_EQ(now, before);
      }
    }
  }
  EXPECT_EQ(Slurp(folder_ / "forced/notes.txt"), "keep");
  EXPECT_EQ(Slurp(folder_ / "forced/System.ini"), "Mine=1");
  EXPECT_EQ(Slurp(folder_ / "forced/data/System.dat"), "mine");
}

// A run killed outright leaves its temporary folder (beside a new target,
// inside a folder). While another process holds that folder's lock, the
// next run keeps it (into the folder, whose leftover then counts as what it
// holds: not empty); once no one holds it, the next run removes it and
// writes the demo.
TEST_F(MakeDemoStopTest, AKilledRunsFolderGoesAtTheNextRunUnlessHeld) {
  fs::create_directory(folder_ / "empty");
  struct Target {
    std::string folder;
    std::string place;  // where its temporary folder is made
    std::vector<std::string> whileHeld;
    int statusWhileHeld;
    std::vector<std::string> once;
  };
  const Target targets[] = {
      {"demo", folder_.Path(), {"demo"}, 0, {"demo", "--force"}},
      {"empty", folder_ / "empty", {"empty"}, 2, {"empty"}},
  };
  for (const Target& target : targets) {
    SCOPED_TRACE(target.folder);
    auto killed = Start({target.folder}, "write 30");
    ASSERT_TRUE(Held(*killed)) << killed->Err();
    killed->Signal(SIGKILL);
    ASSERT_EQ(killed->Wait(), 128 + SIGKILL);
    const std::vector<std::string> left = TemporaryFolders(target.place);
    ASSERT_EQ(left.size(), 1u);

    const int lock = open((left[0] + "/make-demo.lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0) << "the killed run's lock went with it";
    auto held = Start(target.whileHeld);
    EXPECT_EQ(held->Wait(), target.statusWhileHeld) << held->Err();
    EXPECT_EQ(TemporaryFolders(target.place), left);
    close(lock);

    auto next = Start(target.once);
    EXPECT_EQ(next->Wait(), 0) << next->Err();
    EXPECT_TRUE(TemporaryFolders(target.place).empty());
    EXPECT_TRUE(fs::is_regular_file(folder_ / (target.folder + "/data/System.dat")));
  }
}

// Two runs for one target: the second, while the first is held mid-build,
// leaves the first's folder alone and writes the demo; the first, stopped
// then, takes its own folder away.
TEST_F(MakeDemoStopTest, ALiveRunsFolderIsLeftToIt) {
  auto first = Start({"demo"}, "write 10");
  ASSERT_TRUE(Held(*first)) << first->Err();
  const std::vector<std::string> building = TemporaryFolders(folder_.Path());
  ASSERT_EQ(building.size(), 1u);
  auto second = Start({"demo"});
  EXPECT_EQ(second->Wait(), 0) << second->Err();
  EXPECT_EQ(TemporaryFolders(folder_.Path()), building);
  first->Signal(SIGINT);
  EXPECT_EQ(first->Wait(), 128 + SIGINT) << first->Err();
  EXPECT_TRUE(TemporaryFolders(folder_.Path()).empty());
  EXPECT_TRUE(fs::is_regular_file(folder_ / "demo/data/System.dat"));
}

// A run that a script started in the background inherits SIGINT ignored
// (so that a Ctrl-C meant for the script's shell does not stop it) and keeps
// ignoring it: held mid-build, it goes on through a SIGINT, and SIGTERM
// then stops it, saying so.
TEST_F(MakeDemoStopTest, ABackgroundJobOfAScriptKeepsIgnoringSIGINT) {
  const std::string pid = folder_ / "pid";
  const std::string script = std::string("'") + PELMORA_TOOL + "' make-demo demo & echo $! > pid; wait $!";
  GameProcess shell({"/bin/sh", folder_.Path(), {"-c", script}, {"PELMORA_TEST_HOLD_TOOL=write 10"},
                     folder_ / "out", folder_ / "err"});
  ASSERT_TRUE(Held(shell)) << shell.Err();
  ASSERT_TRUE(WaitFor([&] { return Slurp(pid).find('\n') != std::string::npos; }));
  const pid_t run = static_cast<pid_t>(std::stol(Slurp(pid)));
  // Both wait for the run; the first it takes is the one that stops it.
  ASSERT_EQ(kill(run, SIGINT), 0);
  ASSERT_EQ(kill(run, SIGTERM), 0);
  EXPECT_EQ(shell.Wait(), 128 + SIGTERM) << shell.Err();
  EXPECT_NE(shell.Err().find("make-demo: stopped by SIGTERM: nothing was written"), std::string::npos)
      << shell.Err();
  EXPECT_TRUE(TemporaryFolders(folder_.Path()).empty());
  EXPECT_FALSE(fs::exists(folder_ / "demo"));
}

// An empty DIR is a usage error that says so, and makes nothing.
TEST_F(MakeDemoStopTest, AnEmptyFolderNameIsAUsageError) {
  auto run = Start({""});
  EXPECT_EQ(run->Wait(), 2);
  EXPECT_EQ(run->Err(),
            "make-demo: DIR is empty: name the folder to write the demo into\n"
            "usage: pelmora-tool make-demo DIR [--text-menu] [--force]\n");
  EXPECT_EQ(Entries(folder_.Path()), (std::set<std::string>{"out0", "err0"}));
}

}  // namespace

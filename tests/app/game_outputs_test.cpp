// Where a player or a script points the files the real program writes: its
// report log silenced through a link to /dev/null, or read through a named
// pipe; a pipe nobody reads in its place or in PELMORA_TRACE's, which must
// not keep the game waiting; a game folder whose name holds a backslash (the
// folder's own name is the system's, not a game path); and SIGTERM at any
// moment of the start, which ends the game and leaves the runtime folder
// free for the next copy.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/game_process.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

class GameOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "run");
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
  }
  GameProcess::Spec Run(const std::string& where, const std::string& trace) {
    fs::remove(dialogs_);
    return GameProcess::Scripted(PELMORA_EXE, where, {}, "ok", folder_, dialogs_, trace);
  }
  // Plays until 30 frames are traced, then ends the game as a desktop does.
  void ExpectItPlays(GameProcess& game, const std::string& trace) {
    ASSERT_TRUE(WaitFor([&] { return game.Ended() || CountLines(Slurp(trace)) >= 30; }));
    EXPECT_FALSE(game.Ended()) << game.Err();
    EXPECT_EQ(game.Terminate(), 0) << game.Err();
  }

  TempFolder folder_{"game-outputs"};
  const std::string project_ = folder_ / "project";
  const std::string dialogs_ = folder_ / "dialogs.log";
  const std::string trace_ = folder_ / "trace.jsonl";
};

// A reader of a named pipe, on a thread of its own: holds the pipe open
// (also for writing, so that the game's closes between its lines are no end
// for it) and keeps what comes.
class PipeReader {
 public:
  explicit PipeReader(const std::string& pipe) : fd_(open(pipe.c_str(), O_RDWR | O_NONBLOCK)) {
    thread_ = std::thread([this] {
      while (!stop_.load()) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        text_.append(buffer, static_cast<size_t>(n));
      }
    });
  }
  ~PipeReader() {
    stop_.store(true);
    thread_.join();
    close(fd_);
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string text_;
  std::thread thread_;
};

// Report_Game.txt a link to /dev/null: the player silenced the log, and the
// game plays; the link stays.
TEST_F(GameOutputsTest, AReportLogLinkedToTheNullDeviceLetsTheGamePlay) {
  const std::string log = project_ + "/Report_Game.txt";
  fs::remove(log);
  fs::create_symlink("/dev/null", log);
  GameProcess game(Run(project_, trace_));
  ExpectItPlays(game, trace_);
  EXPECT_TRUE(fs::is_symlink(log));
  EXPECT_EQ(Slurp(dialogs_), "") << "no box";
}

// Report_Game.txt a named pipe: with a reader the lines go to it and the
// game plays; with none the start fails at once, saying why.
TEST_F(GameOutputsTest, AReportLogThatIsANamedPipeIsWrittenOnlyWhileSomeoneReadsIt) {
  const std::string log = project_ + "/Report_Game.txt";
  fs::remove(log);
  ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
  {
    PipeReader reader(log);
    GameProcess game(Run(project_, trace_));
    ExpectItPlays(game, trace_);
    EXPECT_EQ(reader.Text().rfind("App : ver 873\n", 0), 0u) << reader.Text();
  }
  GameProcess game(Run(project_, trace_));
  EXPECT_EQ(game.Wait(), 1) << "-1: the start waits for a reader";
  EXPECT_EQ(game.Err(), "pelmora: cannot create Report_Game.txt in this folder (a named pipe that nobody reads)\n");
  EXPECT_TRUE(fs::is_fifo(log));
}

// A game folder whose name holds a backslash: the game plays there, and
// its report log is written in it.
TEST_F(GameOutputsTest, AGameFolderWithABackslashInItsNamePlays) {
  const std::string folder = folder_ / "a\\b";
  fs::create_directories(folder);
  fs::rename(project_, folder + "/project");
  GameProcess game(Run(folder + "/project", trace_));
  ExpectItPlays(game, trace_);
  EXPECT_EQ(Slurp(folder + "/project/Report_Game.txt").rfind("App : ver 873\n", 0), 0u);
}

// SIGTERM at any moment of the start, here with PELMORA_TRACE a named pipe
// that nobody reads (which once kept the start waiting for good): the game
// ends (0 when its handlers had been installed, by the signal before), and
// the next copy runs as the only one, asking nothing.
TEST_F(GameOutputsTest, SigtermEndsTheGameAtAnyMomentOfItsStart) {
  const std::string pipe = folder_ / "trace.pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const int delayMs : {0, 2, 5, 10, 20, 40, 80, 160, 320}) {
    SCOPED_TRACE(delayMs);
    GameProcess game(Run(project_, pipe));
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    game.Signal(SIGTERM);
    const int status = game.Wait();
    EXPECT_TRUE(status == 0 || status == 128 + SIGTERM) << status << "\n" << game.Err();
  }
  GameProcess next(Run(project_, trace_));
  ExpectItPlays(next, trace_);
  EXPECT_EQ(Slurp(dialogs_).find("二重起動"), std::string::npos) << Slurp(dialogs_);
  EXPECT_TRUE(fs::is_fifo(pipe));
}

}  // namespace

// Memory that runs out is said: wherever an allocation of the game fails
// (a frame of the game thread, the making of a scene, the stage-loading
// thread, start-up, a request served on the window's thread), one line says so in
// Report_Game.txt and on the standard error, and the game ends in order
// with exit 1, as other faults end it. The allocation is made to fail where
// the game makes it (a bad_alloc thrown there), in a child process whose
// standard error is a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>

#include "base/thread.h"
#include "data/database.h"
#include "data/stage_load.h"
#include "platform/messages.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"
#include "support/game_data.h"
#include "support/harness.h"
#include "support/sandbox.h"
#include "support/stage_builder.h"

namespace {

namespace fs = std::filesystem;

void ThrowOutOfMemory() { throw std::bad_alloc(); }

// A request of the stage-loading thread to the window's thread (which reads
// the stage on the command line during start-up) whose serving runs out.
void SendARequestThatRunsOut() {
  plat::RunOnMainThread([]() -> int64_t { throw std::bad_alloc(); });
}

// A stage with a hero, "data\stg4\oom.stg4", for a test play.
void WriteStage(GameHarness& game) {
  StageBuilder stage;
  stage.Floor(10, 0, 19).Hero(2, 9);
  ScopedGameData data;
  ASSERT_TRUE(LoadDatabase());
  std::ofstream(game.PathOf("data/stg4/oom.stg4"), std::ios::binary) << stage.Bytes();
}

struct ChildRun {
  int status = -1;  // the game's exit code; -1: it did not end by itself
  std::string report, errors;
};

// The game, in a child process, with `arrange` called on the game's harness
// before it starts (it makes an allocation fail somewhere); the exit code
// and what the report log and the standard error hold.
ChildRun PlayInChild(const GameHarness::Options& options, const std::function<void(GameHarness&)>& arrange) {
  TempFolder out("oom");
  const pid_t child = fork();
  if (child == 0) {
    const int fd = ::open((out / "errors.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0) _exit(90);
    int code = 91;
    {
      GameHarness game(options);
      arrange(game);
      game.Start();
      code = game.WaitForExit();
      std::error_code ec;
      fs::copy_file(game.PathOf("Report_Game.txt"), out / "report.txt", ec);
      fs::remove_all(game.Folder(), ec);  // the child ends without its destructors
    }
    _exit(code < 0 ? 92 : code);
  }
  ChildRun run;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return run;
  run.status = WEXITSTATUS(status) == 92 ? -1 : WEXITSTATUS(status);
  run.report = out.Read("report.txt");
  run.errors = out.Read("errors.txt");
  return run;
}

// The title as a test scene that runs `onRun` on each frame.
void RegisterTitle(std::function<void(TestScene&)> onRun) {
  RegisterSceneFactory(kSceneTitle, [onRun] { return new TestScene(onRun); });
}

TEST(MemoryRunsOutTest, AFailedAllocationIsSaidAndEndsTheGameAsAFault) {
  const struct {
    const char* where;
    const char* line;  // in the log and, after "pelmora: ", on the standard error
    bool stage;        // a test play of a stage
    std::function<void(GameHarness&)> arrange;
  } rows[] = {
      {"a frame of the game thread", "out of memory on the game thread", false,
       [](GameHarness&) {
         RegisterTitle({});
         SetFramePresentedObserver([] {
           if (g_nFrameCounter.load() == 3) ThrowOutOfMemory();
         });
       }},
      {"the making of a scene", "out of memory while making the next scene", false,
       [](GameHarness&) {
         RegisterSceneFactory(kSceneTitle, []() -> cScene* { throw std::bad_alloc(); });
       }},
      {"the stage-loading thread", "out of memory on the stage-loading thread", true,
       [](GameHarness& game) {
         WriteStage(game);
         SetStageReadHookForTest(ThrowOutOfMemory);
       }},
      {"start-up on the window's thread", "out of memory while starting the game", true,
       [](GameHarness& game) {
         WriteStage(game);
         SetStageReadHookForTest(SendARequestThatRunsOut);
       }},
      {"a request served on the window's thread", "out of memory on the window's thread", false,
       [](GameHarness&) {
         RegisterTitle([](TestScene& scene) {
           if (scene.runs == 2) plat::RunOnMainThread([]() -> int64_t { throw std::bad_alloc(); });
         });
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.where);
    GameHarness::Options options;
    if (row.stage) options.commandLine = "data\\stg4\\oom.stg4";
    const ChildRun run = PlayInChild(options, row.arrange);
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_NE(run.report.find(row.line), std::string::npos) << run.report;
    EXPECT_NE(run.errors.find(std::string("pelmora: ") + row.line + "\n"), std::string::npos) << run.errors;
  }
}

}  // namespace

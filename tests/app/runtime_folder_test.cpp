// The runtime folder holds the lock that lets one copy of the game run at a
// time. A copy whose PELMORA_RUNTIME_DIR cannot hold it does not run beside
// another: it says why (its box, Report_Game.txt, the standard error) and
// exits 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/game_process.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

class RuntimeFolderTest : public ::testing::Test {
 protected:
  // The game in folder_/`name` (a small project made there), with its box
  // answers, transcript, trace, standard output and error in that folder,
  // and `runtime` as its PELMORA_RUNTIME_DIR.
  GameProcess::Spec Game(const std::string& name, const std::string& runtime) {
    const std::string where = folder_ / name;
    fs::create_directories(where);
    if (!fs::exists(where + "/System.ini")) WriteMinimalProject(where);
    for (const char* file : {"/dialogs.log", "/trace.jsonl", "/Report_Game.txt"}) fs::remove(where + file);
    return {PELMORA_EXE,
            where,
            {},
            {"PELMORA_RUNTIME_DIR=" + runtime, "PELMORA_DIALOG_ANSWERS=ok", "PELMORA_DIALOG_LOG=" + where + "/dialogs.log",
             "PELMORA_TRACE=" + where + "/trace.jsonl"},
            where + "/out.txt",
            where + "/err.txt"};
  }

  TempFolder folder_{"runtime-folder"};
};

TEST_F(RuntimeFolderTest, ACopyWhoseRuntimeFolderCannotHoldTheLockDoesNotRunBesideAnother) {
  GameProcess first(Game("first", folder_ / "run"));
  ASSERT_TRUE(WaitFor([&] { return first.Ended() || CountLines(folder_.Read("first/trace.jsonl")) >= 5; }));
  ASSERT_FALSE(first.Ended()) << first.Err();

  const std::string file = folder_.Write("not a folder", "x");
  const struct {
    std::string runtime;
    std::string why;
  } rows[] = {
      {file, "PELMORA_RUNTIME_DIR names " + file + ", which is not a folder."},
      {file + "/run", "PELMORA_RUNTIME_DIR names " + file + "/run, which cannot be made (Not a directory)."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.runtime);
    GameProcess second(Game("second", row.runtime));
    // It ends, or it shows a frame beside the first.
    ASSERT_TRUE(WaitFor([&] { return second.Ended() || CountLines(folder_.Read("second/trace.jsonl")) > 0; }));
    ASSERT_TRUE(second.Ended()) << "the second copy runs beside the first";
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_EQ(CountLines(folder_.Read("second/trace.jsonl")), 0u) << "the second copy showed frames";

    const std::string rest =
        "Without the lock that lets one copy of the game run at a time, a second copy could run beside this one: "
        "the game does not start.";
    EXPECT_NE(second.Err().find("pelmora: " + row.why + "\n  " + rest + "\n"), std::string::npos) << second.Err();
    EXPECT_NE(folder_.Read("second/Report_Game.txt").find(row.why + "\n" + rest + "\n"), std::string::npos)
        << folder_.Read("second/Report_Game.txt");
    EXPECT_NE(folder_.Read("second/dialogs.log").find("エラー\t" + row.why + "\\n" + rest + "\tok"), std::string::npos)
        << folder_.Read("second/dialogs.log");
    EXPECT_TRUE(fs::is_regular_file(file));
  }

  EXPECT_FALSE(first.Ended()) << first.Err();
  EXPECT_EQ(first.Terminate(), 0) << first.Err();
}

}  // namespace

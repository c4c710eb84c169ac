// PELMORA_DIALOG_LOG naming a transcript that cannot be written: the run's
// Report_Game.txt says so, naming the file and why, in real runs of the
// program (here a start that fails on a missing title picture, so that a
// box is shown); one that can be written gets the box and no such line. A
// second copy that ends at its question says so on its standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/game_process.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

TEST(DialogLogTest, ATranscriptThatCannotBeWrittenIsNamedInTheLog) {
  TempFolder folder("dialog-log");
  const std::string project = folder / "project";
  fs::create_directories(folder / "run");
  ASSERT_EQ(MakeDemoProject(folder, project), "");
  ASSERT_TRUE(fs::remove(project + "/bmp/Title.bmp"));
  std::ofstream(folder / "a file") << "not a folder";
  fs::create_directories(folder / "a folder");
  const struct {
    std::string transcript;
    const char* why;  // "" when it can be written
  } rows[] = {
      {folder / "missing/dialogs.log", "No such file or directory"},
      {folder / "a folder", "Is a directory"},
      {folder / "a file/dialogs.log", "Not a directory"},
      {folder / "dialogs.log", ""},
      {"dialogs.log", ""},  // in the project folder
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.transcript);
    GameProcess game({PELMORA_EXE,
                      project,
                      {},
                      {"PELMORA_RUNTIME_DIR=" + (folder / "run"), "PELMORA_DIALOG_ANSWERS=ok",
                       "PELMORA_DIALOG_LOG=" + row.transcript},
                      folder / "out.txt",
                      folder / "err.txt"});
    EXPECT_EQ(game.Wait(), 1);
    const std::string log = Slurp(project + "/Report_Game.txt");
    const std::string box = "エラー\tbmp\\Title.bmp の読み込みに失敗！\tok\n";
    if (row.why[0] != '\0') {
      EXPECT_NE(log.find("\nPELMORA_DIALOG_LOG : " + row.transcript + " cannot be written: " + row.why + "\n"),
                std::string::npos)
          << log;
      EXPECT_FALSE(fs::exists(folder / "missing"));
    } else {
      EXPECT_EQ(log.find("PELMORA_DIALOG_LOG"), std::string::npos) << log;
      const std::string written = row.transcript[0] == '/' ? row.transcript : project + "/" + row.transcript;
      EXPECT_EQ(Slurp(written), box);
      fs::remove(written);
    }
  }
}

// A second copy asks its question before it has a log of its own (the
// running copy's is left alone): a transcript that cannot be written is
// named on its standard error, for a copy that ends at its question as for
// one that cannot close the running copy.
TEST(DialogLogTest, ASecondCopyNamesATranscriptThatCannotBeWrittenOnItsStandardError) {
  TempFolder folder("dialog-log");
  const std::string project = folder / "project";
  fs::create_directories(folder / "run");
  fs::create_directories(folder / "a folder");
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  ASSERT_EQ(MakeDemoProject(folder, project), "");
  GameProcess first(GameProcess::Scripted(PELMORA_EXE, project, {}, "", folder, folder / "first.log",
                                          folder / "trace.jsonl"));
  ASSERT_TRUE(WaitFor([&] { return first.Ended() || CountLines(Slurp(folder / "trace.jsonl")) > 0; }));
  ASSERT_FALSE(first.Ended()) << first.Err();
  const struct {
    std::string transcript;
    const char* why;
  } rows[] = {
      {folder / "a folder", "Is a directory"},
      {folder / "pipe", "a named pipe that nobody reads"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.transcript);
    GameProcess second({PELMORA_EXE,
                        project,
                        {},
                        {"PELMORA_RUNTIME_DIR=" + (folder / "run"), "PELMORA_DIALOG_ANSWERS=no",
                         "PELMORA_DIALOG_LOG=" + row.transcript},
                        folder / "out.txt",
                        folder / "err.txt"});
    EXPECT_EQ(second.Wait(), 0) << "-1: it waits on the transcript";
    EXPECT_EQ(second.Err(), "pelmora: PELMORA_DIALOG_LOG : " + row.transcript + " cannot be written: " + row.why + "\n");
  }
  EXPECT_EQ(first.Terminate(), 0);
  EXPECT_EQ(Slurp(project + "/Report_Game.txt").find("PELMORA_DIALOG_LOG"), std::string::npos);
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
}

}  // namespace

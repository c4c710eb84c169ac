// The project folder "data\" made from "default\" at start-up.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "data/system_data.h"
#include "platform/text.h"
#include "support/harness.h"
#include "support/project_files.h"

namespace {

namespace fs = std::filesystem;

GameHarness::Options Answering(const char* answers) {
  GameHarness::Options options;
  options.writeProject = false;
  options.dialogAnswers = answers;
  return options;
}

// A whole project whose data stands in "default\" instead of "data\".
void WriteDefaultFolder(const std::string& root) {
  WriteMinimalProject(root);
  fs::rename(root + "/data", root + "/default");
  fs::create_directories(root + "/default/stg4");
  std::ofstream(root + "/default/stg4/one.stg4_873") << "stage";
}

TEST(DefaultDataTest, AnsweredYesDataBecomesACopyOfDefault) {
  GameHarness game(Answering("yes"));
  WriteDefaultFolder(game.Folder());
  ASSERT_TRUE(game.Start());
  EXPECT_NE(game.DialogLog().find("デフォルトデータ作成の確認\tデータが存在しません！デフォルトデータを作成しますか？\\n\tyes"),
            std::string::npos)
      << game.DialogLog();
  EXPECT_EQ(game.ReadFile("data/stg4/one.stg4_873"), "stage");
  EXPECT_EQ(game.ReadFile("data/System.dat"), game.ReadFile("default/System.dat"));
  EXPECT_TRUE(fs::is_directory(game.PathOf("default/database")));
  EXPECT_EQ(game.Close(), 0);
}

TEST(DefaultDataTest, AnsweredNoTheGameStopsInOrder) {
  GameHarness game(Answering("no;ok"));
  WriteDefaultFolder(game.Folder());
  EXPECT_FALSE(game.Start());
  EXPECT_EQ(game.WaitForExit(), 0);
  EXPECT_FALSE(fs::exists(game.PathOf("data")));
  EXPECT_NE(game.DialogLog().find("エラー\t「data」フォルダの作成に失敗"), std::string::npos) << game.DialogLog();
}

TEST(DefaultDataTest, AFailedCopyLeavesNothingHalfMadeAndTouchesNothingElse) {
  GameHarness game(Answering("yes;ok"));
  WriteDefaultFolder(game.Folder());
  // A named pipe cannot be copied: the copy fails part-way through.
  ASSERT_EQ(mkfifo(game.PathOf("default/stg4/zz.pipe").c_str(), 0600), 0);
  EXPECT_FALSE(game.Start());
  EXPECT_EQ(game.WaitForExit(), 0);
  EXPECT_FALSE(fs::exists(game.PathOf("data")));
  EXPECT_EQ(game.ReadFile("default/stg4/one.stg4_873"), "stage");
  for (auto& entry : fs::directory_iterator(game.Folder()))
    EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

TEST(DefaultDataTest, WithDataPresentNothingIsAsked) {
  GameHarness game;  // writes "data\" but no "default\"
  ASSERT_TRUE(game.Start());
  EXPECT_EQ(game.DialogLog(), "");
  EXPECT_EQ(game.Close(), 0);
}

TEST(DefaultDataTest, WithNeitherFolderTheGameStopsWithoutAsking) {
  GameHarness game(Answering("ok"));
  EXPECT_FALSE(game.Start());
  EXPECT_EQ(game.WaitForExit(), 0);
  std::string log = game.DialogLog();
  EXPECT_EQ(log.find("デフォルトデータ作成の確認"), std::string::npos);
  EXPECT_NE(log.find("「data」フォルダの作成に失敗"), std::string::npos);
  EXPECT_EQ(game.ReadFile("Report_Game.txt").substr(0, 14), "App : ver 873\n");
}

TEST(DefaultDataTest, BrokenSystemDataStopsStartUpWithItsMessage) {
  GameHarness::Options options;
  options.dialogAnswers = "ok";
  GameHarness game(options);
  std::ofstream(game.PathOf("data/System.dat"), std::ios::trunc) << "\x69\x03\x00\x00\xff\xff";
  EXPECT_FALSE(game.Start());
  EXPECT_EQ(game.WaitForExit(), 0);
  EXPECT_NE(game.ReadFile("Report_Game.txt").find("data\\System.dat の読み込みに失敗しました！"), std::string::npos);
}

TEST(DefaultDataTest, MissingSystemIniShowsItsMessageAndKeepsTheDefaults) {
  GameHarness::Options options;
  options.dialogAnswers = "ok";
  GameHarness game(options);
  fs::remove(game.PathOf("System.ini"));
  ASSERT_TRUE(game.Start());
  EXPECT_NE(game.DialogLog().find("エラー\tSystem.ini の読み込みに失敗しました！"), std::string::npos);
  EXPECT_EQ(game.Close(), 0);
}

}  // namespace

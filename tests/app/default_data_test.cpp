// Start-up without usable data: "data\" made from "default\" when the player
// agrees, and the messages that stop start-up in order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/winmain.h"
#include "support/harness.h"
#include "support/project_files.h"

namespace {

namespace fs = std::filesystem;

GameHarness::Options Answering(const char* answers, bool writeProject = false) {
  GameHarness::Options options;
  options.writeProject = writeProject;
  options.dialogAnswers = answers;
  return options;
}

// A whole project whose data stands in "default\" instead of "data\".
void WriteDefaultFolder(GameHarness& game) {
  WriteMinimalProject(game.Folder());
  fs::rename(game.PathOf("data"), game.PathOf("default"));
  fs::create_directories(game.PathOf("default/stg4"));
  std::ofstream(game.PathOf("default/stg4/one.stg4_873")) << "stage";
}

TEST(DefaultDataTest, AnsweredYesDataBecomesACopyOfDefault) {
  GameHarness game(Answering("yes"));
  WriteDefaultFolder(game);
  ASSERT_TRUE(game.Start());
  EXPECT_NE(game.DialogLog().find("デフォルトデータ作成の確認\tデータが存在しません！デフォルトデータを作成しますか？\\n\tyes"),
            std::string::npos)
      << game.DialogLog();
  EXPECT_EQ(game.ReadFile("data/stg4/one.stg4_873"), "stage");
  EXPECT_EQ(game.ReadFile("data/System.dat"), game.ReadFile("default/System.dat"));
  EXPECT_TRUE(fs::is_directory(game.PathOf("default/database")));
  EXPECT_EQ(game.Close(), 0);
}

// Each of these ends start-up with the dialog line given, after an orderly
// end, and the program exits as a failed start does.
TEST(DefaultDataTest, StartUpStopsWithItsMessage) {
  struct Case {
    const char* name;
    const char* answers;
    bool writeProject;
    std::function<void(GameHarness&)> prepare;
    const char* dialogLine;  // in the dialog log, or in the report when `report`
    bool report;
  };
  const Case cases[] = {
      {"answered no", "no;ok", false, WriteDefaultFolder, "エラー\t「data」フォルダの作成に失敗", false},
      // A named pipe cannot be copied: the copy fails part-way through.
      {"failed copy", "yes;ok", false,
       [](GameHarness& game) {
         WriteDefaultFolder(game);
         ASSERT_EQ(mkfifo(game.PathOf("default/stg4/zz.pipe").c_str(), 0600), 0);
       },
       "「data」フォルダの作成に失敗", false},
      // No game in the folder at all: the message says so.
      {"neither folder", "ok", false, [](GameHarness&) {},
       "エラー\tこのフォルダにゲームがありません：\\n", false},
      {"broken System.dat", "ok", true,
       [](GameHarness& game) {
         std::ofstream(game.PathOf("data/System.dat"), std::ios::trunc) << "\x69\x03\x00\x00\xff\xff";
       },
       "data\\System.dat の読み込みに失敗しました！", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GameHarness game(Answering(c.answers, c.writeProject));
    c.prepare(game);
    EXPECT_FALSE(game.Start());
    EXPECT_EQ(game.WaitForExit(), kExitStartFailed);
    if (c.report)
      EXPECT_NE(game.ReadFile("Report_Game.txt").find(c.dialogLine), std::string::npos);
    else
      EXPECT_NE(game.DialogLog().find(c.dialogLine), std::string::npos) << game.DialogLog();
    EXPECT_EQ(game.DialogLog().find("デフォルトデータ作成の確認") != std::string::npos,
              std::string(c.answers) != "ok");
    if (!c.writeProject) {
      EXPECT_FALSE(fs::exists(game.PathOf("data")));
    }
    EXPECT_EQ(game.ReadFile("Report_Game.txt").substr(0, 14), "App : ver 873\n");
    if (fs::exists(game.PathOf("default"))) {  // nothing half made, nothing else touched
      EXPECT_EQ(game.ReadFile("default/stg4/one.stg4_873"), "stage");
    }
    for (auto& entry : fs::directory_iterator(game.Folder()))
      EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
  }
}

// With data present nothing is asked (see also GameTest's silent start). A
// missing "System.ini" shows its message once: the file is then written with
// the defaults, and the next start reads it without a message. A broken one
// shows the message at every start and stays as the player left it.
TEST(DefaultDataTest, AMissingSystemIniIsWrittenWithTheDefaultsAndABrokenOneIsLeftAlone) {
  const std::string message = "エラー\tSystem.ini の読み込みに失敗しました！";
  std::string ini;
  {
    GameHarness game(Answering("ok", true));
    fs::remove(game.PathOf("System.ini"));
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(game.DialogLog().find("デフォルトデータ作成の確認"), std::string::npos);
    EXPECT_NE(game.DialogLog().find(message), std::string::npos);
    EXPECT_EQ(game.Close(), 0);
    ini = game.ReadFile("System.ini");
  }
  ASSERT_GT(ini.size(), 18u);
  EXPECT_EQ(ini.substr(0, 11), "Direct3D=2\n");
  EXPECT_EQ(ini.substr(ini.size() - 5), "Exit\n");
  // Start-up's own choices of that run (the depth it took) are not in it.
  EXPECT_NE(ini.find("\nBpp=0\n"), std::string::npos);
  {
    GameHarness game(Answering("ok", true));
    std::ofstream(game.PathOf("System.ini"), std::ios::binary | std::ios::trunc) << ini;
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(game.DialogLog().find(message), std::string::npos) << game.DialogLog();
    EXPECT_EQ(game.Close(), 0);
  }
  GameHarness game(Answering("ok", true));
  const std::string broken = "WindowMode=1\nDirect3D=1\n";  // no "Exit"
  std::ofstream(game.PathOf("System.ini"), std::ios::binary | std::ios::trunc) << broken;
  ASSERT_TRUE(game.Start());
  EXPECT_NE(game.DialogLog().find(message), std::string::npos);
  EXPECT_EQ(game.Close(), 0);
  EXPECT_EQ(game.ReadFile("System.ini"), broken);
}

}  // namespace

// The files the game reads as it starts, each taken out of the demo project
// in turn, in real runs of the program: one the game cannot start without
// fails the start (exit 1) with a message that names it, in its box, in
// Report_Game.txt and on the standard error. Those it starts without (the
// settings, the sounds, the title's tune, the player's own records, the
// blend tables of a display that is not 8-bit) are no failure: the game
// plays on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "data/data_paths.h"
#include "gfx/surface_table.h"
#include "platform/text.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// A file start-up cannot do without, the message of its absence, and
// whether it is read only in an 8-bit display (DirectDraw, full screen).
struct StartFile {
  const char* file;     // in the project, "/" between folders
  const char* message;  // names the file as the game does, with "\"
  bool eightBit = false;
};

void PrintTo(const StartFile& row, std::ostream* out) { *out << row.file << (row.eightBit ? " (8-bit)" : ""); }

const StartFile kStartFiles[] = {
    {"data/database/AnimeSet.dat", "data\\database\\AnimeSet.dat の読み込みに失敗しました！"},
    {"data/database/Anime.dat", "data\\database\\Anime.dat の読み込みに失敗しました！"},
    {"data/database/Bmp_CharaExc.dat", "data\\database\\Bmp_CharaExc.dat の読み込みに失敗しました！"},
    {"data/database/SwordType.dat", "data\\database\\SwordType.dat の読み込みに失敗しました！"},
    {"data/database/Effect.dat", "data\\database\\Effect.dat の読み込みに失敗しました！"},
    {"data/database/CharaEffect.dat", "data\\database\\CharaEffect.dat の読み込みに失敗しました！"},
    {"data/database/ScrEffect.dat", "data\\database\\ScrEffect.dat の読み込みに失敗しました！"},
    {"data/database/Picture.dat", "data\\database\\Picture.dat の読み込みに失敗しました！"},
    {"data/database/Sound.dat", "data\\database\\Sound.dat の読み込みに失敗しました！"},
    {"data/database/Bgm.dat", "data\\database\\Bgm.dat の読み込みに失敗しました！"},
    {"data/System.dat", "data\\System.dat の読み込みに失敗しました！"},
    {"bmp/plt/Palette.bmp", "DDLoadPaletteFromFile失敗：bmp\\plt\\Palette.bmp"},
    {"bmp/Debug.bmp", "bmp\\Debug.bmp の読み込みに失敗！"},
    {"bmp/Symbol.bmp", "bmp\\Symbol.bmp の読み込みに失敗！"},
    {"bmp/Title.bmp", "bmp\\Title.bmp の読み込みに失敗！"},
    {"bmp/Accessory.bmp", "bmp\\Accessory.bmp の読み込みに失敗！"},
    {"bmp/Window.bmp", "bmp\\Window.bmp の読み込みに失敗！"},
    {"data/WorldMap.dat", "data\\WorldMap.dat のロードに失敗！"},
    {"data/CommonPalette.cplt4", "data\\CommonPalette.cplt4 のロードに失敗！"},
    {"bmp/plt/Palette.bmp", "DDLoadPaletteFromFile失敗：bmp\\plt\\Palette.bmp", true},
    {"bmp/hbt/hbt00.dat", "bmp\\hbt\\hbt00.dat の読み込みに失敗！", true},
};

// Files the game starts without, and what stands in for them: "System.ini"
// (the default settings after its message, the file written again), the
// title's menu picture (the menu as text), the sounds (silence), the
// title's tune (none), the player's records (their defaults; a new project
// has none), and the blend tables, read only in an 8-bit display.
const char* const kToleratedFiles[] = {
    "System.ini",           "bmp/GameMode.bmp",   "bgm/Title.mid", "user_data/Option.dat", "user_data/KeyConfig.dat",
    "user_data/Boot.dat",   "user_data/Window.dat", "wave",        "bmp/hbt",
};

// A project's path with the game's "\" between folders.
std::string Named(const std::string& file) {
  std::string named = file;
  for (char& c : named) c = c == '/' ? '\\' : c;
  return named;
}

// The settings of an 8-bit display (which only full screen gives).
constexpr const char* kEightBitIni = "Direct3D=0\nWindowMode=0\nBpp=8\nVSync=1\nExit\n";

class StartFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "run");
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
  }

  GameProcess::Spec Run() {
    fs::remove(dialogs_);
    fs::remove(trace_);
    fs::remove(project_ + "/Report_Game.txt");
    return GameProcess::Scripted(PELMORA_EXE, project_, {}, "ok;ok;ok", folder_, dialogs_, trace_);
  }

  TempFolder folder_{"start-files"};
  const std::string project_ = folder_ / "project";
  const std::string dialogs_ = folder_ / "dialogs.log";
  const std::string trace_ = folder_ / "trace.jsonl";
};

class StartFileTest : public StartFilesTest, public ::testing::WithParamInterface<StartFile> {};

TEST_P(StartFileTest, AMissingOneFailsTheStartNamingIt) {
  const StartFile& row = GetParam();
  ASSERT_NE(std::string(row.message).find(Named(row.file)), std::string::npos) << "the message names the file";
  if (row.eightBit) std::ofstream(project_ + "/System.ini", std::ios::trunc) << kEightBitIni;
  ASSERT_TRUE(fs::remove(project_ + "/" + row.file));

  GameProcess game(Run());
  ASSERT_TRUE(WaitFor([&] { return game.Ended() || !Slurp(trace_).empty(); }));
  EXPECT_EQ(Slurp(trace_), "") << "the game played on";
  EXPECT_EQ(game.Terminate(), 1);
  EXPECT_NE(Slurp(dialogs_).find(std::string("エラー\t") + row.message + "\tok"), std::string::npos)
      << Slurp(dialogs_);
  EXPECT_NE(Slurp(project_ + "/Report_Game.txt").find(std::string("\n") + row.message + "\n"), std::string::npos)
      << Slurp(project_ + "/Report_Game.txt");
  EXPECT_NE(game.Err().find(std::string("pelmora: ") + row.message + "\n"), std::string::npos) << game.Err();
}

INSTANTIATE_TEST_SUITE_P(EachFile, StartFileTest, ::testing::ValuesIn(kStartFiles),
                         [](const ::testing::TestParamInfo<StartFile>& info) {
                           std::string name = info.param.eightBit ? "EightBit_" : "";
                           for (const char* c = info.param.file; *c != '\0'; ++c)
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           return name;
                         });

// Everything start-up reads and cannot do without is in the table: the
// pictures of start-up and of the title, the palette picture and the data
// files, by the names the game's own tables give them; a picture the table
// marks optional is among the files the game starts without.
TEST(StartFileTableTest, HoldsEveryFileStartUpReads) {
  std::vector<std::string> needed{DataPaths.At(kPathSystemData), DataPaths.At(kPathWorldMap),
                                  DataPaths.At(kPathCommonPalette)};
  std::vector<std::string> optional;
  std::vector<int> pictures{SURF_PALETTE};
  for (SurfaceList list : {StartupSurfaces(), TitleSurfaces()}) pictures.insert(pictures.end(), list.indices, list.indices + list.count);
  for (int index : pictures)
    (GameSurfaceInfo[index].bOptional ? optional : needed).push_back(GameSurfaceInfo[index].szFileName);
  for (size_t i = 0; i < DataPaths.size(); ++i)
    if (DataPaths[i].rfind("data\\database\\", 0) == 0) needed.push_back(DataPaths[i]);
  ASSERT_EQ(needed.size(), 3u + 6u + 10u);
  for (const std::string& file : needed) {
    bool listed = false;
    for (const StartFile& row : kStartFiles) listed = listed || (Named(row.file) == file && !row.eightBit);
    EXPECT_TRUE(listed) << file;
  }
  for (const std::string& file : optional) {
    bool listed = false;
    for (const char* tolerated : kToleratedFiles) listed = listed || Named(tolerated) == file;
    EXPECT_TRUE(listed) << file;
  }
}

// Without all of the files it tolerates at once, the game starts and plays
// its title until it is ended; its only error box is the settings' message.
TEST_F(StartFilesTest, TheFilesItStartsWithoutAreNoFailure) {
  for (const char* file : kToleratedFiles) fs::remove_all(project_ + "/" + file);
  GameProcess game(Run());
  ASSERT_TRUE(WaitFor([&] { return game.Ended() || CountLines(Slurp(trace_)) >= 30; }));
  EXPECT_FALSE(game.Ended()) << game.Err();
  EXPECT_EQ(game.Terminate(), 0) << game.Err();
  // (and, with no settings, the start dialog's question of the drawing mode)
  const std::string boxes = Slurp(dialogs_);
  EXPECT_EQ(boxes.rfind("エラー\tSystem.ini の読み込みに失敗しました！\tok\n", 0), 0u) << boxes;
  EXPECT_EQ(boxes.find("エラー", 1), std::string::npos) << boxes;
  EXPECT_TRUE(fs::exists(project_ + "/System.ini")) << "written again with the defaults";
}

}  // namespace

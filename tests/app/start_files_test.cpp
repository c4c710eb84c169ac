// The files the game reads as it starts, each taken out of the demo project
// in turn, in real runs of the program: one the game cannot start without
// fails the start (exit 1) with a message that names it, in its box, in
// Report_Game.txt and on the standard error. Those it starts without (the
// settings, the sounds, the title's tune, the player's own records, the
// blend tables of a display that is not 8-bit) are no failure: the game
// plays on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "data/data_paths.h"
#include "gfx/surface_table.h"
#include "platform/text.h"
#include "support/bmp_writer.h"
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

  GameProcess::Spec Run(std::vector<std::string> args = {}) {
    fs::remove(dialogs_);
    fs::remove(trace_);
    fs::remove(project_ + "/Report_Game.txt");
    return GameProcess::Scripted(PELMORA_EXE, project_, std::move(args), "ok;ok;ok", folder_, dialogs_, trace_);
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

// A file the start needs that is there but cannot serve: a named pipe or a
// folder in its place (which no read may wait on), a chain of links that
// loops, pictures empty, cut short or of 4 GiB of nothing, and palette
// pictures that load but cannot give the display its colours and key.
struct UnusableFile {
  const char* what;
  const char* file;  // in the project, "/" between folders
  enum Kind {
    kPipe,
    kFolder,
    kLinkLoop,  // a link to a link back to it
    kEmpty,
    kCutShort,       // the demo file's first 100 bytes, the rest cut off
    kSparseHuge,     // 4 GiB, holding nothing
    kNoColourTable,  // a true-colour picture
    kFourBitTable,   // a picture with a colour table of 16
    kOneBitTable,    // a picture with a colour table of 2
    kTooWide,
  } kind;
  const char* ini;      // System.ini's text; null: the demo's (a Direct3D window)
  const char* stage;    // the STAGE_FILE to play, or null
  const char* message;  // the box's text, naming the file
};

void PrintTo(const UnusableFile& row, std::ostream* out) { *out << row.what; }

constexpr const char* kStage = "data\\stg4\\c01-1.stg4_001";
// The 8-bit display's box for a palette picture it cannot take its colours
// from: under the file's name, the two lines that say why.
constexpr const char* kNotAnEightBitTable =
    "DDLoadPaletteFromFile失敗：bmp\\plt\\Palette.bmp\n"
    "8ビットカラーの画面は、色を8ビットの画像のカラーテーブルから取ります。\n"
    "この画像はカラーテーブルのある8ビットの画像ではありません。";

const UnusableFile kUnusableFiles[] = {
    {"TitlePipe", "bmp/Title.bmp", UnusableFile::kPipe, nullptr, nullptr, "bmp\\Title.bmp の読み込みに失敗！"},
    {"SystemDataPipe", "data/System.dat", UnusableFile::kPipe, nullptr, nullptr,
     "data\\System.dat の読み込みに失敗しました！"},
    {"StagePipe", "data/stg4/c01-1.stg4_001", UnusableFile::kPipe, nullptr, kStage,
     "ステージファイル data\\stg4\\c01-1.stg4_001 の読み込みに失敗しました！"},
    {"StageLinkLoop", "data/stg4/c01-1.stg4_001", UnusableFile::kLinkLoop, nullptr, kStage,
     "ステージファイル data\\stg4\\c01-1.stg4_001 の読み込みに失敗しました！"},
    // The stage's own pictures, loaded at the start of a stage played on its
    // own as the title's are.
    {"StageBlocksPipe", "bmp/Block.bmp", UnusableFile::kPipe, nullptr, kStage, "bmp\\Block.bmp の読み込みに失敗！"},
    {"StageBlocksFolder", "bmp/Block.bmp", UnusableFile::kFolder, nullptr, kStage, "bmp\\Block.bmp の読み込みに失敗！"},
    {"StageBlocksEmpty", "bmp/Block.bmp", UnusableFile::kEmpty, nullptr, kStage, "bmp\\Block.bmp の読み込みに失敗！"},
    {"StageBlocksCutShort", "bmp/Block.bmp", UnusableFile::kCutShort, nullptr, kStage,
     "bmp\\Block.bmp の読み込みに失敗！"},
    {"StageBlocksHuge", "bmp/Block.bmp", UnusableFile::kSparseHuge, nullptr, kStage,
     "bmp\\Block.bmp の読み込みに失敗！"},
    {"PalettePipe", "bmp/plt/Palette.bmp", UnusableFile::kPipe, nullptr, nullptr,
     "DDLoadPaletteFromFile失敗：bmp\\plt\\Palette.bmp"},
    {"WorldMapFolder", "data/WorldMap.dat", UnusableFile::kFolder, nullptr, nullptr,
     "data\\WorldMap.dat のロードに失敗！"},
    {"PaletteWithoutColourTable", "bmp/plt/Palette.bmp", UnusableFile::kNoColourTable, kEightBitIni, nullptr,
     kNotAnEightBitTable},
    {"PaletteWithAFourBitTable", "bmp/plt/Palette.bmp", UnusableFile::kFourBitTable, kEightBitIni, nullptr,
     kNotAnEightBitTable},
    {"PaletteWithAOneBitTable", "bmp/plt/Palette.bmp", UnusableFile::kOneBitTable, kEightBitIni, nullptr,
     kNotAnEightBitTable},
    // It decodes, but no texture is that wide: the colour key cannot be read.
    {"PaletteTooWideForATexture", "bmp/plt/Palette.bmp", UnusableFile::kTooWide, nullptr, nullptr,
     "DDSetTransmit失敗：bmp\\plt\\Palette.bmp"},
};

// Palette pictures: 16 x 24 true colour (the colour grid's size), the same
// with colour tables of 16 and of 2 entries, and 8-bit 5000 x 24.
std::string TrueColourPalette() {
  const std::vector<uint8_t> bytes = testbmp::Rgb24(16, 24, std::vector<uint32_t>(16 * 24, 0x336699));
  return std::string(bytes.begin(), bytes.end());
}
std::string SmallTablePalette(uint16_t bits) {
  testbmp::Spec spec;
  spec.width = 16, spec.height = 24, spec.bpp = bits;
  for (uint32_t i = 0; i < (1u << bits); ++i) spec.palette.push_back(i * 0x112233u);
  std::vector<uint32_t> indices(16 * 24);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint32_t>(i % (1u << bits));
  return testbmp::AsString(testbmp::Build(spec, indices, 0));
}
std::string WidePalette() {
  std::vector<uint32_t> table(256);
  for (uint32_t i = 0; i < 256; ++i) table[i] = i * 0x010101;
  const std::vector<uint8_t> bytes = testbmp::Indexed8(5000, 24, table, std::vector<uint32_t>(5000 * 24, 0));
  return std::string(bytes.begin(), bytes.end());
}

class UnusableFileTest : public StartFilesTest, public ::testing::WithParamInterface<UnusableFile> {
 protected:
  void SetUp() override {
    StartFilesTest::SetUp();
    const UnusableFile& row = GetParam();
    const std::string path = project_ + "/" + row.file;
    if (row.ini) std::ofstream(project_ + "/System.ini", std::ios::trunc) << row.ini;
    const std::string whole = Slurp(path);
    ASSERT_TRUE(fs::remove(path));
    switch (row.kind) {
      case UnusableFile::kPipe: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
      case UnusableFile::kFolder: ASSERT_TRUE(fs::create_directory(path)); break;
      case UnusableFile::kLinkLoop:
        fs::create_symlink(path + ".other", path);
        fs::create_symlink(path, path + ".other");
        break;
      case UnusableFile::kEmpty: std::ofstream(path, std::ios::binary) << ""; break;
      case UnusableFile::kCutShort: std::ofstream(path, std::ios::binary) << whole.substr(0, 100); break;
      case UnusableFile::kSparseHuge:
        std::ofstream(path, std::ios::binary) << "";
        fs::resize_file(path, uintmax_t{4} << 30);
        break;
      case UnusableFile::kNoColourTable: std::ofstream(path, std::ios::binary) << TrueColourPalette(); break;
      case UnusableFile::kFourBitTable: std::ofstream(path, std::ios::binary) << SmallTablePalette(4); break;
      case UnusableFile::kOneBitTable: std::ofstream(path, std::ios::binary) << SmallTablePalette(1); break;
      case UnusableFile::kTooWide: std::ofstream(path, std::ios::binary) << WidePalette(); break;
    }
  }
  std::vector<std::string> Args() const {
    return GetParam().stage ? std::vector<std::string>{GetParam().stage} : std::vector<std::string>{};
  }
  // The box as the dialog log writes it (a line break as "\n"), up to its
  // answer.
  static std::string Box(const std::string& message) {
    std::string box = "エラー\t";
    for (char c : message) box += c == '\n' ? std::string("\\n") : std::string(1, c);
    return box + "\t";
  }
};

// The game itself: no frame, its box, the report's line and the standard
// error's, exit 1, and no wait on the file (a run that waits is killed after
// the hang guard's minute and fails).
TEST_P(UnusableFileTest, TheGameFailsTheStartNamingIt) {
  const UnusableFile& row = GetParam();
  GameProcess game(Run(Args()));
  ASSERT_TRUE(WaitFor([&] { return game.Ended() || !Slurp(trace_).empty(); })) << "the start waits on the file";
  EXPECT_EQ(Slurp(trace_), "") << "the game played on";
  EXPECT_EQ(game.Terminate(), 1);
  EXPECT_NE(Slurp(dialogs_).find(Box(row.message) + "ok\n"), std::string::npos) << Slurp(dialogs_);
  EXPECT_NE(Slurp(project_ + "/Report_Game.txt").find(std::string(row.message) + "\n"), std::string::npos)
      << Slurp(project_ + "/Report_Game.txt");
  const std::string firstLine = std::string(row.message).substr(0, std::string(row.message).find('\n'));
  EXPECT_NE(game.Err().find("pelmora: " + firstLine + "\n"), std::string::npos) << game.Err();
}

// `pelmora-tool play` of the same project: exit 1 with no frame, after the
// same box and the report's line.
TEST_P(UnusableFileTest, APlayOfItFailsTheStartNamingIt) {
  const UnusableFile& row = GetParam();
  std::vector<std::string> args{"play", project_};
  for (const std::string& stage : Args()) args.push_back(stage);
  for (const char* option : {"--frames", "10", "--trace"}) args.emplace_back(option);
  args.push_back(trace_);
  GameProcess play(GameProcess::Scripted(PELMORA_TOOL, folder_.Path(), args, "", folder_, dialogs_, trace_));
  EXPECT_EQ(play.Wait(), 1) << "-1: the start waits on the file\n" << play.Err();
  EXPECT_EQ(Slurp(trace_), "");
  EXPECT_NE(Slurp(dialogs_).find(Box(row.message)), std::string::npos) << Slurp(dialogs_);
  EXPECT_NE(Slurp(project_ + "/Report_Game.txt").find(std::string(row.message) + "\n"), std::string::npos)
      << Slurp(project_ + "/Report_Game.txt");
}

INSTANTIATE_TEST_SUITE_P(EachFile, UnusableFileTest, ::testing::ValuesIn(kUnusableFiles),
                         [](const ::testing::TestParamInfo<UnusableFile>& info) { return info.param.what; });

// A palette picture without a colour table serves every display but the
// 8-bit one: the deeper ones take its colour grid. The game starts and plays.
TEST_F(StartFilesTest, APalettePictureWithoutColourTableServesTheDeeperDisplays) {
  std::ofstream(project_ + "/bmp/plt/Palette.bmp", std::ios::binary | std::ios::trunc) << TrueColourPalette();
  for (const char* ini : {"Direct3D=1\nWindowMode=1\nBpp=0\nVSync=1\nExit\n",
                          "Direct3D=0\nWindowMode=0\nBpp=16\nVSync=1\nExit\n",
                          "Direct3D=0\nWindowMode=0\nBpp=32\nVSync=1\nExit\n"}) {
    SCOPED_TRACE(ini);
    std::ofstream(project_ + "/System.ini", std::ios::trunc) << ini;
    GameProcess game(Run());
    ASSERT_TRUE(WaitFor([&] { return game.Ended() || CountLines(Slurp(trace_)) >= 30; }));
    EXPECT_FALSE(game.Ended()) << game.Err();
    EXPECT_EQ(game.Terminate(), 0) << game.Err();
    EXPECT_EQ(Slurp(dialogs_).find("エラー"), std::string::npos) << Slurp(dialogs_);
  }
}

// An 8-bit game whose blend table has bytes after its 65,536 (a picture
// saved under its name) takes the first 65,536 and plays.
TEST_F(StartFilesTest, ABlendTableLongerThanATableLetsAnEightBitGamePlay) {
  std::ofstream(project_ + "/System.ini", std::ios::trunc) << kEightBitIni;
  std::ofstream(project_ + "/bmp/hbt/hbt00.dat", std::ios::binary | std::ios::app) << TrueColourPalette();
  ASSERT_GT(fs::file_size(project_ + "/bmp/hbt/hbt00.dat"), 65536u);
  GameProcess game(Run());
  ASSERT_TRUE(WaitFor([&] { return game.Ended() || CountLines(Slurp(trace_)) >= 30; }));
  EXPECT_FALSE(game.Ended()) << game.Err();
  EXPECT_EQ(game.Terminate(), 0) << game.Err();
  EXPECT_EQ(Slurp(dialogs_).find("エラー"), std::string::npos) << Slurp(dialogs_);
}

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

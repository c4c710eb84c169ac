#include "data/database.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

#include "data/effect_params.h"
#include "data/effect_runs.h"
#include "platform/text.h"
#include "support/game_data.h"
#include "support/sandbox.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}
std::string U32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string Text(const std::string& cp932) {
  return cp932.empty() ? U32(1) : U32(static_cast<uint32_t>(cp932.size() + 1)) + cp932 + std::string(1, '\0');
}
// A CharaEffect/ScrEffect body: kind and the five parameters as one
// declaration, the name.
std::string EffectDefinition(int32_t kind, std::array<int32_t, 5> p, const std::string& name) {
  std::string b = U32(2) + U32(static_cast<uint32_t>(kind));
  for (int32_t v : p) b += U32(static_cast<uint32_t>(v));
  return b + U32(1) + Text(name);
}
std::string NumberedBody(bool withNumber, int32_t number, const std::string& name) {
  return (withNumber ? U32(1) + U32(static_cast<uint32_t>(number)) : U32(0)) + U32(2) + Text(name) + Text("");
}

// Every test stands on the default project data and leaves it as it was.
class DatabaseTest : public ::testing::Test {
  ScopedGameData data_;
};

TEST_F(DatabaseTest, DefaultContentsAndTheirFiles) {
  cDatabase db;
  for (size_t n : {db.m_BmpCharaExcs.size(), db.m_Pictures.size(), db.m_Sounds.size(), db.m_Bgms.size()})
    EXPECT_EQ(n, 2u);
  ASSERT_EQ(db.m_AnimeSets[0].m_Animes.size(), 4u);
  EXPECT_EQ(db.m_AnimeSets[0].m_Animes[3].m_strName, plat::Sjis("飛行移動"));

  // Anime.dat: version, count, then per animation: 3 fields (i16 0, u8 1,
  // i16 0), the name, one frame {0, 1, 0}.
  auto anime = [](const std::string& name) {
    return U32(3) + Bytes({0, 0, 1, 0, 0}) + U32(1) + Text(name) + U32(1) + U32(3) + U32(0) + U32(1) + U32(0) +
           U32(0);
  };
  EXPECT_EQ(SaveDatabaseListToBytes(db.m_Animes),
            U32(873) + U32(2) + anime(plat::Sjis("なし")) + anime(plat::Sjis("アクションA")));
  // SwordType.dat: number, three texts, one entry of ten values (the last 1).
  std::string entry = U32(10);
  for (int i = 0; i < 10; ++i) entry += U32(i == 9 ? 1 : 0);
  entry += U32(0);
  EXPECT_EQ(SaveDatabaseListToBytes(db.m_SwordTypes),
            U32(873) + U32(1) + U32(1) + U32(0) + U32(3) + U32(1) + U32(1) + U32(1) + U32(1) + entry);
  // Effect.dat: number, 32, 32, 0, two texts, one frame pair {0, 1}.
  std::string effect = U32(4) + U32(0) + U32(32) + U32(32) + U32(0) + U32(2) + U32(1) + U32(1) + U32(1) + U32(2) +
                       U32(0) + U32(1) + U32(0);
  EXPECT_EQ(SaveDatabaseListToBytes(db.m_Effects), U32(873) + U32(2) + effect + effect);
  EXPECT_EQ(SaveDatabaseListToBytes(db.m_CharaEffects),
            U32(873) + U32(2) + EffectDefinition(0, {0, 0, 0, 0, 0}, "") + EffectDefinition(0, {0, 0, 0, 0, 0}, ""));
}

// The upgrades at each version threshold are checked on the independent
// writer's files (project_writer_versions_test); here what those files do
// not hold.
TEST_F(DatabaseTest, AFieldTheVersionDoesNotHoldIsRefusedAndAFileReplacesTheDefaults) {
  cSafeVector<cBgmRecord> bgms;
  EXPECT_FALSE(LoadDatabaseListFromBytes(
      bgms, U32(800) + U32(1) + U32(2) + U32(4) + U32(9) + U32(2) + Text("b") + Text("")));  // value 2 from 814
  ASSERT_TRUE(LoadDatabaseListFromBytes(
      bgms, U32(814) + U32(1) + U32(2) + U32(4) + U32(9) + U32(2) + Text("b") + Text("")));
  EXPECT_EQ(bgms[0].m_nValue2, 9);
  // Each element read replaces a new element's default lists; no padding.
  ASSERT_TRUE(LoadDatabaseListFromBytes(Database.m_Bgms, U32(873) + U32(0)));
  EXPECT_TRUE(Database.m_Bgms.empty());
}

TEST_F(DatabaseTest, BrokenFilesFailWithoutHarm) {
  std::string good = U32(873) + U32(3) + NumberedBody(true, 1, "one") + NumberedBody(true, 2, "two") +
                     NumberedBody(true, 3, "three");
  cSafeVector<cPictureRecord> list;
  list.resize(1);
  list[0].m_strName = "kept";
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_FALSE(LoadDatabaseListFromBytes(list, good.substr(0, cut))) << cut;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].m_strName, "kept");
  }
  EXPECT_TRUE(LoadDatabaseListFromBytes(list, good));
  // Counts no file can hold are refused before anything is allocated.
  EXPECT_FALSE(LoadDatabaseListFromBytes(list, U32(873) + U32(0xFFFFFFFF) + NumberedBody(true, 1, "x")));
  cSafeVector<cAnimeRecord> animes;
  EXPECT_FALSE(LoadDatabaseListFromBytes(
      animes, U32(873) + U32(1) + U32(3) + Bytes({0, 0, 1, 0, 0}) + U32(1) + U32(1) + U32(0x40000000)));
  // Newer than the program.
  EXPECT_FALSE(LoadDatabaseListFromBytes(list, U32(874) + U32(0)));
  EXPECT_EQ(bFileTooNew, 1);
}

// The project's database folder, written from the default lists.
class DatabaseFolderTest : public DatabaseTest {
 protected:
  void SetUp() override {
    cDatabase db;
    Write("AnimeSet.dat", SaveDatabaseListToBytes(db.m_AnimeSets));
    Write("Anime.dat", SaveDatabaseListToBytes(db.m_Animes));
    Write("Bmp_CharaExc.dat", SaveDatabaseListToBytes(db.m_BmpCharaExcs));
    Write("SwordType.dat", SaveDatabaseListToBytes(db.m_SwordTypes));
    Write("Effect.dat", SaveDatabaseListToBytes(db.m_Effects));
    // Entry 0 of the effect lists holds a kind the loader resets.
    Write("CharaEffect.dat", U32(873) + U32(1) + EffectDefinition(5, {1, 2, 3, 4, 5}, "x"));
    Write("ScrEffect.dat", U32(873) + U32(1) + EffectDefinition(9, {1, 2, 3, 4, 5}, "x"));
    Write("Picture.dat", SaveDatabaseListToBytes(db.m_Pictures));
    Write("Sound.dat", SaveDatabaseListToBytes(db.m_Sounds));
    Write("Bgm.dat", U32(873) + U32(3) + NumberedBody(true, 1, "a") + NumberedBody(true, 2, "b\r\nc") +
                         NumberedBody(true, 3, "c"));
  }
  void Write(const std::string& name, const std::string& bytes) { sandbox_.Write("data/database/" + name, bytes); }
  std::string Report() { return sandbox_.Report(); }
  Sandbox sandbox_{"ok;ok;ok;ok"};  // error boxes are answered by the script
};

// A bad index into a database list (or a list inside its records) logs the
// list's element size, the same on every build.
TEST_F(DatabaseFolderTest, BadIndicesLogTheirListsElementSize) {
  cDatabase db;  // the defaults: one animation set of four animations, one sword type, two of the rest
  db.m_AnimeSets.At(9);
  db.m_AnimeSets[0].m_Animes.At(9);
  db.m_Animes.At(9);
  db.m_Animes[0].m_Frames.At(9);
  db.m_BmpCharaExcs.At(9);
  db.m_SwordTypes.At(9);
  db.m_SwordTypes[0].m_Entries.At(9);
  db.m_Effects.At(9);
  db.m_CharaEffects.At(9);
  db.m_ScrEffects.At(9);
  db.m_Pictures.At(9);
  db.m_Sounds.At(9);
  db.m_Bgms.At(-1);
  EXPECT_EQ(Report(),
            "err V[9] ( 1 , 80 )\nerr V[9] ( 4 , 76 )\nerr V[9] ( 2 , 76 )\nerr V[9] ( 1 , 48 )\n"
            "err V[9] ( 2 , 80 )\nerr V[9] ( 1 , 104 )\nerr V[9] ( 1 , 76 )\nerr V[9] ( 2 , 100 )\n"
            "err V[9] ( 2 , 76 )\nerr V[9] ( 2 , 76 )\nerr V[9] ( 2 , 72 )\nerr V[9] ( 2 , 72 )\n"
            "err V[-1] ( 2 , 76 )\n");
}

TEST_F(DatabaseFolderTest, StopsAtTheFirstFileItCannotRead) {
  std::filesystem::remove(sandbox_ / "data/database/Effect.dat");
  Write("Bgm.dat", U32(873) + U32(0));
  Database.m_SwordTypes.clear();
  Database.m_Effects.clear();
  bFileTooNew = 0;
  EXPECT_EQ(LoadDatabase(), 0);
  EXPECT_EQ(Database.m_SwordTypes.size(), 1u);  // files 1..4 were read
  EXPECT_TRUE(Database.m_Effects.empty());      // the rest not
  EXPECT_EQ(Database.m_Bgms.size(), 2u);
  std::string report = Report();
  EXPECT_NE(report.find("data\\database\\Effect.dat の読み込みに失敗しました！"), std::string::npos);
  EXPECT_EQ(report.find("上位のバージョン"), std::string::npos);  // not the too-new file's second line
}

// The effect runs point into the database's lists: a load replaces the
// lists, and its runs are those of the lists it read; a load that fails
// part-way leaves no runs that point into lists since replaced; a scope of
// fresh game data gives the runs back pointing into the lists it gives back.
TEST_F(DatabaseFolderTest, TheEffectRunsPointIntoTheListsLoadedLast) {
  auto expectRunsOfTheLists = [] {
    ASSERT_EQ(GraphicEffectRuns.size(), Database.m_CharaEffects.size());
    ASSERT_EQ(ScreenEffectRunsReversed.size(), Database.m_ScrEffects.size());
    for (size_t i = 0; i < GraphicEffectRuns.size(); ++i) {
      EXPECT_EQ(GraphicEffectRuns[i].pDef, &Database.m_CharaEffects[i]) << i;
      EXPECT_EQ(GraphicEffectRunsReversed[i].pDef, &Database.m_CharaEffects2[i]) << i;
    }
    for (size_t i = 0; i < ScreenEffectRuns.size(); ++i) {
      EXPECT_EQ(ScreenEffectRuns[i].pDef, &Database.m_ScrEffects[i]) << i;
      EXPECT_EQ(ScreenEffectRunsReversed[i].pDef, &Database.m_ScrEffects2[i]) << i;
    }
  };
  Database.m_CharaEffects.resize(3);  // the runs of other lists, as an earlier game left them
  Database.m_ScrEffects.resize(3);
  PrepareDatabaseTables();
  ASSERT_EQ(LoadDatabase(), 1);
  ASSERT_EQ(Database.m_CharaEffects.size(), 1u);  // the folder's one definition
  expectRunsOfTheLists();
  {
    ScopedGameData fresh;
    EXPECT_TRUE(GraphicEffectRuns.empty() && ScreenEffectRuns.empty()) << "runs of lists that are gone";
    ASSERT_EQ(LoadDatabase(), 1);
    expectRunsOfTheLists();
  }
  expectRunsOfTheLists();
  std::filesystem::remove(sandbox_ / "data/database/ScrEffect.dat");
  EXPECT_EQ(LoadDatabase(), 0);
  EXPECT_TRUE(GraphicEffectRuns.empty() && GraphicEffectRunsReversed.empty() && ScreenEffectRuns.empty() &&
              ScreenEffectRunsReversed.empty());
}

TEST_F(DatabaseTest, AnimationAndEffectTables) {
  cAnimeRecord& a = Database.m_Animes[1];
  a.m_Frames.assign(3, cAnimeFrame());
  for (int i = 0; i < 3; ++i) {
    a.m_Frames[i].m_nCell = 10 + i;
    a.m_Frames[i].m_nDuration = i + 1;
    a.m_Frames[i].m_nHold = i == 1 ? 1 : 0;
  }
  Database.m_Animes[0].m_Frames[0].m_nDuration = 7;
  AnimeTable table;
  BuildAnimeTable(table);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0], (std::vector<cAnimeTableFrame>{{0, 0, 1}, {-2, 0, 1}}));
  EXPECT_EQ(table[1], (std::vector<cAnimeTableFrame>{{10, 6, 0}, {11, 12, 1}, {12, 18, 1}, {-4, 0, 0}}));
  Database.m_Effects[1].m_Frames = {cIntPair(3, 2), cIntPair(4, 1)};
  Database.m_Effects[1].m_Frames[1].m_nSecond = 0x40000000;  // saturates instead of overflowing
  BuildEffectTable(table);
  EXPECT_EQ(table[0], (std::vector<cAnimeTableFrame>{{0, 0, 1}, {-2, 0, 1}}));
  EXPECT_EQ(table[1], (std::vector<cAnimeTableFrame>{{3, 12, 0}, {4, INT32_MAX, 0}, {-4, 0, 0}}));
}

TEST_F(DatabaseTest, EffectRunsForwardAndReversed) {
  Database.m_CharaEffects.resize(4);
  Database.m_CharaEffects[1].m_nKind = 1;
  std::array<int32_t, 5> burst = {5, 0, 32, 0, 0};
  std::copy(burst.begin(), burst.end(), Database.m_CharaEffects[1].m_nParams);
  Database.m_CharaEffects[2].m_nKind = 6;  // blink
  Database.m_CharaEffects[2].m_nParams[0] = 4;
  Database.m_CharaEffects[3].m_nKind = 13;  // start = end, and no running time
  Database.m_ScrEffects[1].m_nKind = 1;     // move
  int32_t move[5] = {10, 1, 2, 3, 4};
  std::copy(move, move + 5, Database.m_ScrEffects[1].m_nParams);
  Database.m_ScrEffects.resize(3);
  Database.m_ScrEffects[2].m_nKind = 13;
  Database.m_ScrEffects[2].m_nParams[0] = 7;
  Database.m_ScrEffects[2].m_nParams[1] = Database.m_ScrEffects[2].m_nParams[2] = 3;
  PrepareDatabaseTables();

  ASSERT_EQ(GraphicEffectRuns.size(), 4u);
  const cGraphicEffectRun &f = GraphicEffectRuns[1], &r = GraphicEffectRunsReversed[1];
  EXPECT_EQ(std::tuple(f.nTime, f.nStart, f.nEnd, r.nStart, r.nEnd), std::tuple(5, 0, 32, 32, 0));
  EXPECT_DOUBLE_EQ(f.dStep, 32.0 / 30.0);
  EXPECT_DOUBLE_EQ(r.dValue, 32.0);
  EXPECT_EQ(Database.m_CharaEffects2[1].m_nParams[1], 32);  // swapped in the second list only
  EXPECT_EQ(Database.m_CharaEffects[1].m_nParams[1], 0);
  EXPECT_EQ(GraphicEffectRuns[2].nEnd, 4);
  EXPECT_DOUBLE_EQ(GraphicEffectRuns[2].dStep, 1.0 / 6.0);
  EXPECT_DOUBLE_EQ(GraphicEffectRuns[3].dStep, 1.0 / 6.0);

  // Start and end points exchanged in the reversed run.
  EXPECT_EQ(std::tuple(ScreenEffectRuns[1].nWord1, ScreenEffectRuns[1].nWord2, ScreenEffectRunsReversed[1].nWord1,
                       ScreenEffectRunsReversed[1].nWord2),
            std::tuple(1, 2, 3, 4));
  EXPECT_EQ(std::tuple(ScreenEffectRuns[2].bTimeOnly, ScreenEffectRuns[2].nTime), std::tuple(1, 7));
  EXPECT_TRUE(std::isfinite(ScreenEffectRuns[0].dStep));
}

}  // namespace

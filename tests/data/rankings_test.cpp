#include "data/rankings.h"

#include <gtest/gtest.h>

#include "records_support.h"
#include "scene/play_record.h"
#include "support/kill_while_writing.h"
#include "support/sandbox.h"

namespace {

using records_test::Bytes;

// A ranking file from the layout: lists of (order flag, entries of used,
// score, name).
struct Entry {
  int used;
  int score;
  std::string name;
};
std::string RankingBytes(int version, const std::vector<std::pair<int, std::vector<Entry>>>& lists) {
  Bytes b;
  b.u32(version).u32(0).u32(0).u32(lists.size());
  for (const auto& [order, entries] : lists) {
    b.u32(1).u32(order).u32(0).u32(entries.size());
    for (const Entry& e : entries) b.u32(2).u32(e.used).u32(e.score).u32(1).str(e.name);
  }
  return b.s();
}
std::vector<Entry> Empty(size_t n) { return std::vector<Entry>(n, Entry{0, 0, ""}); }

TEST(RankingsTest, AFreshRegistrationWritesTheExactFile) {
  Sandbox box;
  cRankingFile ranking;
  // What was shown last (another stage's ranking) stays out of this file.
  ranking.List(kRankingGenreScore).InsertScore("zzz", 900);
  const bool wanted[5] = {true, false, true, false, false};
  const int32_t values[5] = {500, 1, 0x7FFFFFFF, 1, 1};
  int places[5];
  ASSERT_EQ(RegisterRankingResult(ranking, 0, "abc.", 0, 0, 0, wanted, values, "aaa", places), 1);
  EXPECT_EQ(ranking.m_nLastLoad, RankingLoad::kMissing);
  EXPECT_EQ(std::vector<int>(places, places + 5), (std::vector<int>{0, -1, 0, -1, -1}));
  std::vector<Entry> first = Empty(20), slowest = Empty(20);
  first[0] = {1, 500, "aaa"};
  slowest[0] = {1, 0x7FFFFFFF, "aaa"};  // an empty place takes any time
  const std::string expected =
      RankingBytes(873, {{1, first}, {1, Empty(20)}, {0, slowest}, {1, Empty(20)}, {1, Empty(20)}});
  EXPECT_EQ(box.Read("user_data/story/abc.rkg"), expected);
  cRankingFile back;
  EXPECT_EQ(back.Load(0, "abc.", 0, 0, 0), 1);
  EXPECT_EQ(back.SaveToBytes(), expected);
}

TEST(RankingsTest, PlacesOfNewScores) {
  cRankingList higher, lower;
  higher.m_bHigherFirst = 1;  // a new list ranks lower values first
  for (int i = 0; i < 20; ++i) {
    higher.InsertScore("h", 100 - i);  // 100 .. 81
    lower.InsertScore("l", 10 + i);    // 10 .. 29
  }
  const struct {
    cRankingList* list;
    int score, place;
  } cases[] = {{&higher, 81, -1}, {&higher, 82, 19}, {&higher, 101, 0}, {&higher, 90, 11},
               {&lower, 29, -1},  {&lower, 28, 19},  {&lower, 9, 0},     {&lower, 10, 1}};
  for (const auto& c : cases) EXPECT_EQ(c.list->FindRank(c.score), c.place) << c.score;
  higher.InsertScore("x", 81);  // equal to the last: does not enter
  EXPECT_EQ(higher.m_Entries.back().m_strName, "h");
  higher.InsertScore("y", 82);  // pushes the last out
  ASSERT_EQ(higher.m_Entries.size(), 20u);
  EXPECT_EQ(higher.m_Entries[19].m_strName, "y");
  EXPECT_EQ(higher.m_Entries[18].m_nScore, 82);  // the 82 there stays before it
}

TEST(RankingsTest, OldAndOddFilesGiveFiveListsOfTwenty) {
  cRankingFile ranking;
  // Up to 180: five lists, 3 and 4 rank higher values first.
  std::vector<Entry> one = Empty(3);
  one[0] = {1, 7, "old"};
  ASSERT_TRUE(ranking.LoadFromBytes(RankingBytes(180, {{1, one}, {0, Empty(2)}, {0, {}}})));
  ASSERT_EQ(ranking.m_Lists.size(), 5u);
  const int orders[5] = {1, 0, 0, 1, 1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ranking.m_Lists[i].m_Entries.size(), 20u) << i;
    EXPECT_EQ(ranking.m_Lists[i].m_bHigherFirst, orders[i]) << i;
  }
  EXPECT_EQ(ranking.List(0).m_Entries[0].m_strName, "old");
  // No lists at all, or seven: five, with their own order flags.
  ASSERT_TRUE(ranking.LoadFromBytes(RankingBytes(873, {})));
  EXPECT_EQ(ranking.m_Lists.size(), 5u);
  EXPECT_EQ(ranking.List(2).m_bHigherFirst, 0);
  EXPECT_EQ(ranking.List(7).m_bHigherFirst, 1);  // outside: list 0
  ASSERT_TRUE(ranking.LoadFromBytes(RankingBytes(873, std::vector(7, std::make_pair(1, Empty(25))))));
  EXPECT_EQ(ranking.m_Lists.size(), 5u);
  EXPECT_EQ(ranking.m_Lists[4].m_Entries.size(), 20u);
}

TEST(RankingsTest, UnreadableFilesAreNeverWrittenOver) {
  Sandbox box;
  const std::string good = RankingBytes(873, std::vector(5, std::make_pair(1, Empty(20))));
  std::string tooNew = good, lying = good;
  tooNew[1] = '\x04';
  lying.replace(16, 4, "\xFF\xFF\xFF\x0F");  // the first list's field count
  for (const std::string& bad : {tooNew, lying, good.substr(0, 50), std::string("x")}) {
    box.Write("user_data/free/s.rkg", bad);
    cRankingFile ranking;
    EXPECT_EQ(ranking.Load(2, "data\\stg4\\s.", 0, 0, 0), 0);
    EXPECT_EQ(ranking.m_nLastLoad, RankingLoad::kUnreadable);
    EXPECT_EQ(ranking.List(0).FindRank(1), 0);  // the defaults
    ranking.List(0).InsertScore("n", 1);
    ASSERT_EQ(ranking.Save(2, "data\\stg4\\s.", 0, 0, 0), 1);
    EXPECT_EQ(box.Read("user_data/free/s.rkg.bak"), bad);
    // A second unreadable file finds the backup name taken: not saved.
    box.Write("user_data/free/s.rkg", bad);
    EXPECT_EQ(ranking.Load(2, "s.", 0, 0, 0), 0);
    EXPECT_EQ(ranking.Save(2, "s.", 0, 0, 0), 0);
    EXPECT_EQ(box.Read("user_data/free/s.rkg"), bad);
    std::remove((box / "user_data/free/s.rkg.bak").c_str());
  }
}

// A ranking being written when the program is killed is the old file or
// the new one, whole, never a mix or a cut one.
TEST(RankingsTest, AKilledWriteLeavesTheOldOrTheNewFileWhole) {
  Sandbox box;
  // Two rankings that differ everywhere; long names make each write long
  // enough to be caught in the middle.
  cRankingFile versions[2];
  for (int v = 0; v < 2; ++v)
    for (int genre = 0; genre < kRankingGenreCount; ++genre)
      for (int place = 0; place < 20; ++place)
        versions[v].List(genre).InsertScore(std::string(3000 + v * 1000, static_cast<char>('a' + v + genre)),
                                            1000 + place * (v + 1));
  const std::string bytes[2] = {versions[0].SaveToBytes(), versions[1].SaveToBytes()};
  ASSERT_NE(bytes[0], bytes[1]);
  const std::string path = "user_data\\free\\s.rkg";
  ASSERT_TRUE(versions[0].SaveFile(path));
  KillWhileWriting(
      8, [&](int version) { versions[version].SaveFile(path); },
      [&](int round) {
        const std::string onDisk = box.Read("user_data/free/s.rkg");
        EXPECT_TRUE(onDisk == bytes[0] || onDisk == bytes[1]) << "round " << round << ": " << onDisk.size() << " bytes";
        cRankingFile loaded;
        EXPECT_EQ(loaded.LoadFile(path), RankingLoad::kLoaded) << round;
      });
}

TEST(RankingsTest, NamesAndNumbers) {
  const struct {
    int kind;
    const char* stage;
    int n1, n2, n3;
    const char* name;
  } names[] = {{0, "abc.", 0, 0, 0, "user_data\\story\\abc.rkg"},
               {0, "abc.", 1, 7, 2, "user_data\\story\\abc_c007_2.rkg"},
               {1, "data\\stg4\\c01.", 1, 7, 2, "user_data\\challenge\\c01.rkg"},
               {2, "x.", 0, 0, 0, "user_data\\free\\x.rkg"},
               {3, "x.", 0, 0, 0, ""},
               {0, "", 0, 0, 0, ""},
               // A stage file names its base form's file.
               {0, "data\\stg4\\stage1.stg4_1", 0, 0, 0, "user_data\\story\\stage1.rkg"},
               {0, "data\\stg4\\abc-1.stg4_001", 1, 7, 2, "user_data\\story\\abc_c007_2.rkg"},
               {1, "data\\stg4\\c02-1.stg4_001", 0, 0, 0, "user_data\\challenge\\c02.rkg"},
               {2, "data/stg4/x-2.stg4", 0, 0, 0, "user_data\\free\\x-2.rkg"},
               {2, "data\\stg4\\noext", 0, 0, 0, ""}};
  for (const auto& n : names) {
    EXPECT_EQ(MakeRankingFileName(n.kind, n.stage, n.n1, n.n2, n.n3), n.name) << n.stage;
    // The play record's base form of that stage names the same file.
    cSaveData record;
    record.SetStage(n.stage, n.n1, n.n2, n.n3);
    EXPECT_EQ(MakeRankingFileName(n.kind, record.StageBaseName(), n.n1, n.n2, n.n3), n.name) << n.stage;
  }

  const struct {
    int32_t value;
    const char* text;
  } times[] = {{6543, "01:05.43"}, {0, "00:00.00"}, {99, "00:00.99"}, {6000, "01:00.00"}, {360000, "60:00.00"},
               {-6543, "-01:-05.-43"}};
  for (const auto& t : times) EXPECT_EQ(FormatFrameTime(t.value), t.text) << t.value;
  EXPECT_EQ(FormatNumberPadded(-42, 3), "-042");
  EXPECT_EQ(CountDecimalDigits(-2147483647 - 1), 10);
  EXPECT_EQ(CountDecimalDigits(0), 1);
}

}  // namespace

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "play/world/anime_player.h"

namespace {

using Frames = std::vector<cAnimeFrameEntry>;

std::vector<int32_t> StepN(cAnimePlayer& player, size_t n) {
  std::vector<int32_t> cells;
  while (cells.size() < n) cells.push_back(player.Step());
  return cells;
}

TEST(AnimePlayer, StepSequences) {
  struct Case {
    const char* name;
    std::vector<Frames> animes;
    int32_t start;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"hold", {{{0, 3, 0}, {1, 3, 0}, {kAnimeHold, 0, 0}}}, 0, {0, 0, 1, 1, 1, 1, 1, 1}},
      {"loop", {{{0, 2, 0}, {1, 2, 0}, {kAnimeLoop, 0, 0}}}, 0, {0, 1, 1, 0, 0, 1}},
      {"durations 0 and below last one step", {{{7, 0, 0}, {8, -5, 0}, {9, 1, 0}, {kAnimeLoop, 0, 0}}}, 0, {8, 9, 7, 8}},
      {"end code stays", {{{4, 2, 0}, {kAnimeEnd, 0, 0}}}, 0, {4, -4, -4}},
      {"jump, flag ignored", {{{5, 2, 1}, {kAnimeJump, 2, 1}}, {}, {{9, 2, 1}, {10, 1, 0}, {kAnimeLoop, 0, 0}}}, 0, {5, 9, 9, 10, 9}},
      {"jump outside the set holds", {{{3, 1, 0}, {kAnimeJump, 7, 0}}}, 0, {3, 3}},
      {"bare hold shows 0", {{{kAnimeHold, 0, 0}}}, 0, {0, 0}},
      {"a list without a code is closed by a hold", {{{1, 1, 0}, {kAnimeLoop, 0, 0}}, {{3, 2, 0}, {4, 1, 0}}}, 1, {3, 4, 4, 4}},
  };
  for (const auto& c : cases) {
    cAnimePlayer player;
    player.SetAnimeSet(c.animes);
    player.SetAnime(c.start, 1);
    EXPECT_EQ(StepN(player, c.expected.size()), c.expected) << c.name;
  }
  cAnimePlayer empty;
  EXPECT_EQ(empty.Step(), 0);
}

TEST(AnimePlayer, FlagRefusesSwitchesWithoutForce) {
  cAnimePlayer player;
  player.SetAnimeSet(std::vector<Frames>{{{0, 4, 1}, {kAnimeLoop, 0, 1}}, {{2, 4, 0}, {kAnimeLoop, 0, 0}}});
  player.Step();
  EXPECT_EQ(player.SetAnime(1, 0) + player.ChangeAnime(1, 0), 0);
  EXPECT_EQ(player.m_nTick, 1);
  EXPECT_EQ(player.SetAnime(1, 1), 1);
  player.Step();
  // The current animation runs on under ChangeAnime and restarts under SetAnime.
  EXPECT_EQ(player.ChangeAnime(1, 0), 1);
  EXPECT_EQ(player.m_nTick, 1);
  EXPECT_EQ(player.SetAnime(1, 1), 1);
  EXPECT_EQ(player.m_nTick, 0);
}

TEST(AnimePlayer, BuiltInLists) {
  cAnimePlayer item;
  item.SetAnimeSet(kItemAnimeSet);
  ASSERT_EQ(item.Animes().size(), 1u);
  std::vector<int32_t> words;
  for (const auto& f : item.Animes()[0]) words.insert(words.end(), {f.cell, f.duration, f.uninterruptible});
  EXPECT_EQ(words, (std::vector<int32_t>{0, 15, 1, 1, 15, 1, -2, 0, 1}));

  cAnimePlayer shot;
  shot.SetAnimeSet(kShotAnimeSet);
  std::vector<int32_t> expected(6, 0);
  expected.insert(expected.end(), 7, 1);
  expected.insert(expected.end(), 7, 2);
  expected.push_back(-4);
  EXPECT_EQ(StepN(shot, 21), expected);
  shot.SetAnime(1, 0);
  expected.assign(7, 0);
  expected.insert(expected.end(), 8, 1);
  expected.push_back(0);
  EXPECT_EQ(StepN(shot, 16), expected);
}

// Players given equal animations share one copy of them, whether from the
// built-in lists or from frame vectors; a set that differs in any word of
// any frame, or in the count of frames or animations, is a copy of its own
// with its own frames. Sharing leaves each player's own place alone.
TEST(AnimePlayer, PlayersGivenEqualAnimationsShareOneCopy) {
  cAnimePlayer a, b;
  a.SetAnimeSet(kShotAnimeSet);
  b.SetAnimeSet(kShotAnimeSet);
  EXPECT_EQ(&a.Animes(), &b.Animes());

  using Frames = std::vector<std::vector<cAnimeFrameEntry>>;
  const Frames walk = {{{0, 6, 1}, {1, 6, 1}, {kAnimeLoop, 0, 1}}, {{2, 12, 0}, {kAnimeHold, 0, 0}}};
  cAnimePlayer c, d;
  c.SetAnimeSet(walk);
  d.SetAnimeSet(walk);
  EXPECT_EQ(&c.Animes(), &d.Animes());
  Frames variants[5] = {walk, walk, walk, walk, walk};
  variants[0][0][1].cell = 3;
  variants[1][1][0].duration = 13;
  variants[2][0][0].uninterruptible = 0;
  variants[3][1].insert(variants[3][1].begin(), {4, 1, 0});
  variants[4].push_back({{5, 1, 0}, {kAnimeEnd, 0, 0}});
  for (size_t i = 0; i < std::size(variants); ++i) {
    cAnimePlayer other;
    other.SetAnimeSet(variants[i]);
    EXPECT_NE(&other.Animes(), &c.Animes()) << i;
    ASSERT_EQ(other.Animes().size(), variants[i].size()) << i;
    for (size_t n = 0; n < variants[i].size(); ++n) {
      ASSERT_EQ(other.Animes()[n].size(), variants[i][n].size()) << i;
      for (size_t f = 0; f < variants[i][n].size(); ++f)
        EXPECT_EQ(other.Animes()[n][f].duration, variants[i][n][f].duration) << i;
    }
  }

  c.SetAnime(1, 1);
  c.Step();
  EXPECT_EQ((std::vector<int32_t>{c.m_nAnime, c.m_nTick, d.m_nAnime, d.m_nTick}), (std::vector<int32_t>{1, 1, 0, 0}));
  c.ClearAnimes();
  EXPECT_TRUE(c.Empty());
  EXPECT_EQ(d.Animes().size(), 2u);
}

}  // namespace

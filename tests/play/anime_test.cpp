#include <gtest/gtest.h>

#include <vector>

#include "play/anime_player.h"

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
  ASSERT_EQ(item.m_Animes.size(), 1u);
  std::vector<int32_t> words;
  for (const auto& f : item.m_Animes[0]) words.insert(words.end(), {f.cell, f.duration, f.uninterruptible});
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

}  // namespace

#include "scene/ranking_draw.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/text.h"

namespace {

// Keeps the position of every text (8 dots a byte wide), the box and the pointer.
class RecordingPainter : public cRankingPainter {
 public:
  void FrameBox(int32_t x, int32_t y, int32_t w, int32_t h) override { box = {x, y, w, h}; }
  void Text(int32_t x, int32_t y, const std::string& t, bool plain) override {
    texts[t] = {x, y, plain};
    order.push_back(t);
  }
  int32_t TextWidth(const std::string& t) override { return static_cast<int32_t>(t.size()) * 8; }
  void Pointer(int32_t x, int32_t y) override { pointer = {x, y}; }
  std::vector<int32_t> box, pointer;
  std::map<std::string, std::vector<int32_t>> texts;  // x, y, plain
  std::vector<std::string> order;
};

TEST(RankingDrawTest, ListLayout) {
  cRankingList list;
  list.m_bHigherFirst = 1;
  list.InsertScore("ann", 12345);
  list.InsertScore("bob", 80);
  RecordingPainter p;
  DrawRankingScreen(list, p, 100, 50, kRankingGenreScore, 1, cRankingLook{.english = true, .plainNames = true, .genreCount = 3});
  // The box at the list's corner plus one, 270 wide; as high as the
  // heading, 20 places and the hint, and the room below them.
  EXPECT_EQ(p.box, (std::vector<int32_t>{101, 51, 270, 22 * 16 + kRankingBoxRoomBelow}));
  EXPECT_EQ(p.texts.count("Ranking     " + plat::Sjis("スコア")), 1u);
  // Scores end in the first place's last digit column.
  const std::map<std::string, std::vector<int32_t>> expected = {
      {"1", {116, 66, 0}},  {"ann", {164, 66, 1}}, {"12345", {100 + 8 * 16, 66, 0}},
      {"2", {116, 82, 0}},  {"bob", {164, 82, 1}}, {"80", {100 + 11 * 16, 82, 0}}};
  for (const auto& [text, at] : expected) EXPECT_EQ(p.texts[text], at) << text;
  const std::string hint = plat::Sjis("Vキーでジャンルの切り替え");
  EXPECT_EQ(p.texts[hint], (std::vector<int32_t>{236 - static_cast<int32_t>(hint.size()) * 4, 50 + 21 * 16, 0}));
  EXPECT_EQ(p.pointer, (std::vector<int32_t>{100, 50 + 2 * 16}));

  // Clear times at x + 144; one genre: no hint; nothing highlighted.
  cRankingList times;
  times.InsertScore("c", 6543);
  RecordingPainter q;
  DrawRankingScreen(times, q, 0, 0, kRankingGenreClearTime, -1, cRankingLook{});
  EXPECT_EQ(q.texts["01:05.43"], (std::vector<int32_t>{144, 16, 0}));
  EXPECT_EQ(q.box, (std::vector<int32_t>{1, 1, 270, 21 * 16 + kRankingBoxRoomBelow}));
  EXPECT_TRUE(q.pointer.empty());
}

TEST(RankingDrawTest, PlayRecordBoxShowsTheEnabledGenres) {
  const int32_t values[5] = {500, 30, 6543, 7, 8};
  const uint32_t stage[5] = {1, 0, 1, 1, 1};
  const uint8_t mode[5] = {1, 1, 1, 0, 1};
  RecordingPainter p, test, none;
  EXPECT_TRUE(DrawPlayRecordBox(p, 10, 20, stage, mode, values));
  EXPECT_EQ(p.order, (std::vector<std::string>{plat::Sjis("スコア"), "500", plat::Sjis("クリア時間"), "01:05.43",
                                               plat::Sjis("残りSP"), "8"}));
  DrawPlayRecordBox(test, 0, 0, stage, nullptr, values);  // test play: the play mode's flags do not apply
  EXPECT_EQ(test.box[3], 4 * 16);
  const uint32_t off[5] = {};
  EXPECT_FALSE(DrawPlayRecordBox(none, 0, 0, off, nullptr, values));
  EXPECT_TRUE(none.box.empty());
}

}  // namespace

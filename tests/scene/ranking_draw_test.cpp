#include "scene/ranking_draw.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/text.h"

namespace {

// Notes every call; a text is 8 dots a byte wide.
class RecordingPainter : public cRankingPainter {
 public:
  struct Call {
    char kind;  // 'B' box, 'T' text, 'P' pointer
    int32_t x, y, w, h;
    std::string text;
    bool plain;
  };
  void FrameBox(int32_t x, int32_t y, int32_t w, int32_t h) override { calls.push_back({'B', x, y, w, h, "", false}); }
  void Text(int32_t x, int32_t y, const std::string& t, bool plain) override {
    calls.push_back({'T', x, y, 0, 0, t, plain});
  }
  int32_t TextWidth(const std::string& t) override { return static_cast<int32_t>(t.size()) * 8; }
  void Pointer(int32_t x, int32_t y) override { calls.push_back({'P', x, y, 16, 16, "", false}); }
  const Call* Find(const std::string& text) const {
    for (const Call& c : calls)
      if (c.kind == 'T' && c.text == text) return &c;
    return nullptr;
  }
  std::vector<Call> calls;
};

TEST(RankingDrawTest, ListLayout) {
  cRankingList list;
  list.m_bHigherFirst = 1;
  list.InsertScore("ann", 12345);
  list.InsertScore("bob", 80);
  RecordingPainter p;
  DrawRankingScreen(list, p, 100, 50, kRankingGenreScore, 1, cRankingLook{.english = true, .plainNames = true, .genreCount = 3});
  ASSERT_FALSE(p.calls.empty());
  EXPECT_EQ(p.calls[0].kind, 'B');
  EXPECT_EQ(p.calls[0].x, 101);
  EXPECT_EQ(p.calls[0].w, kRankingBoxWidth);
  EXPECT_EQ(p.calls[0].h, 22 * 16);  // heading, 20 places, the hint
  ASSERT_NE(p.Find("Ranking     " + plat::Sjis("スコア")), nullptr);
  const struct {
    std::string text;
    int32_t x, y;
    bool plain;
  } texts[] = {{"1", 116, 66, false},        {"ann", 164, 66, true},  {"12345", 100 + 8 * 16, 66, false},
               {"2", 116, 82, false},        {"bob", 164, 82, true},  {"80", 100 + 11 * 16, 82, false}};
  for (const auto& t : texts) {
    const RecordingPainter::Call* c = p.Find(t.text);
    ASSERT_NE(c, nullptr) << t.text;
    EXPECT_EQ(c->x, t.x) << t.text;
    EXPECT_EQ(c->y, t.y) << t.text;
    EXPECT_EQ(c->plain, t.plain) << t.text;
  }
  const std::string hint = plat::Sjis("Vキーでジャンルの切り替え");
  ASSERT_NE(p.Find(hint), nullptr);
  EXPECT_EQ(p.Find(hint)->x, 236 - static_cast<int32_t>(hint.size()) * 4);
  EXPECT_EQ(p.Find(hint)->y, 50 + 21 * 16);
  EXPECT_EQ(p.calls.back().kind, 'P');
  EXPECT_EQ(p.calls.back().y, 50 + 2 * 16);

  // Clear times, lower first, no hint for a single genre, nothing highlighted;
  // an empty list shows only its heading.
  cRankingList times;
  times.InsertScore("c", 6543);
  RecordingPainter q;
  DrawRankingScreen(times, q, 0, 0, kRankingGenreClearTime, -1, cRankingLook{});
  ASSERT_NE(q.Find("01:05.43"), nullptr);
  EXPECT_EQ(q.Find("01:05.43")->x, 144);
  EXPECT_EQ(q.calls[0].h, 21 * 16);
  EXPECT_NE(q.calls.back().kind, 'P');
  RecordingPainter empty;
  DrawRankingScreen(cRankingList(), empty, 0, 0, kRankingGenreScore, -1, cRankingLook{});
  EXPECT_EQ(empty.calls.size(), 2u);
}

TEST(RankingDrawTest, PlayRecordBoxShowsTheEnabledGenres) {
  const int32_t values[5] = {500, 30, 6543, 7, 8};
  const uint32_t stage[5] = {1, 0, 1, 1, 1};
  const uint8_t mode[5] = {1, 1, 1, 0, 1};
  RecordingPainter p;
  DrawPlayRecordBox(p, 10, 20, stage, mode, values);
  std::vector<std::string> shown;
  for (const auto& c : p.calls)
    if (c.kind == 'T') shown.push_back(c.text);
  EXPECT_EQ(shown, (std::vector<std::string>{plat::Sjis("スコア"), "500", plat::Sjis("クリア時間"), "01:05.43",
                                             plat::Sjis("残りSP"), "8"}));
  EXPECT_EQ(p.calls[0].h, 3 * 16);
  RecordingPainter test;
  DrawPlayRecordBox(test, 0, 0, stage, nullptr, values);  // the play mode's flags do not apply
  EXPECT_EQ(test.calls[0].h, 4 * 16);
  RecordingPainter none;
  const uint32_t off[5] = {};
  DrawPlayRecordBox(none, 0, 0, off, nullptr, values);
  EXPECT_TRUE(none.calls.empty());
}

}  // namespace

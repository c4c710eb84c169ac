// The largest stages a stage file may hold are laid out whole: the scroll
// records, the block map with a block in its far corner, the hero there and
// a few frames played. And the scroll range of any column numbers stays in
// 32 bits.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "play/objects/hero.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

TEST(StageLimitsLayoutTest, TheLargestStagesLayOutWhole) {
  const std::pair<int32_t, int32_t> sizes[] = {{32768, 256}, {256, 32768}, {32768, 1}, {1, 32768}, {1, 1}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    StageBuilder stage(width, height);
    stage.Hero(width - 1, height - 1).Block(width - 1, 0);
    StageSession session(stage);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    EXPECT_EQ(std::pair(scene.m_ScrollX.m_nExtent, scene.m_ScrollY.m_nExtent), std::pair(width + 20, height + 20));
    EXPECT_EQ(std::pair(scene.m_ScrollX.m_nFullUpper, scene.m_ScrollY.m_nFullUpper),
              std::pair((width + 10) * 32, (height + 10) * 32));
    const cBlockMap& map = scene.BlockMap();
    ASSERT_EQ(std::pair(map.Columns(), map.Rows()), std::pair(width + 20, height + 20));
    EXPECT_TRUE(map.HasBlock(map.CellIndex(width - 1 + 10, 10)));
    ASSERT_TRUE(scene.HasHero());
    EXPECT_EQ(scene.Hero().m_nColumnLeft, width - 1 + 10);
    session.Frames(3);
    EXPECT_EQ(scene.m_nMode, kStageModePlay);
  }
}

TEST(StageLimitsLayoutTest, TheScrollRangeOfAnyColumnsStaysInThirtyTwoBits) {
  cAutoScroll x;
  const struct {
    int32_t first, last, low, high;
  } cases[] = {
      {-32768, 32767, -32768 * 32 + 320, 32768 * 32 + 320},  // the ends a stage file may give
      {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
      {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX},          // never ends before it starts
      {-5, -3, -5 * 32 + 320, -2 * 32 + 320},
  };
  for (const auto& c : cases) {
    x.SetRange(c.first, c.last, 1, 1);
    EXPECT_EQ(std::pair(x.rangeLow, x.rangeHigh), std::pair(c.low, c.high)) << c.first << " " << c.last;
  }
}

}  // namespace

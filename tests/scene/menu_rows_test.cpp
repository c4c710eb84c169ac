// Menu rows: which rows show, which record a cursor row stands for, and
// where a menu centred on a point begins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "scene/menu_rows.h"

namespace {

cSafeVector<cCmd> Rows(const std::vector<std::pair<int, std::string>>& spec) {
  cSafeVector<cCmd> rows;
  for (const auto& [enabled, text] : spec) {
    cCmd row;
    row.m_bEnabled = static_cast<uint32_t>(enabled);
    row.m_strLabel = text;
    rows.push_back(row);
  }
  return rows;
}

TEST(MenuRowsTest, CursorRowsMapToTheEnabledRecords) {
  const auto rows = Rows({{1, "quit"}, {0, "hidden"}, {1, "retry"}, {0, "map"}, {1, "last"}});
  EXPECT_EQ(CountEnabled(rows), 3);
  const struct {
    int row, index;
  } cases[] = {{0, 0}, {1, 2}, {2, 4}, {3, 0}, {-1, 0}};  // past the enabled rows: the first record
  for (const auto& c : cases) EXPECT_EQ(GetCmdNum(c.row, rows), c.index) << "row " << c.row;
  EXPECT_EQ(GetCmdNum(0, Rows({{0, "a"}, {0, "b"}})), 0);
}

TEST(MenuRowsTest, MenuLeftEdgeCountsCharactersOfEnabledRows) {
  // Three double-byte characters and a line feed are three characters:
  // 320 - (3 + 1) * 16 / 2.
  const std::string wide = plat::Sjis("つづけ") + "\n";
  const struct {
    cSafeVector<cCmd> rows;
    int32_t left;
  } cases[] = {
      {Rows({{1, wide}}), 288},
      {Rows({{1, "ab"}, {0, "much longer text"}, {1, "abcde"}}), 320 - 6 * 16 / 2},
      {Rows({{0, "hidden"}}), 320},  // nothing shown: the centre itself
      {Rows({}), 320},
      {Rows({{1, ""}}), 320},
  };
  for (const auto& c : cases) EXPECT_EQ(GetMaxTextWidth(320, c.rows), c.left);
}

}  // namespace

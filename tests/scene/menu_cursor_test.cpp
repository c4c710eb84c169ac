#include "scene/menu_cursor.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/program.h"
#include "platform/messages.h"

namespace {

struct Move {
  uint16_t keys;
  int32_t column, row, x, y;
};

TEST(MenuCursorTest, GridWrapsAtEveryEdge) {
  cMenuCursor cursor;
  const Move script[] = {
      {kDirLeft, 2, 0, 210, 20},   {kDirDown, 2, 1, 210, 70},  {kDirDown, 2, 0, 210, 20},
      {kDirUp, 2, 1, 210, 70},     {kDirRight, 0, 1, 10, 70},  {kDirLeft | kDirRight, 2, 1, 210, 70},
      {kDirUp | kDirDown, 2, 0, 210, 20}, {kDirRight | kDirDown, 0, 1, 10, 70}, {0, 0, 1, 10, 70},
  };
  for (const Move& m : script) {
    cursor.MoveGrid(m.keys, 10, 20, 100, 50, 3, 2);
    const MenuCursorRecord& c = cursor.Current();
    EXPECT_EQ(std::vector<int32_t>({c.m_nColumn, c.m_nRow, c.m_nX, c.m_nY}),
              std::vector<int32_t>({m.column, m.row, m.x, m.y}))
        << "keys " << m.keys;
  }
  // A grid with no column or no row leaves the cursor where it is.
  for (int32_t columns : {0, -1}) cursor.MoveGrid(kDirLeft, 0, 0, 1, 1, columns, 2);
  cursor.MoveGrid(kDirDown, 0, 0, 1, 1, 3, 0);
  EXPECT_EQ(cursor.Current().m_nColumn, 0);
  EXPECT_EQ(cursor.Current().m_nRow, 1);
  EXPECT_EQ(cursor.Current().m_nX, 10);
}

TEST(MenuCursorTest, ListScrollsAndPagesWithoutWrapping) {
  struct ListMove {
    uint16_t keys;
    int32_t index, top;
  };
  // 10 items, 4 on a page.
  const ListMove script[] = {
      {kDirDown, 1, 0},  {kDirDown, 2, 0},  {kDirDown, 3, 0}, {kDirDown, 4, 1},  // scrolls from the last line
      {kDirUp, 3, 1},    {kDirRight, 6, 4}, {kDirRight, 9, 6}, {kDirRight, 9, 6}, // the last page: to the last item
      {kDirDown, 9, 6},  {kDirLeft, 6, 3},  {kDirLeft, 3, 0}, {kDirLeft, 0, 0},   // the first page: to the first item
      {kDirUp, 0, 0},
  };
  cMenuCursor cursor;
  int32_t top = 0;
  for (const ListMove& m : script) {
    cursor.MoveList(m.keys, 1, top, 100, 16, 30, 4, 10, 1);
    EXPECT_EQ(cursor.Current().m_nRow, m.index) << "keys " << m.keys;
    EXPECT_EQ(top, m.top) << "keys " << m.keys;
    EXPECT_EQ(cursor.Current().m_nY, (m.index - m.top) * 16 + 100);
    EXPECT_EQ(cursor.Current().m_nX, 30);
  }
  // Without paging right and left do nothing; a horizontal list moves the
  // column and x.
  cursor.Reset();
  top = 0;
  cursor.MoveList(kDirRight, 0, top, 50, 40, 7, 3, 5, 0);
  cursor.MoveList(kDirDown, 0, top, 50, 40, 7, 3, 5, 0);
  EXPECT_EQ(cursor.Current().m_nColumn, 1);
  EXPECT_EQ(cursor.Current().m_nX, 90);
  EXPECT_EQ(cursor.Current().m_nY, 7);
  // An empty list (or an empty page) keeps the first line.
  cursor.MoveList(kDirDown, 0, top, 50, 40, 7, 3, 0, 1);
  EXPECT_EQ(cursor.Current().m_nColumn, 0);
  EXPECT_EQ(top, 0);
  cursor.MoveList(kDirDown, 0, top, 50, 40, 7, 0, 5, 1);
  EXPECT_EQ(cursor.Current().m_nColumn, 1);
  EXPECT_EQ(top, 1);
}

TEST(MenuCursorTest, LevelsStackAndPopInTheirThreeWays) {
  cMenuCursor cursor;
  cursor.PopLevel(0);  // a single level: nothing
  EXPECT_EQ(cursor.Depth(), 1);
  EXPECT_EQ(cursor.Parent(), nullptr);
  cursor.Current() = {1, 2, 3, 4};
  cursor.PopLevel(0);
  EXPECT_EQ(cursor.Current().m_nRow, 2);

  cursor.SetDepth(1);  // a copy of the level below
  EXPECT_EQ(cursor.Current().m_nX, 3);
  cursor.Current().m_nX = 30;
  for (int i = 0; i < 10; ++i) cursor.SetDepth(0);  // zeroed; the stack grows
  EXPECT_EQ(cursor.Current().m_nColumn, 0);
  ASSERT_NE(cursor.Parent(), nullptr);
  cursor.Current() = {9, 9, 9, 9};
  cursor.PopLevel(2);  // the removed level's values
  EXPECT_EQ(cursor.Current().m_nX, 9);
  while (cursor.Depth() > 2) cursor.PopLevel(1);
  EXPECT_EQ(cursor.Current().m_nX, 30);  // its own values
  cursor.PopLevel(0);                    // zeroed
  EXPECT_EQ(cursor.Depth(), 1);
  EXPECT_EQ(cursor.Current().m_nRow, 0);
}

TEST(MenuCursorTest, CursorSoundIsAskedOfTheMainWindowPerAxis) {
  static std::vector<uint64_t> played;
  played.clear();
  plat::EnsureQueue();
  plat::WindowHandle window = plat::CreateWindowEntry([](plat::WindowHandle, uint32_t msg, uint64_t w, int64_t) {
    if (msg == plat::WM_USER + 5) played.push_back(w);
    return int64_t{0};
  });
  g_hMainWnd = window;
  PlayCursorSound(kDirLeft, 1, 3);
  PlayCursorSound(kDirUp, 1, 4);                 // vertical keys, horizontal axis: nothing
  PlayCursorSound(kDirRight | kDirDown, 3, 5);   // both axes: twice
  PlayCursorSound(kDirDown, 2, 6);
  EXPECT_EQ(played, (std::vector<uint64_t>{3, 5, 5, 6}));
  g_hMainWnd = 0;
  plat::DestroyWindowEntry(window);
  PlayCursorSound(kDirLeft, 3, 1);  // no window: nothing, and no wait
}

}  // namespace

// The menus' cursor: one cursor record per menu level, so a sub-menu opens
// with a cursor of its own and closing it returns to the one below, and the
// two ways the menus move it: round a grid, and along a list longer than its
// page.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/input.h"

struct MenuCursorRecord {
  int32_t m_nColumn = 0;
  int32_t m_nRow = 0;
  int32_t m_nX = 0;  // dots
  int32_t m_nY = 0;  // dots
};

class cMenuCursor {
 public:
  cMenuCursor();  // one level, zeroed

  // Back to one zeroed level.
  void Reset();
  // Adds a level on top: zeroed, or (mode 1) a copy of the level below.
  void SetDepth(int32_t mode);
  // Removes the top level when there are at least two. The uncovered level
  // is zeroed (mode 0), keeps its values (mode 1) or takes the removed
  // level's (mode 2).
  void PopLevel(int32_t mode);

  // Left or right moves a column, up or down a row (left and up win over
  // their opposites), wrapping at every edge; then x = column x width + x0
  // and y = row x height + y0. Nothing without at least one column and row.
  void MoveGrid(uint16_t keys, int32_t x0, int32_t y0, int32_t cellWidth, int32_t cellHeight, int32_t columns,
                int32_t rows);
  void MoveGrid(const cInput& input, int32_t x0, int32_t y0, int32_t cellWidth, int32_t cellHeight,
                int32_t columns, int32_t rows) {
    MoveGrid(input.m_wDirection, x0, y0, cellWidth, cellHeight, columns, rows);
  }
  // A list of `count` items with `visible` on a page from item `top`: the
  // row (vertical lists) or the column is the item. Up and down move one
  // item, scrolling the page at its edges; with paging, right and left turn
  // a page (visible - 1 items). Never wraps. Then the moving coordinate is
  // (item - top) x step + origin and the other is `fixed`.
  void MoveList(uint16_t keys, int32_t vertical, int32_t& top, int32_t origin, int32_t step, int32_t fixed,
                int32_t visible, int32_t count, int32_t paging);
  void MoveList(const cInput& input, int32_t vertical, int32_t& top, int32_t origin, int32_t step, int32_t fixed,
                int32_t visible, int32_t count, int32_t paging) {
    MoveList(input.m_wDirection, vertical, top, origin, step, fixed, visible, count, paging);
  }

  MenuCursorRecord& Current() { return m_Levels.back(); }
  const MenuCursorRecord& Current() const { return m_Levels.back(); }
  // The level below the top; null with a single level.
  MenuCursorRecord* Parent() { return m_Levels.size() >= 2 ? &m_Levels[m_Levels.size() - 2] : nullptr; }
  int Depth() const { return static_cast<int>(m_Levels.size()); }

 private:
  // The top level is the last; never empty. Levels are reached by position,
  // so growing the stack never leaves a reference to a moved record.
  std::vector<MenuCursorRecord> m_Levels;
};

// The menus' cursor.
extern cMenuCursor MenuCursor;

// Plays sound `soundNumber` of the sound list when the keys move along an
// axis asked for: axes bit 0 horizontal (left or right), bit 1 vertical (up
// or down); a diagonal with both axes plays it twice. The sound is asked of
// the main window (WM_USER+5), which plays it and checks the number; the
// calling thread waits until it has.
void PlayCursorSound(uint16_t keys, int32_t axes, int32_t soundNumber);
inline void PlayCursorSound(const cInput& input, int32_t axes, int32_t soundNumber) {
  PlayCursorSound(input.m_wDirection, axes, soundNumber);
}

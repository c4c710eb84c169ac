#include "scene/menu_cursor.h"

#include <algorithm>

#include "base/program.h"
#include "platform/messages.h"

cMenuCursor MenuCursor;

namespace {

constexpr uint32_t kSoundRequest = plat::WM_USER + 5;

// Coordinates are computed wide and kept within 32 bits, so no cell size or
// step from a menu's data can overflow them.
int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

cMenuCursor::cMenuCursor() : m_Levels(1) {}

void cMenuCursor::Reset() { m_Levels.assign(1, MenuCursorRecord{}); }

void cMenuCursor::SetDepth(int32_t mode) {
  const MenuCursorRecord below = m_Levels.back();
  m_Levels.push_back(mode == 1 ? below : MenuCursorRecord{});
}

void cMenuCursor::PopLevel(int32_t mode) {
  if (m_Levels.size() < 2) return;
  const MenuCursorRecord removed = m_Levels.back();
  m_Levels.pop_back();
  if (mode == 0) m_Levels.back() = MenuCursorRecord{};
  else if (mode == 2) m_Levels.back() = removed;
}

void cMenuCursor::MoveGrid(uint16_t keys, int32_t x0, int32_t y0, int32_t cellWidth, int32_t cellHeight,
                           int32_t columns, int32_t rows) {
  // A grid without a column or a row has no cell to be on.
  if (columns <= 0 || rows <= 0) return;
  MenuCursorRecord& c = Current();
  int64_t column = c.m_nColumn;
  int64_t row = c.m_nRow;
  if (keys & kDirLeft) --column;
  else if (keys & kDirRight) ++column;
  if (keys & kDirUp) --row;
  else if (keys & kDirDown) ++row;
  if (row < 0) row = rows - 1;
  else if (row >= rows) row = 0;
  if (column < 0) column = columns - 1;
  else if (column >= columns) column = 0;
  c.m_nColumn = static_cast<int32_t>(column);
  c.m_nRow = static_cast<int32_t>(row);
  c.m_nX = Clamp32(column * cellWidth + x0);
  c.m_nY = Clamp32(row * cellHeight + y0);
}

void cMenuCursor::MoveList(uint16_t keys, int32_t vertical, int32_t& top, int32_t origin, int32_t step,
                           int32_t fixed, int32_t visible, int32_t count, int32_t paging) {
  MenuCursorRecord& c = Current();
  int32_t& field = vertical ? c.m_nRow : c.m_nColumn;
  // A page shows at least one item.
  const int64_t page = std::max(visible, 1);
  int64_t index = field;
  int64_t first = top;
  if (keys & kDirUp) {
    if (index - first < 1) --first;
    --index;
  } else if (keys & kDirDown) {
    if (index - first >= page - 1) ++first;
    ++index;
  }
  if (paging) {
    if (keys & kDirRight) {
      if (first != count - page) {
        first += page - 1;
        index += page - 1;
      } else {
        index = count - 1;
      }
    } else if (keys & kDirLeft) {
      if (first != 0) {
        first -= page - 1;
        index -= page - 1;
      } else {
        index = 0;
      }
    }
  }
  // An empty list keeps the cursor on its first line.
  index = std::clamp<int64_t>(index, 0, std::max<int64_t>(count - 1, 0));
  first = std::clamp<int64_t>(first, 0, std::max<int64_t>(count - page, 0));
  field = static_cast<int32_t>(index);
  top = static_cast<int32_t>(first);
  const int32_t along = Clamp32((index - first) * step + origin);
  if (vertical) {
    c.m_nY = along;
    c.m_nX = fixed;
  } else {
    c.m_nX = along;
    c.m_nY = fixed;
  }
}

void PlayCursorSound(uint16_t keys, int32_t axes, int32_t soundNumber) {
  auto play = [soundNumber] {
    plat::SendMessage(g_hMainWnd.load(), kSoundRequest, static_cast<uint64_t>(static_cast<int64_t>(soundNumber)), 0);
  };
  if ((axes & 1) && (keys & kDirHorizontal)) play();
  if ((axes & 2) && (keys & kDirVertical)) play();
}

#include "scene/menu_rows.h"

#include <algorithm>

#include "base/errors.h"
#include "base/text_path.h"
#include "platform/text.h"

int CountEnabled(const cSafeVector<cCmd>& rows) {
  return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const cCmd& row) { return row.m_bEnabled != 0; }));
}

int GetCmdNum(int n, const cSafeVector<cCmd>& rows) {
  int seen = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].m_bEnabled == 0) continue;
    if (seen == n) return static_cast<int>(i);
    ++seen;
  }
  // A cursor can only stand on an enabled row; should one not, the first
  // row is the fallback the menus were written for.
  ShowDebugError("%s", plat::Sjis("cCmd::GetCmdNum 番号が不正です！").c_str());
  return 0;
}

int32_t GetMaxTextWidth(int32_t centreX, const cSafeVector<cCmd>& rows) {
  int widest = 0;
  for (const cCmd& row : rows)
    if (row.m_bEnabled != 0) widest = std::max(widest, CountCharacters(row.m_strLabel.c_str()));
  if (widest == 0) return centreX;
  return centreX - (widest + 1) * 16 / 2;
}

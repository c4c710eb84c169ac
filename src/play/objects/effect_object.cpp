#include "play/objects/effect_object.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "base/logs.h"
#include "base/random.h"
#include "data/database.h"
#include "gfx/dd.h"

namespace {

constexpr uint32_t kEffectColourKey = 1;

bool ValidEffect(int32_t n) {
  if (n >= 1 && n < static_cast<int32_t>(Database.m_Effects.size()) &&
      n < static_cast<int32_t>(EffectRunTable.size()))
    return true;
  // Logged once per number: a bad number in a looping flow would flood the log.
  static std::set<int32_t> logged;
  if (logged.insert(n).second) WriteECLog("effect %d does not exist\n", n);
  return false;
}

// Sizes read from the data are kept to what a surface can hold.
int32_t ClampSize(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 1, 4096)); }

}  // namespace

void EffectOverlapCorner(const cEffectBox& a, const cEffectBox& b, int32_t width, int32_t height, double* x,
                         double* y) {
  cEffectBox o;
  if (a.left <= b.right && a.right >= b.left && a.top <= b.bottom && a.bottom >= b.top)
    o = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  // Halving by shift rounds toward minus infinity, also for negative spans.
  const int32_t hx = static_cast<int32_t>(std::trunc(o.right - o.left + 1.0)) >> 1;
  const int32_t hy = static_cast<int32_t>(std::trunc(o.bottom - o.top + 1.0)) >> 1;
  *x = hx + o.left - width / 2;
  *y = hy + o.top - height / 2;
}

bool cEffectObject::SetEffect(int32_t n) {
  if (!ValidEffect(n)) return false;
  const cEffectRecord& def = Database.m_Effects.At(n);
  m_nNumber = static_cast<int16_t>(n);
  m_nCellWidth = ClampSize(def.m_nValue2);
  m_nCellHeight = ClampSize(def.m_nValue3);
  m_bNoFrames = def.m_Frames.empty() ? 1 : 0;
  std::vector<cAnimeFrameEntry> frames;
  for (const cAnimeTableFrame& f : EffectRunTable[static_cast<size_t>(n)])
    frames.push_back({f.nCell, f.nDuration, f.nHold});
  m_Player.SetAnimeSet(std::vector<std::vector<cAnimeFrameEntry>>{frames});
  m_Player.SetAnime(0, 1);
  return true;
}

std::shared_ptr<cEffectObject> cEffectObject::AtHit(int32_t n, const cEffectBox& a, const cEffectBox& b,
                                                    int32_t zoom) {
  auto e = std::make_shared<cEffectObject>();
  if (!e->SetEffect(n)) return nullptr;
  const bool zoomable = Database.m_Effects.At(n).m_nValue4 != 0;
  const int32_t z = static_cast<int8_t>(zoom);
  int32_t k = 1;
  if (zoomable) k = z;
  e->m_nWidth = e->m_nCellWidth;
  e->m_nHeight = e->m_nCellHeight;
  if (zoomable && z > 1) {
    e->m_bZoomed = 1;
    e->m_nWidth *= z;
    e->m_nHeight *= z;
  }
  EffectOverlapCorner(a, b, e->m_nWidth, e->m_nHeight, &e->m_dX, &e->m_dY);
  // RandomRange orders its bounds, so a negative zoom scatters as widely as
  // its size; the two draws are always made, keeping replays in step.
  const int32_t spread = 4 * k;
  e->m_dX += RandomRange(-spread, spread);
  e->m_dY += RandomRange(-spread, spread);
  return e;
}

std::shared_ptr<cEffectObject> cEffectObject::At(int32_t n, double x, double y, int32_t width, int32_t height,
                                                 int32_t animateWhileStill) {
  auto e = std::make_shared<cEffectObject>();
  if (!e->Restart(n, x, y, width, height, animateWhileStill)) return nullptr;
  return e;
}

bool cEffectObject::Restart(int32_t n, double x, double y, int32_t width, int32_t height, int32_t animateWhileStill) {
  if (!SetEffect(n)) return false;
  m_dX = x;
  m_dY = y;
  m_nWidth = std::clamp(width, 0, 4096 * 8);
  m_nHeight = std::clamp(height, 0, 4096 * 8);
  m_bZoomed = (m_nWidth != m_nCellWidth || m_nHeight != m_nCellHeight) ? 1 : 0;
  m_bAnimateWhileStill = animateWhileStill;
  return true;
}

int cEffectObject::Frame(DDSURFACEDATA* dst, DDSURFACEDATA* sheet, double scrollX, double scrollY, int32_t still) {
  if (m_bNoFrames) return 1;
  const int32_t cell = (still && !m_bAnimateWhileStill) ? m_Player.GetCell() : m_Player.Step();
  if (cell == kAnimeEnd) return 1;
  if (cell < 0 || !dst || !sheet || m_nWidth <= 0 || m_nHeight <= 0) return 0;
  const int x = static_cast<int>(std::trunc(m_dX - scrollX));
  const int y = static_cast<int>(std::trunc(m_dY - scrollY));
  if (m_bZoomed)
    DDBltStretch(dst, x, y, m_nWidth, m_nHeight, sheet, cell * m_nCellWidth, 0, m_nCellWidth, m_nCellHeight,
                 kEffectColourKey);
  else
    DDBlt(dst, x, y, m_nWidth, m_nHeight, sheet, cell * m_nWidth, 0, kEffectColourKey);
  return 0;
}

int32_t EffectSheetIndex(int32_t n, bool zoomed, bool directDraw, bool lowColour) {
  const int32_t picture = 2 * n - 2;
  return zoomed && !(directDraw && lowColour) ? picture + 1 : picture;
}

int32_t EffectTotalFrames(int32_t n) {
  if (n < 1 || n >= static_cast<int32_t>(Database.m_Effects.size())) return 0;
  int64_t total = 0;
  for (const cIntPair& f : Database.m_Effects.At(n).m_Frames) total += std::max<int64_t>(f.m_nSecond, 0) * 6;
  return static_cast<int32_t>(std::min<int64_t>(total, 1 << 30));
}


#include "play/world/stage_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/text_path.h"
#include "base/timers.h"
#include "data/database.h"
#include "gfx/fx_colour.h"
#include "gfx/game_fonts.h"
#include "platform/text.h"
#include "play/objects/character.h"
#include "play/world/stage_object.h"

namespace {

// Has a picture to draw from (a failed or absent load leaves none).
bool HasPicture(const DDSURFACEDATA* sd) {
  return sd != nullptr && (sd->lpDDS != nullptr || sd->lpDT != nullptr || sd->lpShareSD != nullptr) &&
         sd->nWidth > 0 && sd->nHeight > 0;
}

// x wrapped into 0 .. size - 1 (size > 0).
int32_t Wrap(int32_t x, int32_t size) {
  const int32_t r = x % size;
  return r < 0 ? r + size : r;
}

// One axis of an automatic scroll: moves by minus the factor and wraps into
// 0 .. size once (the factor is at most a picture per frame in practice; a
// larger one is wrapped whole so that the position stays bounded).
void ScrollAxis(double& position, double factor, int32_t size) {
  if (size <= 0 || !std::isfinite(factor)) return;
  position -= factor;
  if (position < 0.0) {
    position += size;
    if (position < 0.0) position = std::fmod(position, static_cast<double>(size)) + size;
  } else if (position >= size) {
    position -= size;
    if (position >= size) position = std::fmod(position, static_cast<double>(size));
  }
  if (!(position >= 0.0 && position < size)) position = 0.0;  // not a number, or rounding at the edge
}

// Tiles `src` over the 640 x 480 screen of `dst` starting at source offset
// (ox, oy) for the first column and row.
void TilePicture(DDSURFACEDATA* dst, DDSURFACEDATA* src, int32_t ox, int32_t oy, uint32_t key) {
  const int32_t w = src->nWidth, h = src->nHeight;
  DDBeginBatch(0);
  DDBatchAddTexture(src);
  int32_t y = 0, sy = oy;
  for (int row = 0; row < kMaxBackgroundTiles && y <= 479; ++row) {
    const int32_t th = h - sy;
    int32_t x = 0, sx = ox;
    for (int col = 0; col < kMaxBackgroundTiles && x <= 639; ++col) {
      const int32_t tw = w - sx;
      DDBlt(dst, x, y, tw, th, src, sx, sy, key);
      x += tw;
      sx = 0;
    }
    y += th;
    sy = 0;
  }
  DDEndBatch();
}

cFont* HudFont() { return GameFonts[1].Created() ? &GameFonts[1] : nullptr; }
cFont* SmallFont() { return GameFonts[0].Created() ? &GameFonts[0] : nullptr; }

void HudText(DDSURFACEDATA* dst, int x, int y, const char* format, const char* label, int32_t value, bool withValue) {
  cFont* font = HudFont();
  if (!font) return;
  if (withValue)
    font->DrawTextF(dst, x, y, format, label, value);
  else
    font->DrawTextF(dst, x, y, format, label);
}

}  // namespace

// ---- background layers ----

void ScrollBackgroundLayers(cSafeVector<cStageBackground>& layers, DDSURFACEDATA* const* surfaces) {
  const int count = std::min<int>(static_cast<int>(layers.size()), kBackgroundLayerCount);
  for (int i = 0; i < count; ++i) {
    cStageBackground& b = layers[i];
    const DDSURFACEDATA* sd = surfaces ? surfaces[i] : nullptr;
    if (!HasPicture(sd)) continue;
    if (b.m_bAutoScrollX) ScrollAxis(b.m_dScrollX, b.m_dScrollSpeedX, sd->nWidth);
    if (b.m_bAutoScrollY) ScrollAxis(b.m_dScrollY, b.m_dScrollSpeedY, sd->nHeight);
  }
}

int32_t BackgroundSourceOffset(bool autoScroll, double autoPosition, double factor, double scroll, int32_t offset) {
  // The stage's offset in blocks moves the map under the view; the parallax
  // factor applies to the whole-dot scroll position.
  if (autoScroll) return TruncToInt(autoPosition + scroll - offset * 32.0);
  return TruncToInt((TruncToInt(scroll + 0.5) - offset * 32.0) * factor);
}

void DrawBackgroundLayers(DDSURFACEDATA* lpDst, cSafeVector<cStageBackground>& layers, int32_t layer,
                          const cBackgroundView& view, DDSURFACEDATA* const* surfaces) {
  const int count = std::min<int>(static_cast<int>(layers.size()), kBackgroundLayerCount);
  if (layer == kLayerBehind) {
    bool anyShown = false;
    for (int i = 0; i < count; ++i) anyShown = anyShown || BackgroundShown(layers[i]);
    if (!anyShown) {
      DDFillSurface(lpDst, kNoBackgroundPalette);
      return;
    }
  }
  bool drawn = false;
  for (int i = 0; i < count; ++i) {
    cStageBackground& b = layers[i];
    if (!BackgroundShown(b) || BackgroundLayer(b) != layer) continue;
    if (BackgroundIsFill(b)) {
      DDFillSurface(lpDst, BackgroundFillPalette(b));
      drawn = true;
      continue;
    }
    DDSURFACEDATA* src = surfaces ? surfaces[i] : nullptr;
    if (!HasPicture(src)) continue;  // no picture (or an empty one): nothing to tile, and no size to wrap by
    const int32_t ox = Wrap(BackgroundSourceOffset(b.m_bAutoScrollX != 0, b.m_dScrollX, b.m_dScrollSpeedX,
                                                   view.scrollX, view.columnOffset),
                            src->nWidth);
    const int32_t oy = Wrap(BackgroundSourceOffset(b.m_bAutoScrollY != 0, b.m_dScrollY, b.m_dScrollSpeedY,
                                                   view.scrollY, view.rowOffset),
                            src->nHeight);
    // The first picture behind the objects covers the screen: no colour key.
    const uint32_t key = (layer == kLayerBehind && !drawn) ? 0 : 1;
    TilePicture(lpDst, src, ox, oy, key);
    drawn = true;
  }
  if (layer == kLayerBehind && !drawn) DDFillSurface(lpDst, kNoBackgroundPalette);
}

// ---- head-up display ----

namespace {

int32_t HudItemWidth(cThresholdEntry& item, int index) {
  const int32_t label = item.m_bIcon ? 16 : CountCharacters(item.m_strLabel.c_str()) * 16;
  const bool gauge = index == kHudHP || index == kHudSP;
  return label + (gauge ? kGaugeWidth : std::clamp(item.m_nDigits, 0, 64) * 16);
}

}  // namespace

void LayOutHud(const cSystemData& systemConst, int32_t xs[kHudItemCount]) {
  cSystemData& system = const_cast<cSystemData&>(systemConst);
  const int items = std::min<int>(kHudItemCount, static_cast<int>(system.m_Hud.size()));
  int32_t widths[kHudItemCount] = {};
  int32_t total = 0, shown = 0;
  for (int i = 0; i < kHudItemCount; ++i) {
    xs[i] = -1;
    if (i >= items || !system.m_Hud[i].m_bShown) continue;
    widths[i] = HudItemWidth(system.m_Hud[i], i);
    total += widths[i];
    ++shown;
  }
  if (shown == 0) return;
  const int32_t spacing = (638 - total) / (shown + 1);
  int32_t x = 0;
  for (int i = 0; i < kHudItemCount; ++i) {
    if (widths[i] == 0 && (i >= items || !system.m_Hud[i].m_bShown)) continue;
    x += spacing;
    xs[i] = x;
    x += widths[i];
  }
}

int32_t GaugeBarWidth(int32_t value, int32_t maximum) {
  if (maximum <= 0) return 0;
  const int64_t w = static_cast<int64_t>(value) * kGaugeWidth / maximum;
  return static_cast<int32_t>(std::clamp<int64_t>(w, 0, kGaugeWidth));
}

void DrawHud(DDSURFACEDATA* lpDst, cSystemData& system, const cHudValues& v) {
  int32_t xs[kHudItemCount];
  LayOutHud(system, xs);
  bool any = false;
  for (int32_t x : xs) any = any || x >= 0;
  if (!any) return;
  DDSURFACEDATA* icons = &GameSurfaces[kHudIconSurface];
  DDBlt(lpDst, 0, 0, 640, 20, &GameSurfaces[kHudStripSurface], 0, 0, 1);
  constexpr int y = 3;
  for (int i = 0; i < kHudItemCount; ++i) {
    if (xs[i] < 0) continue;
    cThresholdEntry& item = system.m_Hud[i];
    const char* label = item.m_strLabel.c_str();
    const int x = xs[i];
    switch (i) {
      case kHudPoints:
      case kHudScore: {
        const int32_t value = i == kHudPoints ? v.stagePoints : v.score;
        if (item.m_bIcon) {
          DDBlt(lpDst, x, y, 16, 16, icons, 16 * i, 32, 1);
          HudText(lpDst, x + 16, y, "%s%d", "", value, true);
        } else {
          HudText(lpDst, x, y, "%s%d", label, value, true);
        }
        break;
      }
      case kHudHP:
      case kHudSP: {
        const bool hp = i == kHudHP;
        const int32_t value = hp ? v.hp : v.sp;
        const int32_t maximum = hp ? v.hpMax : v.spMax;
        int gx = x;
        if (item.m_bIcon) {
          DDBlt(lpDst, x, y, 16, 16, icons, hp ? 32 : 48, 32, 1);
          gx += 16;
        } else {
          HudText(lpDst, x, y, "%s", label, 0, false);
          gx += CountCharacters(label) * 16;
        }
        const int frameX = hp ? 0 : 64;
        DDBlt(lpDst, gx, y, kGaugeWidth, 16, icons, frameX, 128, 1);
        const int32_t bar = GaugeBarWidth(value, maximum);
        const int barRow = system.IsWithinThreshold(i, value, maximum) ? 160 : 144;
        if (bar > 0) DDBlt(lpDst, gx, y, bar, 16, icons, frameX, barRow, 1);
        if (item.m_bGaugeNumber) {
          if (cFont* small = SmallFont()) small->DrawTextF(lpDst, gx, 6, "%d", value);
        }
        break;
      }
      case kHudLives: {
        const bool infinite = v.lives == kInfiniteLives;
        if (item.m_bIcon) {
          DDBlt(lpDst, x, y, 16, 16, icons, 64, 32, 1);
          if (infinite)
            HudText(lpDst, x + 16, y, "%s-", "", 0, false);
          else
            HudText(lpDst, x + 16, y, "%s%d", "", v.lives, true);
        } else if (infinite) {
          HudText(lpDst, x, y, "%s-", label, 0, false);
        } else {
          HudText(lpDst, x, y, "%s%d", label, v.lives, true);
        }
        break;
      }
    }
  }
}

void DrawTimeDigits(DDSURFACEDATA* lpDst, int32_t timeLeft) {
  DDDrawNumber(lpDst, 272, 24, 32, 32, &GameSurfaces[kSystemPictureSurface], 0, 160, 1, std::max(0, timeLeft), 3, 0);
}

// ---- sight mask ----

bool BuildSightMask(DDSURFACEDATA* lpMask, DDSURFACEDATA* lpWork, int32_t radius, int32_t shape, uint32_t holeColour) {
  DDReleaseSurface(lpMask);
  DDReleaseSurface(lpWork);
  const int32_t r = std::clamp(radius, 0, kMaxSightRadius);
  const int32_t w = 2 * r + 1280, h = 2 * r + 960;
  if (!DDCreateSurface(lpMask, w, h, 1, 1, 1, 0, 0)) {
    DDReleaseSurface(lpMask);
    return false;
  }
  DDFillSurface(lpMask, kNoBackgroundPalette);
  if (r <= 0) return true;
  const int32_t cx = w / 2, cy = h / 2;
  auto fillRow = [&](int x, int y, int width, int height) {
    if (lpDTCon)
      DDFillRectColor(lpMask, x, y, width, height, holeColour);
    else
      DDFillRect(lpMask, x, y, width, height, 0);
  };
  if (shape != 1 && shape != 2) {
    fillRow(cx - r, cy - r, 2 * r, 2 * r);
    return true;
  }
  // The round hole, one row at a time: row t (from r - 1 up to -r) spans the
  // half chord truncate(sqrt(r² - t²)), never the full radius.
  for (int32_t t = r - 1; t >= -r; --t) {
    int32_t half = static_cast<int32_t>(std::sqrt(static_cast<double>(r) * r - static_cast<double>(t) * t));
    if (half >= r) half = r - 1;
    if (half > 0) fillRow(cx - half, cy + t, 2 * half, 1);
  }
  return true;
}

// ---- screen colour ----

void cScreenColor::Start(const int32_t* p) {
  const bool returning = p[4] != 0;
  // A return fades out a running change; with none running there is nothing
  // to return from. In 8-bit colour only a change started without the
  // return flag counts as running.
  if (returning && (DDState.nBpp == 8 && !lpDTCon ? !m_bStarted : !m_bActive)) return;
  std::memcpy(m_PrevColour, m_Colour, sizeof m_Colour);
  m_nPrevStrength = m_nStrength;
  m_nPrevLevel = m_nLevel;
  for (int c = 0; c < 3; ++c) m_Colour[c] = static_cast<uint8_t>(std::clamp(p[c], 0, 255));
  m_nStrength = std::clamp(p[3], 0, 100);
  m_bReturn = returning ? 1 : 0;
  m_nTime = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(p[5]) * 6, 0, 0x7fffffff));
  m_bRepeat = p[6] != 0 ? 1 : 0;
  m_nRepeatCount = p[7];
  m_bActive = 1;
  m_nCounter = 0;
  m_nRepeatCounter = 0;
  if (!returning) {
    m_nLevel = 0;
    m_bStarted = 1;
  } else {
    std::memcpy(m_Colour, m_PrevColour, sizeof m_Colour);
    m_nStrength = m_nPrevStrength;
    m_nLevel = m_nPrevLevel;
    m_bStarted = 0;
  }
}

int32_t cScreenColor::ComputeLevel() const {
  if (!m_bReturn) {
    if (m_nTime == 0) return TruncToInt(255 - m_nStrength * 2.55);
    return TruncToInt(255 - static_cast<double>(m_nCounter) / m_nTime * m_nStrength * 2.55);
  }
  if (m_nTime == 0) return 255;
  return TruncToInt(m_nPrevLevel + static_cast<double>(m_nCounter) / m_nTime * (255 - m_nPrevLevel));
}

void WashSurface(DDSURFACEDATA* lpSD, const uint8_t rgb[3], int32_t level) {
  level = std::clamp(level, 0, 255);
  if (level == 255) return;
  cSurfaceLock lock(lpSD);
  if (!lock.Locked()) return;
  uint32_t f[8] = {16, 8, 0, 24, 255, 255, 255, 255};
  if (lock.m_nBytesPerPixel == 2) {
    std::memcpy(f, DDState.TexFormat, sizeof f);
  } else if (lock.m_nBytesPerPixel != 4) {
    return;
  }
  const int inv = 255 - level;
  for (int y = 0; y < lock.Height(); ++y) {
    uint8_t* row = lock.Bits() + static_cast<size_t>(y) * lock.Pitch();
    for (int x = 0; x < lock.Width(); ++x) {
      uint32_t px = 0;
      std::memcpy(&px, row + static_cast<size_t>(x) * lock.m_nBytesPerPixel, lock.m_nBytesPerPixel);
      uint32_t out = px;
      for (int c = 0; c < 3; ++c) {
        const uint32_t max = f[PF_RMAX + c], shift = f[PF_RSHIFT + c];
        if (max == 0) continue;
        const uint32_t ch = (px >> shift) & max;
        const uint32_t ch8 = ch * 255 / max;
        const uint32_t mixed8 = (ch8 * level + rgb[c] * inv) / 255;
        out = (out & ~(max << shift)) | (((mixed8 * max + 127) / 255) << shift);
      }
      std::memcpy(row + static_cast<size_t>(x) * lock.m_nBytesPerPixel, &out, lock.m_nBytesPerPixel);
    }
  }
}

void cScreenColor::Draw(DDSURFACEDATA* lpBackBuffer, bool drawOnly) {
  if (!m_bActive) return;
  m_nLevel = ComputeLevel();
  const uint8_t* colour = m_bReturn ? m_PrevColour : m_Colour;
  if (lpDTCon) {
    // Direct3D: the picture is drawn through the colour (modulated), laid
    // over itself with the level as its transparency; white leaves it as it
    // is, black darkens it.
    DDChangeColorAll(lpBackBuffer, 0, 0, 640, 480, m_nLevel, colour[0], colour[1], colour[2]);
  } else if (DDState.nBpp == 16 || DDState.nBpp == 32) {
    WashSurface(lpBackBuffer, colour, m_nLevel);
  } else if (DDState.nBpp == 8) {
    // The palette is blended toward the colour: weight level of 256.
    PALETTEENTRY* dst = DDState.DDPaletteWork;
    const PALETTEENTRY* src = DDState.DDPalette;
    const int w = std::clamp(m_nLevel, 0, 255);
    for (int i = 0; i < 256; ++i) {
      dst[i].peRed = static_cast<uint8_t>((src[i].peRed * w + colour[0] * (256 - w)) >> 8);
      dst[i].peGreen = static_cast<uint8_t>((src[i].peGreen * w + colour[1] * (256 - w)) >> 8);
      dst[i].peBlue = static_cast<uint8_t>((src[i].peBlue * w + colour[2] * (256 - w)) >> 8);
      dst[i].peFlags = PC_RESERVED;
    }
    if (DDState.lpDDPalette) DDState.lpDDPalette->SetEntries(0, 256, dst);
  } else {
    m_bActive = 0;  // no way to wash this depth
    return;
  }
  if (drawOnly) return;
  ++m_nCounter;
  if (m_nCounter < m_nTime) return;
  if (m_bRepeat) {
    m_nCounter = 0;
    ++m_nRepeatCounter;
    if (m_nRepeatCounter >= m_nRepeatCount) m_bActive = 0;
  } else if (m_nStrength != 0 && !m_bReturn) {
    m_nCounter = m_nTime;  // held at the final level until the next change
  } else {
    m_bActive = 0;
    m_bStarted = 0;
    m_nLevel = 255;
  }
}

// ---- per-stage bitmap sheets ----

namespace {

// Loads `count` entries (first..count-1) of `files` into `per` surfaces each.
// The later surfaces of an entry share its first one's picture (in Direct3D
// mode they draw from it); with `mirrored` every second one holds the
// picture turned round cell by cell (the width `cellWidth` gives).
template <class Record, class CellWidth>
int LoadSheets(cSafeVector<DDSURFACEDATA>& sd, cSafeVector<DDSURFACEINFO>& info, cSafeVector<Record>& records,
               int first, int per, bool mirrored, const char* failText, CellWidth cellWidth) {
  DDReleaseSurfaces(sd);
  const int n = static_cast<int>(records.size());
  const size_t need = static_cast<size_t>(std::max(0, n - first)) * per;
  // Surfaces are released and made anew; growing never moves a record the
  // draws point at, because nothing is drawn while a stage loads.
  if (sd.size() < need) sd.resize(need);
  if (info.size() < need) info.resize(need);
  int failed = 0;
  for (int e = first; e < n; ++e) {
    const size_t base = static_cast<size_t>(e - first) * per;
    const std::string& file = records.At(e).m_strText2;
    bool ok = !file.empty();
    const int cell = std::clamp(cellWidth(records.At(e)), 1, 4096);
    for (int k = 0; k < per && ok; ++k) {
      DDSURFACEDATA* s = &sd[base + k];
      // Picture, mirrored picture (cells of the whole picture), then the
      // system-memory copies of both (four per entry); or picture and its
      // system-memory copy (two per entry, not mirrored).
      const uint32_t mirror = mirrored && (k % 2) == 1;
      const uint32_t system = mirrored ? per == 4 && k >= 2 : k >= 1;
      const uint32_t r = DDCreateSurfaceFromFile(s, file.c_str(), 1, DDState.nBpp, system, 0, k > 0 ? 1 : 0, 0,
                                                 mirror ? cell : 0, 0, 0);
      if (r != 0) {
        DDReleaseSurface(s);
        ok = false;
      }
      DDSURFACEINFO& i = info[base + k];
      std::snprintf(i.szFileName, sizeof i.szFileName, "%s", file.c_str());
      i.bColorKey = 1;
      i.dwDDMemType = system;
      i.bShare = k > 0 ? 1 : 0;
      i.nMirrorCellW = mirror ? cell : 0;
    }
    if (ok) {
      // The later copies draw from the entry's first surface in Direct3D mode.
      for (int k = 1; k < per; ++k) sd[base + k].lpShareSD = &sd[base];
    } else {
      for (int k = 0; k < per; ++k) DDReleaseSurface(&sd[base + k]);
      WriteECLog(failText, file.c_str());
      ++failed;
    }
  }
  return failed;
}

}  // namespace

int LoadCharacterBitmaps(cStageBitmaps& b) {
  static const std::string text = plat::Sjis("専用bmp %s 読み込み失敗！");
  // Mirrored by whole cells: k x 32 dots for a picture of cell scale k.
  return LoadSheets(b.m_CharaExc, b.m_CharaExcInfo, Database.m_BmpCharaExcs, 1, 4, true, text.c_str(),
                    [](const cBmpCharaExcRecord& r) { return 32 * SpecialBitmapCellScale(r); });
}

int LoadSwordBitmaps(cStageBitmaps& b) {
  static const std::string text = plat::Sjis("ソード %s 読み込み失敗！");
  return LoadSheets(b.m_Swords, b.m_SwordInfo, Database.m_SwordTypes, 0, 4, true, text.c_str(),
                    [](const cSwordTypeRecord&) { return 32; });
}

int LoadEffectBitmaps(cStageBitmaps& b) {
  static const std::string text = plat::Sjis("エフェクト %s 読み込み失敗！");
  // An effect's second surface is the copy zoomed objects stretch from.
  return LoadSheets(b.m_Effects, b.m_EffectInfo, Database.m_Effects, 1, 2, false, text.c_str(),
                    [](const cEffectRecord& r) { return r.m_nValue2; });
}

void ReleaseStageBitmaps(cStageBitmaps& b) {
  DDReleaseSurfaces(b.m_CharaExc);
  DDReleaseSurfaces(b.m_Swords);
  DDReleaseSurfaces(b.m_Effects);
}

cStageLayers::~cStageLayers() {
  ReleaseStageBitmaps(m_Bitmaps);
  DDReleaseSurface(&m_SightMask);
  DDReleaseSurface(&m_SightWork);
  DDReleaseSurface(&m_CircleWork);
}

// ---------------------------------------------------------------------------
// The stage scene's frame (the members of cStageScene that draw)

#include "flow/conditions.h"
#include "gfx/colour_cycle.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character_look_ahead.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/block_map.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/frame_trace.h"
#include "scene/play_record.h"

namespace {

// The work surfaces of stage play: two tile work surfaces (the shot sheet
// and its mirrored twin at twice their size) and two screens.
constexpr int kTileWorkSurfaces[] = {kShotWorkSurface, kShotWorkMirrorSurface};
constexpr int kScreenWorkSurfaces[] = {SURF_EMPTY_FIRST + 2, SURF_EMPTY_FIRST + 3};
// The shot sheet holds four graphics a row (kShotGraphicsPerColumn rows of
// kShotSheetCell-dot cells, each graphic two cells wide).
constexpr int kShotSheetGraphicsPerRow = 4;

// The blocks of one cell as a 32 x 32 tile, with its overlay tile over it.
void PaintBlockTile(const cEdBlock& block, DDSURFACEDATA* dst, int x, int y) {
  cGraphicSource source;
  source.Lookup(block.m_nGraphicWord, block.m_nGraphicSource, block.m_nGraphic, 0, nullptr, 0);
  DDBlt(dst, x, y, 32, 32, source.Surface(), source.x, source.y, 1);
  if (block.OverlayFlag() == 1) {
    const int n = std::max<int>(0, block.OverlayTile());
    DDBlt(dst, x, y, 32, 32, &GameSurfaces[kOverlaySurface], (n / 15) * 32, (n % 15) * 32, 1);
  }
}

// The object layer an object is drawn in: its "Z" value when the stage
// draws in layers, else the one layer.
int32_t ObjectLayer(int32_t z, bool layered) { return layered ? std::clamp(z, 0, 7) : 0; }

// What drawing a character reads, of the characters ahead in the drawing
// walk: far ahead the object's lines that drawing reads, nearer its
// animation's frame list and then its current frame. Changes nothing.
void PrefetchForDrawing(const cCharacterLookAhead& ahead) {
  if (const cStageCharacter* far = ahead.Far()) {
    PrefetchListNode(far);
    PrefetchBytes(&far->m_Definition, sizeof(far->m_Definition));
    PrefetchBytes(&far->m_AnimePlayer, sizeof(far->m_AnimePlayer));
    PrefetchLines(&far->m_rcScreen, &far->m_nDrawWidth, &far->m_dX, &far->m_bFreeVertical, &far->m_bDying, &far->m_nHp);
    PrefetchBytes(&far->m_HpGauge, sizeof(far->m_HpGauge));
    PrefetchBytes(&far->m_SpGauge, sizeof(far->m_SpGauge));
    PrefetchLine(&far->m_AnimeRuns);
    PrefetchBytes(&far->m_Effect, sizeof(far->m_Effect));
    PrefetchLines(&far->m_nEffectCell, &far->m_bHiddenThisFrame, &far->m_Item.m_bHeld, &far->m_nHintCounter);
  }
  if (const cStageCharacter* c = ahead.Near(4)) {
    const cAnimePlayer& player = c->m_AnimePlayer;
    if (player.m_nAnime >= 0 && static_cast<size_t>(player.m_nAnime) < player.Animes().size())
      PrefetchLine(player.Animes().data() + player.m_nAnime);
  }
  if (const cStageCharacter* c = ahead.Near(2)) {
    const cAnimePlayer& player = c->m_AnimePlayer;
    if (player.m_nAnime >= 0 && static_cast<size_t>(player.m_nAnime) < player.Animes().size()) {
      const cAnimePlayer::Anime& anime = player.Animes()[static_cast<size_t>(player.m_nAnime)];
      if (player.m_nFrame >= 0 && static_cast<size_t>(player.m_nFrame) < anime.size())
        PrefetchBytes(anime.data() + player.m_nFrame, 2 * sizeof(cAnimeFrameEntry));
    }
  }
}

// ---- position-condition displays ----

// The palette numbers of the eight display colours: 208, 212, ..., 236 (the
// blink adds 0..3 to them).
constexpr uint32_t kConditionColourBase = 208;
constexpr uint32_t kConditionColourStep = 4;
// A circle wider than this is drawn, under DirectDraw, as this circle
// stretched (the work picture is 2 x 64 + 1 dots square).
constexpr int32_t kCircleWorkRadius = 64;

// Whether a display mode shows now: 1 always, 2 only in a test play the
// editor started.
bool DisplayShows(uint8_t mode) {
  if (mode == 1) return true;
  return mode == 2 && bFromEditor && SceneManager.m_bTestPlay;
}

// Whether a condition of the character's own or of its flows is a distance
// condition that shows its range.
bool ShowsRanges(const cEdCharacter& d) {
  auto shows = [](const auto& conditions) {
    return std::any_of(conditions.begin(), conditions.end(), [](const cCond& c) {
      return c.m_nKind == kCondDistance && c.DisplayMode() != 0;
    });
  };
  if (shows(d.m_vConds)) return true;
  for (const cEdFlow& flow : d.m_vFlows)
    if (shows(flow.m_vConds)) return true;
  return false;
}

}  // namespace

void DrawPositionCondition(DDSURFACEDATA* target, cCharacter& character, const cCond& condition, uint32_t blink,
                           DDSURFACEDATA* circleWork) {
  if (condition.m_nKind != kCondDistance || !DisplayShows(condition.DisplayMode())) return;
  if (!character.m_bPresent) {
    if (!condition.ShownWhileAbsent()) return;
    character.UpdateScreenRect();
  }
  if (!condition.ShownWhileHidden() && (character.m_bHiddenThisFrame || character.Definition().Transparent())) return;
  const uint32_t colour = kConditionColourBase + kConditionColourStep * (condition.DisplayColour() & 7u) + blink;
  const int32_t d = condition.Distance();
  const cScreenRect& me = character.m_rcScreen;
  cDistanceReach reach;
  if (DistanceRelationReach(character, condition.DistanceRelation(), d, reach)) {
    int32_t low = 0, high = 0;
    if (reach.vertical) {
      ComputeJudgeRange(low, high, me.top, character.m_nDrawHeight, reach.low, reach.high, reach.centred);
      DDFillRect(target, 0, low, 640, 1, colour);
      DDFillRect(target, 0, high, 640, 1, colour);
    } else {
      ComputeJudgeRange(low, high, me.left, character.m_nDrawWidth, reach.low, reach.high, reach.centred);
      DDFillRect(target, low, 0, 1, 480, colour);
      DDFillRect(target, high, 0, 1, 480, colour);
    }
    return;
  }
  if (condition.DistanceRelation() != 6) return;
  const int32_t cx = me.left + (character.m_nDrawWidth >> 1);
  const int32_t cy = me.top + (character.m_nDrawHeight >> 1);
  // A circle that passes round the whole screen shows nothing: it is not
  // drawn (a radius from the data can be far larger than any screen).
  const int64_t far = std::max<int64_t>(std::abs(int64_t{cx}), std::abs(int64_t{cx} - 639)) +
                      std::max<int64_t>(std::abs(int64_t{cy}), std::abs(int64_t{cy} - 479));
  if (d < 1 || d > far) return;
  constexpr int32_t kWorkSide = 2 * kCircleWorkRadius + 1;
  if (!lpDTCon && d > kCircleWorkRadius && circleWork && !circleWork->lpDDS)
    DDCreateSurface(circleWork, kWorkSide, kWorkSide, 1, 0, 0, 0, 0);
  if (!lpDTCon && d > kCircleWorkRadius && circleWork && circleWork->lpDDS) {
    DDFillRect(circleWork, 0, 0, circleWork->nWidth, circleWork->nHeight, 0);
    DDDrawCircle(circleWork, kCircleWorkRadius, kCircleWorkRadius, kCircleWorkRadius, colour);
    DDBltStretch(target, cx - d, cy - d, 2 * d, 2 * d, circleWork, 0, 0, circleWork->nWidth, circleWork->nHeight, 1);
    return;
  }
  DDDrawCircle(target, cx, cy, d, colour);
}

void cStageScene::ClearWorkSurfaces() {
  for (size_t k = 0; k < std::size(kTileWorkSurfaces); ++k) {
    DDSURFACEDATA* work = &GameSurfaces[kTileWorkSurfaces[k]];
    DDSURFACEDATA* sheet = &GameSurfaces[k == 0 ? SURF_SHOT : SURF_SHOT_MIRROR];
    DDFillSurface(work, 0);
    work->bLost = 0;
    if (!HasPicture(work) || !HasPicture(sheet)) continue;
    // Every cell of the sheet at twice its size: row r of 16-dot cells to
    // the row of 32 dots at 32 r, the two cells of graphic g of the row at
    // 64 g and 64 g + 32. The mirrored sheet turns each cell round.
    for (int row = 0; row < kShotGraphicsPerColumn; ++row)
      for (int cell = 0; cell < 2 * kShotSheetGraphicsPerRow; ++cell)
        DDBltStretch(work, cell * 2 * kShotSheetCell, row * 2 * kShotSheetCell, 2 * kShotSheetCell, 2 * kShotSheetCell,
                     sheet, cell * kShotSheetCell, row * kShotSheetCell, kShotSheetCell, kShotSheetCell, 0);
  }
  // The two screen work surfaces are cleared with them.
  for (int id : kScreenWorkSurfaces) DDFillSurface(&GameSurfaces[id], 0);
}

void cStageScene::DrawPositionConditions(DDSURFACEDATA* lpDst) {
  // A steady 8-bit screen keeps one colour (its palette does not cycle).
  const bool steady = DDState.nBpp == 8 && g_CharacterSwitches.steadyColour;
  if (!steady) m_Layers.m_nOverlayBlink = m_Layers.m_nOverlayBlink >= 31 ? 0 : m_Layers.m_nOverlayBlink + 1;
  const uint32_t blink = steady ? 0u : static_cast<uint32_t>(m_Layers.m_nOverlayBlink) >> 3;
  DDSURFACEDATA* work = &m_Layers.m_CircleWork;
  // First the characters' own appearance conditions, then those of their
  // flows; a list that holds once and for all is not shown once it held.
  for (int pass = 0; pass < 2; ++pass) {
    DDBeginFillBatch();
    for (const std::list<cCharacter*>& group : m_CharacterGroups) {
      for (cCharacter* c : group) {
        if (!c) continue;
        const cEdCharacter& d = c->Definition();
        if (c->m_nShowsRanges < 0) c->m_nShowsRanges = ShowsRanges(d) ? 1 : 0;
        if (c->m_nShowsRanges == 0 || c->m_bDying || !c->IsOnScreen()) continue;
        const bool latched = c->m_byAppearLatch != 0;
        if (pass == 0) {
          if (d.m_nCondOption && latched) continue;
          for (const cCond& condition : d.m_vConds) DrawPositionCondition(lpDst, *c, condition, blink, work);
        } else {
          for (const cEdFlow& flow : d.m_vFlows) {
            if (flow.m_nOnlyOnce && latched) continue;
            for (const cCond& condition : flow.m_vConds) DrawPositionCondition(lpDst, *c, condition, blink, work);
          }
        }
      }
    }
    DDEndFillBatch();
  }
}

cBackgroundView cStageScene::BackgroundView() const {
  // The map carries ten margin blocks on each side; the backgrounds are
  // placed against the stage's own first column and row.
  return cBackgroundView{m_ScrollX.position, m_ScrollY.position, kStageMarginBlocks, kStageMarginBlocks};
}

void cStageScene::ScrollBackgroundLayers() {
  if (m_nMode == kStageModePause) return;
  DDSURFACEDATA* surfaces[kBackgroundLayerCount];
  for (int i = 0; i < kBackgroundLayerCount; ++i) surfaces[i] = &GameSurfaces[SURF_BACKGROUND_FIRST + i];
  ::ScrollBackgroundLayers(StageData.m_Backgrounds, surfaces);
}

void cStageScene::DrawBackgroundLayers(DDSURFACEDATA* lpDst, int32_t layer) {
  DDSURFACEDATA* surfaces[kBackgroundLayerCount];
  for (int i = 0; i < kBackgroundLayerCount; ++i) surfaces[i] = &GameSurfaces[SURF_BACKGROUND_FIRST + i];
  ::DrawBackgroundLayers(lpDst, StageData.m_Backgrounds, layer, BackgroundView(), surfaces);
}

void cStageScene::DrawBlockLayer(DDSURFACEDATA* lpDst, int32_t layer) {
  if (m_BlockMap.IsEmpty()) return;
  const int32_t sx = TruncToInt(m_ScrollX.position), sy = TruncToInt(m_ScrollY.position);
  const int32_t firstColumn = sx >> 5, firstRow = sy >> 5;
  // The remainder keeps the sign of a negative scroll, so that the tiles
  // stay on the 32-dot grid of the map either way.
  const int32_t offX = sx % 32, offY = sy % 32;
  DDBeginBatch(0);
  DDBatchAddTexture(&GameSurfaces[kOverlaySurface]);
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 21; ++c) {
      const int index = m_BlockMap.CellIndex(firstColumn + c, firstRow + r);
      if (index < 0 || !m_BlockMap.HasBlock(index)) continue;
      const cEdBlock& block = m_BlockMap.Block(index);
      if (block.m_nGraphic == 0 || block.DrawLayer() != layer || block.NoDraw() != 0) continue;
      if (!m_BlockMap.CheckBlockConditions(index)) continue;
      PaintBlockTile(block, lpDst, c * 32 - offX, r * 32 - offY);
    }
  }
  DDEndBatch();
}

void cStageScene::ReleasePictures() {
  m_Pictures.clear();  // fxobj: the shown pictures go with their surfaces
}

void cStageScene::LoadCharacterBitmaps() { ::LoadCharacterBitmaps(m_Layers.m_Bitmaps); }
void cStageScene::LoadSwordBitmaps() { ::LoadSwordBitmaps(m_Layers.m_Bitmaps); }
void cStageScene::LoadEffectBitmaps() { ::LoadEffectBitmaps(m_Layers.m_Bitmaps); }

void cStageScene::BuildHeroSightMask() {
  if (!HasHero()) return;
  cHero& hero = Hero();
  if (hero.m_nSight <= 0) {
    DDReleaseSurface(&m_Layers.m_SightMask);
    DDReleaseSurface(&m_Layers.m_SightWork);
    return;
  }
  // The hole is palette 0, the transparent colour of the mask when it is
  // drawn keyed; in Direct3D mode palette 0 is the device's transparent
  // black, so the stage shows through the hole in both modes.
  const uint32_t hole = lpDTCon ? lpDTCon->dwPalZeroColor : 0;
  if (!BuildSightMask(&m_Layers.m_SightMask, &m_Layers.m_SightWork, hero.m_nSight, hero.Definition().SightMode(),
                      hole)) {
    ShowOutOfMemory();
  }
}

void cStageScene::DrawHUD(DDSURFACEDATA* lpDst) {
  if (!m_Layers.m_bHudOn) return;
  cHudValues v;
  v.stagePoints = SaveData.m_nStagePoints;
  v.score = SaveData.m_nScore;
  v.lives = SaveData.m_nLives;
  if (HasHero()) {
    cHero& hero = Hero();
    v.hp = hero.m_nHp;
    v.hpMax = hero.Definition().MaxHp();
    v.sp = hero.m_nSp;
    v.spMax = hero.Definition().MaxSp();
  }
  DrawHud(lpDst, SystemData, v);
}

void cStageScene::DrawStageDigits(DDSURFACEDATA* lpDst, int32_t soundFlag) {
  if (m_bTimeLimitOff) return;
  DrawTimeDigits(lpDst, m_nTimeLeft);
  // The warning sounds once a second: on the frames on which the second's
  // count of CountDownTime has just come round.
  if (soundFlag && m_nTimeLeft >= 1 && m_nTimeLeft <= StageData.Int(kStageTimeWarning) && CountCalls(2, 0))
    RequestSoundEffect(kSoundTimeWarning);
}

void cStageScene::DrawHero(DDSURFACEDATA* lpDst, int32_t still) {
  if (HasHero()) ::DrawHero(Hero(), lpDst, still);
}

bool cStageScene::DrawCharacter(DDSURFACEDATA* lpDst, cStageCharacter& character, int32_t still) {
  return ::DrawCharacter(character, lpDst, still) == 0;
}

namespace {
// The system texts of the key hint at the foot of the stage.
constexpr int kEditorHintText = 26;    // a game the editor started, outside test play
constexpr int kTestPlayHintText = 27;  // a test play of a stage named at start-up
}  // namespace

void cStageScene::DrawFrame(int32_t playing, int32_t still, int32_t timeWarningSound, int32_t keyHint) {
  DDSURFACEDATA* back = DDBackBuffer();
  // 1. Work surfaces whose contents were lost are made anew before use: at
  // the stage's start, and when the display lost them (a Direct3D device
  // reset makes them again empty, with their lost flags set).
  for (size_t k = 0; k < std::size(kTileWorkSurfaces); ++k)
    if (GameSurfaces[kTileWorkSurfaces[k]].bLost) m_bWorkSurfaceDirty[k] = 1;
  if (m_bWorkSurfaceDirty[0] || m_bWorkSurfaceDirty[1]) {
    ClearWorkSurfaces();
    m_bWorkSurfaceDirty[0] = m_bWorkSurfaceDirty[1] = 0;
  }
  // While a screen effect runs (or the stage asks for it), the frame is drawn
  // into the virtual back buffer, which the effect can read back as a
  // picture in Direct3D mode (a no-op in DirectDraw mode, whose back buffer
  // is readable as it is). The effect's end switches it off again.
  if (m_wVirtualBackBuffer || m_ScreenEffect.Running()) DDSetVirtualBackBuffer(1);

  // 2. Backgrounds behind everything.
  ScrollBackgroundLayers();
  DrawBackgroundLayers(back, kLayerBehind);

  // 3. A pause that hides the stage shows only the front backgrounds.
  if (!playing && m_nMode == kStageModePause && ProjectRule(kRuleHideStageWhilePaused)) {
    DrawBackgroundLayers(back, kLayerFront);
    m_Layers.m_ScreenColor.Draw(back, still != 0);
    return;
  }

  // 4. The pictures placed behind the objects, then the blocks over them.
  DrawPictures(back, still, 0);
  DrawBlockLayer(back, kLayerBehind);

  // 5. The objects, layer by layer: hero, items, characters, shots.
  const bool layered = StageData.Int(kStageDrawingLayers) != 0;
  const int32_t layers = layered ? 8 : 1;
  // The walk of the first layer visits every character and shot: it notes
  // the layers that hold some, and the later layers are walked only where
  // they draw something (drawing adds no object and changes no layer).
  uint32_t characterLayers = 1, shotLayers = 1;
  for (int32_t layer = 0; layer < layers; ++layer) {
    if (HasHero() && ObjectLayer(Hero().Definition().DrawLayer(), layered) == layer) DrawHero(back, still);
    if (layer == 0) {
      // An item's record names no drawing layer: items lie in the first
      // layer, under every character.
      DDBeginBatch(1);
      for (cStageItem& item : m_ItemList) {
        if (!item.m_bOnScreen || item.m_Definition.Hidden()) continue;
        item.UpdateScreenRect();
        item.Draw(back, still);
      }
      DDEndBatch();
    }
    DDBeginBatch(1);
    if (layer == 0) {
      characterLayers = 0;
      cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
      for (cStageCharacter& c : m_CharacterList) {
        ahead.Next();
        PrefetchForDrawing(ahead);
        const int32_t own = ObjectLayer(c.Definition().DrawLayer(), layered);
        characterLayers |= 1u << own;
        if (own == 0 && !DrawCharacter(back, c, still)) RemoveCharacter(c);
      }
    } else if (characterLayers & (1u << layer)) {
      cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
      for (cStageCharacter& c : m_CharacterList) {
        ahead.Next();
        if (const cStageCharacter* far = ahead.Far()) {
          PrefetchListNode(far);
          PrefetchLine(&far->m_Definition.m_nParam18);
        }
        if (ObjectLayer(c.Definition().DrawLayer(), layered) != layer) continue;
        if (!DrawCharacter(back, c, still)) RemoveCharacter(c);
      }
    }
    DDEndBatch();
    // Shots and swords (combat): over the characters of their layer.
    DDBeginBatch(1);
    if (layer == 0) {
      shotLayers = 0;
      // The shot order is the list's order (world/shot_order.h).
      for (size_t k = 0; k < m_ShotOrder.size(); ++k) {
        PrefetchShotDrawing(m_ShotOrder, k);
        cShot* const shot = m_ShotOrder[k].shot;
        if (!shot || shot->m_bRemove) continue;
        const int32_t own = ObjectLayer(shot->m_Definition.DrawLayer(), layered);
        shotLayers |= 1u << own;
        if (own == 0) shot->Draw(back, still);
      }
    } else if (shotLayers & (1u << layer)) {
      for (size_t k = 0; k < m_ShotOrder.size(); ++k) {
        cShot* const shot = m_ShotOrder[k].shot;
        if (!shot || shot->m_bRemove || ObjectLayer(shot->m_Definition.DrawLayer(), layered) != layer) continue;
        shot->Draw(back, still);
      }
    }
    DDEndBatch();
    FlushRemovals();
  }

  // 6. The front: blocks, backgrounds, the overlays, the sight mask, and the
  // pictures placed in front, which the darkness does not cover.
  DrawBlockLayer(back, kLayerFront);
  DrawBackgroundLayers(back, kLayerFront);
  // The ranges of the distance conditions shown over the characters.
  DrawPositionConditions(back);
  if (HasHero() && (m_Layers.m_SightMask.lpDDS || m_Layers.m_SightMask.lpDT))
    Hero().DrawSightMask(back, &m_Layers.m_SightMask);
  DrawPictures(back, still, 1);

  // 7. Effect objects, then the message windows over them.
  DrawEffectObjects(back, still);  // fxobj: effect objects, before the message windows
  // ---- message windows ----
  UpdateMessageWindows(back, still);
  // ---- end of message windows ----

  // 8. The screen effect over the finished picture, the head-up display and
  // the time limit.
  RunScreenEffect(m_ScreenEffect, ScreenEffectView(), still != 0);  // screen effects
  DrawHUD(back);
  DrawStageDigits(back, timeWarningSound);

  // 9. The key hint: a test play's, else that of a game the editor started.
  if (keyHint) {
    const int text = SceneManager.m_bTestPlay ? kTestPlayHintText : bFromEditor ? kEditorHintText : -1;
    if (text >= 0 && text < static_cast<int>(SystemData.m_Texts.size()) && GameFonts[1].Created()) {
      const std::string& hint = SystemData.m_Texts[static_cast<size_t>(text)];
      GameFonts[1].DrawText(back, 320 - CountCharacters(hint.c_str()) * 16 / 2, 456, hint.c_str());
      NoteTraceHint(text);
    }
  }

  // 10. Colour cycle and the screen colour.
  StepColourCycle();
  m_Layers.m_ScreenColor.Draw(back, still != 0);
}

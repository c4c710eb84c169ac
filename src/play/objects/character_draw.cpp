// A character's picture: its graphic number and anime runs, the sheets and
// cells its graphic source names, its body drawn with its graphic effect or
// its defeat display, and the HP and SP gauges over a damaged character.
#include <algorithm>

#include "data/database.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "gfx/surface_table.h"
#include "play/objects/character.h"
#include "play/world/stage_scene.h"

namespace {

inline constexpr uint32_t kColourKey = 1;
// The scratch surface of graphic effects on enlarged characters.
inline constexpr int kCharacterEffectWorkSurface = SURF_EMPTY_FIRST + 2;

// Which rows of the system picture the gauges are cut from.
void GaugeRows(int32_t& base, int32_t& step) {
  const DDSURFACEDATA& image = GameSurfaces[SURF_ACCESSORY];
  if (image.nHeight <= 208) {
    base = 128;
    step = 16;
  } else {
    base = 208;
    step = 2;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Gauges

namespace {
void StartGauge(cGauge& g, int32_t value, int32_t maximum, int32_t delta) {
  if (delta == 0 || maximum < 1) return;
  g.timer = kGaugeFrames;
  g.length = static_cast<int32_t>(int64_t{value} * kGaugeLength / maximum);
  g.change = double(delta) * kGaugeLength / maximum;
  g.step = g.change * (1.0 / 60);
}

void DrawGauge(cGauge& g, const cCharacter& c, DDSURFACEDATA* target, int32_t sourceX, int32_t rise,
               int threshold, int32_t value, int32_t maximum) {
  if (g.timer <= 0 || c.m_bDying) return;
  if (target) {
    int32_t base = 0, step = 0;
    GaugeRows(base, step);
    DDSURFACEDATA* image = &GameSurfaces[SURF_ACCESSORY];
    int32_t left = c.m_rcScreen.left + c.m_nDrawWidth / 2 - 25;
    int32_t top = c.m_rcScreen.top - rise;
    int32_t length = std::clamp(g.length, 0, kGaugeLength);
    DDBlt(target, left, top, kGaugeLength, 2, image, sourceX, base, kColourKey);
    int32_t barRow = SystemData.m_Hud.size() > static_cast<size_t>(threshold) &&
                             SystemData.IsWithinThreshold(threshold, value, maximum)
                         ? base + 2 * step
                         : base + step;
    if (length > 0) DDBlt(target, left, top, length, 2, image, sourceX, barRow, kColourKey);
    if (g.change >= 0) {
      int32_t n = std::min(TruncToInt(g.change), length);
      if (n > 0) DDBlt(target, left + length - n, top, n, 2, image, sourceX + length - n, base + 4 * step, kColourKey);
    } else {
      int32_t n = std::min(TruncToInt(-g.change), kGaugeLength - length);
      if (n > 0) DDBlt(target, left + length, top, n, 2, image, sourceX + length, base + 3 * step, kColourKey);
    }
  }
  --g.timer;
  if (g.timer > 59) g.change -= g.step;
  else g.change = 0;
}
}  // namespace

void cCharacter::StartHpGauge(int32_t delta) { StartGauge(m_HpGauge, m_nHp, m_Definition.MaxHp(), delta); }
void cCharacter::StartSpGauge(int32_t delta) { StartGauge(m_SpGauge, m_nSp, m_Definition.MaxSp(), delta); }

void cCharacter::DrawHpGauge(DDSURFACEDATA* target) {
  DrawGauge(m_HpGauge, *this, target, 0, 3, 2, m_nHp, m_Definition.MaxHp());
}
void cCharacter::DrawSpGauge(DDSURFACEDATA* target) {
  DrawGauge(m_SpGauge, *this, target, 64, 7, 3, m_nSp, m_Definition.MaxSp());
}

// ---------------------------------------------------------------------------
// Drawing

// The graphic offsets of the character options. The stored anime sets do
// not name these numbers; this reading takes animations 15, 14 and 13 of the
// set as the slots of the free-vertical, whole-cell and invincibility
// offsets, each holding its offset in the animation's first number. A new
// set has four animations, so a new project's characters take no offset.
const cAnimeSetOffsetSource kAnimeSetGraphicOffsets[kAnimeSetOffsetCount] = {
    {&cEdCharacter::FreeVertical, 15, &cAnimeRecord::m_nValue1, nullptr},
    {&cEdCharacter::WholeCell, 14, &cAnimeRecord::m_nValue1, nullptr},
    {&cEdCharacter::Invincibility, 13, &cAnimeRecord::m_nValue1, nullptr},
};

int32_t AnimeSetGraphicOffset(const cAnimeSetRecord& set, const cAnimeSetOffsetSource& source) {
  if (source.anime == kOffsetOfSet) return source.setField ? set.*source.setField : 0;
  if (source.anime < 0 || static_cast<size_t>(source.anime) >= set.m_Animes.size() || !source.animeField) return 0;
  return set.m_Animes[static_cast<size_t>(source.anime)].*source.animeField;
}

int32_t cCharacter::GetGraphicNumber(int32_t& colourFlag, DDDRAWSTATE& colour) const {
  int64_t number = m_Definition.GraphicNumber();
  const auto& sets = Database.m_AnimeSets;
  if (!sets.empty()) {
    // A set number outside the list reads set 0, as the animations do.
    int32_t index = m_Definition.BasicAnimeSet();
    if (index < 0 || static_cast<size_t>(index) >= sets.size()) index = 0;
    const cAnimeSetRecord& set = sets[static_cast<size_t>(index)];
    for (const cAnimeSetOffsetSource& source : kAnimeSetGraphicOffsets)
      if ((m_Definition.*source.option)() != 0) number += AnimeSetGraphicOffset(set, source);
  }
  colourFlag = 0;
  colour = DDDRAWSTATE{};
  // The colour pair is a draw colour and a colour operation: only the
  // Direct3D back end draws with them.
  const int32_t index = m_Definition.PaletteColour();
  const auto& pairs = g_CharacterSwitches.colourPairs;
  if (m_Definition.Invincibility() != 0 && g_CharacterSwitches.paletteChange && lpDTCon && index != 0 &&
      static_cast<size_t>(index) < pairs.size()) {
    colourFlag = 1;
    colour = pairs[static_cast<size_t>(index)];
  }
  return static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
}

int32_t cCharacter::StepAnimeRuns(bool noAdvance) {
  if (!noAdvance) {
    m_AnimePlayer.Step();
    for (auto it = m_AnimeRuns.begin(); it != m_AnimeRuns.end();) {
      if (it->held) {
        ++it;
        continue;
      }
      if (it->player.Step() == kAnimeEnd) {
        it = m_AnimeRuns.erase(it);
      } else {
        --it->remaining;
        ++it;
      }
    }
  }
  if (m_AnimeRuns.empty()) return m_AnimePlayer.GetCell();
  const cAnimeRun* winner = nullptr;
  int32_t best = 0x7fffffff;
  bool expired = false;
  for (const cAnimeRun& run : m_AnimeRuns) {
    if (run.held) continue;
    if (!expired) {
      if (run.timed && run.remaining <= 0 && best <= 0) {
        winner = &run;
        best = run.remaining;
        expired = true;
      } else if (run.timed && run.remaining < best) {
        winner = &run;
        best = run.remaining;
      } else if (!run.timed && !winner) {
        winner = &run;
      }
    } else if (run.remaining <= 0 && best <= 0 && run.remaining > best) {
      winner = &run;
      best = run.remaining;
    }
  }
  return winner ? winner->player.GetCell() : m_AnimePlayer.GetCell();
}

namespace {

// The stage's special-bitmap sheets: four surfaces an entry (picture,
// mirrored picture, their system-memory copies), entries 1.. of the list.
cSafeVector<DDSURFACEDATA>* SpecialBitmapSheets() {
  cStageScene* scene = CurrentStageScene();
  return scene ? &scene->m_Layers.m_Bitmaps.m_CharaExc : nullptr;
}

DDSURFACEDATA* SheetSurface(int32_t sheets, int32_t id) {
  if (id < 0) return nullptr;
  if (sheets == kSheetsSpecialBitmaps) {
    cSafeVector<DDSURFACEDATA>* list = SpecialBitmapSheets();
    return list && static_cast<size_t>(id) < list->size() ? &(*list)[static_cast<size_t>(id)] : nullptr;
  }
  return id < kGameSurfaceCount ? &GameSurfaces[id] : nullptr;
}

}  // namespace

int32_t SpecialBitmapCellScale(const cBmpCharaExcRecord& record) {
  // The record's second number is the scale its cells are drawn for.
  return std::clamp(record.m_nValue2, 1, 16);
}

void cGraphicSource::Lookup(int32_t variant, int32_t kind, int32_t number, int32_t row, const cStageObject* object,
                            int32_t offset) {
  sheets = kSheetsGameTable;
  cellScale = 1;
  const int32_t facing = object ? (object->m_nFacing != 0 ? 1 : 0) : 0;
  int32_t surface = -1, second = -1;
  // Data values far beyond any sheet are held where the sheet test below
  // turns them away, without overflowing on the way.
  number = std::clamp(number, 0, 1 << 20);
  row = std::clamp(row, 0, 1 << 16);
  offset = std::clamp(offset, 0, 1 << 16);
  switch (kind) {
    case kGraphicBlock:
      surface = SURF_BLOCK;
      second = SURF_BLOCK_SYSTEM;
      x = (number % 15) * 32;
      y = (number / 15) * 32;
      break;
    case kGraphicCharacter: {
      // Sheets of 15 graphics a row; each sheet has a mirrored twin.
      int32_t sheet = number / 15 + 1;
      x = (number % 15) * 32;
      if (variant == 1) {
        surface = facing ? CharacterMirrorSurface(sheet) : CharacterSurface(sheet);
        second = facing ? CharacterSurface(sheet) : CharacterMirrorSurface(sheet);
        y = (offset + row) * 32;
      } else if (row < 20) {
        surface = CharacterSurface(sheet);
        second = CharacterMirrorSurface(sheet);
        y = row * 32;
      } else {
        surface = CharacterMirrorSurface(sheet);
        second = CharacterSurface(sheet);
        y = (row - 20) * 32;
      }
      // A cell beyond its sheet (or on a sheet the game does not have)
      // shows the fallback graphic: the first cell of the first sheet.
      const DDSURFACEDATA* sd = SheetSurface(kSheetsGameTable, surface);
      if (!sd || x >= sd->nWidth || y >= sd->nHeight) {
        surface = CharacterSurface(1);
        second = CharacterMirrorSurface(1);
        x = y = 0;
      }
      break;
    }
    case kGraphicItem:
      surface = SURF_ITEM;
      second = SURF_ITEM_SYSTEM;
      x = (number % 15) * 32;
      y = (number / 15) * 64 + (variant == 2 ? offset * 32 : 0);
      break;
    case kGraphicShot: {
      // The graphic's first cell on the shot sheet's enlarged copy; the
      // mirrored copy keeps every cell in its place, turned round, so the
      // other facing reads the same square there.
      const bool mirrored = variant == 1 && facing;
      surface = mirrored ? kShotWorkMirrorSurface : kShotWorkSurface;
      second = mirrored ? kShotWorkSurface : kShotWorkMirrorSurface;
      const int32_t column = number / kShotGraphicsPerColumn, place = number % kShotGraphicsPerColumn;
      x = column * 4 * kShotSheetCell;
      y = place * 2 * kShotSheetCell;
      // The copy is as large as the largest sheet: a graphic that this
      // game's sheet does not reach has only the cleared copy there.
      const DDSURFACEDATA& sheet = GameSurfaces[SURF_SHOT];
      if (column * 2 * kShotSheetCell >= sheet.nWidth || place * kShotSheetCell >= sheet.nHeight)
        surface = second = -1;
      break;
    }
    case kGraphicSpecialBitmap: {
      // Picture n of the list: its sheet and the mirrored one (facing right,
      // for the variant that follows the facing). The cells are k x 32
      // dots, 16 / k to a row, counted from the top-left.
      sheets = kSheetsSpecialBitmaps;
      if (number < 1) break;
      const bool mirrored = variant == 1 && facing;
      surface = 4 * number - 4 + (mirrored ? 1 : 0);
      second = 4 * number - 4 + (mirrored ? 0 : 1);
      const auto& records = Database.m_BmpCharaExcs;
      if (static_cast<size_t>(number) < records.size())
        cellScale = SpecialBitmapCellScale(records[static_cast<size_t>(number)]);
      const int32_t size = 32 * cellScale, perRow = 16 / cellScale;
      const int32_t cell = row + offset;
      x = (cell % perRow) * size;
      y = (cell / perRow) * size;
      break;
    }
    default:
      break;
  }
  // A source outside its sheet (other than a character's) draws nothing.
  const DDSURFACEDATA* sd = SheetSurface(sheets, surface);
  if (!sd || x >= sd->nWidth || y >= sd->nHeight) surface = second = -1;
  primary[0] = surface;
  primary[1] = second;
}

bool DrawsVideoSheets() { return lpDTCon == nullptr && GameSettings.nDDVideoStretch != 0; }

int32_t SelectVariantSurface(int32_t surface, int32_t second) {
  if (!second || surface < 0 || surface + kSheetVariantOffset >= kGameSurfaceCount) return surface;
  const int32_t variant = surface + kSheetVariantOffset;
  const DDSURFACEDATA& s = GameSurfaces[surface];
  const DDSURFACEDATA& v = GameSurfaces[variant];
  // The variant holds the same picture: it shares the image the surface
  // shows (its own, or the one it shares; the table links each entry to the
  // one it shares), turned round alike.
  const DDSURFACEDATA* root = s.lpShareSD ? s.lpShareSD : &s;
  if (v.lpShareSD != root || GameSurfaceInfo[variant].nMirrorCellW != GameSurfaceInfo[surface].nMirrorCellW)
    return surface;
  if (v.nWidth <= 0) return surface;
  return variant;
}

DDSURFACEDATA* cGraphicSource::Surface(int32_t which) const {
  // The variant is looked up here, for the one surface drawn from, rather
  // than for both at every lookup: a frame looks up every character.
  const int32_t surface = primary[which != 0 ? 1 : 0];
  const bool variant = sheets == kSheetsGameTable && !DrawsVideoSheets();
  return SheetSurface(sheets, variant ? SelectVariantSurface(surface, 1) : surface);
}

void cGraphicSource::DrawSmall(DDSURFACEDATA* target, int32_t x, int32_t y, int32_t kind, int32_t number,
                               int32_t row) {
  if (!target) return;
  if (kind == kGraphicItem) {
    DDSURFACEDATA* sheet = &GameSurfaces[SURF_ITEM_MINI];
    number = std::clamp(number, 0, 1 << 20);
    int32_t sx = (number % 15) * 16, sy = (number / 15) * 16;
    if (sx + 16 <= sheet->nWidth && sy + 16 <= sheet->nHeight) DDBlt(target, x, y, 16, 16, sheet, sx, sy, kColourKey);
    return;
  }
  cGraphicSource source;
  source.Lookup(0, kind, number, row, nullptr, 0);
  const int32_t size = source.CellSize();
  if (DDSURFACEDATA* src = source.Surface())
    DDBltStretch(target, x, y, 16, 16, src, source.x, source.y, size, size, kColourKey);
}

// The effect's view of the cell to draw: the sheet cell and the screen
// rectangle (an enlarged character reads the work surface), with the colour
// pair of an invincible character.
static bool EffectCell(cCharacter& c, int32_t cell, cEffectDraw& d) {
  const int32_t number = c.GetGraphicNumber(d.colourFlag, d.colour);
  cGraphicSource source;
  source.Lookup(1, c.Definition().GraphicKind(), number, cell, &c, 0);
  d.sheet = source.Surface();
  if (!d.sheet) return false;
  d.sx = source.x;
  d.sy = source.y;
  d.cellW = d.cellH = source.CellSize();
  d.x = c.m_rcScreen.left;
  d.y = c.m_rcScreen.top;
  d.w = c.m_nDrawWidth;
  d.h = c.m_nDrawHeight;
  d.work = &GameSurfaces[kCharacterEffectWorkSurface];
  return true;
}

// The hidden word tells the frame's later drawing (the ranges of distance
// conditions) whether this drawing leaves the character out: it has no cell
// to show, its definition is transparent, or its graphic effect is in a
// hidden phase (a blink's off frames, a translucency's hidden ones). A
// graphic the sheets lack still counts as drawn: it is there, only blank.
void cCharacter::DrawBody(DDSURFACEDATA* target, int32_t cell, int32_t still) {
  if (cell >= 0) m_nEffectCell = cell;
  m_bHiddenThisFrame = cell < 0 || m_Definition.Transparent() || (m_Effect.Running() && m_Effect.HidesCell()) ? 1 : 0;
  if (!target || cell < 0 || m_Definition.Transparent()) {
    StepHiddenEffect(still);
    return;
  }
  cEffectDraw d;
  if (!EffectCell(*this, cell, d)) {
    StepHiddenEffect(still);
    return;
  }
  if (m_Effect.Running()) {
    if (DrawGraphicEffect(m_Effect, target, d, still != 0, true)) m_Effect = cGraphicEffectSlot{};
    return;
  }
  DrawPlainCell(target, d);
}

void cCharacter::StepHiddenEffect(int32_t still) {
  if (m_Effect.Running() && DrawGraphicEffect(m_Effect, nullptr, cEffectDraw{}, still != 0, false))
    m_Effect = cGraphicEffectSlot{};
}

// Without a death effect (or once it has ended) the defeated character stays
// out of sight for the stage's defeat display time, or goes at once when it
// vanishes at once.
int cCharacter::DrawDefeated(DDSURFACEDATA* target, int32_t still) {
  if (m_Effect.Running()) {
    cEffectDraw d;
    const bool drawable = target && m_nEffectCell >= 0 && !m_Definition.Transparent() &&
                          EffectCell(*this, m_nEffectCell, d);
    if (!DrawGraphicEffect(m_Effect, drawable ? target : nullptr, d, still != 0, drawable)) return 0;
    m_Effect = cGraphicEffectSlot{};
    return m_bVanishAtOnce ? 1 : 0;
  }
  if (m_bVanishAtOnce) return 1;
  if (!still) ++m_nDefeatCounter;
  return m_nDefeatCounter > g_CharacterSwitches.defeatDisplayFrames ? 1 : 0;
}

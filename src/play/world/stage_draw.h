// The painters of a stage frame that belong to the stage rather than to its
// objects: the background layers (tiled bitmaps with parallax or automatic
// scrolling, or a colour fill), the head-up display, the time-limit digits,
// the hero's sight mask, the screen colour wash, and the per-stage bitmap
// sheets (special bitmaps, swords, effects) with their release between
// stages. The stage scene calls them from its DrawFrame; each takes what it
// draws from its arguments, so that a test can draw any of them onto a
// surface without a running stage.
//
// Threads: game thread only (or a frame-keeping loop while the game thread
// waits for it).
#pragma once

#include <cstdint>
#include <string>

#include "base/safe_containers.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/surface_table.h"

// Table surfaces the stage frame draws its fixed pictures from.
// The HUD strip: the 640 x 20 strip at (0, 0) of the status picture.
inline constexpr int kHudStripSurface = SURF_STATUS_WINDOW;
// The HUD icon picture: 16 x 16 icons in the row at y = 32 (points, score,
// HP, SP, lives at columns 0, 16, 32, 48, 64), 50 x 16 gauge frames in the
// row at y = 128 (HP at x 0, SP at x 64), the bars at y = 144 and, for the
// warning range, at y = 160.
inline constexpr int kHudIconSurface = SURF_MARK;
// The overlay tiles drawn over blocks and items come from the block sheet
// (items draw theirs from it too): 32 x 32, tile n at ((n / 15) x 32,
// (n mod 15) x 32).
inline constexpr int kOverlaySurface = SURF_BLOCK;
inline constexpr int kSystemPictureSurface = SURF_ACCESSORY;  // 32 x 32 digits in the row at y = 160
// The word picture of the stage's banners and strips, 32 dots high each: the
// stage strip (128 wide) at (0, 0) and the second start banner (80 wide) at
// (160, 0), the replay strip at (0, 32), the clear strip at (0, 64), the
// game-over strip (144 wide) at (0, 96), and the 32 x 32 digits of the stage
// number in the row at y = 128.
inline constexpr int kBannerSurface = SURF_WORD;
enum : int {
  kStageStripY = 0, kSecondBannerX = 160, kReplayStripY = 32, kClearStripY = 64, kGameOverStripY = 96,
  kBannerDigitsY = 128
};

// Palette number shown where no background covers the screen.
inline constexpr uint32_t kNoBackgroundPalette = 16;
// Layers of a background record and of a block cell.
enum : int32_t { kLayerBehind = 0, kLayerFront = 1 };
inline constexpr int kBackgroundLayerCount = 8;
// At most this many tiles of one background across and down the screen.
inline constexpr int kMaxBackgroundTiles = 1000;
// The sight radius the mask is built for at most: from any point of the
// screen, every other point lies within 800 dots (the 640 x 480 diagonal), so
// a larger hole shows nothing more and would only cost memory.
inline constexpr int32_t kMaxSightRadius = 800;

// ---- background layers ----
// The record's fields by meaning.
inline bool BackgroundShown(const cStageBackground& b) { return b.m_nLayer1 != 0; }
inline bool BackgroundIsFill(const cStageBackground& b) { return b.m_nSource != 0; }
inline uint32_t BackgroundFillPalette(const cStageBackground& b) { return static_cast<uint32_t>(b.m_nLayer2) & 0xFF; }
inline int32_t BackgroundLayer(const cStageBackground& b) { return b.m_nLayer3; }

// The view the backgrounds are drawn for: the scroll position of both axes
// (dots, the view's left and top edge in map dots with the ten-block margin)
// and the stage's column and row offsets (blocks).
struct cBackgroundView {
  double scrollX = 0.0, scrollY = 0.0;
  int32_t columnOffset = 0, rowOffset = 0;
};

// Once a frame: each automatically scrolling axis of each record moves by
// minus its factor and is wrapped into 0 .. the picture's size. `surfaces`
// holds the pictures of records 0..7 (records beyond them do not scroll).
void ScrollBackgroundLayers(cSafeVector<cStageBackground>& layers, DDSURFACEDATA* const* surfaces);
// The source offset of one axis before wrapping: from the auto-scroll
// position when the axis scrolls by itself, else the scroll position times
// the parallax factor.
int32_t BackgroundSourceOffset(bool autoScroll, double autoPosition, double factor, double scroll, int32_t offset);
// Paints every shown record of `layer` onto `lpDst` (the back buffer) in
// list order; layer 0 paints palette 16 when nothing of it was drawn. The
// first record painted on layer 0 is drawn without colour key (it covers the
// screen). A record whose picture is missing or empty draws nothing.
void DrawBackgroundLayers(DDSURFACEDATA* lpDst, cSafeVector<cStageBackground>& layers, int32_t layer,
                          const cBackgroundView& view, DDSURFACEDATA* const* surfaces);

// ---- head-up display ----
// The values the HUD shows (play record and hero).
struct cHudValues {
  int32_t stagePoints = 0;
  int32_t score = 0;
  int32_t hp = 0, hpMax = 0;
  int32_t sp = 0, spMax = 0;
  int32_t lives = 0;
};
inline constexpr int kHudItemCount = 5;
enum : int { kHudPoints = 0, kHudScore = 1, kHudHP = 2, kHudSP = 3, kHudLives = 4 };
inline constexpr int32_t kGaugeWidth = 50;
inline constexpr int32_t kInfiniteLives = 999999;  // shown as "-"
// The x of each shown item (-1 for hidden ones) by the spacing rule: the
// items and equal gaps share the 638 dots of the strip.
void LayOutHud(const cSystemData& system, int32_t xs[kHudItemCount]);
// Width of a gauge's bar for a value and its maximum: 0..50, 0 without a maximum.
int32_t GaugeBarWidth(int32_t value, int32_t maximum);
// The HUD: the strip at (0, 0), then the shown items at y = 3. Nothing
// when no item is shown.
void DrawHud(DDSURFACEDATA* lpDst, cSystemData& system, const cHudValues& values);

// The time left as three 32 x 32 digits of the system picture at (272, 24).
void DrawTimeDigits(DDSURFACEDATA* lpDst, int32_t timeLeft);

// ---- sight mask ----
// Builds the darkness around the hero's sight: a (2r + 1280) x (2r + 960)
// surface of palette 16 with a hole of palette 0 (Direct3D: `holeColour`) at
// its centre, square for shapes other than 1 and 2, round otherwise. `lpWork`
// is released (the round hole is cut row by row). False when the mask
// cannot be made (the caller reports out of memory).
bool BuildSightMask(DDSURFACEDATA* lpMask, DDSURFACEDATA* lpWork, int32_t radius, int32_t shape, uint32_t holeColour);

// ---- screen colour ----
// A wash of one colour over the whole frame, faded in over a time, held,
// repeated, or faded back out. Direct3D tints the picture with the colour
// (DDChangeColorAll: the picture modulated by the colour, 255 - level of it
// laid over the picture); DirectDraw lays the colour itself over the picture
// translucently at the level (16/32 bits) or blends the palette toward it
// (8 bits).
class cScreenColor {
 public:
  // The command's eight words: red, green, blue, strength (percent),
  // return flag, time (units of 6 frames), repeat flag, repeat count.
  void Start(const int32_t* params);
  // Lays the colour over the back buffer at the current level and, unless
  // `drawOnly`, advances the counter.
  void Draw(DDSURFACEDATA* lpBackBuffer, bool drawOnly);
  // The level the counter gives now (255: the picture unchanged).
  int32_t ComputeLevel() const;

  int32_t m_bStarted = 0;
  uint8_t m_Colour[3] = {};
  int32_t m_nStrength = 0;  // percent
  int32_t m_bReturn = 0;
  int32_t m_nTime = 0;      // frames
  int32_t m_bRepeat = 0;
  int32_t m_nRepeatCount = 0;
  int32_t m_bActive = 0;
  int32_t m_nCounter = 0;
  int32_t m_nRepeatCounter = 0;
  int32_t m_nLevel = 255;
  uint8_t m_PrevColour[3] = {};
  int32_t m_nPrevStrength = 0;
  int32_t m_nPrevLevel = 255;
};
// The DirectDraw wash of 16- and 32-bit colour: the colour laid
// translucently over every pixel of the surface, each channel becoming
// (channel x level + colour x (255 - level)) / 255, so that level 255 leaves
// the picture as it is. 8-bit surfaces are washed through the display
// palette and Direct3D tints the picture instead (see cScreenColor::Draw).
void WashSurface(DDSURFACEDATA* lpSD, const uint8_t rgb[3], int32_t level);

// ---- per-stage bitmap sheets ----
// Surfaces of the database's bitmaps, four per special bitmap and per sword
// type (picture, mirrored picture, and their system-memory copies) and two
// per effect (picture, and the copy zoomed effect objects are stretched
// from). The later surfaces of an entry draw from its first surface in
// Direct3D mode.
struct cStageBitmaps {
  cSafeVector<DDSURFACEDATA> m_CharaExc;
  cSafeVector<DDSURFACEINFO> m_CharaExcInfo;
  cSafeVector<DDSURFACEDATA> m_Swords;
  cSafeVector<DDSURFACEINFO> m_SwordInfo;
  cSafeVector<DDSURFACEDATA> m_Effects;
  cSafeVector<DDSURFACEINFO> m_EffectInfo;
};
// Each loader releases its sheets, makes room for every entry and loads the
// entries' bitmap files; a file that fails is logged to the error-check log
// and the rest load on. The number of entries that failed.
int LoadCharacterBitmaps(cStageBitmaps& bitmaps);
int LoadSwordBitmaps(cStageBitmaps& bitmaps);
int LoadEffectBitmaps(cStageBitmaps& bitmaps);
void ReleaseStageBitmaps(cStageBitmaps& bitmaps);

// ---- what the stage scene keeps for drawing ----
struct cStageLayers {
  cStageLayers() = default;
  // Releases every surface it holds (the display outlives the stage scene).
  ~cStageLayers();
  cStageLayers(const cStageLayers&) = delete;
  cStageLayers& operator=(const cStageLayers&) = delete;

  cScreenColor m_ScreenColor;
  int32_t m_nOverlayBlink = 0;  // 0..31, once a drawn frame
  int32_t m_bHudOn = 1;         // the HUD is drawn (nothing switches it off)
  // The sight mask and its work surface, built when the hero has a sight.
  DDSURFACEDATA m_SightMask;
  DDSURFACEDATA m_SightWork;
  // The 129 x 129 picture a large position-condition circle is stretched
  // from (DirectDraw; made when first needed).
  DDSURFACEDATA m_CircleWork;
  cStageBitmaps m_Bitmaps;
};
// One distance condition of `character` shown as it asks (its display mode,
// colour and show-while bytes): the two lines of its range on one axis, or
// its circle. `blink` (0..3) is added to the colour; `circleWork` holds the
// DirectDraw picture a large circle is stretched from (made when first
// needed; may be null).
class cCharacter;
class cCond;
void DrawPositionCondition(DDSURFACEDATA* target, cCharacter& character, const cCond& condition, uint32_t blink,
                           DDSURFACEDATA* circleWork);

// Installs stage play's part of the frame trace (stage/trace_fill.cpp); calling it
// again changes nothing.
void InstallStageTraceFiller();

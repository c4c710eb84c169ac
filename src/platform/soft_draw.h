// Our software stand-in for the DirectDraw 7 part of the graphics layer:
// pixel images with a real pitch, a shared 256-entry palette object, surfaces
// with a source colour key, plain and stretched blits, colour fills, a flip
// chain, and a surface loss that tests can trigger. Everything is processor
// code, pixel-exact and deterministic (no SDL blitter).
//
// Threads: the game thread draws; the main thread may set the display up and
// tear it down while the game thread is not drawing. Nothing here locks.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/window_host.h"

namespace plat {

// Result codes, the values the game's logic compares.
inline constexpr uint32_t DD_OK = 0;
inline constexpr uint32_t DDERR_GENERIC = 0x80004005u;
inline constexpr uint32_t DDERR_INVALIDPARAMS = 0x80070057u;
inline constexpr uint32_t DDERR_OUTOFVIDEOMEMORY = 0x8876017Cu;
inline constexpr uint32_t DDERR_SURFACELOST = 0x887601C2u;
inline constexpr uint32_t DDERR_SURFACEBUSY = 0x887601AEu;
inline constexpr uint32_t DDERR_UNSUPPORTED = 0x80004001u;

// Blit flags of the blitter (the values the drawing code passes).
inline constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x1;
inline constexpr uint32_t DDBLTFAST_WAIT = 0x10;
inline constexpr uint32_t DDBLT_COLORFILL = 0x400;
inline constexpr uint32_t DDBLT_KEYSRC = 0x8000;
inline constexpr uint32_t DDBLT_WAIT = 0x01000000;

// Channel masks of a pixel format; 8 bits per pixel means palette numbers.
struct PixelFormat {
  int bitsPerPixel = 32;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
  bool operator==(const PixelFormat&) const = default;
};
PixelFormat FormatIndexed8();
PixelFormat FormatR5G6B5();
PixelFormat FormatX1R5G5B5();
PixelFormat FormatA1R5G5B5();
PixelFormat FormatX8R8G8B8();
PixelFormat FormatA8R8G8B8();

// Shift of a mask's lowest set bit (0 for an empty mask) and the mask's
// value range (mask >> shift).
int MaskShift(uint32_t mask);
uint32_t MaskMax(uint32_t mask);

// Rows of pixels with a pitch in bytes that may exceed width × bytes.
class PixelImage {
 public:
  PixelImage() = default;
  PixelImage(const PixelImage& other);  // copies the pixels
  PixelImage& operator=(const PixelImage& other);
  PixelImage(PixelImage&& other) noexcept;  // leaves `other` empty
  PixelImage& operator=(PixelImage&& other) noexcept;

  // Extra bytes added to every row's pitch of images made from now on (tests
  // set it to catch code that assumes pitch == width × bytes).
  static void SetExtraPitchForTest(int bytes);

  // How often an image's pixels are used: a screen-sized image drawn or read
  // every frame gets large pages (platform/large_pages.h); one that mostly
  // waits unused (a surface kept beside a texture for locking) stays in
  // small pages, none of which is ever touched while it is not used.
  enum class Use { Often, Seldom };
  bool Allocate(int width, int height, const PixelFormat& format, Use use = Use::Often);
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Pitch() const { return pitch_; }
  int BytesPerPixel() const { return bytesPerPixel_; }
  const PixelFormat& Format() const { return format_; }
  uint8_t* Row(int y) { return bytes_.get() + static_cast<size_t>(y) * pitch_; }
  const uint8_t* Row(int y) const { return bytes_.get() + static_cast<size_t>(y) * pitch_; }
  uint8_t* Bits() { return bytes_.get(); }
  // Raw pixel values; coordinates must be inside.
  uint32_t Get(int x, int y) const;
  void Set(int x, int y, uint32_t value);
  // Fills the part of the rectangle inside the image with a raw value.
  void Fill(const Rect& rect, uint32_t value);
  // Every byte of the image (also the pitch padding) set to `byte`.
  void Scribble(uint8_t byte);
  bool SameSize(const PixelImage& other) const { return width_ == other.width_ && height_ == other.height_; }

 private:
  int width_ = 0, height_ = 0, pitch_ = 0, bytesPerPixel_ = 4;
  PixelFormat format_;
  // Zeroed memory: a small image from calloc, one of about a screen or more
  // from the large-page heap (platform/large_pages.h). Either way a fresh
  // image mostly comes as fresh pages that the system has already cleared,
  // so making a surface costs no writing pass. Copies copy the bytes.
  struct FreeBytes {
    FreeBytes() noexcept : largePageBytes(0) {}
    explicit FreeBytes(size_t bytes) noexcept : largePageBytes(bytes) {}
    void operator()(uint8_t* p) const;
    size_t largePageBytes;  // the block's size in the large-page heap; 0: from calloc
  };
  // Large-page blocks always come zeroed; others only when asked.
  static std::unique_ptr<uint8_t[], FreeBytes> AllocateBytes(size_t size, bool zeroed, Use use);
  std::unique_ptr<uint8_t[], FreeBytes> bytes_;
  size_t size_ = 0;
};

// A palette entry as stored palette files hold it: red, green, blue, flags.
struct PaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  bool operator==(const PaletteEntry&) const = default;
};

// A raw pixel as 0xAARRGGBB for the screen: 8-bit through the palette,
// narrower channels widened by c × 255 / max rounded.
uint32_t PixelToArgb(const PixelFormat& format, uint32_t pixel, const PaletteEntry* palette);
// The parts of a picture that may differ from the picture presented before
// it: its rows, and in each of them the columns left..right-1 (the rest of
// the row holds that picture's pixels still).
struct FrameChanges {
  struct Columns {
    int16_t left, right;
  };
  FrameRows rows;
  std::array<Columns, kScreenHeight> columns;
};

// The frame presented last, for converting the next one against it.
struct ShownFrame {
  const uint32_t* pixels = nullptr;  // its 640×480 pixels
  // Per row, the number of the picture in which the row last changed;
  // ImageToFrame sets `next` in the rows where the new picture differs.
  uint64_t* rowChanged = nullptr;
  // The number of the picture the frame being converted into holds (its rows
  // unchanged since then hold the shown picture's); 0 when not known.
  uint64_t held = 0;
  uint64_t next = 0;  // the number the new picture gets
  // When known, where the picture may differ from the shown one: the rest
  // is not compared (it holds the shown picture's pixels).
  const FrameChanges* mayDiffer = nullptr;
};

// Converts the image's top-left 640×480 (or less) into a frame; pixels outside
// the image are black. `palette` is needed for 8-bit images. False when the
// frame already held exactly these pixels (true whenever that is not known).
// With `shown`, it tells instead whether the picture differs from the shown
// one; the frame ends up holding the picture either way, its rows written
// only where it does not hold them already.
bool ImageToFrame(const PixelImage& image, const PaletteEntry* palette, Frame& frame,
                  ShownFrame* shown = nullptr);

// A drawing thread's frame for the window: converts pictures into it and
// presents them. Where the window host keeps the frame shown last, the new
// picture is compared with that one row by row while it is converted (a
// picture equal to it is counted, not handed over), and from the pictures
// handed over the presenter knows which rows of the buffers the host hands
// back still hold the shown picture, so a still or partly still picture
// costs reading it and little writing.
class FramePresenter {
 public:
  // `mayDiffer`: where the image may differ from the image this presenter
  // presented last (the rest holds its pixels still); null when that is not
  // known.
  void Present(const PixelImage& image, const PaletteEntry* palette, const FrameChanges* mayDiffer = nullptr) {
    Present(image, palette, GetWindowHost(), mayDiffer);
  }
  void Present(const PixelImage& image, const PaletteEntry* palette, WindowHost& host,
               const FrameChanges* mayDiffer = nullptr);

 private:
  static constexpr size_t kRememberedBuffers = 8;
  void Forget();
  uint64_t HeldBy(const uint32_t* buffer) const;
  void Remember(const uint32_t* buffer, uint64_t picture);

  Frame frame_;  // its pixels trade places with the host's mailbox
  uint64_t picture_ = 0;                  // number of the picture shown; 0: nothing known
  const uint32_t* shownPixels_ = nullptr;  // the buffer handed over last
  std::array<uint64_t, kScreenHeight> rowChanged_{};
  std::vector<std::pair<const uint32_t*, uint64_t>> held_;  // buffer, picture it holds
};

// Tests: switch the specialised loops of the blitter, the fills, the frame
// conversion and the rasteriser off (every draw then takes the general,
// pixel-at-a-time road) to check that both roads give the same pixels.
void SetDrawFastPaths(bool on);
bool DrawFastPaths();
// Tests: the widest vector loops the blitter's keyed copies, the frame
// conversion and the device's sprite and quad loops may choose (0 plain,
// 1 AVX2, 2 AVX-512; 2 by default), and the level in use (the limit, capped
// by what the processor has), so that every loop a processor may run is
// checked against the plain one on this one.
void SetDrawVectorLimit(int level);
namespace detail {
extern std::atomic<int> g_drawVectorLevel;
}
// The device's loops read the level once a row: one load, no call.
inline int DrawVectorLevel() { return detail::g_drawVectorLevel.load(std::memory_order_relaxed); }

// The emulated vertical blank of a 60 Hz display: sleeps (plat::Sleep, so the
// virtual clock applies) until the next 1/60 s boundary of TickCount.
void WaitVerticalBlank();
// Tests: switch the wait off (presents then never sleep).
void SetVerticalBlankWait(bool on);

// The mouse cursor's display counter: the cursor shows while the count is 0
// or more, so nested hide and show calls pair up. Returns the new count.
int ShowCursor(bool show);
int CursorDisplayCount();

class DirectDrawObject;

// The 256-entry palette object of an 8-bit display.
class DrawPalette {
 public:
  uint32_t SetEntries(int first, int count, const PaletteEntry* entries);
  uint32_t GetEntries(int first, int count, PaletteEntry* entries) const;
  const PaletteEntry* Entries() const { return entries_; }
  uint32_t Release();

 private:
  friend class DirectDrawObject;
  explicit DrawPalette(DirectDrawObject* owner) : owner_(owner) {}
  DirectDrawObject* owner_;
  PaletteEntry entries_[256] = {};
};

enum class MemoryPlace { Video, System };

// One DirectDraw surface.
class DrawSurface {
 public:
  // Lock of the whole surface: pointer to row 0 and the pitch in bytes.
  uint32_t Lock(uint8_t*& bits, int& pitch);
  uint32_t Unlock();
  uint32_t IsLost() const { return lost_ ? DDERR_SURFACELOST : DD_OK; }
  // Makes a lost surface usable again; its contents are undefined (filled
  // with 0xCD so that a missing redraw shows).
  uint32_t Restore();
  // Source colour key (raw value); only the low value is used.
  uint32_t SetColorKey(uint32_t value);
  void ClearColorKey() { hasKey_ = false; }
  bool HasColorKey() const { return hasKey_; }
  uint32_t ColorKey() const { return key_; }

  // Copies src's rectangle to (x, y) unscaled; flags DDBLTFAST_SRCCOLORKEY
  // skips the source's key. The rectangles are cut to both surfaces.
  uint32_t BltFast(int x, int y, DrawSurface* src, const Rect& srcRect, uint32_t flags);
  // Scaled copy (DDBLT_KEYSRC skips the source's key) or, with
  // DDBLT_COLORFILL, a fill of dst with `fillValue`. Null rectangles mean the
  // whole surface. Scaling reads source column trunc(c × (float)(sw / dw)),
  // the rule of the processor stretch; rectangles are cut to the surfaces.
  uint32_t Blt(const Rect* dstRect, DrawSurface* src, const Rect* srcRect, uint32_t flags, uint32_t fillValue = 0);
  // Flip chain (primary only): exchanges the pictures of the primary and its
  // back buffer; with `waitForVerticalBlank` waits for the emulated blank.
  uint32_t Flip(bool waitForVerticalBlank);
  uint32_t GetAttachedBackBuffer(DrawSurface** out);
  uint32_t SetPalette(DrawPalette* palette);
  DrawPalette* Palette() const { return palette_; }

  MemoryPlace Place() const { return place_; }
  bool IsPrimary() const { return primary_; }
  int Width() const { return image_.Width(); }
  int Height() const { return image_.Height(); }
  const PixelFormat& Format() const { return image_.Format(); }
  PixelImage& Image() { return image_; }
  const PixelImage& Image() const { return image_; }
  void MarkLost() { lost_ = true; }
  uint32_t Release();

 private:
  friend class DirectDrawObject;
  explicit DrawSurface(DirectDrawObject* owner) : owner_(owner) {}
  // The scaled copy's specialised road: `from` is the source picture (a
  // snapshot for a copy onto itself), the rectangles as Blt received them.
  void BltMapped(const Rect& d, const PixelImage& from, const Rect& s, float rx, float ry, bool keyed, uint32_t key);
  DirectDrawObject* owner_;
  PixelImage image_;
  MemoryPlace place_ = MemoryPlace::Video;
  bool primary_ = false;
  bool lost_ = false;
  bool locked_ = false;
  bool hasKey_ = false;
  uint32_t key_ = 0;
  DrawPalette* palette_ = nullptr;
  DrawSurface* backBuffer_ = nullptr;  // attached to a flip chain's primary
  DrawSurface* frontOf_ = nullptr;     // the primary a back buffer belongs to
};

// Failures tests can inject into the DirectDraw steps (each true makes the
// named call fail once it is reached; `refusedRefreshRate` makes the display
// mode with that rate fail, other rates succeed).
struct DrawFaults {
  bool create = false, cooperativeLevel = false, displayMode = false, primary = false, attach = false;
  bool palette = false, setPalette = false, clipper = false, clipperWindow = false, setClipper = false;
  bool videoSurface = false;   // video memory full: creation falls back
  bool systemSurface = false;  // system memory surfaces fail as well
  bool lock = false;
  int refusedRefreshRate = -1;
  bool use555 = false;         // 16-bit displays are X1R5G5B5 instead of R5G6B5
  int desktopBitsOverride = 0; // desktop depth for windowed set-ups (0: the host's)
};
DrawFaults& DrawFaultInjection();

// The DirectDraw object: the emulated display and everything made from it.
class DirectDrawObject {
 public:
  // Null with `result` set when creation fails.
  static DirectDrawObject* Create(uint32_t& result);
  uint32_t SetCooperativeLevel(uint32_t flags);
  // Keeps the display's size and depth for the primary; never touches the
  // desktop (full screen is desktop full screen through the window host).
  uint32_t SetDisplayMode(int width, int height, int bitsPerPixel, int refreshRate);
  uint32_t RestoreDisplayMode();
  // A windowed display: the depth of the desktop, the given picture size.
  void UseWindowedDisplay(int width, int height, int bitsPerPixel);
  int DisplayBits() const { return displayBits_; }
  PixelFormat DisplayFormat() const;

  // The primary; with backBuffers > 0 a flip chain with one attached back buffer.
  uint32_t CreatePrimary(int backBuffers, DrawSurface** out);
  // Off-screen surface in the display's format.
  uint32_t CreateSurface(int width, int height, MemoryPlace place, DrawSurface** out);
  uint32_t CreatePalette(const PaletteEntry* entries, DrawPalette** out);
  uint32_t CreateClipper();  // the clipper is only a reference here
  uint32_t ReleaseClipper();
  uint32_t SetClipperWindow();
  uint32_t SetClipper();

  // Every surface made from this object reports DDERR_SURFACELOST until restored.
  void SimulateSurfaceLoss();
  // Releases the object's own reference; returns what is left (0 when every
  // surface, palette and clipper was released first).
  uint32_t Release();
  uint32_t References() const { return references_; }

 private:
  friend class DrawSurface;
  friend class DrawPalette;
  DirectDrawObject() = default;
  void Forget(DrawSurface* surface);
  uint32_t DropReference();
  uint32_t references_ = 1;
  int displayWidth_ = 640, displayHeight_ = 480, displayBits_ = 32;
  std::vector<DrawSurface*> surfaces_;
};

}  // namespace plat

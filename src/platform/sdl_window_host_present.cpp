// The SDL window host's frames: the screen (a window's renderer and the
// texture frames are uploaded to), the mailbox Present hands them through
// from the drawing thread, and the main thread's showing of the newest.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/sdl_host.h"
#include "platform/window_host.h"
#include "platform/window_host_common.h"

namespace plat::sdl {
namespace {

// The texture format frames are uploaded in. Frames are 0xAARRGGBB with an
// alpha byte the screen ignores, so a texture in the 32-bit layout without
// alpha takes them unchanged; when that is also the window's own layout,
// the software renderer copies the picture to the window without converting
// each pixel.
uint32_t FrameTextureFormat(SDL_Renderer* renderer, SDL_Window* window) {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0) return SDL_PIXELFORMAT_ARGB8888;
  auto supported = [&info](uint32_t format) {
    for (Uint32 i = 0; i < info.num_texture_formats; ++i)
      if (info.texture_formats[i] == format) return true;
    return false;
  };
  for (uint32_t format : {SDL_GetWindowPixelFormat(window), uint32_t{SDL_PIXELFORMAT_RGB888}}) {
    if ((format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) && supported(format)) return format;
  }
  return SDL_PIXELFORMAT_ARGB8888;
}

}  // namespace

// Whether the renderer is SDL's OpenGL one over a rasteriser that runs on
// the processor (its GL_RENDERER names llvmpipe, softpipe or swrast).
bool Screen::RendersThroughSoftwareGl(SDL_Renderer* r) {
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(r, &info) != 0 || info.name == nullptr || std::strncmp(info.name, "opengl", 6) != 0)
    return false;
  using GetString = const unsigned char* (*)(unsigned int);
  auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  if (getString == nullptr) return false;
  constexpr unsigned int kGlRenderer = 0x1F01;
  const unsigned char* name = getString(kGlRenderer);
  if (name == nullptr) return false;
  const std::string text(reinterpret_cast<const char*>(name));
  return text.find("llvmpipe") != std::string::npos || text.find("softpipe") != std::string::npos ||
         text.find("swrast") != std::string::npos;
}

// Creates the renderer; the texture comes with the first upload.
bool Screen::Open(SDL_Window* w) {
  window = w;
  windowId = SDL_GetWindowID(w);
  // The pictures are made on the processor already; in a window (shown at
  // their own size) SDL's software renderer puts them on the screen with
  // one copy, where an OpenGL renderer would load a driver (and, over a
  // software OpenGL such as Mesa's llvmpipe under Xvfb, a compiler and a
  // pool of threads) for nothing. Full screen, where the picture is
  // scaled up, takes the accelerated renderer when it is a real one.
  const bool inWindow = (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN) == 0;
  if (!inWindow) {
    renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED);
    if (renderer != nullptr && RendersThroughSoftwareGl(renderer)) {
      SDL_DestroyRenderer(renderer);
      renderer = nullptr;
    }
  }
  if (renderer == nullptr) {
    // The software renderer's window surface goes straight to the window
    // system, not through OpenGL.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    renderer = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
  }
  if (renderer == nullptr) {
    std::fprintf(stderr, "pelmora: no renderer: %s\n", SDL_GetError());
    window = nullptr;  // still the caller's to destroy
    windowId = 0;
    return false;
  }
  textureFormat = FrameTextureFormat(renderer, w);
  return true;
}

// Destroys what is still alive. SDL_Quit elsewhere destroys every window
// (and with it the renderer and texture), so the handles are checked
// against SDL's own list before they are used.
void Screen::Close() {
  const bool alive = window != nullptr && SDL_WasInit(SDL_INIT_VIDEO) != 0 &&
                     SDL_GetWindowFromID(windowId) == window;
  if (alive) {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
  }
  window = nullptr;
  windowId = 0;
  renderer = nullptr;
  texture = nullptr;
  textureWidth = textureHeight = 0;
  hasPicture = false;
}

// The frame must be valid (host_detail::FrameIsValid). Only its rows
// firstRow..lastRow are copied when the texture holds the rest already (a
// texture that holds a picture of the frame's size; none when lastRow is
// before firstRow).
bool Screen::Upload(const Frame& frame, int firstRow, int lastRow) {
  if (renderer == nullptr) return false;
  uploadedWhole = false;
  if (hasPicture && texture != nullptr && textureWidth == frame.width && textureHeight == frame.height &&
      (firstRow > 0 || lastRow < frame.height - 1)) {
    if (lastRow < firstRow) return true;  // nothing changed
    const SDL_Rect rows{0, firstRow, frame.width, lastRow - firstRow + 1};
    hasPicture = SDL_UpdateTexture(texture, &rows, frame.pixels.data() + static_cast<size_t>(firstRow) * frame.width,
                                   frame.width * 4) == 0;
    return hasPicture;
  }
  if (texture == nullptr || textureWidth != frame.width || textureHeight != frame.height) {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    textureWidth = textureHeight = 0;
    hasPicture = false;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    texture = SDL_CreateTexture(renderer, textureFormat, SDL_TEXTUREACCESS_STREAMING, frame.width, frame.height);
    if (texture == nullptr) return false;
    // The frames' alpha byte means nothing on screen.
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    textureWidth = frame.width;
    textureHeight = frame.height;
    SDL_RenderSetLogicalSize(renderer, frame.width, frame.height);
    SDL_RenderSetIntegerScale(renderer, SDL_TRUE);
  }
  hasPicture = SDL_UpdateTexture(texture, nullptr, frame.pixels.data(), frame.width * 4) == 0;
  uploadedWhole = hasPicture;
  if (uploadedWhole) textureStale = false;
  return hasPicture;
}

// A frame's changed rows (those of `rows` in `top`..`bottom`) copied
// straight into the window's surface and shown, skipping the texture and
// the renderer's copy: SDL's software renderer draws into that same
// surface, so this is what its copy of those rows would leave there. Only
// while the window shows the picture at its own size, in the frame's own
// pixel layout, and holds the rest of it already. False (nothing done) otherwise. The
// texture then lacks those rows: the next whole redraw uploads the frame
// whole first.
bool Screen::ShowRowsDirectly(const Frame& frame, int top, int bottom, const FrameRows& rows) {
  if (frame.height > kScreenHeight || !hasPicture || textureWidth != frame.width ||
      textureHeight != frame.height || !DrawsIntoWindowSurface() || !PictureAtOwnSize())
    return false;
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (surface == nullptr || surface->w != frame.width || surface->h != frame.height ||
      surface->format->format != textureFormat)
    return false;
  if (bottom < top) return true;  // nothing changed
  top = std::max(top, 0);
  bottom = std::min(bottom, frame.height - 1);
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
  // Runs of changed rows, each copied and shown as one rectangle; rows
  // between two changed ones (a cloud at the top, a coin further down)
  // are left as the window has them.
  SDL_Rect runs[kScreenHeight / 2 + 1];
  int count = 0;
  for (int y = top; y <= bottom; ++y) {
    if (y >= kScreenHeight || !rows.test(static_cast<size_t>(y))) continue;
    std::memcpy(static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch,
                frame.pixels.data() + static_cast<size_t>(y) * frame.width, static_cast<size_t>(frame.width) * 4);
    if (count > 0 && runs[count - 1].y + runs[count - 1].h == y) ++runs[count - 1].h;
    else runs[count++] = SDL_Rect{0, y, frame.width, 1};
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  if (count > 0) SDL_UpdateWindowSurfaceRects(window, runs, count);
  textureStale = true;
  return true;
}

// Puts the picture on the window. With a band (rows `top`..`bottom` of the
// picture, the rows the last upload changed) only those rows are copied
// to the window, when the window still shows the rest: SDL's software
// renderer draws into the window's own surface, which keeps what was
// drawn before, and the picture is shown at its own size there. Anything
// else (another renderer, a scaled picture) is drawn whole.
void Screen::Render(int top, int bottom) {
  if (renderer == nullptr) return;
  if (hasPicture && (top > 0 || bottom < textureHeight - 1) && DrawsIntoWindowSurface() && PictureAtOwnSize()) {
    if (bottom < top) return;  // nothing changed
    const SDL_Rect rows{0, top, textureWidth, std::min(bottom, textureHeight - 1) - top + 1};
    SDL_RenderCopy(renderer, texture, &rows, &rows);
    SDL_RenderPresent(renderer);
    return;
  }
  // Only the black bars around the picture need the clear: a picture that
  // fills the output covers every pixel of it anyway.
  if (!hasPicture || !PictureFillsOutput()) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
  }
  if (hasPicture) SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

bool Screen::DrawsIntoWindowSurface() const {
  SDL_RendererInfo info{};
  return SDL_GetRendererInfo(renderer, &info) == 0 && info.name != nullptr &&
         std::strcmp(info.name, "software") == 0;
}

// The output is exactly the picture's size (no scaling, no bars).
bool Screen::PictureAtOwnSize() const {
  int width = 0, height = 0;
  return textureWidth > 0 && SDL_GetRendererOutputSize(renderer, &width, &height) == 0 &&
         width == textureWidth && height == textureHeight;
}

// The whole-factor scaled picture leaves no bar: the output is an exact
// multiple of the picture in both directions.
bool Screen::PictureFillsOutput() const {
  int width = 0, height = 0;
  if (textureWidth <= 0 || textureHeight <= 0 || SDL_GetRendererOutputSize(renderer, &width, &height) != 0)
    return false;
  const int factor = std::min(width / textureWidth, height / textureHeight);
  return factor >= 1 && width == textureWidth * factor && height == textureHeight * factor;
}

// Mouse positions arrive in the renderer's logical coordinates (SDL scales
// them); outside the picture (the black bars) they are clamped to its edge.
int64_t Screen::MousePosition(int x, int y) const {
  int w = 0, h = 0;
  if (renderer != nullptr) SDL_RenderGetLogicalSize(renderer, &w, &h);
  if (w <= 0 || h <= 0) {
    w = kScreenWidth;
    h = kScreenHeight;
  }
  return host_detail::PackPair(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
}

void SdlHost::Present(Frame& frame, bool changed) {
  if (!host_detail::FrameIsValid(frame)) return;
  std::lock_guard<std::mutex> presenting(presentMutex_);
  // A still picture (a paused game, a menu waiting for a key) costs the
  // main thread nothing: a frame equal to the one presented last is
  // counted but neither handed over nor uploaded again. The caller keeps
  // its buffer, which then equals the last frame; when it comes back
  // unchanged, not even the comparison is needed.
  const bool keptAsItWas = !changed && frame.pixels.data() == keptEqual_;
  if (keptAsItWas || SameAsLastPresented(frame)) {
    keptEqual_ = frame.pixels.data();
    std::lock_guard<std::mutex> lock(frameMutex_);
    ++presented_;
    return;
  }
  HandOver(frame, 0, frame.height - 1);
}

const uint32_t* SdlHost::LastPresentedPixels() const {
  std::lock_guard<std::mutex> presenting(presentMutex_);
  if (lastPresented_ == nullptr || lastWidth_ != kScreenWidth || lastHeight_ != kScreenHeight) return nullptr;
  return lastPresented_;
}

void SdlHost::PresentCompared(Frame& frame, bool differs, int firstRow, int lastRow,
                              const FrameRows* changedRows) {
  if (!host_detail::FrameIsValid(frame)) return;
  {
    std::lock_guard<std::mutex> presenting(presentMutex_);
    if (lastPresented_ == nullptr) {
      HandOver(frame, 0, frame.height - 1);
      return;
    }
    if (differs) {
      HandOver(frame, firstRow, lastRow, changedRows);
      return;
    }
    // The caller's buffer may hold anything (it was compared, not written).
    keptEqual_ = nullptr;
  }
  std::lock_guard<std::mutex> lock(frameMutex_);
  ++presented_;
}

uint64_t SdlHost::FramesPresented() const {
  std::lock_guard<std::mutex> lock(frameMutex_);
  return presented_;
}

bool SdlHost::LastFrame(Frame& out) const {
  std::lock_guard<std::mutex> lock(frameMutex_);
  if (!hasFrame_) return false;
  out = Newest();
  return true;
}

// presentMutex_ held: the frame goes into the mailbox and the main thread
// is woken to show it. Its rows outside firstRow..lastRow (and, given,
// outside changedRows) equal the frame presented before it.
void SdlHost::HandOver(Frame& frame, int firstRow, int lastRow, const FrameRows* changedRows) {
  keptEqual_ = nullptr;
  {
    // A frame the main thread has not taken yet goes back to the caller
    // unseen: the screen shows the newest.
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (ready_.width != frame.width || ready_.height != frame.height || lastWidth_ != frame.width ||
        lastHeight_ != frame.height) {
      firstRow = 0;
      lastRow = frame.height - 1;
      changedRows = nullptr;
    }
    pendingTop_ = std::min(pendingTop_, std::max(0, firstRow));
    pendingBottom_ = std::max(pendingBottom_, std::min(frame.height - 1, lastRow));
    if (changedRows != nullptr) {
      pendingRows_ |= *changedRows;
    } else {
      for (int y = std::max(0, firstRow); y <= std::min(kScreenHeight - 1, lastRow); ++y)
        pendingRows_.set(static_cast<size_t>(y));
    }
    std::swap(ready_, frame);
    lastPresented_ = ready_.pixels.data();
    lastWidth_ = ready_.width;
    lastHeight_ = ready_.height;
    hasFrame_ = true;
    fresh_ = true;
    ++presented_;
  }
  WakeEventWait();
}

// presentMutex_ held. The pixels presented last stay where they are until
// a later Present hands them back to a caller (swaps move buffers, not
// pixels, and the main thread only reads them), so they can be compared
// without holding up the main thread.
bool SdlHost::SameAsLastPresented(const Frame& frame) const {
  return lastPresented_ != nullptr && frame.width == lastWidth_ && frame.height == lastHeight_ &&
         std::memcmp(frame.pixels.data(), lastPresented_, frame.pixels.size() * sizeof(uint32_t)) == 0;
}

// Uploads the newest presented frame (when one came since the last upload,
// or the texture lost it) and redraws the window when anything changed.
void SdlHost::ShowNewestFrame() {
  if (!Shown()) return;
  bool upload = false;
  bool haveFrame = false;
  int top = 0, bottom = -1;  // the rows the texture lacks (all of them unless told otherwise)
  FrameRows rows;            // the rows among those that changed
  {
    // The frame changes hands by a swap; the upload reads showing_ outside
    // the lock, so Present is never held up by SDL (only this thread ever
    // replaces showing_, and LastFrame only reads it).
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (fresh_) {
      std::swap(ready_, showing_);
      fresh_ = false;
      upload = true;
      top = pendingTop_;
      bottom = pendingBottom_;
      rows = pendingRows_;
    } else {
      upload = reupload_ && hasFrame_;
    }
    pendingTop_ = kScreenHeight;
    pendingBottom_ = -1;
    pendingRows_.reset();
    haveFrame = hasFrame_;
  }
  // The texture holds the frame uploaded before unless it must be given
  // the frame again (a new window, a box drawn over it).
  if (reupload_) top = 0, bottom = showing_.height - 1, rows.set();
  reupload_ = false;
  // A redraw asked for by the window (shown, exposed, resized) draws the
  // whole picture; a new frame alone, only its changed rows, straight into
  // the window where it can.
  bool whole = needRender_;
  if (upload && !whole && screen_.ShowRowsDirectly(showing_, top, bottom, rows)) return;
  if (screen_.textureStale && haveFrame) {
    upload = true;
    top = 0, bottom = showing_.height - 1;
  }
  if (upload && screen_.Upload(showing_, top, bottom)) {
    needRender_ = true;
    whole = whole || screen_.uploadedWhole;
  }
  if (needRender_) {
    if (whole)
      screen_.Render();
    else
      screen_.Render(top, bottom);
    needRender_ = false;
  }
}

}  // namespace plat::sdl

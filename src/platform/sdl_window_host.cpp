// The window host over SDL2: one game window with a renderer that shows the
// presented 640x480 frames scaled by whole factors, SDL events turned into
// window messages, and modal message boxes drawn by MessageBoxView.
//
// Every SDL video call happens on the main thread. Present and Wake may come
// from any thread: Present only touches the mailbox (under its mutex) and
// Wake only writes to the main loop's eventfd (sdl_event_wait.h) or pushes
// an SDL event, which SDL allows from any thread.

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/instance.h"
#include "platform/joysticks.h"
#include "platform/keys.h"
#include "platform/message_box_view.h"
#include "platform/sdl_event_wait.h"
#include "platform/soft_draw.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "platform/window_host_common.h"

namespace plat {
namespace {

// wParam values of WM_SIZE and the button flags of mouse messages, as the
// window handler reads them.
enum : uint64_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };
enum : uint64_t { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10 };

// Events handled per pass at most, so a flood of mouse motion cannot keep
// the main thread from its message queue.
constexpr int kMaxEventsPerPump = 4096;
constexpr uint32_t kMessageBoxWaitMs = 10;
constexpr int kMaxMessageBoxSide = 4096;

// Process-wide SDL state. The event type and the ready flag are read by
// other threads (Wake); the rest is main-thread only.
std::atomic<uint32_t> g_wakeEventType{0};
std::atomic<bool> g_eventsReady{false};
std::atomic<bool> g_wakePending{false};  // one wake event in the queue is enough
// Set when video could not start, with the driver asked for then: a later
// request for another driver (tests choose "dummy") tries again.
bool g_videoFailed = false;
std::string g_failedDriver;

std::string RequestedDriver() {
  const char* driver = SDL_getenv("SDL_VIDEODRIVER");
  return driver != nullptr ? driver : "";
}

void RegisterWakeEvent() {
  if (g_wakeEventType.load() != 0) return;
  uint32_t type = SDL_RegisterEvents(1);
  if (type == static_cast<uint32_t>(-1)) type = SDL_USEREVENT;
  g_wakeEventType.store(type);
}

// Brings up SDL's event queue even without video, so the event wait and
// Wake keep working on a machine where no display can be opened.
void EnsureSdlEvents() {
  if (g_eventsReady.load() && SDL_WasInit(SDL_INIT_EVENTS) != 0) return;
  g_eventsReady.store(false);
  // Termination signals belong to the instance layer (instance.h); SDL's own
  // handlers would turn them into SDL_QUIT. A closed last window must give
  // one WM_CLOSE (from the window event), not a second one from SDL_QUIT.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "pelmora: SDL events unavailable: %s\n", SDL_GetError());
    return;
  }
  RegisterWakeEvent();
  g_eventsReady.store(true);
}

// Initialises SDL video on first use; false when no display can be opened.
// A failure is not retried for the same driver (probing the window systems
// takes time, and message boxes ask on every call).
bool EnsureSdlVideo() {
  EnsureSdlEvents();
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return true;
  if (g_videoFailed && g_failedDriver == RequestedDriver()) return false;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "pelmora: no display: %s\n", SDL_GetError());
    g_videoFailed = true;
    g_failedDriver = RequestedDriver();
    return false;
  }
  g_videoFailed = false;
  // SDL starts with text input on, which lets an input method swallow the
  // game's key presses; the text-entry dialog turns it on while it runs.
  SDL_StopTextInput();
  return true;
}

// Drivers that never report focus or show anything to a person.
bool DriverWithoutUser() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

// The event wait for drivers that cannot block in SDL_WaitEventTimeout
// (SDL then polls them every millisecond): the main thread sleeps here
// instead, and every wake signals it. The flag stays set until a waiter
// takes it, so a wake that comes between the caller's last look at its
// queue and the wait is never lost. Leaked: wakes may come from threads
// that outlive static destruction.
struct WakeSignal {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
};

WakeSignal& Signal() {
  static WakeSignal* signal = new WakeSignal;
  return *signal;
}

// Sleeps until a wake or the timeout; true when woken.
bool WaitForWakeSignal(uint32_t timeoutMs) {
  WakeSignal& signal = Signal();
  std::unique_lock<std::mutex> lock(signal.mutex);
  const bool woken = signal.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return signal.woken; });
  signal.woken = false;
  return woken;
}

// Modal loops running on the main thread: they wait in
// SDL_WaitEventTimeout, which only a pushed event wakes.
std::atomic<int> g_modalLoops{0};

void WakeEventWait() {
  {
    WakeSignal& signal = Signal();
    std::lock_guard<std::mutex> lock(signal.mutex);
    signal.woken = true;
    signal.cv.notify_all();
  }
  // The main loop's wait on the display connection takes a write to its
  // eventfd; SDL's wait would take an event sent through the display server.
  // A main loop that goes over to the display wait after the flag is read
  // finds the pushed event, or the write below, when it looks; one that
  // leaves it while the wake is written finds the write in
  // LeaveDisplayWait, or the event pushed after the flag is seen gone.
  if (DisplayWaitInUse() && g_modalLoops.load() == 0) {
    WakeDisplayWait();
    if (DisplayWaitInUse()) return;
  }
  const uint32_t type = g_wakeEventType.load();
  if (type != 0 && g_eventsReady.load() && !g_wakePending.exchange(true)) {
    SDL_Event event;
    SDL_zero(event);
    event.type = type;
    if (SDL_PushEvent(&event) != 1) g_wakePending.store(false);
  }
  // The main loop may have gone over to the display wait after it last
  // looked at SDL's queue: the eventfd tells it then.
  WakeDisplayWait();
}

bool IsWakeEvent(const SDL_Event& event) {
  if (event.type != g_wakeEventType.load()) return false;
  g_wakePending.store(false);
  return true;
}

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

// A window with its renderer and the streaming texture the frames go to.
struct Screen {
  SDL_Window* window = nullptr;
  uint32_t windowId = 0;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  uint32_t textureFormat = SDL_PIXELFORMAT_ARGB8888;
  int textureWidth = 0, textureHeight = 0;
  bool hasPicture = false;  // the texture holds an uploaded frame
  bool uploadedWhole = false;  // the last upload gave the texture the whole frame
  bool textureStale = false;   // rows went straight to the window since the texture last got a whole frame

  // Whether the renderer is SDL's OpenGL one over a rasteriser that runs on
  // the processor (its GL_RENDERER names llvmpipe, softpipe or swrast).
  static bool RendersThroughSoftwareGl(SDL_Renderer* r) {
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
  bool Open(SDL_Window* w) {
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
  void Close() {
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
  bool Upload(const Frame& frame, int firstRow = 0, int lastRow = INT_MAX) {
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
  bool ShowRowsDirectly(const Frame& frame, int top, int bottom, const FrameRows& rows) {
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
  void Render(int top = 0, int bottom = INT_MAX) {
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

  bool DrawsIntoWindowSurface() const {
    SDL_RendererInfo info{};
    return SDL_GetRendererInfo(renderer, &info) == 0 && info.name != nullptr &&
           std::strcmp(info.name, "software") == 0;
  }

  // The output is exactly the picture's size (no scaling, no bars).
  bool PictureAtOwnSize() const {
    int width = 0, height = 0;
    return textureWidth > 0 && SDL_GetRendererOutputSize(renderer, &width, &height) == 0 &&
           width == textureWidth && height == textureHeight;
  }

  // The whole-factor scaled picture leaves no bar: the output is an exact
  // multiple of the picture in both directions.
  bool PictureFillsOutput() const {
    int width = 0, height = 0;
    if (textureWidth <= 0 || textureHeight <= 0 || SDL_GetRendererOutputSize(renderer, &width, &height) != 0)
      return false;
    const int factor = std::min(width / textureWidth, height / textureHeight);
    return factor >= 1 && width == textureWidth * factor && height == textureHeight * factor;
  }

  // Mouse positions arrive in the renderer's logical coordinates (SDL scales
  // them); outside the picture (the black bars) they are clamped to its edge.
  int64_t MousePosition(int x, int y) const {
    int w = 0, h = 0;
    if (renderer != nullptr) SDL_RenderGetLogicalSize(renderer, &w, &h);
    if (w <= 0 || h <= 0) {
      w = kScreenWidth;
      h = kScreenHeight;
    }
    return host_detail::PackPair(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
  }
};

uint64_t MouseKeyFlags(uint32_t buttons) {
  uint64_t flags = 0;
  if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
  const SDL_Keymod mods = SDL_GetModState();
  if (mods & KMOD_SHIFT) flags |= MK_SHIFT;
  if (mods & KMOD_CTRL) flags |= MK_CONTROL;
  return flags;
}

// The key code of a mouse button (the key-state table holds the buttons'
// levels too); 0 for buttons without one.
int MouseButtonKey(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return VK_LBUTTON;
    case SDL_BUTTON_RIGHT: return VK_RBUTTON;
    case SDL_BUTTON_MIDDLE: return VK_MBUTTON;
    case SDL_BUTTON_X1: return VK_XBUTTON1;
    case SDL_BUTTON_X2: return VK_XBUTTON2;
    default: return 0;
  }
}

}  // namespace

bool FeedModalEvent(const SDL_Event& event, ModalView& view, uint32_t windowId) {
  const auto ours = [windowId](uint32_t id) { return windowId == 0 || id == windowId; };
  switch (event.type) {
    case SDL_KEYDOWN: {
      // The view is modal: every key the program receives goes to it.
      const int vk = VirtualKeyFromScancode(event.key.keysym.scancode);
      const bool ctrl = (event.key.keysym.mod & KMOD_CTRL) != 0;
      const bool shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
      if (ctrl && vk == 'V') {
        // Pasted text goes in as if typed (and is cut to the box's limits).
        if (char* text = SDL_HasClipboardText() ? SDL_GetClipboardText() : nullptr) {
          view.HandleTextInput(text);
          SDL_free(text);
        }
      } else if (vk != 0) {
        view.HandleKey(vk, ctrl, shift);
      }
      return true;
    }
    case SDL_KEYUP: {
      // A key held when the view opened is released here; the table must
      // not keep it down.
      const int vk = VirtualKeyFromScancode(event.key.keysym.scancode);
      if (vk != 0) SetKeyState(vk, false);
      return true;
    }
    case SDL_TEXTINPUT:
      view.HandleTextInput(event.text.text);
      return true;
    case SDL_TEXTEDITING:
      view.HandleTextEditing(event.edit.text);
      return true;
    case SDL_MOUSEMOTION:
      if (ours(event.motion.windowID)) view.HandleMouseMove(event.motion.x, event.motion.y);
      return true;
    case SDL_MOUSEBUTTONDOWN:
      if (ours(event.button.windowID) && event.button.button == SDL_BUTTON_LEFT) {
        const SDL_Keymod mods = SDL_GetModState();
        view.HandleMouseDown(event.button.x, event.button.y, event.button.clicks >= 2, (mods & KMOD_CTRL) != 0,
                             (mods & KMOD_SHIFT) != 0);
      }
      return true;
    case SDL_MOUSEWHEEL:
      if (ours(event.wheel.windowID) && event.wheel.y != 0) {
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        // The window's renderer scales the canvas: the pointer in canvas pixels.
        if (SDL_Window* w = SDL_GetWindowFromID(event.wheel.windowID)) {
          if (SDL_Renderer* r = SDL_GetRenderer(w)) {
            float lx = 0, ly = 0;
            SDL_RenderWindowToLogical(r, x, y, &lx, &ly);
            x = static_cast<int>(lx);
            y = static_cast<int>(ly);
          }
        }
        const int steps = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        view.HandleMouseWheel(x, y, steps);
      }
      return true;
    case SDL_MOUSEBUTTONUP:
      // As with keys: a button held when the view opened is let go here.
      if (const int vk = MouseButtonKey(event.button.button)) SetKeyState(vk, false);
      if (ours(event.button.windowID) && event.button.button == SDL_BUTTON_LEFT)
        view.HandleClick(event.button.x, event.button.y);
      return true;
    default:
      return false;
  }
}

namespace {

class SdlHost final : public WindowHost {
 public:
  ~SdlHost() override { Destroy(); }

  bool Create(WindowHandle window, int x, int y, int width, int height) override {
    if (screen_.window != nullptr || width <= 0 || height <= 0) return false;
    if (!EnsureSdlVideo()) return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (resizable_) flags |= SDL_WINDOW_RESIZABLE;
    SDL_Window* w = SDL_CreateWindow(title_.c_str(), host_detail::ClampCoordinate(x), host_detail::ClampCoordinate(y),
                                     host_detail::ClampSize(width), host_detail::ClampSize(height), flags);
    if (w == nullptr) {
      std::fprintf(stderr, "pelmora: cannot create the window: %s\n", SDL_GetError());
      return false;
    }
    if (!screen_.Open(w)) {
      SDL_DestroyWindow(w);
      return false;
    }
    SDL_RenderSetLogicalSize(screen_.renderer, kScreenWidth, kScreenHeight);
    SDL_RenderSetIntegerScale(screen_.renderer, SDL_TRUE);
    target_ = window;
    active_ = false;
    needRender_ = true;
    snapAsked_ = false;
    if (fullScreen_) EnterFullScreen();
    // A frame presented before the window existed is shown once it is.
    reupload_ = true;
    // Posts and sends to the main thread's queue must end an event wait.
    SetMainQueueWaker([] {
      if (!IsMainThread()) WakeEventWait();
    });
    return true;
  }

  void Destroy() override {
    const bool existed = screen_.window != nullptr;
    screen_.Close();
    target_ = 0;
    active_ = false;
    if (existed) ShowMouseCursor(true);  // no game window is left to hide it over
  }

  bool Exists() const override { return screen_.window != nullptr; }

  void Show(int showCommand) override {
    SDL_Window* w = screen_.window;
    if (w == nullptr) return;
    const Uint32 flags = SDL_GetWindowFlags(w);
    if (fullScreen_ && showCommand != SW_HIDE && showCommand != SW_SHOWMINIMIZED && showCommand != SW_MINIMIZE) {
      // Full screen is already as large as it gets: maximising or restoring
      // would only disturb it.
      SDL_ShowWindow(w);
      needRender_ = true;
      UpdateActivation();
      return;
    }
    switch (showCommand) {
      case SW_HIDE:
        SDL_HideWindow(w);
        break;
      case SW_SHOWMINIMIZED:
      case SW_MINIMIZE:
        SDL_ShowWindow(w);
        SDL_MinimizeWindow(w);
        break;
      case SW_MAXIMIZE:
        SDL_ShowWindow(w);
        SDL_MaximizeWindow(w);
        break;
      case SW_SHOWNORMAL:
        SDL_ShowWindow(w);
        if (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) SDL_RestoreWindow(w);
        break;
      default:
        SDL_ShowWindow(w);
        break;
    }
    needRender_ = true;
    UpdateActivation();
  }

  bool Shown() const override {
    return screen_.window != nullptr && (SDL_GetWindowFlags(screen_.window) & SDL_WINDOW_SHOWN) != 0;
  }

  void SetTitle(const std::string& cp932Title) override {
    title_ = Cp932ToUtf8(cp932Title);
    if (screen_.window != nullptr) SDL_SetWindowTitle(screen_.window, title_.c_str());
  }

  void Move(int x, int y) override {
    if (screen_.window == nullptr) return;
    int top = 0, left = 0;
    Borders(&top, &left, nullptr, nullptr);
    SDL_SetWindowPosition(screen_.window, host_detail::ClampCoordinate(x) + left,
                          host_detail::ClampCoordinate(y) + top);
  }

  void SetClientSize(int width, int height) override {
    if (screen_.window != nullptr && width > 0 && height > 0) {
      SDL_SetWindowSize(screen_.window, host_detail::ClampSize(width), host_detail::ClampSize(height));
    }
  }

  void CentreOnDesktop() override {
    SDL_Window* w = screen_.window;
    if (w == nullptr) return;
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(DisplayIndex(), &usable) != 0) {
      SDL_SetWindowPosition(w, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
      return;
    }
    int top = 0, left = 0, bottom = 0, right = 0;
    Borders(&top, &left, &bottom, &right);
    int width = 0, height = 0;
    SDL_GetWindowSize(w, &width, &height);
    // Centred as a whole (frame included), but never with the title bar off
    // the top-left of the work area.
    const int outerX = std::max(usable.x, usable.x + (usable.w - (width + left + right)) / 2);
    const int outerY = std::max(usable.y, usable.y + (usable.h - (height + top + bottom)) / 2);
    SDL_SetWindowPosition(w, outerX + left, outerY + top);
  }

  Rect ClientRectOnScreen() const override {
    if (screen_.window == nullptr) return Rect{};
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(screen_.window, &x, &y);
    SDL_GetWindowSize(screen_.window, &width, &height);
    return Rect{x, y, x + width, y + height};
  }

  Rect WindowRectOnScreen() const override {
    Rect r = ClientRectOnScreen();
    if (screen_.window == nullptr) return r;
    int top = 0, left = 0, bottom = 0, right = 0;
    Borders(&top, &left, &bottom, &right);
    return Rect{r.left - left, r.top - top, r.right + right, r.bottom + bottom};
  }

  bool Minimised() const override { return HasFlag(SDL_WINDOW_MINIMIZED); }
  bool Maximised() const override { return HasFlag(SDL_WINDOW_MAXIMIZED); }

  void SetFullScreen(bool on) override {
    if (on == fullScreen_) return;
    fullScreen_ = on;
    if (screen_.window == nullptr) return;  // applied by Create
    if (on) {
      EnterFullScreen();
    } else {
      SDL_SetWindowFullscreen(screen_.window, 0);
      SDL_SetWindowBordered(screen_.window, SDL_TRUE);
    }
    needRender_ = true;
  }

  bool Resizable() const override { return resizable_; }

  void SetResizable(bool on) override {
    resizable_ = on;
    if (screen_.window == nullptr) return;
    SDL_SetWindowResizable(screen_.window, on ? SDL_TRUE : SDL_FALSE);
    if (on) SDL_SetWindowMinimumSize(screen_.window, kScreenWidth, kScreenHeight);
  }

  DesktopInfo Desktop() const override {
    DesktopInfo info;
    if (!EnsureSdlVideo()) return info;
    const int display = DisplayIndex();
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(display, &mode) == 0) {
      info.width = mode.w;
      info.height = mode.h;
      info.refreshRate = mode.refresh_rate;
      // SDL names 4-byte formats by their colour bits (24 for RGB888); the
      // games ask for the pixel size in memory.
      switch (SDL_BYTESPERPIXEL(mode.format)) {
        case 4: info.bitsPerPixel = 32; break;
        case 3: info.bitsPerPixel = 24; break;
        case 2: info.bitsPerPixel = 16; break;
        default: info.bitsPerPixel = 32; break;
      }
    }
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(display, &usable) == 0) {
      info.workArea = Rect{usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
    } else {
      info.workArea = Rect{0, 0, info.width, info.height};
    }
    return info;
  }

  void PumpEvents(uint32_t timeoutMs) override {
    EnsureSdlEvents();
    if (!g_eventsReady.load()) {
      SDL_Delay(timeoutMs);  // nothing could ever arrive; do not spin the caller
      return;
    }
    SDL_Event event;
    // SDL polls open joysticks every millisecond inside its own wait;
    // without one the wait sleeps on the display's connection.
    const bool sdlWait = timeoutMs > 0 && SdlWaitBlocks();
    const bool joysticks = sdlWait && SDL_WasInit(SDL_INIT_JOYSTICK) != 0 && SDL_NumJoysticks() > 0;
    // The display wait looks at the display itself before it sleeps, so a
    // pass that goes to it need not have SDL read the display first; SDL
    // still does, every kPumpIntervalMs at least, for its own timed work
    // (focus changes it holds back, the screen saver).
    const uint64_t now = SDL_GetTicks64();
    const bool pump = !(sdlWait && !joysticks && DisplayWaitInUse() && now - lastPump_ < kPumpIntervalMs);
    if (pump) lastPump_ = now;
    bool got = (pump ? SDL_PollEvent(&event) : SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT,
                                                                SDL_LASTEVENT)) == 1;
    if (!got && timeoutMs > 0) {
      if (sdlWait) {
        const DisplayWait waited = joysticks ? DisplayWait::Unavailable
                                             : WaitOnDisplayConnection(screen_.window, timeoutMs);
        if (waited == DisplayWait::Unavailable)
          // A wake that went to the display wait before it was left ends
          // this one at once; later ones push events.
          got = LeaveDisplayWait() ? SDL_PollEvent(&event) == 1
                                   : SDL_WaitEventTimeout(&event, static_cast<int>(std::min<uint32_t>(
                                                                      timeoutMs, INT_MAX))) == 1;
        else if (waited == DisplayWait::Woken)
          // Nothing came from the display since the wait looked at it: only
          // what other threads queued is taken, without asking it again.
          got = SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;
        else
          got = SDL_PollEvent(&event) == 1, lastPump_ = SDL_GetTicks64();
      } else {
        // Only this thread's own calls and the wakes make events here.
        WaitForWakeSignal(timeoutMs);
        got = SDL_PollEvent(&event) == 1;
      }
    }
    for (int handled = 1; got; ++handled) {
      HandleEvent(event);
      got = handled < kMaxEventsPerPump && SDL_PollEvent(&event) == 1;
    }
    // The queue is drained, so no wake event is waiting in it, even if a
    // modal loop elsewhere swallowed ours. (One pushed meanwhile only makes
    // a later wait return early.)
    g_wakePending.store(false);
    // Joysticks are read here, on the main thread, once per pass; the game
    // thread reads what this pass saw. With none plugged in, the look for a
    // new one (SDL asks the system's device list) is made a few times a
    // second, not for every frame shown.
    const uint64_t looked = SDL_GetTicks64();
    if (GetJoysticks().Count() > 0 || looked - lastJoystickLook_ >= kJoystickLookMs) {
      GetJoysticks().Update();
      lastJoystickLook_ = looked;
    }
    if (screen_.window == nullptr) return;
    if (TakeKeyboardHandedBack()) TakeKeyboard(screen_.window);
    UpdateActivation();
    FollowCursorCount();
    ShowNewestFrame();
  }

  // The keyboard for `w` (shown and not minimised): raised (a window
  // manager activates it) and given the input focus (without one nobody
  // else would).
  static void TakeKeyboard(SDL_Window* w) {
    if (w == nullptr) return;
    const Uint32 flags = SDL_GetWindowFlags(w);
    if (!(flags & SDL_WINDOW_SHOWN) || (flags & SDL_WINDOW_MINIMIZED)) return;
    SDL_RaiseWindow(w);
    SDL_SetWindowInputFocus(w);
  }

  void Wake() override { WakeEventWait(); }

  void Present(Frame& frame, bool changed) override {
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

  const uint32_t* LastPresentedPixels() const override {
    std::lock_guard<std::mutex> presenting(presentMutex_);
    if (lastPresented_ == nullptr || lastWidth_ != kScreenWidth || lastHeight_ != kScreenHeight) return nullptr;
    return lastPresented_;
  }

  void PresentCompared(Frame& frame, bool differs, int firstRow, int lastRow,
                       const FrameRows* changedRows) override {
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

  uint64_t FramesPresented() const override {
    std::lock_guard<std::mutex> lock(frameMutex_);
    return presented_;
  }

  bool LastFrame(Frame& out) const override {
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!hasFrame_) return false;
    out = Newest();
    return true;
  }

  int RunMessageBox(const MessageBoxSpec& box) override;
  bool RunModalView(ModalView& view) override;

  // The modal view running now: where it draws and what it drew last.
  struct ModalFrame {
    Screen* screen;
    const Frame* canvas;
  };
  const ModalFrame* modalFrame_ = nullptr;

 private:
  // The game moves the cursor's display counter (ShowCursor, from its own
  // thread): full screen hides the mouse cursor, dialog mode brings it back.
  // SDL shows or hides it over the window accordingly, on this thread.
  void FollowCursorCount() { ShowMouseCursor(CursorDisplayCount() >= 0); }

  static void ShowMouseCursor(bool show) {
    const int wanted = show ? SDL_ENABLE : SDL_DISABLE;
    if (SDL_ShowCursor(SDL_QUERY) != wanted) SDL_ShowCursor(wanted);
  }

  // Full screen on the window's display. The window is first laid over the
  // whole display, borderless: a window manager then takes it into its
  // full-screen state, and without one (a bare X server) the window still
  // covers the screen from its corner instead of staying where it was,
  // offset and clipped.
  void EnterFullScreen() {
    SDL_Window* w = screen_.window;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(DisplayIndex(), &bounds) == 0) {
      SDL_SetWindowFullscreen(w, 0);
      SDL_SetWindowBordered(w, SDL_FALSE);
      SDL_SetWindowPosition(w, bounds.x, bounds.y);
      SDL_SetWindowSize(w, bounds.w, bounds.h);
    }
    SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP);
  }

  // A window the player resized (by its border or the window manager's
  // size commands) takes the largest whole scale of the picture that fits.
  // A maximised or full-screen window keeps the size it was given (the
  // picture is drawn at its largest whole scale, centred). A window manager
  // that insists on its own size is not fought: the second refusal in a row
  // is kept.
  void SnapToWholeScale(int width, int height) {
    if (!resizable_ || fullScreen_ || Maximised() || Minimised()) return;
    const host_detail::WholeScaleSize fit = host_detail::WholeScaleFit(width, height);
    if (fit.width == width && fit.height == height) {
      snapAsked_ = false;
      return;
    }
    if (snapAsked_) {
      snapAsked_ = false;
      return;
    }
    snapAsked_ = true;
    SDL_SetWindowSize(screen_.window, fit.width, fit.height);
  }

  bool HasFlag(Uint32 flag) const {
    return screen_.window != nullptr && (SDL_GetWindowFlags(screen_.window) & flag) != 0;
  }

  // The newest presented frame; frameMutex_ held and hasFrame_ set.
  const Frame& Newest() const { return fresh_ ? ready_ : showing_; }

  // presentMutex_ held: the frame goes into the mailbox and the main thread
  // is woken to show it. Its rows outside firstRow..lastRow (and, given,
  // outside changedRows) equal the frame presented before it.
  void HandOver(Frame& frame, int firstRow, int lastRow, const FrameRows* changedRows = nullptr) {
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
  bool SameAsLastPresented(const Frame& frame) const {
    return lastPresented_ != nullptr && frame.width == lastWidth_ && frame.height == lastHeight_ &&
           std::memcmp(frame.pixels.data(), lastPresented_, frame.pixels.size() * sizeof(uint32_t)) == 0;
  }

  // SDL_WaitEventTimeout sleeps only where the driver can wait for events
  // itself and a window exists to wake; elsewhere it polls every millisecond.
  bool SdlWaitBlocks() const {
    return SDL_WasInit(SDL_INIT_VIDEO) != 0 && screen_.window != nullptr && !DriverWithoutUser();
  }

  int DisplayIndex() const {
    const int index = screen_.window != nullptr ? SDL_GetWindowDisplayIndex(screen_.window) : 0;
    return index < 0 ? 0 : index;
  }

  // Frame sizes around the client area; zero where the window system does
  // not tell (hidden windows, the dummy driver).
  void Borders(int* top, int* left, int* bottom, int* right) const {
    int t = 0, l = 0, b = 0, r = 0;
    if (SDL_GetWindowBordersSize(screen_.window, &t, &l, &b, &r) != 0) t = l = b = r = 0;
    if (top) *top = t;
    if (left) *left = l;
    if (bottom) *bottom = b;
    if (right) *right = r;
  }

  void Post(uint32_t message, uint64_t wParam, int64_t lParam) {
    if (target_ != 0) PostMessage(target_, message, wParam, lParam);
  }

  void SetActive(bool on) {
    if (active_ == on) return;
    active_ = on;
    Post(WM_ACTIVATEAPP, on ? 1 : 0, 0);
  }

  // Drivers without a user never send focus events, yet the game waits for
  // activation before it runs: a shown window there counts as active.
  void UpdateActivation() {
    if (screen_.window == nullptr) return;
    const Uint32 flags = SDL_GetWindowFlags(screen_.window);
    const bool shown = (flags & SDL_WINDOW_SHOWN) != 0;
    const bool noUser = DriverWithoutUser();
    if (shown && !active_ && (noUser || (flags & SDL_WINDOW_INPUT_FOCUS) != 0)) {
      SetActive(true);
    } else if (!shown && active_ && noUser) {
      SetActive(false);
    }
  }

  void HandleWindowEvent(const SDL_WindowEvent& e) {
    if (screen_.window == nullptr || e.windowID != screen_.windowId) return;
    switch (e.event) {
      case SDL_WINDOWEVENT_CLOSE:
        Post(WM_CLOSE, 0, 0);
        break;
      case SDL_WINDOWEVENT_FOCUS_GAINED:
        SetActive(true);
        break;
      case SDL_WINDOWEVENT_FOCUS_LOST:
        SetActive(false);
        break;
      case SDL_WINDOWEVENT_MOVED:
        Post(WM_MOVE, 0, host_detail::PackPair(e.data1, e.data2));
        break;
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        Post(WM_SIZE, Maximised() ? SIZE_MAXIMIZED : SIZE_RESTORED, host_detail::PackPair(e.data1, e.data2));
        needRender_ = true;
        SnapToWholeScale(e.data1, e.data2);
        break;
      case SDL_WINDOWEVENT_MINIMIZED:
        Post(WM_SIZE, SIZE_MINIMIZED, 0);
        break;
      case SDL_WINDOWEVENT_RESTORED: {
        int width = 0, height = 0;
        SDL_GetWindowSize(screen_.window, &width, &height);
        Post(WM_SIZE, SIZE_RESTORED, host_detail::PackPair(width, height));
        needRender_ = true;
        break;
      }
      case SDL_WINDOWEVENT_EXPOSED:
        Post(WM_PAINT, 0, 0);
        needRender_ = true;
        break;
      case SDL_WINDOWEVENT_SHOWN:
        needRender_ = true;
        break;
      default:
        break;
    }
  }

  void HandleEvent(const SDL_Event& event) {
    if (IsWakeEvent(event)) return;
    switch (event.type) {
      case SDL_QUIT:
        Post(WM_CLOSE, 0, 0);
        break;
      case SDL_WINDOWEVENT:
        HandleWindowEvent(event.window);
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const int vk = VirtualKeyFromScancode(event.key.keysym.scancode);
        if (vk == 0) break;
        const bool down = event.type == SDL_KEYDOWN;
        SetKeyState(vk, down);
        Post(down ? WM_KEYDOWN : WM_KEYUP, static_cast<uint64_t>(host_detail::KeyMessageCode(vk)),
             host_detail::KeyMessageLParam(down, event.key.repeat != 0));
        break;
      }
      case SDL_MOUSEMOTION:
        if (event.motion.windowID != screen_.windowId || screen_.window == nullptr) break;
        Post(WM_MOUSEMOVE, MouseKeyFlags(event.motion.state), screen_.MousePosition(event.motion.x, event.motion.y));
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        const SDL_MouseButtonEvent& b = event.button;
        if (b.windowID != screen_.windowId || screen_.window == nullptr) break;
        const bool down = event.type == SDL_MOUSEBUTTONDOWN;
        if (const int vk = MouseButtonKey(b.button)) SetKeyState(vk, down);
        uint32_t message;
        if (b.button == SDL_BUTTON_LEFT) {
          message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        } else if (b.button == SDL_BUTTON_RIGHT) {
          message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        } else {
          break;
        }
        Post(message, MouseKeyFlags(SDL_GetMouseState(nullptr, nullptr)), screen_.MousePosition(b.x, b.y));
        break;
      }
      default:
        break;
    }
  }

  // One event during a modal view. `screen` is where the view is drawn (the
  // game window or the view's own).
  void HandleModalEvent(const SDL_Event& event, ModalView& view, const Screen& screen, bool overGame,
                        bool& dirty) {
    if (IsWakeEvent(event)) return;
    switch (event.type) {
      case SDL_QUIT:
        view.HandleClose();
        break;
      case SDL_WINDOWEVENT:
        if (event.window.windowID == screen.windowId) {
          if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            view.HandleClose();
            break;
          }
          dirty = true;
        }
        // Focus, moves and sizes of the game window still become messages
        // (a close of the game window under the view was taken above).
        if (overGame || event.window.windowID != screen.windowId) HandleWindowEvent(event.window);
        break;
      default:
        FeedModalEvent(event, view, screen.windowId);
        if (event.type != SDL_KEYUP) dirty = true;
        break;
    }
  }

  // Uploads the newest presented frame (when one came since the last upload,
  // or the texture lost it) and redraws the window when anything changed.
  void ShowNewestFrame() {
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

  Screen screen_;
  WindowHandle target_ = 0;  // receives the translated messages
  std::string title_;        // UTF-8
  bool fullScreen_ = false;
  bool resizable_ = false;
  bool active_ = false;      // WM_ACTIVATEAPP 1 posted and not yet revoked
  bool needRender_ = false;
  bool reupload_ = false;    // the texture must get showing_ again (new window, a box drawn over it)
  uint64_t lastJoystickLook_ = 0;  // SDL_GetTicks64 of the last joystick update
  uint64_t lastPump_ = 0;          // SDL_GetTicks64 of the last pass that had SDL read the display
  static constexpr uint64_t kPumpIntervalMs = 100;
  static constexpr uint64_t kJoystickLookMs = 250;
  bool snapAsked_ = false;   // a whole-scale size was asked for and has not come yet

  // Three frame buffers change hands by swaps: the drawing thread's (its
  // Present argument), ready_ and showing_. The newest frame is ready_ while
  // fresh_, else showing_.
  mutable std::mutex frameMutex_;
  Frame ready_;              // the mailbox; guarded by frameMutex_
  Frame showing_;            // the frame uploaded last; swapped under frameMutex_ by the main thread only
  bool hasFrame_ = false;    // guarded by frameMutex_
  bool fresh_ = false;       // ready_ holds a frame not yet uploaded; guarded by frameMutex_
  // The rows in which the frames presented since the last upload differ from
  // the frame uploaded then (none: top past bottom); guarded by frameMutex_.
  int pendingTop_ = 0, pendingBottom_ = kScreenHeight - 1;
  FrameRows pendingRows_ = FrameRows().set();  // the rows of pendingTop_..pendingBottom_ that changed
  uint64_t presented_ = 0;   // guarded by frameMutex_

  // Presents come one at a time; the pixels of the last one handed over.
  mutable std::mutex presentMutex_;
  const uint32_t* lastPresented_ = nullptr;  // guarded by presentMutex_ (set under both)
  int lastWidth_ = 0, lastHeight_ = 0;       // guarded by presentMutex_
  // The caller's buffer when it holds the pixels presented last (it was
  // kept by a skipped present); guarded by presentMutex_.
  const uint32_t* keptEqual_ = nullptr;
};

namespace {

// A message box as a modal view.
class MessageBoxModal final : public ModalView {
 public:
  explicit MessageBoxModal(const MessageBoxSpec& spec) : title_(spec.utf8Title), view_(spec) {}
  std::string Utf8Title() const override { return title_; }
  int PreferredWidth() const override { return view_.PreferredWidth(); }
  int PreferredHeight() const override { return view_.PreferredHeight(); }
  void Render(Frame& canvas) override { view_.Render(canvas); }
  void HandleKey(int vk, bool, bool) override { view_.HandleKey(vk); }
  void HandleMouseMove(int x, int y) override { view_.HandleMouseMove(x, y); }
  void HandleClick(int x, int y) override { view_.HandleClick(x, y); }
  void HandleClose() override { closed_ = true; }
  bool Finished() const override { return closed_ || view_.Answered(); }
  int Answer() const { return view_.Answered() ? view_.Answer() : view_.CancelAnswer(); }

 private:
  std::string title_;
  MessageBoxView view_;
  bool closed_ = false;
};

}  // namespace

int SdlHost::RunMessageBox(const MessageBoxSpec& box) {
  MessageBoxModal modal(box);
  if (!RunModalView(modal)) return 0;
  return modal.Answer();
}

bool SdlHost::RunModalView(ModalView& view) {
  if (!EnsureSdlVideo() || DriverWithoutUser()) return false;
  struct ModalLoop {
    ModalLoop() { ++g_modalLoops; }
    ~ModalLoop() { --g_modalLoops; }
  } modalLoop;

  Frame background;
  Screen own;
  // A view opened by another (a question of a file chooser) is drawn over
  // that one, in its window.
  const ModalFrame* outer = modalFrame_;
  const bool overGame = outer == nullptr && Shown();
  Screen* screen = &screen_;
  if (outer != nullptr) {
    screen = outer->screen;
    background = *outer->canvas;
  } else if (overGame) {
    if (Minimised()) SDL_RestoreWindow(screen_.window);
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (hasFrame_) background = Newest();
  } else {
    const int width = std::clamp(view.PreferredWidth(), 1, kMaxMessageBoxSide);
    const int height = std::clamp(view.PreferredHeight(), 1, kMaxMessageBoxSide);
    // Where the view asks, kept whole on the display (a box cut off at the
    // screen's edge could not be answered); else centred.
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    int wantX = 0, wantY = 0;
    SDL_Rect usable;
    if (view.PreferredPosition(&wantX, &wantY) && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
      x = std::clamp(wantX, usable.x, std::max(usable.x, usable.x + usable.w - width));
      y = std::clamp(wantY, usable.y, std::max(usable.y, usable.y + usable.h - height));
    }
    SDL_Window* w = SDL_CreateWindow(view.Utf8Title().c_str(), x, y, width, height, SDL_WINDOW_SHOWN);
    if (w == nullptr) {
      std::fprintf(stderr, "pelmora: cannot open a dialog window: %s\n", SDL_GetError());
      return false;
    }
    if (!own.Open(w)) {
      SDL_DestroyWindow(w);
      return false;
    }
    SDL_RaiseWindow(w);
    background.width = width;
    background.height = height;
    screen = &own;
  }
  if (background.pixels.empty()) {
    background.pixels.assign(static_cast<size_t>(background.width) * static_cast<size_t>(background.height),
                             0xFF000000u);
  }

  // A view is answered with the mouse too, also over a full-screen game that
  // hides the cursor; the game window's next pump hides it again.
  ShowMouseCursor(true);
  Frame canvas = background;
  ModalFrame frame{screen, &canvas};
  modalFrame_ = &frame;
  bool dirty = true;
  bool typing = false;
  bool pointerPlaced = false;
  while (!view.Finished()) {
    // Text input (and with it the input method) is on only while the view
    // wants typed text: elsewhere an input method would swallow keys.
    Rect caret;
    const bool wantsText = view.WantsTextInput(&caret);
    if (wantsText != typing) {
      typing = wantsText;
      if (typing) SDL_StartTextInput(); else SDL_StopTextInput();
    }
    if (typing) {
      // The candidate window goes below the caret, in window coordinates
      // (the canvas may be scaled into the window).
      int left = caret.left, top = caret.top, right = caret.right, bottom = caret.bottom;
      if (screen->renderer != nullptr) {
        SDL_RenderLogicalToWindow(screen->renderer, static_cast<float>(caret.left), static_cast<float>(caret.top),
                                  &left, &top);
        SDL_RenderLogicalToWindow(screen->renderer, static_cast<float>(caret.right),
                                  static_cast<float>(caret.bottom), &right, &bottom);
      }
      SDL_Rect r{left, top, std::max(1, right - left), std::max(1, bottom - top)};
      SDL_SetTextInputRect(&r);
    }
    if (dirty) {
      canvas = background;
      view.Render(canvas);
      if (screen->Upload(canvas)) screen->Render();
      dirty = false;
      int px = 0, py = 0;
      if (!pointerPlaced && view.PointerStart(&px, &py) && screen->renderer != nullptr) {
        SDL_RenderLogicalToWindow(screen->renderer, static_cast<float>(px), static_cast<float>(py), &px, &py);
        SDL_WarpMouseInWindow(screen->window, px, py);
      }
      pointerPlaced = true;
    }
    SDL_Event event;
    bool got = SDL_WaitEventTimeout(&event, kMessageBoxWaitMs) == 1;
    // Events after the end stay queued for the game window's next pump.
    for (int handled = 1; got; ++handled) {
      HandleModalEvent(event, view, *screen, overGame, dirty);
      got = !view.Finished() && handled < kMaxEventsPerPump && SDL_PollEvent(&event) == 1;
    }
    if (view.Finished()) break;
    ServeSentMessages();
    // The flag is left for the main loop, which closes the game after the view.
    if (TerminationRequested()) view.HandleClose();
    // The keyboard handed back goes to the view, in its window or the game's.
    if (TakeKeyboardHandedBack()) TakeKeyboard(screen->window);
  }
  if (typing) SDL_StopTextInput();
  modalFrame_ = outer;

  if (outer != nullptr) {
    // The view under it is drawn again by its own loop.
  } else if (overGame) {
    // The texture now holds the view: show the newest game frame again.
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (hasFrame_) {
      reupload_ = true;
    } else {
      screen_.hasPicture = false;
    }
    needRender_ = true;
  } else {
    own.Close();
  }
  return true;
}

}  // namespace

std::unique_ptr<WindowHost> MakeSdlWindowHost() { return std::make_unique<SdlHost>(); }

}  // namespace plat

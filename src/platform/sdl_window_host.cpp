// The SDL window host's start and its window: SDL's process-wide state, the
// wake of the main thread's event wait, and the game window's creation,
// showing, placing, sizing, full screen and mouse cursor.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sdl_event_wait.h"
#include "platform/sdl_host.h"
#include "platform/soft_draw.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "platform/window_host_common.h"

namespace plat::sdl {

// Process-wide SDL state. The event type and the ready flag are read by
// other threads (Wake); the rest is main-thread only.
namespace {
std::atomic<uint32_t> g_wakeEventType{0};
}  // namespace
std::atomic<bool> g_eventsReady{false};
std::atomic<bool> g_wakePending{false};  // one wake event in the queue is enough

namespace {

// Set when video could not start, with the driver asked for then: a later
// request for another driver (tests choose "dummy") tries again.
bool g_videoFailed = false;
std::string g_failedDriver;

// The driver asked for by name (SDL_VIDEODRIVER, or the hint of that name);
// empty when SDL chooses.
std::string RequestedDriver() {
  const char* driver = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  return driver != nullptr ? driver : "";
}

const char* EnvironmentValue(const char* name) {
  const char* value = SDL_getenv(name);
  return value != nullptr && value[0] != '\0' ? value : "unset";
}

void RegisterWakeEvent() {
  if (g_wakeEventType.load() != 0) return;
  uint32_t type = SDL_RegisterEvents(1);
  if (type == static_cast<uint32_t>(-1)) type = SDL_USEREVENT;
  g_wakeEventType.store(type);
}

}  // namespace

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
    std::fprintf(stderr, "%s: SDL events unavailable: %s\n", ProgramName(), SDL_GetError());
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
    std::fprintf(stderr, "%s: no display: %s\n", ProgramName(), SDL_GetError());
    g_videoFailed = true;
    g_failedDriver = RequestedDriver();
    return false;
  }
  // When no window system answers, SDL falls back to a driver that shows
  // nothing to anyone: the game would run unseen and never end. Such a
  // driver serves only when it was asked for by name (SDL_VIDEODRIVER=dummy
  // for tests and headless runs).
  if (RequestedDriver().empty() && DriverWithoutUser()) {
    std::fprintf(stderr,
                 "%s: no display: no window system could be reached (DISPLAY %s, WAYLAND_DISPLAY %s); "
                 "SDL_VIDEODRIVER=dummy runs the game without one\n",
                 ProgramName(), EnvironmentValue("DISPLAY"), EnvironmentValue("WAYLAND_DISPLAY"));
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    g_videoFailed = true;
    g_failedDriver.clear();
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

namespace {

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

}  // namespace

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

bool SdlHost::Create(WindowHandle window, int x, int y, int width, int height) {
  if (screen_.window != nullptr || width <= 0 || height <= 0) return false;
  if (!EnsureSdlVideo()) return false;
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (resizable_) flags |= SDL_WINDOW_RESIZABLE;
  SDL_Window* w = SDL_CreateWindow(title_.c_str(), host_detail::ClampCoordinate(x), host_detail::ClampCoordinate(y),
                                   host_detail::ClampSize(width), host_detail::ClampSize(height), flags);
  if (w == nullptr) {
    std::fprintf(stderr, "%s: cannot create the window: %s\n", ProgramName(), SDL_GetError());
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

void SdlHost::Destroy() {
  const bool existed = screen_.window != nullptr;
  screen_.Close();
  target_ = 0;
  active_ = false;
  if (existed) ShowMouseCursor(true);  // no game window is left to hide it over
}

void SdlHost::Show(int showCommand) {
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

bool SdlHost::Shown() const {
  return screen_.window != nullptr && (SDL_GetWindowFlags(screen_.window) & SDL_WINDOW_SHOWN) != 0;
}

void SdlHost::SetTitle(const std::string& cp932Title) {
  title_ = Cp932ToUtf8(cp932Title);
  if (screen_.window != nullptr) SDL_SetWindowTitle(screen_.window, title_.c_str());
}

void SdlHost::Move(int x, int y) {
  if (screen_.window == nullptr) return;
  int top = 0, left = 0;
  Borders(&top, &left, nullptr, nullptr);
  SDL_SetWindowPosition(screen_.window, host_detail::ClampCoordinate(x) + left,
                        host_detail::ClampCoordinate(y) + top);
}

void SdlHost::SetClientSize(int width, int height) {
  if (screen_.window != nullptr && width > 0 && height > 0) {
    SDL_SetWindowSize(screen_.window, host_detail::ClampSize(width), host_detail::ClampSize(height));
  }
}

void SdlHost::CentreOnDesktop() {
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

Rect SdlHost::ClientRectOnScreen() const {
  if (screen_.window == nullptr) return Rect{};
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(screen_.window, &x, &y);
  SDL_GetWindowSize(screen_.window, &width, &height);
  return Rect{x, y, x + width, y + height};
}

Rect SdlHost::WindowRectOnScreen() const {
  Rect r = ClientRectOnScreen();
  if (screen_.window == nullptr) return r;
  int top = 0, left = 0, bottom = 0, right = 0;
  Borders(&top, &left, &bottom, &right);
  return Rect{r.left - left, r.top - top, r.right + right, r.bottom + bottom};
}

void SdlHost::SetFullScreen(bool on) {
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

void SdlHost::SetResizable(bool on) {
  resizable_ = on;
  if (screen_.window == nullptr) return;
  SDL_SetWindowResizable(screen_.window, on ? SDL_TRUE : SDL_FALSE);
  if (on) SDL_SetWindowMinimumSize(screen_.window, kScreenWidth, kScreenHeight);
}

DesktopInfo SdlHost::Desktop() const {
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

// The keyboard for `w` (shown and not minimised): raised (a window
// manager activates it) and given the input focus (without one nobody
// else would).
void SdlHost::TakeKeyboard(SDL_Window* w) {
  if (w == nullptr) return;
  const Uint32 flags = SDL_GetWindowFlags(w);
  if (!(flags & SDL_WINDOW_SHOWN) || (flags & SDL_WINDOW_MINIMIZED)) return;
  SDL_RaiseWindow(w);
  SDL_SetWindowInputFocus(w);
}

// The game moves the cursor's display counter (ShowCursor, from its own
// thread): full screen hides the mouse cursor, dialog mode brings it back.
// SDL shows or hides it over the window accordingly, on this thread.
void SdlHost::FollowCursorCount() { ShowMouseCursor(CursorDisplayCount() >= 0); }

void SdlHost::ShowMouseCursor(bool show) {
  const int wanted = show ? SDL_ENABLE : SDL_DISABLE;
  if (SDL_ShowCursor(SDL_QUERY) != wanted) SDL_ShowCursor(wanted);
}

// Full screen on the window's display. The window is first laid over the
// whole display, borderless: a window manager then takes it into its
// full-screen state, and without one (a bare X server) the window still
// covers the screen from its corner instead of staying where it was,
// offset and clipped.
void SdlHost::EnterFullScreen() {
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
void SdlHost::SnapToWholeScale(int width, int height) {
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

bool SdlHost::HasFlag(Uint32 flag) const {
  return screen_.window != nullptr && (SDL_GetWindowFlags(screen_.window) & flag) != 0;
}

int SdlHost::DisplayIndex() const {
  const int index = screen_.window != nullptr ? SDL_GetWindowDisplayIndex(screen_.window) : 0;
  return index < 0 ? 0 : index;
}

// Frame sizes around the client area; zero where the window system does
// not tell (hidden windows, the dummy driver).
void SdlHost::Borders(int* top, int* left, int* bottom, int* right) const {
  int t = 0, l = 0, b = 0, r = 0;
  if (SDL_GetWindowBordersSize(screen_.window, &t, &l, &b, &r) != 0) t = l = b = r = 0;
  if (top) *top = t;
  if (left) *left = l;
  if (bottom) *bottom = b;
  if (right) *right = r;
}

}  // namespace plat::sdl

namespace plat {

std::unique_ptr<WindowHost> MakeSdlWindowHost() { return std::make_unique<sdl::SdlHost>(); }

}  // namespace plat

// The SDL window host's events: the main loop's pass (its wait, the
// joysticks, the newest frame), SDL events turned into window messages and
// the key-state table, and events fed to a modal view.
#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/instance.h"
#include "platform/joysticks.h"
#include "platform/keys.h"
#include "platform/sdl_event_wait.h"
#include "platform/sdl_host.h"
#include "platform/window_host.h"
#include "platform/window_host_common.h"

namespace plat {
namespace {

// wParam values of WM_SIZE and the button flags of mouse messages, as the
// window handler reads them.
enum : uint64_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };
enum : uint64_t { MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10 };

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

namespace sdl {

void SdlHost::PumpEvents(uint32_t timeoutMs) {
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

// SDL_WaitEventTimeout sleeps only where the driver can wait for events
// itself and a window exists to wake; elsewhere it polls every millisecond.
bool SdlHost::SdlWaitBlocks() const {
  return SDL_WasInit(SDL_INIT_VIDEO) != 0 && screen_.window != nullptr && !DriverWithoutUser();
}

void SdlHost::Post(uint32_t message, uint64_t wParam, int64_t lParam) {
  if (target_ != 0) PostMessage(target_, message, wParam, lParam);
}

void SdlHost::SetActive(bool on) {
  if (active_ == on) return;
  active_ = on;
  Post(WM_ACTIVATEAPP, on ? 1 : 0, 0);
}

// Drivers without a user never send focus events, yet the game waits for
// activation before it runs: a shown window there counts as active.
void SdlHost::UpdateActivation() {
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

void SdlHost::HandleWindowEvent(const SDL_WindowEvent& e) {
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

void SdlHost::HandleEvent(const SDL_Event& event) {
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
void SdlHost::HandleModalEvent(const SDL_Event& event, ModalView& view, const Screen& screen, bool overGame,
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

}  // namespace sdl
}  // namespace plat

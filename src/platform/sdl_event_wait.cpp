#include "platform/sdl_event_wait.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>

namespace plat {

namespace {

std::atomic<bool> g_inUse{false};
// Set by the wake that wrote to the eventfd, cleared by the wait that takes
// it: wakes while it is set need no write of their own.
std::atomic<bool> g_wakeWritten{false};

// The eventfd, made once and kept for the process (wakes may come from
// threads that outlive static destruction). -1 when none could be made.
int WakeFd() {
  static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd;
}

// XEventsQueued of the libX11 that SDL loaded (SDL opens it at run time,
// so it is looked up there, never loaded here); null without one.
using EventsQueuedFn = int (*)(Display*, int);
EventsQueuedFn EventsQueued() {
  static const EventsQueuedFn fn = []() -> EventsQueuedFn {
    void* library = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return nullptr;
    return reinterpret_cast<EventsQueuedFn>(dlsym(library, "XEventsQueued"));
  }();
  return fn;
}

}  // namespace

DisplayWait WaitOnDisplayConnection(SDL_Window* window, uint32_t timeoutMs) {
  if (window == nullptr) return DisplayWait::Unavailable;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11)
    return DisplayWait::Unavailable;
  Display* display = info.info.x11.display;
  const EventsQueuedFn eventsQueued = EventsQueued();
  const int wake = WakeFd();
  if (display == nullptr || eventsQueued == nullptr || wake < 0) return DisplayWait::Unavailable;
  // From here on wakes write to the eventfd. One that came just before
  // pushed an event into SDL's queue instead: that ends the wait too.
  g_inUse.store(true);
  if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_TRUE) return DisplayWait::Woken;
  // Events that an Xlib call has already read off the connection wait in
  // Xlib's queue, where polling the connection would not see them; the
  // flush sends the requests still buffered, as SDL's own wait does.
  if (eventsQueued(display, QueuedAfterFlush) > 0) return DisplayWait::DisplayInput;
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wake, POLLIN, 0}};
  const int ready = poll(fds, 2, static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX)));
  if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
    // Cleared before the read: a wake after it writes again (at worst one
    // spare wake-up), and one before it needs none, for what it announced
    // was done before it and is looked at after this wait.
    g_wakeWritten.store(false);
    uint64_t count = 0;
    while (read(wake, &count, sizeof count) < 0 && errno == EINTR) {
    }
  }
  if (ready <= 0) return DisplayWait::TimedOut;
  return fds[0].revents != 0 ? DisplayWait::DisplayInput : DisplayWait::Woken;
}

void WakeDisplayWait() {
  if (!g_inUse.load()) return;
  if (g_wakeWritten.exchange(true)) return;
  const uint64_t one = 1;
  while (write(WakeFd(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool DisplayWaitInUse() { return g_inUse.load(); }

bool LeaveDisplayWait() {
  if (!g_inUse.load()) return false;
  g_inUse.store(false);
  // A waker that still saw the wait in use has written (or is about to
  // write) the eventfd; one that did not, pushes an SDL event.
  if (!g_wakeWritten.exchange(false)) return false;
  uint64_t count = 0;
  while (read(WakeFd(), &count, sizeof count) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace plat

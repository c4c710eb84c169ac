#include "platform/window_host.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/window_host_common.h"

namespace plat {
namespace {

std::mutex g_hostMutex;
std::unique_ptr<WindowHost> g_host;  // guarded by g_hostMutex

}  // namespace

bool HeadlessRequested() {
  const char* value = std::getenv("PELMORA_HEADLESS");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

WindowHost& GetWindowHost() {
  // The drawing thread calls this for Present, so creation is locked; the
  // host itself lives until it is replaced or the process ends.
  std::lock_guard<std::mutex> lock(g_hostMutex);
  if (!g_host) {
    if (HeadlessRequested()) {
      g_host = MakeHeadlessWindowHost();
    } else {
      g_host = MakeSdlWindowHost();
    }
  }
  return *g_host;
}

void SetWindowHost(std::unique_ptr<WindowHost> host) {
  // The old host is destroyed outside the lock: its destructor may touch SDL.
  std::unique_ptr<WindowHost> old;
  {
    std::lock_guard<std::mutex> lock(g_hostMutex);
    old = std::move(g_host);
    g_host = std::move(host);
  }
}

bool SaveFramePng(const Frame& frame, const std::string& utf8Path) {
  if (!host_detail::FrameIsValid(frame)) return false;
  // The screen ignores the alpha byte (the texture is drawn without
  // blending), so the file stores what the player sees: opaque RGB.
  // SDL only reads the pixels here; the cast is for its C signature.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(frame.pixels.data()), frame.width, frame.height, 32, frame.width * 4,
      SDL_PIXELFORMAT_RGB888);
  if (surface == nullptr) return false;
  const bool ok = IMG_SavePNG(surface, utf8Path.c_str()) == 0;
  SDL_FreeSurface(surface);
  return ok;
}

}  // namespace plat

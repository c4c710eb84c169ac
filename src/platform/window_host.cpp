#include "platform/window_host.h"

#include <SDL.h>
#include <SDL_image.h>

#include <atomic>
#include <cstdio>
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

bool EncodeFramePng(const Frame& frame, std::string& png) {
  png.clear();
  if (!host_detail::FrameIsValid(frame)) return false;
  // The screen ignores the alpha byte (the texture is drawn without
  // blending), so the file stores what the player sees: opaque RGB.
  // SDL only reads the pixels here; the cast is for its C signature.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(frame.pixels.data()), frame.width, frame.height, 32, frame.width * 4,
      SDL_PIXELFORMAT_RGB888);
  if (surface == nullptr) return false;
  // A stream that appends what SDL_image writes to `png`.
  SDL_RWops* stream = SDL_AllocRW();
  if (stream == nullptr) {
    SDL_FreeSurface(surface);
    return false;
  }
  stream->type = SDL_RWOPS_UNKNOWN;
  stream->hidden.unknown.data1 = &png;
  stream->size = [](SDL_RWops*) -> Sint64 { return -1; };
  stream->seek = [](SDL_RWops* rw, Sint64 offset, int whence) -> Sint64 {
    const auto* bytes = static_cast<std::string*>(rw->hidden.unknown.data1);
    // Only asked where it stands.
    return offset == 0 && (whence == RW_SEEK_CUR || whence == RW_SEEK_END) ? static_cast<Sint64>(bytes->size()) : -1;
  };
  stream->read = [](SDL_RWops*, void*, size_t, size_t) -> size_t { return 0; };
  stream->write = [](SDL_RWops* rw, const void* data, size_t size, size_t count) -> size_t {
    static_cast<std::string*>(rw->hidden.unknown.data1)->append(static_cast<const char*>(data), size * count);
    return count;
  };
  stream->close = [](SDL_RWops* rw) -> int {
    SDL_FreeRW(rw);
    return 0;
  };
  const bool ok = IMG_SavePNG_RW(surface, stream, 1) == 0 && !png.empty();
  SDL_FreeSurface(surface);
  return ok;
}

bool SaveFramePng(const Frame& frame, const std::string& utf8Path) {
  std::string png;
  if (!EncodeFramePng(frame, png)) return false;
  std::FILE* file = std::fopen(utf8Path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size() && std::fflush(file) == 0;
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(utf8Path.c_str());  // no picture cut short is left behind
  return ok;
}

namespace {
std::atomic<const char*> g_programName{"pelmora"};
}  // namespace

void SetProgramName(const char* name) { g_programName.store(name); }
const char* ProgramName() { return g_programName.load(); }

}  // namespace plat

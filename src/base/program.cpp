#include "base/program.h"

std::atomic<plat::WindowHandle> g_hMainWnd{0};
std::atomic<int32_t> bFromEditor{0};
std::atomic<int32_t> g_bActive{0};
std::atomic<uint8_t> g_bStartupComplete{0};
std::atomic<uint8_t> g_bClosing{0};

namespace {
std::atomic<QuitHandler> g_quitHandler{nullptr};
std::atomic<bool> g_quitRequested{false};
}  // namespace

void SetQuitHandler(QuitHandler handler) {
  g_quitHandler.store(handler);
  g_quitRequested.store(false);
}

void RequestQuit() {
  if (QuitHandler handler = g_quitHandler.load()) {
    g_quitRequested.store(true);
    handler();
  }
}

bool QuitRequested() { return g_quitRequested.load(); }

// The SDL window host's modal views (message boxes, dialogs): each runs in
// a loop of its own on the main thread, over the game window's last frame,
// over the view that opened it, or in a window of its own.
#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/instance.h"
#include "platform/message_box_view.h"
#include "platform/sdl_host.h"
#include "platform/window_host.h"

namespace plat::sdl {
namespace {

constexpr uint32_t kMessageBoxWaitMs = 10;
constexpr int kMaxMessageBoxSide = 4096;

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
      std::fprintf(stderr, "%s: cannot open a dialog window: %s\n", ProgramName(), SDL_GetError());
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

}  // namespace plat::sdl

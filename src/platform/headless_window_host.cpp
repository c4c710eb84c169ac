// The window host without any window system: state lives in members, events
// come from InjectMessage/InjectKey, frames are kept in memory.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

#include "platform/keys.h"
#include "platform/window_host.h"
#include "platform/window_host_common.h"

namespace plat {
namespace {

constexpr int kDesktopWidth = 1920;
constexpr int kDesktopHeight = 1080;
constexpr int kWorkAreaHeight = 1040;  // as if a 40-pixel panel ran along the bottom

// Shared with the main-queue waker, which may outlive the host.
struct WakeState {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
  std::deque<Message> injected;  // window 0: the host fills in its window
};

class HeadlessHost final : public HeadlessWindowHost {
 public:
  HeadlessHost() : wake_(std::make_shared<WakeState>()) {}

  bool Create(WindowHandle window, int x, int y, int width, int height) override {
    if (exists_ || width <= 0 || height <= 0) return false;
    window_ = window;
    exists_ = true;
    shown_ = minimised_ = maximised_ = activated_ = false;
    x_ = host_detail::ClampCoordinate(x);
    y_ = host_detail::ClampCoordinate(y);
    width_ = host_detail::ClampSize(width);
    height_ = host_detail::ClampSize(height);
    std::weak_ptr<WakeState> weak = wake_;
    SetMainQueueWaker([weak] {
      if (IsMainThread()) return;
      if (std::shared_ptr<WakeState> state = weak.lock()) {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->woken = true;
        state->cv.notify_all();
      }
    });
    return true;
  }

  void Destroy() override {
    exists_ = shown_ = activated_ = false;
    window_ = 0;
  }

  bool Exists() const override { return exists_; }

  void Show(int showCommand) override {
    if (!exists_) return;
    if (showCommand == SW_HIDE) {
      shown_ = false;
      return;
    }
    shown_ = true;
    minimised_ = showCommand == SW_SHOWMINIMIZED || showCommand == SW_MINIMIZE;
    maximised_ = showCommand == SW_MAXIMIZE;
    if (!activated_) {
      activated_ = true;
      PostMessage(window_, WM_ACTIVATEAPP, 1, 0);
    }
  }

  bool Shown() const override { return exists_ && shown_; }
  void SetTitle(const std::string& cp932Title) override { title_ = cp932Title; }
  void Move(int x, int y) override {
    x_ = host_detail::ClampCoordinate(x);
    y_ = host_detail::ClampCoordinate(y);
  }
  void SetClientSize(int width, int height) override {
    if (width > 0 && height > 0) {
      width_ = host_detail::ClampSize(width);
      height_ = host_detail::ClampSize(height);
    }
  }
  void CentreOnDesktop() override {
    x_ = (kDesktopWidth - width_) / 2;
    y_ = (kWorkAreaHeight - height_) / 2;
  }

  Rect ClientRectOnScreen() const override {
    if (fullScreen_) return Rect{0, 0, kDesktopWidth, kDesktopHeight};
    return Rect{x_, y_, x_ + width_, y_ + height_};
  }
  bool Minimised() const override { return minimised_; }
  bool Maximised() const override { return maximised_; }
  void SetFullScreen(bool on) override { fullScreen_ = on; }
  void SetResizable(bool on) override { resizable_ = on; }
  bool Resizable() const override { return resizable_; }

  DesktopInfo Desktop() const override {
    DesktopInfo info;
    info.width = kDesktopWidth;
    info.height = kDesktopHeight;
    info.workArea = Rect{0, 0, kDesktopWidth, kWorkAreaHeight};
    info.bitsPerPixel = 32;
    info.refreshRate = 60;
    return info;
  }

  void PumpEvents(uint32_t timeoutMs) override {
    std::deque<Message> batch;
    {
      std::unique_lock<std::mutex> lock(wake_->mutex);
      wake_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return wake_->woken || !wake_->injected.empty(); });
      wake_->woken = false;
      batch.swap(wake_->injected);
    }
    if (!exists_) return;  // nobody to deliver to: injected events are dropped
    for (const Message& m : batch) PostMessage(window_, m.message, m.wParam, m.lParam);
  }

  void Wake() override {
    std::lock_guard<std::mutex> lock(wake_->mutex);
    wake_->woken = true;
    wake_->cv.notify_all();
  }

  void Present(Frame& frame, bool /*changed*/) override {
    if (!host_detail::FrameIsValid(frame)) return;
    std::lock_guard<std::mutex> lock(frameMutex_);
    std::swap(last_, frame);
    hasFrame_ = true;
    ++presented_;
  }

  // The newest frame stays in last_ until the next Present swaps it out, and
  // LastFrame only reads it.
  const uint32_t* LastPresentedPixels() const override {
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!hasFrame_ || last_.width != kScreenWidth || last_.height != kScreenHeight) return nullptr;
    return last_.pixels.data();
  }

  void PresentCompared(Frame& frame, bool differs, int, int, const FrameRows*) override {
    if (!host_detail::FrameIsValid(frame)) return;
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (differs || !hasFrame_) {
      std::swap(last_, frame);
      hasFrame_ = true;
    }
    ++presented_;
  }

  uint64_t FramesPresented() const override {
    std::lock_guard<std::mutex> lock(frameMutex_);
    return presented_;
  }

  bool LastFrame(Frame& out) const override {
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!hasFrame_) return false;
    out = last_;
    return true;
  }

  // Nobody can answer a box here; the caller takes the default button.
  int RunMessageBox(const MessageBoxSpec&) override { return 0; }
  bool RunModalView(ModalView&) override { return false; }

  void InjectMessage(uint32_t message, uint64_t wParam, int64_t lParam) override {
    std::lock_guard<std::mutex> lock(wake_->mutex);
    wake_->injected.push_back(Message{0, message, wParam, lParam});
    wake_->cv.notify_all();
  }

  void InjectKey(int virtualKey, bool down) override {
    // The table changes at once (the game thread polls it); the message
    // travels with the other injected events through PumpEvents, as a real
    // key's would.
    if (virtualKey <= 0 || virtualKey > 255) return;
    const bool repeat = down && IsKeyDown(virtualKey);
    SetKeyState(virtualKey, down);
    InjectMessage(down ? WM_KEYDOWN : WM_KEYUP,
                  static_cast<uint64_t>(host_detail::KeyMessageCode(virtualKey)),
                  host_detail::KeyMessageLParam(down, repeat));
  }

  std::string Title() const override { return title_; }

 private:
  std::shared_ptr<WakeState> wake_;

  mutable std::mutex frameMutex_;
  Frame last_;            // guarded by frameMutex_
  bool hasFrame_ = false; // guarded by frameMutex_
  uint64_t presented_ = 0;  // guarded by frameMutex_

  // Main-thread state.
  WindowHandle window_ = 0;
  bool exists_ = false, shown_ = false, minimised_ = false, maximised_ = false;
  bool activated_ = false, fullScreen_ = false, resizable_ = false;
  int x_ = 0, y_ = 0, width_ = kScreenWidth, height_ = kScreenHeight;
  std::string title_;
};

}  // namespace

std::unique_ptr<HeadlessWindowHost> MakeHeadlessWindowHost() { return std::make_unique<HeadlessHost>(); }

}  // namespace plat

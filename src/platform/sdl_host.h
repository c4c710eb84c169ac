// The window host over SDL2: one game window with a renderer that shows the
// presented 640x480 frames scaled by whole factors, SDL events turned into
// window messages, and modal message boxes drawn by MessageBoxView. What its
// files (sdl_window_host*.cpp) share; internal to the host.
//
// Every SDL video call happens on the main thread. Present and Wake may come
// from any thread: Present only touches the mailbox (under its mutex) and
// Wake only writes to the main loop's eventfd (sdl_event_wait.h) or pushes
// an SDL event, which SDL allows from any thread.
#pragma once

#include <SDL.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/window_host.h"

namespace plat::sdl {

// Events handled per pass at most, so a flood of mouse motion cannot keep
// the main thread from its message queue.
inline constexpr int kMaxEventsPerPump = 4096;

// SDL's process-wide state and the event wait's wake (sdl_window_host.cpp).
extern std::atomic<bool> g_eventsReady;
extern std::atomic<bool> g_wakePending;
extern std::atomic<int> g_modalLoops;
void EnsureSdlEvents();
bool EnsureSdlVideo();
bool DriverWithoutUser();
bool WaitForWakeSignal(uint32_t timeoutMs);
void WakeEventWait();
bool IsWakeEvent(const SDL_Event& event);

// A window with its renderer and the streaming texture the frames go to
// (sdl_window_host_present.cpp).
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

  static bool RendersThroughSoftwareGl(SDL_Renderer* r);
  bool Open(SDL_Window* w);
  void Close();
  bool Upload(const Frame& frame, int firstRow = 0, int lastRow = INT_MAX);
  bool ShowRowsDirectly(const Frame& frame, int top, int bottom, const FrameRows& rows);
  void Render(int top = 0, int bottom = INT_MAX);
  bool DrawsIntoWindowSurface() const;
  bool PictureAtOwnSize() const;
  bool PictureFillsOutput() const;
  int64_t MousePosition(int x, int y) const;
};

class SdlHost final : public WindowHost {
 public:
  ~SdlHost() override { Destroy(); }

  // The window (sdl_window_host.cpp).
  bool Create(WindowHandle window, int x, int y, int width, int height) override;
  void Destroy() override;
  bool Exists() const override { return screen_.window != nullptr; }
  void Show(int showCommand) override;
  bool Shown() const override;
  void SetTitle(const std::string& cp932Title) override;
  void Move(int x, int y) override;
  void SetClientSize(int width, int height) override;
  void CentreOnDesktop() override;
  Rect ClientRectOnScreen() const override;
  Rect WindowRectOnScreen() const override;
  bool Minimised() const override { return HasFlag(SDL_WINDOW_MINIMIZED); }
  bool Maximised() const override { return HasFlag(SDL_WINDOW_MAXIMIZED); }
  void SetFullScreen(bool on) override;
  bool Resizable() const override { return resizable_; }
  void SetResizable(bool on) override;
  DesktopInfo Desktop() const override;
  static void TakeKeyboard(SDL_Window* w);

  // Events (sdl_window_host_events.cpp).
  void PumpEvents(uint32_t timeoutMs) override;
  void Wake() override { WakeEventWait(); }

  // Frames (sdl_window_host_present.cpp).
  void Present(Frame& frame, bool changed) override;
  const uint32_t* LastPresentedPixels() const override;
  void PresentCompared(Frame& frame, bool differs, int firstRow, int lastRow,
                       const FrameRows* changedRows) override;
  uint64_t FramesPresented() const override;
  bool LastFrame(Frame& out) const override;

  // Modal views (sdl_window_host_modal.cpp).
  int RunMessageBox(const MessageBoxSpec& box) override;
  bool RunModalView(ModalView& view) override;

  // The modal view running now: where it draws and what it drew last.
  struct ModalFrame {
    Screen* screen;
    const Frame* canvas;
  };
  const ModalFrame* modalFrame_ = nullptr;

 private:
  // The window (sdl_window_host.cpp).
  void FollowCursorCount();
  static void ShowMouseCursor(bool show);
  void EnterFullScreen();
  void SnapToWholeScale(int width, int height);
  bool HasFlag(Uint32 flag) const;
  int DisplayIndex() const;
  void Borders(int* top, int* left, int* bottom, int* right) const;

  // Frames (sdl_window_host_present.cpp).
  // The newest presented frame; frameMutex_ held and hasFrame_ set.
  const Frame& Newest() const { return fresh_ ? ready_ : showing_; }
  void HandOver(Frame& frame, int firstRow, int lastRow, const FrameRows* changedRows = nullptr);
  bool SameAsLastPresented(const Frame& frame) const;
  void ShowNewestFrame();

  // Events (sdl_window_host_events.cpp).
  bool SdlWaitBlocks() const;
  void Post(uint32_t message, uint64_t wParam, int64_t lParam);
  void SetActive(bool on);
  void UpdateActivation();
  void HandleWindowEvent(const SDL_WindowEvent& e);
  void HandleEvent(const SDL_Event& event);
  void HandleModalEvent(const SDL_Event& event, ModalView& view, const Screen& screen, bool overGame,
                        bool& dirty);

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

}  // namespace plat::sdl

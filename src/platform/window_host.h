// The game window as the platform sees it: one narrow interface with an SDL
// implementation (a real window, or SDL's dummy driver) and a headless one
// for scripted runs and tests. Game code talks to this interface, never to
// SDL.
//
// Threads: every call but Present and the frame readers is made on the main
// thread. Present is called by whichever thread draws frames; it swaps the
// frame into a mailbox that the main thread shows in PumpEvents, so a frame's
// pixels are written once (by the drawing thread's conversion) and copied
// once (into the renderer's texture).
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/large_pages.h"
#include "platform/messages.h"

namespace plat {

inline constexpr int kScreenWidth = 640;
inline constexpr int kScreenHeight = 480;

// A set of a frame's rows (bit y: row y).
using FrameRows = std::bitset<kScreenHeight>;

// A frame as presented: 640x480 pixels 0xAARRGGBB, row after row.
struct Frame {
  int width = kScreenWidth;
  int height = kScreenHeight;
  // In large pages, as the pictures it is made from (platform/large_pages.h).
  std::vector<uint32_t, LargePageAllocator<uint32_t>> pixels;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

struct DesktopInfo {
  int width = 0, height = 0;  // desktop size in pixels
  Rect workArea;              // usable area (without panels)
  int bitsPerPixel = 32;      // 4-byte formats report 32
  int refreshRate = 0;        // Hz, 0 when unknown
};

// Show commands of the game window (the values the editor passes).
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_MAXIMIZE = 3, SW_SHOW = 5, SW_MINIMIZE = 6 };

// A message box to show (see dialogs.h for the types and results).
struct MessageBoxSpec {
  std::string utf8Title;
  std::string utf8Text;  // lines separated by '\n'
  uint32_t type = 0;     // MB_OK, MB_YESNO ... with MB_DEFBUTTON2
  // The standard buttons in English (OK, Cancel, Yes, No), else in Japanese
  // (OK, キャンセル, はい, いいえ): the game's language (SetEnglishDialogs).
  bool english = false;
};

// A modal view the host runs in a loop of its own (message boxes, dialogs,
// file choosers): it draws itself into a canvas and takes keys, text and the
// mouse. Coordinates are canvas pixels. Main thread only.
class ModalView {
 public:
  virtual ~ModalView() = default;
  virtual std::string Utf8Title() const = 0;
  // Size of the view's own window when no game window is shown.
  virtual int PreferredWidth() const = 0;
  virtual int PreferredHeight() const = 0;
  // Draws over `canvas`, which holds the picture behind the view.
  virtual void Render(Frame& canvas) = 0;
  // A key press (virtual-key code) with the modifier state.
  virtual void HandleKey(int virtualKey, bool ctrl, bool shift) = 0;
  // Committed text and the text being composed (UTF-8) of the input method;
  // pasted text comes as committed text.
  virtual void HandleTextInput(const std::string& utf8) {}
  virtual void HandleTextEditing(const std::string& utf8) {}
  virtual void HandleMouseMove(int x, int y) = 0;
  // The left button went down, with the modifier keys held then.
  virtual void HandleMouseDown(int x, int y, bool doubleClick, bool ctrl = false, bool shift = false) {}
  virtual void HandleClick(int x, int y) = 0;  // left button released
  // The wheel turned by `steps` notches over (x, y); positive away from the
  // player (up).
  virtual void HandleMouseWheel(int x, int y, int steps) {}
  // The window's close box, or the program being told to end.
  virtual void HandleClose() = 0;
  virtual bool Finished() const = 0;
  // True while the view wants typed text; `caret` gets where the input
  // method's window should go.
  virtual bool WantsTextInput(Rect* caret) const { return false; }
  // Where the mouse pointer goes when the view first shows (after its first
  // Render); false: where it is.
  virtual bool PointerStart(int* x, int* y) const { return false; }
  // Where the top-left corner of the view's own window goes on the screen
  // (kept inside the display); false: centred.
  virtual bool PreferredPosition(int* x, int* y) const { return false; }
};

}  // namespace plat
union SDL_Event;
namespace plat {
// Hands one SDL event to a modal view: keys (Ctrl+V pastes the clipboard as
// typed text), committed and composed text of the input method, the mouse
// of window `windowId` (0: any). False for other events. Main thread.
bool FeedModalEvent(const SDL_Event& event, ModalView& view, uint32_t windowId);

class WindowHost {
 public:
  virtual ~WindowHost() = default;

  // Creates the (hidden) game window for a client area of width x height at
  // (x, y); messages go to `window`. False when it cannot be created.
  virtual bool Create(WindowHandle window, int x, int y, int width, int height) = 0;
  virtual void Destroy() = 0;
  virtual bool Exists() const = 0;

  virtual void Show(int showCommand) = 0;
  virtual bool Shown() const = 0;
  virtual void SetTitle(const std::string& cp932Title) = 0;
  // Outer position and client size.
  virtual void Move(int x, int y) = 0;
  virtual void SetClientSize(int width, int height) = 0;
  virtual void CentreOnDesktop() = 0;
  // Client rectangle in screen coordinates.
  virtual Rect ClientRectOnScreen() const = 0;
  // The whole window (its frame included) in screen coordinates: what Move
  // places. Hosts without a frame answer the client rectangle.
  virtual Rect WindowRectOnScreen() const { return ClientRectOnScreen(); }
  virtual bool Minimised() const = 0;
  virtual bool Maximised() const = 0;
  // Full screen on the desktop (whole-factor scaled picture).
  virtual void SetFullScreen(bool on) = 0;
  // A window the player may resize (the picture keeps whole-factor scaling).
  virtual void SetResizable(bool on) = 0;
  virtual bool Resizable() const { return false; }
  virtual DesktopInfo Desktop() const = 0;

  // Turns pending window-system events into messages posted to the window
  // (WM_CLOSE, WM_KEYDOWN/UP with key codes, WM_ACTIVATEAPP, WM_MOVE,
  // WM_SIZE, WM_PAINT, mouse messages), updates the key-state table, and
  // shows the newest presented frame. Main thread; waits at most timeoutMs
  // for an event when nothing is pending.
  virtual void PumpEvents(uint32_t timeoutMs) = 0;
  // Wakes a PumpEvents wait from any thread.
  virtual void Wake() = 0;

  // Any thread: hands a finished frame to the main thread without copying
  // it. The frame's pixels move into the mailbox, and `frame` is left with a
  // buffer (stale pixels, possibly empty) for the caller to convert the next
  // frame into. A host may count a frame equal to the one before without
  // taking it. `changed` false tells that the caller left the pixels as the
  // last Present left them (ImageToFrame says so), which spares the host a
  // comparison. A frame whose pixels do not match its size is refused and
  // left with the caller.
  virtual void Present(Frame& frame, bool changed) = 0;
  void Present(Frame& frame) { Present(frame, true); }
  // The pixels of the frame presented last (640×480 of them), for the
  // presenting thread to compare its next frame with while it converts it;
  // they stay put and unchanged until that thread's next Present. Null when
  // there is none, or when the host does not keep them so.
  virtual const uint32_t* LastPresentedPixels() const { return nullptr; }
  // Present for a caller that compared the frame with LastPresentedPixels():
  // `differs` false means the same picture (counted, not taken: the caller
  // keeps its buffer), true a new one (taken without another comparison),
  // whose rows outside firstRow..lastRow equal the last one's, and, with
  // `changedRows`, every row not in it too.
  virtual void PresentCompared(Frame& frame, bool differs, int firstRow = 0, int lastRow = kScreenHeight - 1,
                               const FrameRows* changedRows = nullptr) {
    (void)firstRow, (void)lastRow, (void)changedRows;
    Present(frame, differs);
  }
  // Number of frames presented so far, and a copy of the newest (any thread).
  virtual uint64_t FramesPresented() const = 0;
  virtual bool LastFrame(Frame& out) const = 0;

  // Runs a message box modally on the main thread: over the game window's
  // last frame when the window is shown, else in a small window of its own.
  // Serves sent messages while it waits (ServeSentMessages), and ends with the
  // box's cancel answer when a termination signal arrives. Returns the chosen
  // button (dialogs.h IDOK ...), or 0 when no box can be shown at all (no
  // display): the caller then takes the default button.
  virtual int RunMessageBox(const MessageBoxSpec& box) = 0;
  // Runs any modal view the same way until it is finished. False when no
  // view can be shown at all (no display): the caller answers for it.
  virtual bool RunModalView(ModalView& view) = 0;
};

// Chooses the implementation: the headless host when PELMORA_HEADLESS=1 or a
// host was installed with SetWindowHost, else SDL.
// PELMORA_HEADLESS=1: no window system at all (no SDL video or joysticks).
bool HeadlessRequested();
WindowHost& GetWindowHost();
void SetWindowHost(std::unique_ptr<WindowHost> host);

std::unique_ptr<WindowHost> MakeSdlWindowHost();

// Headless host: no window system at all. Events are injected by tests; the
// window is active from the moment it is shown. Keeps the last frames.
class HeadlessWindowHost : public WindowHost {
 public:
  virtual void InjectMessage(uint32_t message, uint64_t wParam, int64_t lParam) = 0;
  // Key press or release by virtual-key code: updates the key-state table
  // and posts WM_KEYDOWN/WM_KEYUP.
  virtual void InjectKey(int virtualKey, bool down) = 0;
  virtual std::string Title() const = 0;  // CP932
};
std::unique_ptr<HeadlessWindowHost> MakeHeadlessWindowHost();

// Writes a frame as a PNG file (tests, tools). False on failure (a file
// that could not take every byte included).
bool SaveFramePng(const Frame& frame, const std::string& utf8Path);
// The PNG file of a frame, in memory. False on failure.
bool EncodeFramePng(const Frame& frame, std::string& png);

// The name the platform's messages on the standard error start with
// ("pelmora: no display ..."): the program that was run. `name` is kept,
// not copied (a literal); "pelmora" until a program names itself.
void SetProgramName(const char* name);
const char* ProgramName();

}  // namespace plat

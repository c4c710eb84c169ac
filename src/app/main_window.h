// The game window object: its message handler runs on the main thread and
// also serves the requests other threads send to the window.
#pragma once

#include <cstdint>

#include "app/window.h"
#include "front/dialog_requests.h"
#include "platform/messages.h"

// Private requests to the game window.
enum : uint32_t {
  WM_TEXT_ENTRY_REQUEST = kTextEntryRequest,     // text-entry dialog
  WM_LOAD_STAGE_REQUEST = kLoadStageRequest,     // choose and load a stage file
  WM_LOAD_REPLAY_REQUEST = kLoadReplayRequest,   // choose and load a replay
  WM_SAVE_REPLAY_REQUEST = kSaveReplayRequest,   // save a replay (wParam 0 this attempt, 1 the previous)
  WM_SOUND_REQUEST = plat::WM_USER + 5,         // play sound effect wParam
  WM_MUSIC_REQUEST = plat::WM_USER + 6,         // music: wParam 0..3 screen music, 4 number lParam
  WM_RESTORE_DEVICE_REQUEST = plat::WM_USER + 100,
};

class cMainWindow : public cWindow {
 public:
  cMainWindow() { m_strName = "MainWindow"; }
  virtual int64_t OnMessage(plat::WindowHandle hWnd, uint32_t message, uint64_t wParam, int64_t lParam);

  // Notifications to the editor's window (only when the editor started us).
  bool NotifyEditorStarted();
  bool NotifyEditorFailed(int32_t result);

  // Ends the window: WM_DESTROY is handled before this returns.
  void Destroy();

  // The window-size menu (right click, or the menu key) is offered once
  // the window is a Direct3D window, whose picture scales.
  bool m_bSizeMenuAdded = false;
};

extern cMainWindow MainWindow;

// The window procedure: hands every message to MainWindow.OnMessage.
int64_t MainWndProc(plat::WindowHandle hWnd, uint32_t message, uint64_t wParam, int64_t lParam);

// The window-size menu: the entries "100% (640*480)" ... that fit the work
// area; the chosen one is handled as the window-size system command.
// Returns the chosen factor, 0 when none was chosen.
int ShowWindowSizeMenu(plat::WindowHandle window);

// The quit question (Yes/No); true for Yes.
bool ConfirmQuit(plat::WindowHandle owner, int32_t english);

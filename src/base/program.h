// Program-wide values of the entry point and the game window, read and
// written by several threads (hence atomics).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/messages.h"

// The game window: every part of the program posts WM_CLOSE and sends its
// requests here. 0 before the window exists and after it was destroyed.
extern std::atomic<plat::WindowHandle> g_hMainWnd;
// The editor flag: 1 when the editor started the game (show command
// SW_SHOW). It turns on the notifications to the editor's window, keeps the
// flows marked for test play, and in stage play takes no ranking places and
// makes the editor's test play of a stage start at once, clear its counters
// at every set-up and show the ranges marked for it.
extern std::atomic<int32_t> bFromEditor;
// The window is the active application (WM_ACTIVATEAPP); the game thread makes
// frames only while it is set.
extern std::atomic<int32_t> g_bActive;
// Set once start-up succeeded.
extern std::atomic<uint8_t> g_bStartupComplete;
// Set by the game window's close once it goes ahead (past the quit
// question), before it ends the worker threads; cleared at every start. A
// stage read that the close cuts short is the close's doing, not a fault.
extern std::atomic<uint8_t> g_bClosing;

// The fault road: asks the top of the program to end the game in order (the
// game window's close, without the quit question, whatever the player could
// answer) and to exit with the status of a fault. Any thread; lower layers
// call it where a fault ends the game (a bad container index, a lost surface
// that cannot be had back, a picture or stage that fails to load). A close
// the player asks for (Escape, the window's close button, a menu's quit) is
// not one: it posts a plain WM_CLOSE. The handler is installed by the entry
// point; with none installed (tools, tests) the request does nothing.
using QuitHandler = void (*)();
// Installing (or removing) a handler also forgets an earlier request.
void SetQuitHandler(QuitHandler handler);
void RequestQuit();
// A request reached the installed handler: the game is ending for a fault.
// The game thread starts no new frame from then on (the frame under way
// finishes), so what the game shows ends with the frame the fault happened
// in, however soon the window's thread gets to the close.
bool QuitRequested();

inline constexpr const char* kAppVersion = "873";
// Class names the editor and a second copy look for.
inline constexpr const char* kWindowClassName = "Pelmora";
inline constexpr const char* kEditorClassName = "Pelmora_Editor";

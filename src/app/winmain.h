// The program's entry: logs, single instance, the game window, start-up, the
// game thread and the main thread's message loop, then shutdown.
#pragma once

#include <string>
#include <vector>

// The game's log, created afresh in the working folder at every start.
inline constexpr const char* kReportLogName = "Report_Game.txt";

// What the program returns when it stops before its loop: 0 when the
// player chose to (a second copy not started, the start dialog cancelled),
// kExitStartFailed after a failed start's message.
inline constexpr int kExitStartFailed = 1;
// What it returns when a fault ended the game after start-up (a picture or
// stage that would not load, a bad index ...), after the fault's message.
inline constexpr int kExitFault = 1;

// The reasons of the last start that failed (kExitStartFailed), as its error
// boxes showed them (CP932), in order; empty after any other end. The report
// log holds each of them.
std::vector<std::string> StartFailureReasons();
// One of them as the standard error tells it (UTF-8): its first line after
// "PROGRAM: ", the others indented under it; ends with a line break.
std::string StartReasonText(const std::string& program, const std::string& cp932Reason);

// A start refused before the game's own begins, with `text` (CP932) in an
// error box that becomes the failed start's reason (StartFailureReasons):
// the command line names nothing to play where the program was started.
// Nothing is written and no running copy is asked about. Returns
// kExitStartFailed.
int RefuseStart(const std::string& text);

// commandLine: a stage file to test-play, or empty. showCommand: how the
// window is shown (5, SW_SHOW, when the editor started the game). Returns the
// exit code: 0 or kExitStartFailed when the program stops before its loop,
// kExitFault when a fault ended the game, else WM_QUIT's code.
int WinMain(const char* commandLine, int showCommand);

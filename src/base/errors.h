// printf-style formatting into strings, the error boxes titled "エラー" and
// the out-of-memory report.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "base/logs.h"

// Formats into `out`, of any length.
void FormatString(std::string& out, const char* format, ...) PELMORA_PRINTF(2, 3);
void FormatStringV(std::string& out, const char* format, va_list args);

// A box with the text (CP932) and its title; returns the button pressed
// (plat::IDOK ...). Any thread.
int ShowMessageBox(const char* text, const char* title, uint32_t type);
// An OK box titled "エラー".
int ShowErrorText(const char* text);
// The same for a text that the report log holds already (the caller wrote it
// there).
int ShowLoggedErrorText(const char* text);
// Sees the text (CP932) of every error box (the two above and what uses
// them) just before the box is shown, on the thread that shows it, and
// whether the report log holds it: the entry point keeps a failed start's
// reasons this way. Null (the default): nobody.
using ErrorTextObserver = void (*)(const char* text, bool logged);
void SetErrorTextObserver(ErrorTextObserver observer);
int ShowError(const char* format, ...) PELMORA_PRINTF(1, 2);
// As ShowError, but only while the error-check log is switched on; else 0.
int ShowDebugError(const char* format, ...) PELMORA_PRINTF(1, 2);
// Says that memory ran out, and what the program was doing then where the
// caller knows (`doing`: "while setting up the stage", "on the game
// thread"; empty when it does not): one line ("out of memory ...") in the
// report log and on the standard error. Any thread; what the line itself
// cannot get memory for is left out, never thrown.
void ReportOutOfMemory(const char* doing);
// ReportOutOfMemory(doing), "メモリが不足しています！", then the fault road
// (RequestQuit).
void ShowOutOfMemory(const char* doing = "");

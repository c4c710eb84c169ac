// The two plain-text logs: the report log ("Report_Game.txt"), created afresh
// by every run, and the error-check log ("EC_Game.txt"), written only while
// switched on. Every line is opened, written and closed, so a log survives a
// crash up to its last line; a line is the text and "\n", nothing more.
// Callers pass CP932 text like every text inside the program; the files hold
// UTF-8 (bytes that are not CP932 are written as '?').
// Any thread may write; a process-wide lock keeps lines whole.
#pragma once

#include <cstdint>
#include <string>

#include "platform/messages.h"

#if defined(__GNUC__)
#define PELMORA_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PELMORA_PRINTF(fmt, args)
#endif

// Creates (or truncates) the report log at `path`, a Linux path (the game
// folder's own name is the system's, not a game path), and keeps the path for
// later writes; 1, or 0 with errno when it cannot be written. A device
// (/dev/null) or a named pipe with a reader takes the lines as a file does.
int OpenReportLog(const char* path);
// The report log's path as kept by OpenReportLog (empty before).
const std::string& ReportLogPath();

// Appends one line to the report log; 0 when the log cannot be opened (for
// instance deleted meanwhile: the line is lost, the log is not re-created).
int WriteReportLog(const char* format, ...) PELMORA_PRINTF(1, 2);
// Appends one line to the report log and, when switched on, the error-check
// log. Texts are cut at 1023 bytes (of CP932).
int WriteReportAndECLog(const char* format, ...) PELMORA_PRINTF(1, 2);
// As WriteReportAndECLog, then shows the text in an error box; nothing at all
// happens (0) when the report log cannot be opened.
int WriteReportAndShowError(const char* format, ...) PELMORA_PRINTF(1, 2);

// Switches the error-check log on or off and names its file.
const char* SetECLog(uint32_t enabled, const char* fileName);
bool ECLogEnabled();
// Error-check lines: the first of a run truncates the file, later ones append.
void WriteECLogText(const char* text);
void WriteECLogString(const char* text);
void WriteECLog(const char* format, ...) PELMORA_PRINTF(1, 2);
// Writes the line (when switched on), then always closes `window` without the
// quit question: the game window by the fault road (RequestQuit), so the
// program ends with the status of a fault.
bool WriteECLogAndClose(plat::WindowHandle window, const char* format, ...) PELMORA_PRINTF(2, 3);

// Tests: forget the state of this run (report path, error-check flags).
void ResetLogsForTest();

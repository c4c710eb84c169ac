#include "base/logs.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "base/errors.h"
#include "base/program.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

std::mutex g_logMutex;  // one line at a time, whichever thread writes
std::string g_reportLogName;
std::string g_ecLogName;
uint32_t g_ecEnabled = 0;
bool g_ecFirstWriteDone = false;

constexpr size_t kLineBuffer = 1024;  // combined writes cut their text here

// One line of a log file: the program's CP932 text as UTF-8, which is what
// the people reading the logs (terminals, editors) expect; then "\n".
void PutLine(FILE* f, const char* cp932) {
  std::fputs(plat::Cp932ToUtf8(cp932).c_str(), f);
  std::fputs("\n", f);
}

// Appends a line to the error-check log; the caller holds the lock.
void AppendECLocked(const char* text) {
  if (!g_ecEnabled) return;
  FILE* f = plat::OpenFile(g_ecLogName, g_ecFirstWriteDone ? "at" : "wt");
  g_ecFirstWriteDone = true;  // also when the open failed: later lines append
  if (!f) return;
  PutLine(f, text);
  std::fclose(f);
}

// Opens the existing report log for appending; null when it is gone.
FILE* OpenReportForAppend() {
  if (g_reportLogName.empty()) return nullptr;
  return plat::OpenForWriting(g_reportLogName, plat::WriteOpen::kAppendExisting);
}

std::string FormatV(const char* format, va_list args) {
  std::string out;
  FormatStringV(out, format, args);
  return out;
}

// Report + error-check line; the box (when asked) is shown while the report
// log is still open (its line is already written), but outside the lock.
int WriteCombined(const char* text, bool showBox) {
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "%s", text);
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    FILE* f = OpenReportForAppend();
    if (!f) return 0;
    PutLine(f, line);
    std::fclose(f);
    AppendECLocked(line);
  }
  if (showBox) ShowLoggedErrorText(line);
  return 1;
}

}  // namespace

int OpenReportLog(const char* path) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  FILE* f = plat::OpenForWriting(path ? path : "", plat::WriteOpen::kReplace);
  if (!f) return 0;
  std::fclose(f);
  g_reportLogName = path;
  return 1;
}

const std::string& ReportLogPath() { return g_reportLogName; }

int WriteReportLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(g_logMutex);
  FILE* f = OpenReportForAppend();
  if (!f) return 0;
  PutLine(f, text.c_str());
  std::fclose(f);
  return 1;
}

int WriteReportAndECLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return WriteCombined(text.c_str(), false);
}

int WriteReportAndShowError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return WriteCombined(text.c_str(), true);
}

const char* SetECLog(uint32_t enabled, const char* fileName) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_ecEnabled = enabled;
  g_ecLogName = fileName ? fileName : "";
  return g_ecLogName.c_str();
}

bool ECLogEnabled() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return g_ecEnabled != 0;
}

void WriteECLogText(const char* text) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  AppendECLocked(text ? text : "");
}

void WriteECLogString(const char* text) { WriteECLogText(text); }

void WriteECLog(const char* format, ...) {
  if (!ECLogEnabled()) return;
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  WriteECLogText(text.c_str());
}

bool WriteECLogAndClose(plat::WindowHandle window, const char* format, ...) {
  if (ECLogEnabled()) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    WriteECLogText(text.c_str());
  }
  // A fatal line: the game window closes by the fault road (no quit
  // question, the program's fault status); another window only closes.
  if (window == g_hMainWnd.load()) {
    RequestQuit();
    return true;
  }
  return plat::PostMessage(window, plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
}

void ResetLogsForTest() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_reportLogName.clear();
  g_ecLogName.clear();
  g_ecEnabled = 0;
  g_ecFirstWriteDone = false;
}

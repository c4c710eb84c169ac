#include "app/winmain.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/system_report.h"
#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/text_path.h"
#include "base/thread.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"


namespace {

constexpr const char* kInstanceName = "ゲーム";
constexpr uint32_t kTerminateGraceMs = 500;
constexpr uint32_t kEventWaitMs = 50;

// The report log's line for a running copy this copy ended, by how it ended
// (empty when none was).
std::string TerminationNote(pid_t pid, plat::Termination how) {
  const char* killed = "";
  switch (how) {
    case plat::Termination::kNotReached: return {};
    case plat::Termination::kClosed: killed = nullptr; break;
    case plat::Termination::kKilled: killed = ""; break;
    case plat::Termination::kKillPending: killed = " but had not ended a second later"; break;
  }
  char line[320];
  if (killed == nullptr)
    std::snprintf(line, sizeof line, "Second copy : the running copy (process %d) closed when asked (SIGTERM)",
                  static_cast<int>(pid));
  else
    std::snprintf(line, sizeof line,
                  "Second copy : the running copy (process %d) did not close within %u ms of the request (SIGTERM) "
                  "and was killed (SIGKILL)%s: what it had not saved is lost",
                  static_cast<int>(pid), kTerminateGraceMs, killed);
  return line;
}

// Another copy runs: ask whether to close it. False when this copy must end,
// with `exitCode` 0 when the player said no, kExitStartFailed when the
// running copy could not be closed. `note` gets the log's line for a copy
// that was ended (the log is not open yet).
bool HandleSecondInstance(int& exitCode, std::string& note) {
  exitCode = 0;
  const std::string& title = plat::Sjis("二重起動");
  int answer = ShowMessageBox(
      plat::Sjis("既に起動しています。\n実行中のプログラムを閉じて再起動しますか？\n\nWould you like to restart the game?")
          .c_str(),
      title.c_str(), plat::MB_YESNO);
  if (answer != plat::IDYES) {
    // The running copy goes on, with the keyboard this box took.
    if (auto pid = plat::FindRegisteredWindowOwner(kWindowClassName)) plat::HandKeyboardBack(*pid);
    return false;
  }
  if (auto pid = plat::FindRegisteredWindowOwner(kWindowClassName)) {
    const plat::Termination ended = plat::TerminateProcessOrderly(*pid, kTerminateGraceMs);
    if (ended == plat::Termination::kNotReached) {
      ShowMessageBox(plat::Sjis("プログラムの終了に失敗しました。").c_str(), title.c_str(), plat::MB_OK);
      exitCode = kExitStartFailed;
      return false;
    }
    note = TerminationNote(*pid, ended);
  }
  // The old copy is gone (or had no window yet): take the lock over when it
  // can be had; the game goes on either way.
  plat::AcquireInstanceLock(plat::Cp932ToUtf8(plat::Sjis(kInstanceName)));
  return true;
}

// The game thread can take WM_QUIT once its queue exists: post the hand-shake
// until it is accepted (or the thread has already ended).
void WaitForGameThreadQueue() {
  while (!plat::PostThreadMessage(thGame.ThreadId(), plat::WM_APP, 0, 0)) {
    if (thGame.Finished()) return;
    std::this_thread::yield();
  }
}

void EndForLackOfMemory(const char* doing);

int RunMessageLoop(plat::WindowHandle hWnd) {
  plat::WindowHost& host = plat::GetWindowHost();
  for (;;) {
    if (plat::TakeTerminationRequest() && g_hMainWnd.load())
      plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
    plat::Message msg;
    bool taken = false;
    try {  // a message handled, or a request of another thread served
      taken = plat::PeekMessage(msg, true);
      if (taken && msg.message == plat::WM_QUIT) return static_cast<int>(msg.wParam);
      if (taken) plat::DispatchMessage(msg);
    } catch (const std::bad_alloc&) {
      EndForLackOfMemory("on the window's thread");
    }
    if (taken) {
      host.PumpEvents(0);  // window events and frames keep flowing between messages
      continue;
    }
    // Nothing queued: sleep in the event wait. Any post or send to this
    // thread, any window event and any presented frame end it at once, so a
    // request sent by the game thread is served without delay; the bound
    // only keeps termination signals seen.
    host.PumpEvents(kEventWaitMs);
  }
}

// PELMORA_TRACE=FILE: the frame trace of a real run, one JSON line per
// presented frame (the lines `pelmora-tool play --trace` writes), flushed as
// it goes, so a script driving the real window can wait for what the game
// does. Written on the presenting thread; installed before the game thread
// starts and removed after it has ended. A trace that cannot be written (a
// full disk, a device that takes nothing, a folder that is not there) gets
// one line in the report log naming it and why, and no frame after tries
// again. It is opened and written as every file the game writes
// (plat::OpenForWriting): a named pipe nobody reads, or whose reader stops
// reading, is such a trace, and the game never waits on it for long.
class RunTrace {
 public:
  RunTrace() {
    const char* path = std::getenv("PELMORA_TRACE");
    if (path == nullptr || path[0] == '\0') return;
    // A scripted run (pelmora-tool play) watches the frames itself and
    // writes its own trace: the variable it inherited must not take its
    // observer away.
    if (FramePresentedObserverInstalled()) {
      WriteReportLog("PELMORA_TRACE : not written: a scripted run traces this game");
      return;
    }
    path_ = path;
    errno = 0;
    file_ = plat::OpenForWriting(path_, plat::WriteOpen::kReplace);
    if (file_ == nullptr) {
      ReportFailure(errno);
      return;
    }
    SetFramePresentedObserver([this] {
      const std::string line = FrameTraceJson(CaptureFrameTrace(++frames_)) + "\n";
      std::lock_guard<std::mutex> lock(mutex_);
      if (file_ == nullptr) return;
      errno = 0;
      if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
        const int error = errno;
        std::fclose(file_);  // what it could not write it cannot write now either
        file_ = nullptr;
        ReportFailure(error);
      }
    });
    installed_ = true;
  }
  ~RunTrace() { Stop(); }
  void Stop() {
    if (installed_) SetFramePresentedObserver(nullptr);  // a scripted run's own observer stays
    installed_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) return;
    errno = 0;
    if (std::fclose(file_) != 0) ReportFailure(errno);
    file_ = nullptr;
  }

 private:
  void ReportFailure(int error) {
    WriteReportLog("PELMORA_TRACE : %s cannot be written (%s)", plat::Utf8ToCp932(path_).c_str(),
                   plat::WriteFailureText(path_, error).c_str());
  }

  std::mutex mutex_;  // a frame still being written when the run ends
  std::string path_;  // as the variable gives it (UTF-8)
  std::FILE* file_ = nullptr;
  bool installed_ = false;
  uint32_t frames_ = 0;  // presenting thread
};

// Faults found by the lower layers end the game through the window's
// ordinary close, but without the quit question: the fault has shown its
// message, and a game that went on after it would run without the picture,
// stage or element it lost. The program then ends with kExitFault.
std::atomic<bool> g_bEndedByFault{false};

void CloseGameWindow() {
  // Once the close goes ahead, what fails because it ends the threads (a
  // stage read cut short, a wait broken off) is the close's doing: the
  // program ends as the player asked.
  if (g_bClosing.load()) return;
  g_bEndedByFault.store(true);
  plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
}

// Memory ran out on the window's thread: said, and the game ends by the
// fault road; a close it cut short is asked again (its steps are each done
// once).
void EndForLackOfMemory(const char* doing) {
  ReportOutOfMemory(doing);
  g_bEndedByFault.store(true);
  plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
}

// The error boxes shown before start-up was complete (any thread may show
// one): when the start fails they are its reasons. Those that only a box
// showed are written to the report log then, so that the log holds why the
// game did not start also where no box could be shown.
struct StartReason {
  std::string text;
  bool logged;
};
std::mutex g_startReasonsMutex;
std::vector<StartReason> g_startReasons;
bool g_startFailed = false;

void NoteStartReason(const char* text, bool logged) {
  if (g_bStartupComplete.load()) return;
  std::lock_guard<std::mutex> lock(g_startReasonsMutex);
  g_startReasons.push_back({text, logged});
}

class StartReasonsScope {
 public:
  StartReasonsScope() {
    std::lock_guard<std::mutex> lock(g_startReasonsMutex);
    g_startReasons.clear();
    g_startFailed = false;
    SetErrorTextObserver(NoteStartReason);
  }
  ~StartReasonsScope() { SetErrorTextObserver(nullptr); }
  // The start failed: the log is given the reasons it lacks.
  void Failed() {
    std::lock_guard<std::mutex> lock(g_startReasonsMutex);
    g_startFailed = true;
    for (StartReason& reason : g_startReasons) {
      if (!reason.logged) WriteReportLog("%s", reason.text.c_str());
      reason.logged = true;
    }
  }
  // The start was refused before there was a log: the boxes' texts are
  // its reasons, written nowhere else.
  void Refused() {
    std::lock_guard<std::mutex> lock(g_startReasonsMutex);
    g_startFailed = true;
  }
};

// The quit handler is the game window's for the run of WinMain only. A
// scripted dialog answer the dialog refuses is a fault of the run too.
class QuitHandlerScope {
 public:
  QuitHandlerScope() {
    SetQuitHandler(CloseGameWindow);
    plat::SetRefusedAnswerHandler(RequestQuit, "the game ends");
  }
  ~QuitHandlerScope() {
    plat::SetRefusedAnswerHandler(nullptr);
    SetQuitHandler(nullptr);
  }
};

}  // namespace

std::vector<std::string> StartFailureReasons() {
  std::lock_guard<std::mutex> lock(g_startReasonsMutex);
  std::vector<std::string> reasons;
  if (g_startFailed)
    for (const StartReason& reason : g_startReasons) reasons.push_back(reason.text);
  return reasons;
}

std::string StartReasonText(const std::string& program, const std::string& cp932Reason) {
  // A reason names the game's files as its data spells them: each of its
  // lines is shown with the data's control characters escaped, the lines
  // after the first indented under it.
  const std::string text = plat::Cp932ToUtf8(cp932Reason);
  std::string shown = program + ": ";
  for (size_t begin = 0;;) {
    const size_t end = text.find('\n', begin);
    shown += plat::ShownOnTerminal(std::string_view(text).substr(begin, end - begin), false);
    if (end == std::string::npos) break;
    shown += "\n  ";
    begin = end + 1;
  }
  return shown + "\n";
}

int RefuseStart(const std::string& text) {
  StartReasonsScope startReasons;
  plat::SetMainThread();
  plat::EnsureQueue();
  ShowErrorText(text.c_str());
  startReasons.Refused();
  return kExitStartFailed;
}

int WinMain(const char* commandLine, int showCommand) {
  QuitHandlerScope quitHandler;
  StartReasonsScope startReasons;
  g_bEndedByFault.store(false);
  g_bClosing.store(0);
  SetECLog(0, "EC_Game.txt");

  bFromEditor.store(showCommand == plat::SW_SHOW ? 1 : 0);
  plat::SetMainThread();
  plat::EnsureQueue();
  plat::InstallTerminationHandlers();

  // Looked at before the first box (the second copy's question): a
  // transcript that cannot be written is named for each run, also for a
  // second copy that ends at its question, which has no log of its own to
  // name it in.
  const std::string dialogLog = plat::DialogLogProblem();
  auto tellDialogLogProblem = [&dialogLog] {
    if (!dialogLog.empty()) std::fprintf(stderr, "%s: PELMORA_DIALOG_LOG : %s\n", plat::ProgramName(), dialogLog.c_str());
  };

  // One copy at a time, decided before anything is written: a second copy
  // that the player declines to start must leave the running game's log
  // as it is (both copies keep it in the same folder).
  std::string lockName = plat::Cp932ToUtf8(plat::Sjis(kInstanceName));
  int secondCopyExit = 0;
  std::string noLock, firstCopyEnded;
  const plat::InstanceLockResult lock = plat::AcquireInstanceLock(lockName, &noLock);
  if (lock == plat::InstanceLockResult::AlreadyRunning && !HandleSecondInstance(secondCopyExit, firstCopyEnded)) {
    tellDialogLogProblem();
    plat::ReleaseInstanceLock();
    return secondCopyExit == 0 && g_bEndedByFault.load() ? kExitFault : secondCopyExit;
  }

  // The log is kept by its full path so that it stays put whatever the
  // current folder becomes. The folder's name is the system's, whatever its
  // bytes (a "\" in it is no separator): only names inside the game are
  // game paths. A working folder that cannot be told keeps the plain name
  // (the program itself never changes folder).
  std::string reportPath = plat::WorkingFolderFile(kReportLogName);
  if (reportPath.empty()) reportPath = kReportLogName;
  if (!OpenReportLog(reportPath.c_str())) {
    // No log and no window yet: the reason is told only where the caller
    // tells the start's reasons (the standard error).
    const int error = errno;
    const std::string reason = std::string("cannot create ") + kReportLogName + " in this folder (" +
                               plat::WriteFailureText(reportPath, error) + ")";
    NoteStartReason(reason.c_str(), false);
    startReasons.Refused();
    tellDialogLogProblem();
    plat::ReleaseInstanceLock();
    return kExitStartFailed;
  }
  WriteReportLog("App : ver %s", kAppVersion);
  WriteSystemReport();
  if (!firstCopyEnded.empty()) WriteReportLog("%s", firstCopyEnded.c_str());
  // A transcript of the boxes that cannot be written would say nothing of
  // them: the log says so instead.
  if (!dialogLog.empty()) WriteReportLog("PELMORA_DIALOG_LOG : %s", plat::Utf8ToCp932(dialogLog).c_str());
  // Without the lock a second copy would run beside this one unseen.
  if (lock == plat::InstanceLockResult::Failed) {
    ShowErrorText(plat::Utf8ToCp932(noLock).c_str());
    startReasons.Failed();
    return kExitStartFailed;
  }

  plat::WindowHost& host = plat::GetWindowHost();
  plat::SetMainQueueWaker([&host] { host.Wake(); });
  plat::WindowHandle hWnd = plat::CreateWindowEntry(MainWndProc);
  if (!host.Create(hWnd, 100, 100, 640, 480)) {
    plat::DestroyWindowEntry(hWnd);
    ShowErrorText(plat::Sjis("ウインドウが生成出来ません！").c_str());
    startReasons.Failed();
    plat::ReleaseInstanceLock();
    return kExitStartFailed;
  }
  MainWindow.m_hWnd = hWnd;
  g_hMainWnd.store(hWnd);
  plat::RegisterWindowOwner(kWindowClassName);
  MainWndProc(hWnd, plat::WM_CREATE, 0, 0);
  MainWindow.SetLayout(640, 480);
  MainWindow.CentreOnDesktop();

  if (bFromEditor.load()) MainWindow.NotifyEditorStarted();

  StartupOutcome started = StartupOutcome::kFailed;
  try {
    started = InitGame(commandLine, showCommand);
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory("while starting the game");
    // What start-up had started (a stage being read) ends before what it
    // uses is freed.
    thStageLoad.Exit();
    thPause.Exit();
    thGame.Exit();
  }
  if (started != StartupOutcome::kStarted) {
    ShutdownGame();
    if (bFromEditor.load()) MainWindow.NotifyEditorFailed(0);
    if (host.Exists()) host.Destroy();
    plat::UnregisterWindowOwner(kWindowClassName);
    plat::ReleaseInstanceLock();
    if (started != StartupOutcome::kFailed)
      return g_bEndedByFault.load() ? kExitFault : 0;  // a fault in a start-up the player then cancelled
    startReasons.Failed();
    return kExitStartFailed;
  }
  g_bStartupComplete.store(1);

  RunTrace trace;
  if (thGame.Create(GameThreadProc, nullptr)) {
    WaitForGameThreadQueue();
  } else {
    // Without a game thread nothing can run: end through the ordinary close.
    WriteReportAndShowError("%s", plat::Sjis("ゲームスレッドを開始できません！").c_str());
    plat::PostMessage(hWnd, plat::WM_CLOSE, plat::kCloseWithoutAsking, 0);
  }

  int exitCode = RunMessageLoop(hWnd);
  if (g_bEndedByFault.load() && exitCode == 0) exitCode = kExitFault;

  trace.Stop();  // the game thread has ended with the window
  ShutdownGame();
  plat::ReleaseInstanceLock();
  return exitCode;
}

#include "platform/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/safe_write.h"

namespace plat {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

bool StartedIgnoring(int signal) {
  struct sigaction now {};
  return ::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
}

// The stop signals that are not ignored, as HoldStopSignals found them
// (read by the thread EndOnStopSignals starts, which is made after).
sigset_t g_held;

// Held by whichever comes first: the thread that takes a stop signal (to
// the end of the process) or the run that finishes on its own
// (FinishUnlessStopped). Never destroyed: the other may still wait on it
// while statics go.
std::mutex& EndingMutex() {
  static std::mutex* ending = new std::mutex;
  return *ending;
}

// A standard error that cannot take the text at once (a pipe nobody reads)
// does not get it: the process must end all the same.
void TellIfItCanBeTold(const std::string& text) {
  pollfd out{STDERR_FILENO, POLLOUT, 0};
  if (text.empty() || ::poll(&out, 1, 0) != 1 || (out.revents & POLLOUT) == 0) return;
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Ends the process by `signal` with its default action (ending it), on this
// thread, which alone lets it through; should a handler have been put in
// place meanwhile, the exit status says the same.
[[noreturn]] void EndBySignal(int signal) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  ::sigaction(signal, &byDefault, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

// Written by the watch's handler alone (the first signal only), read by the
// program between its steps.
volatile sig_atomic_t g_caught = 0;
struct sigaction g_before[std::size(kStopSignals)];
bool g_replaced[std::size(kStopSignals)] = {};

extern "C" void NoteStopSignal(int signal) {
  if (g_caught == 0) g_caught = signal;
}

}  // namespace

std::string StopSignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
  }
}

void HoldStopSignals() {
  sigemptyset(&g_held);
  for (const int signal : kStopSignals)
    if (!StartedIgnoring(signal)) sigaddset(&g_held, signal);
  ::pthread_sigmask(SIG_BLOCK, &g_held, nullptr);
}

void EndOnStopSignals(std::function<std::string(const char* signalName)> stop) {
  bool anyHeld = false;
  for (const int signal : kStopSignals) anyHeld = anyHeld || sigismember(&g_held, signal) == 1;
  if (!anyHeld) return;  // every one ignored: nothing to wait for
  std::thread([stop = std::move(stop)] {
    int signal = 0;
    while (::sigwait(&g_held, &signal) != 0) {
    }
    // A run that is finishing already ends as it finishes; otherwise this
    // thread ends it, and the run, should it come to its end meanwhile (a
    // write refused as its files are thrown away), waits for that.
    EndingMutex().lock();
    AbandonUnfinishedFiles();
    TellIfItCanBeTold(stop(StopSignalName(signal).c_str()));
    EndBySignal(signal);
  }).detach();
}

void FinishUnlessStopped() {
  // Only the run's own thread calls this: the flag needs no lock.
  static bool finished = false;
  if (finished) return;
  EndingMutex().lock();
  finished = true;
}

StopSignalWatch::StopSignalWatch() {
  g_caught = 0;
  struct sigaction noting {};
  noting.sa_handler = NoteStopSignal;
  // No stop signal comes between the handler's look and its note.
  sigemptyset(&noting.sa_mask);
  for (const int signal : kStopSignals) sigaddset(&noting.sa_mask, signal);
  noting.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    g_replaced[i] = false;
    if (::sigaction(kStopSignals[i], nullptr, &g_before[i]) != 0 || g_before[i].sa_handler == SIG_IGN) continue;
    g_replaced[i] = ::sigaction(kStopSignals[i], &noting, nullptr) == 0;
  }
}

StopSignalWatch::~StopSignalWatch() {
  for (size_t i = 0; i < std::size(kStopSignals); ++i)
    if (g_replaced[i]) ::sigaction(kStopSignals[i], &g_before[i], nullptr);
}

int CaughtStopSignal() { return g_caught; }

}  // namespace plat

#include "platform/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/safe_write.h"

namespace plat {
namespace {

// Held by whichever comes first: the thread that takes a stop signal (to
// the end of the process) or the run that finishes on its own
// (FinishUnlessStopped). Never destroyed: the other may still wait on it
// while statics go.
std::mutex& EndingMutex() {
  static std::mutex* ending = new std::mutex;
  return *ending;
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
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

}  // namespace

void HoldStopSignals() {
  const sigset_t set = StopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void EndOnStopSignals(std::function<std::string(const char* signalName)> stop) {
  std::thread([stop = std::move(stop)] {
    const sigset_t set = StopSignals();
    int signal = 0;
    while (::sigwait(&set, &signal) != 0) {
    }
    // A run that is finishing already ends as it finishes; otherwise this
    // thread ends it, and the run, should it come to its end meanwhile (a
    // write refused as its files are thrown away), waits for that.
    EndingMutex().lock();
    AbandonUnfinishedFiles();
    TellIfItCanBeTold(stop(signal == SIGINT ? "SIGINT" : "SIGTERM"));
    EndBySignal(signal);
  }).detach();
}

void FinishUnlessStopped() { EndingMutex().lock(); }

}  // namespace plat

// The stop signals as a terminal gives them, for the tests that send them
// to a run: a suite started in the background by a script ignores SIGINT,
// and one started by "nohup" SIGHUP, and a run keeps a stop signal it
// inherited ignored, as "nohup" asks. While one lives, the signals a run
// inherits are the default ones; the dispositions of before come back when
// it goes.
#pragma once

#include <signal.h>

#include <iterator>

class DefaultStopSignals {
 public:
  DefaultStopSignals() {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      sigaction(kSignals[i], nullptr, &before_[i]);
      if (before_[i].sa_handler != SIG_IGN) continue;
      struct sigaction standard {};
      standard.sa_handler = SIG_DFL;
      sigaction(kSignals[i], &standard, nullptr);
    }
  }
  ~DefaultStopSignals() {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &before_[i], nullptr);
  }
  DefaultStopSignals(const DefaultStopSignals&) = delete;
  DefaultStopSignals& operator=(const DefaultStopSignals&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGHUP};
  struct sigaction before_[std::size(kSignals)] {};
};

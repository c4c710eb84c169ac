// Counts the quit requests (RequestQuit) that the code under test makes while
// an instance lives; the handler is removed again when it goes.
#pragma once

#include <atomic>

#include "base/program.h"

class QuitRequests {
 public:
  QuitRequests() {
    count_ = 0;
    SetQuitHandler([] { ++count_; });
  }
  ~QuitRequests() { SetQuitHandler(nullptr); }
  // The requests made since the last call.
  int Take() { return count_.exchange(0); }

 private:
  static inline std::atomic<int> count_{0};
};

// Ctrl-C (SIGINT) and SIGTERM while make-demo builds. While a StopWatch
// lives these signals do not end the process: their handler only notes
// which one came (nothing else is safe in a handler: no allocation, no
// output), the build asks GoOn() before each file it writes and each move
// that puts the project in place, and at the first "no" it stops and takes
// away what it made.
#pragma once

#include <string>

namespace tool {

class StopWatch {
 public:
  // Installs the handlers; a signal that the run was started ignoring (as
  // "nohup" starts it) stays ignored.
  StopWatch();
  // Puts the handlers of before back.
  ~StopWatch();
  StopWatch(const StopWatch&) = delete;
  StopWatch& operator=(const StopWatch&) = delete;
};

// The signal that asked the run to stop, 0 while none has.
int StopSignal();
// "stopped by SIGINT" or "stopped by SIGTERM"; empty while no signal came.
std::string StopReason();

// Before each file the build writes (kWrite) and each move that puts it in
// place (kMove): false once a stop was asked (always true while no
// StopWatch lives).
//
// Tests hold the build at a step of their choice: with
// PELMORA_TEST_HOLD_MAKE_DEMO="write N" (or "move N") in the environment,
// the Nth write (or move) prints "make-demo: held before write N" to the
// standard error and waits there for a stop signal (a minute at most), so
// that a test can stop the run at a point it knows.
enum class BuildStep { kWrite, kMove };
bool GoOn(BuildStep step);

}  // namespace tool

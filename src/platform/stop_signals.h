// The stop signals of a program that writes files and must leave none
// unfinished (`pelmora-tool`'s commands): SIGTERM, SIGINT (Ctrl-C) and
// SIGHUP (its terminal closed). A stop signal the process was started
// ignoring stays ignored, however the signals are taken: "nohup" asks for
// it, and a script's background job ignores SIGINT so that a Ctrl-C meant
// for the script's shell does not stop it.
//
// They are taken in one of two ways:
// - at once (HoldStopSignals, EndOnStopSignals): the signals go to a thread
//   of their own, which throws the unfinished files away and ends the
//   process whatever its other threads are doing (a scripted play whose
//   game waits in a system call, draws frames or writes into a pipe nobody
//   reads; a command writing its one output). The game's own handlers
//   (InstallTerminationHandlers) turn the signals into an orderly close,
//   which a game blocked in its start-up never reaches.
// - noted (StopSignalWatch, CaughtStopSignal): the handler only notes the
//   first signal, and the program, which asks between its steps, steps back
//   at its own pace (make-demo, which puts back what it moved).
#pragma once

#include <functional>
#include <string>

namespace plat {

// "SIGTERM", "SIGINT" or "SIGHUP" (another signal: "signal N").
std::string StopSignalName(int signal);

// Keeps the stop signals (but those ignored) from the calling thread and
// from every thread it makes from then on (they stay pending until
// EndOnStopSignals takes them): call it before the process makes any other
// thread.
void HoldStopSignals();

// Starts the thread that takes the held signals. On the first, the files of
// this process not yet complete are thrown away (AbandonUnfinishedFiles),
// `stop` runs on that thread with the signal's name ("SIGTERM") and tidies
// up what else is the run's, the text it returns is written to the standard
// error when that can take it at once, and the process ends by the signal,
// as it would have without the hold (128 + its number to a shell). Once.
void EndOnStopSignals(std::function<std::string(const char* signalName)> stop);

// Called by the run as it comes to its end, before it says how it went: a
// stop under way is waited for (the process ends by its signal, and what a
// refused write made the run think is never said); from here on a stop
// signal no longer ends the run, which finishes on its own at once. Calls
// after the first return at once.
void FinishUnlessStopped();

// While one lives, the stop signals (but those ignored) do not end the
// process: their handler notes the first that came (nothing else is safe
// in a handler), for CaughtStopSignal. The handlers of before are put back
// when it goes.
class StopSignalWatch {
 public:
  StopSignalWatch();
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;
};

// The first stop signal a StopSignalWatch noted (0: none yet).
int CaughtStopSignal();

}  // namespace plat

// SIGTERM and SIGINT (Ctrl-C) for a program that must end on them at once,
// whatever its threads are doing: a scripted play (`pelmora-tool play`)
// whose game waits in a system call, draws frames or writes into a pipe
// nobody reads. The game's own handlers (InstallTerminationHandlers) turn
// the signals into an orderly close, which a game blocked in its start-up
// never reaches; here the signals go to a thread of their own instead.
#pragma once

#include <functional>
#include <string>

namespace plat {

// Keeps SIGTERM and SIGINT from the calling thread and from every thread it
// makes from then on (they stay pending until EndOnStopSignals takes them):
// call it before the process makes any other thread.
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
// signal no longer ends the run, which finishes on its own at once.
void FinishUnlessStopped();

}  // namespace plat

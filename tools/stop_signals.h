// The stop signals (SIGTERM, SIGINT, SIGHUP: platform/stop_signals.h) in
// the commands. Those that write their outputs through WriteOutputFile and
// have nothing to put back (resave, image, effect, text, render-audio,
// play) end at once on them (EndOnStopSignals). make-demo, which puts a
// project in place move by move, watches for them (plat::StopSignalWatch):
// it asks GoOn() before each file it writes and each move that puts the
// project in place, and at the first "no" it stops and takes away what it
// made.
#pragma once

#include <functional>
#include <string>

namespace tool {

// From here on a stop signal ends the command at once, by that signal: its
// files not yet complete are removed (what its outputs held before stays),
// `tidy` (when given) takes away what else is the run's, and it says
// "COMMAND: stopped by SIGTERM; no file it had not finished is kept". Its
// output written (WriteOutputFile), the command finishes on its own. Call
// it before the command makes any thread.
void EndOnStopSignals(const std::string& command, std::function<void()> tidy = nullptr);
// Whether EndOnStopSignals was called.
bool EndsOnStopSignals();

// The signal that asked make-demo to stop, 0 while none has.
int StopSignal();
// "stopped by SIGINT", "stopped by SIGTERM" ...; empty while no signal came.
std::string StopReason();

// Before each file make-demo writes (kWrite) and each move that puts it in
// place (kMove): false once a stop was asked (always true while no watch
// lives). After each output's bytes are in its temporary file, before it
// takes its name (kFilled, any command): true.
//
// Tests hold a command at a step of their choice: with
// PELMORA_TEST_HOLD_TOOL="write N" (or "move N", "filled N") in the
// environment, the Nth such step prints "COMMAND: held before write N"
// ("held with file N filled") to the standard error and waits there for a
// stop signal (a minute at most), so that a test can stop the run at a
// point it knows.
enum class BuildStep { kWrite, kMove, kFilled };
bool GoOn(BuildStep step, const std::string& command = "make-demo");

}  // namespace tool

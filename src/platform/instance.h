// One running copy of the game per user, the way to close a running copy, the
// notification of the editor that started us, and termination signals.
//
// All files live in the runtime folder: $PELMORA_RUNTIME_DIR, else
// $XDG_RUNTIME_DIR, else /tmp/pelmora-<uid> (created 0700).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace plat {

std::string RuntimeDirectory();

// Removes the runtime folder `path` (the one PELMORA_RUNTIME_DIR names) with
// all it holds, and keeps this process from making it again: for a scripted
// run stopped at once while its game's threads still run for a moment.
void RemoveRuntimeFolderForGood(const std::string& path);

// The single-instance lock (a flock on "<name>.lock", name UTF-8). Failed:
// no lock can be had in the runtime folder (not a folder, one that cannot be
// made, a lock file that cannot be made or locked), so a second copy could
// not be told from the first; `why` (when given) then says so for the
// player, naming the folder, the variable that chose it and the reason.
enum class InstanceLockResult { First, AlreadyRunning, Failed };
InstanceLockResult AcquireInstanceLock(const std::string& utf8Name, std::string* why = nullptr);
void ReleaseInstanceLock();

// Registration of the process that owns the game window ("<class>.window"
// holding the pid), made when the window is created and removed when it is
// destroyed. FindRegisteredWindowOwner returns the pid of a live registered
// process other than ours.
bool RegisterWindowOwner(const std::string& windowClass);
void UnregisterWindowOwner(const std::string& windowClass);
std::optional<pid_t> FindRegisteredWindowOwner(const std::string& windowClass);

// Ends another process: SIGTERM (an orderly close there), then SIGKILL when it
// still runs after `graceMs`, and says which ended it.
enum class Termination {
  kNotReached,  // gone already, or not ours to signal: nothing was sent
  kClosed,      // it ended after SIGTERM (within the grace, or just after it)
  kKilled,      // it was still there after the grace: SIGKILL ended it
  kKillPending, // SIGKILL was sent, and it had still not gone a second later
};
Termination TerminateProcessOrderly(pid_t pid, uint32_t graceMs);
// Tests: while set, TerminateProcessOrderly answers with `terminator`
// instead (null puts the real one back), so that a running copy that cannot
// be closed can be had without one.
using ProcessTerminator = Termination (*)(pid_t pid, uint32_t graceMs);
void SetProcessTerminatorForTest(ProcessTerminator terminator);

// Editor notification: a datagram to "<editorClass>.sock" in the runtime
// folder: u64 wParam, u32 dwData, u32 cbData, then cbData bytes, little-endian.
// Nobody listening is not an error (the notification is dropped).
bool SendEditorNotification(const std::string& editorClass, uint64_t wParam, uint32_t dwData,
                            const void* data, uint32_t size);

// A second copy that leaves the running one alone gives it the keyboard
// back: its own question box had taken the keyboard, and where no window
// manager hands it on, nothing else would. Sent as SIGURG, a signal whose
// default is to be ignored, so a process that does not listen to it is not
// harmed. False when the process cannot be reached.
bool HandKeyboardBack(pid_t pid);
// In the running copy: whether the keyboard was handed back since the last
// call (the window host then takes it for its window).
bool TakeKeyboardHandedBack();

// SIGTERM and SIGINT set a flag instead of ending the process; the main loop
// turns it into a WM_CLOSE that does not ask the player. They interrupt the
// system call they come in (no SA_RESTART), so that no call made at the
// start waits on after them. SIGURG raises the flag of TakeKeyboardHandedBack.
void InstallTerminationHandlers();
bool TerminationRequested();       // flag set and not yet taken
// Whether SIGTERM or SIGINT has come since the handlers were installed (kept
// once set, for the waits that must give up then).
bool StopSignalReceived();
bool TakeTerminationRequest();     // returns and clears the flag
void RaiseTerminationRequest();    // tests

}  // namespace plat

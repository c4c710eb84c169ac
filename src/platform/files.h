// The path layer. Paths stay Windows-style inside the program: CP932 bytes,
// "\" as separator, relative to the working folder. To reach the file system
// a path is decoded from CP932 to UTF-8 (a 0x5C byte that is the second byte
// of a double-byte character is not a separator), "\" becomes "/", and where
// the exact name does not exist each component is resolved case-insensitively
// against its folder (games made on Windows mix cases freely).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// Linux path (UTF-8) for a program path. Components that exist under another
// case are replaced by the existing name; a component that does not exist
// keeps its own spelling (so the path can be created). "/" is accepted as a
// separator too. An absolute path (leading "/") stays absolute.
std::string ResolvePath(std::string_view programPath);

// Absolute when it starts with "/" or "\" or has a drive form "X:\".
bool IsAbsolutePath(std::string_view programPath);

// fopen over ResolvePath; the mode is the C library's ("rb", "wt", "rt+", "at", ...).
// A mode that only writes ("w", "a", with "b", "t" or "x") opens as
// OpenForWriting does; one that reads opens only a regular file
// (OpenLocalFile's rule).
FILE* OpenFile(std::string_view programPath, const char* mode);

// How OpenForWriting opens a file.
enum class WriteOpen {
  kReplace,         // made, or emptied when it is there ("w")
  kAppend,          // made when it is not there, written at its end ("a")
  kAppendExisting,  // written at its end only when it is there (else ENOENT)
  kCreateNew,       // made anew (EEXIST when the name is taken)
};

// The one rule for every file the program writes (the logs, the frame trace,
// the dialog transcript, the temporary files of saves): neither the open
// nor a write waits long, whatever the name holds. `path` is a Linux path.
// - A regular file (a link: the file it names) is written as usual.
// - A character device (/dev/null, where a player sends a log to silence
//   it) and a named pipe that a reader holds open take what is written. A
//   write they cannot take at once waits for room, but after
//   kStalledWriteMs without a byte taken (or at once after SIGTERM or
//   SIGINT) it fails with EAGAIN.
// - A named pipe that nobody holds open for reading fails at once (ENXIO).
// - A folder (EISDIR), a block device and a socket (ENXIO) are refused
//   before they are opened: nothing is written onto a disk's device.
// Null with errno on failure; WriteFailureText says it in words.
FILE* OpenForWriting(const std::string& path, WriteOpen how);
inline constexpr int kStalledWriteMs = 2000;

// Why OpenForWriting, or a write to its stream, failed with `error` on
// `path`: the system's words ("No space left on device"), or for a pipe
// "a named pipe that nobody reads" (ENXIO) and "nothing was read from it
// for 2 seconds" (EAGAIN); "a write failed" for 0.
std::string WriteFailureText(const std::string& path, int error);

// The Linux path of `name` in the working folder, as the system gives the
// folder's name (any bytes, a "\" in it too); empty when the folder cannot
// be told.
std::string WorkingFolderFile(const std::string& name);

// The one rule for every file the program opens by name: a name that is
// there but is not a regular file (a folder, a named pipe, a device, a
// socket) is refused, without waiting and without opening a device, with
// errno EISDIR for a folder and ENXIO for the others; NotAFileReason says
// which. A name that is not there is created as the mode says. `path` is a
// Linux path (UTF-8), as the environment and the system give them. The
// returned stream blocks as any other.
FILE* OpenLocalFile(const std::string& path, const char* mode);

// Why `path` (a Linux path) cannot be opened as a file when it is there but
// is something else: "not a file: it is a folder" ("... a named pipe", "... a
// device", "... a socket"); empty for a regular file (a link: the file it
// names) and for a name that is not there.
std::string NotAFileReason(const std::string& path);

// A file or a folder, or a name the system finds but cannot follow to one
// (a chain of links that loops, a folder it may not look into): something
// is there, which a read then fails on. False only where nothing is (no such
// name, or a name below one that is no folder).
bool FileExists(std::string_view programPath);
bool IsDirectory(std::string_view programPath);
// Creates one folder; false when it could not be created or already exists.
bool CreateDirectory(std::string_view programPath);
bool RemoveFile(std::string_view programPath);
// Renames over an existing target (atomic on one file system).
bool RenameFile(std::string_view from, std::string_view to);

// The working folder as a program path (CP932, "/" separators as the system
// gives them); empty on failure.
std::string GetCurrentDirectory();
bool SetCurrentDirectory(std::string_view programPath);

// Names (CP932) of the entries of a folder, without "." and "..".
std::vector<std::string> ListDirectory(std::string_view programPath);

// Writes `bytes` to a temporary sibling of `programPath`
// (".~pelmora.PID.N.tmp", locked by this write until it is renamed or
// removed) and renames it over the target; false (and the target untouched)
// on any failure, with `why` (when given) saying what failed: the system's
// words ("No space left on device", "Not a directory") or what is wrong with
// the target ("it is not a regular file"). Before that it removes the
// temporary files in the folder that no write holds, left by saves killed
// before their rename.
bool WriteFileAtomically(std::string_view programPath, const void* bytes, size_t size, std::string* why = nullptr);

// Tests: while set, `seam` is called at the points of a save where another
// save, in this process or another, may meet it: its temporary file just
// created (not yet locked), its temporary file whole and locked (just
// before the rename), and a file the sweep has opened (before it tries the
// lock). Null (the default): nothing is called.
enum class AtomicWriteStep { kCreated, kWritten, kSweepOpened };
using AtomicWriteSeam = void (*)(AtomicWriteStep step, const std::string& tempPath);
void SetAtomicWriteSeamForTest(AtomicWriteSeam seam);

// Copies the folder `from` with everything in it to `to`, which must not
// exist yet: the copy is made in a temporary sibling of `to` and renamed into
// place only when it is whole, so a failure half-way leaves no `to` at all
// (and never touches `from` or anything else). False on any failure.
bool CopyDirectoryAtomically(std::string_view from, std::string_view to);

}  // namespace plat

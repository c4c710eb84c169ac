// Files written whole or not at all (Linux paths, for the tools and the
// scripted play's captures). The bytes go to a new temporary file beside the
// target (".NAME.~RANDOM.tmp"), which takes the target's name only once
// every byte is in it and it is closed without an error; on any failure the
// temporary file is removed and the target is left as it was, so no file is
// ever left cut short or empty. A regular file that is replaced keeps its
// permissions. A symbolic link is followed (through a chain of them): the
// file it names is replaced, or made when it is not there yet, and the link
// stays. A path that names something other than a regular file (a
// device such as /dev/full or /dev/null, a pipe such as /dev/stdout) is
// never replaced: it is written in place, its errors checked the same way.
// A folder is refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace plat {

// A file written as it goes (a capture of hours of sound as well as a
// picture): Open, Write as often as needed, then Commit, or Discard. The
// reasons returned are the system's own words ("No space left on device",
// "File too large") or what is wrong with the path ("it is a folder").
class SafeFile {
 public:
  SafeFile() = default;
  ~SafeFile() { Discard(); }  // what was not committed is removed
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Opens `path` for writing; why it cannot be, empty when it is open.
  std::string Open(const std::string& path);
  // The open stream, for writers that take a FILE* (null when not open).
  std::FILE* Stream() const { return file_; }
  // True when the target is written in place (a device or a pipe): there is
  // no temporary file, and what was written cannot be taken back.
  bool InPlace() const { return inPlace_; }

  // Appends `size` bytes; false once any write failed (the first failure's
  // reason is kept for Commit).
  bool Write(const void* data, size_t size);
  // Writes over bytes already written, from `offset` (a header whose sizes
  // are known only at the end), then goes on appending at the end; false as
  // Write, and when the file cannot be repositioned.
  bool Overwrite(uint64_t offset, const void* data, size_t size);
  // A writer that wrote to Stream() itself failed: `error` is its errno
  // value (0 when it gave none). Commit then fails with that reason.
  void Fail(int error);

  // Flushes and closes the file and puts it in place. Why it could not be
  // (nothing is left of it then), empty when done.
  std::string Commit();
  // Closes the file and removes the temporary file; the target stays as it
  // was. Nothing once committed or discarded.
  void Discard();

 private:
  std::string Reason() const;

  std::FILE* file_ = nullptr;
  std::string target_;     // the path the file takes (a link's target resolved)
  std::string temporary_;  // empty when written in place
  bool inPlace_ = false;
  bool replaces_ = false;  // a regular file stood at the target
  unsigned permissions_ = 0;  // its permission bits
  bool failed_ = false;
  int error_ = 0;  // errno of the first failure (0: none given)
};

// Opens `path`, lets `fill` write the whole file into the stream (false when
// it could not) and commits it: why the file cannot be written, empty when
// it was.
std::string WriteFileSafely(const std::string& path, const std::function<bool(std::FILE*)>& fill);
std::string WriteFileSafely(const std::string& path, const std::string& bytes);

// For a process about to end on a stop signal while its threads still run
// (a scripted play stopped at once): removes the temporary file of every
// SafeFile of this process not yet committed or discarded, and from then on
// no SafeFile makes one or puts one in place (Open and Commit fail). What was
// committed before stays; what a device or a pipe took cannot be taken back.
void AbandonUnfinishedFiles();

}  // namespace plat

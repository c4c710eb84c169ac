// A file a tool reads, opened by its Linux name exactly as the user gave
// it: any bytes (a name that is not UTF-8 too), no CP932 decoding, no "\"
// separators, no case folding. The runtime's loaders take program paths
// (CP932), which cannot spell every Linux name; ProgramPath() names the
// open file itself ("/proc/self/fd/N", plain ASCII, which the path layer
// passes as it is), so every loader reads the very file that was opened,
// even if its name is given to another file meanwhile.
#pragma once

#include <string>

namespace plat {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `name` for reading. Only a regular file (or a link to one) is
  // kept open: a named pipe is not waited for. Why it cannot be (the
  // system's words, "Permission denied", or "not a regular file"), empty
  // when it is open.
  std::string Open(const std::string& name);
  // The program path of the open file; empty while none is open.
  const std::string& ProgramPath() const { return programPath_; }

 private:
  int fd_ = -1;
  std::string programPath_;
};

}  // namespace plat

// The one rule of every command that writes: no output goes over a file
// the run reads, over another of its outputs, or into a folder whose files
// the run reads and writes (play's project). Files are compared by what
// they reach, whatever names they are given: an existing file by its device
// and inode (a link, a second hard link, /dev/stdout and the file the
// standard output is), a file not there yet by the path it would be made
// at, links followed and ".", ".." and a trailing "/" resolved.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tool {

// A file or folder named on a command line, as the messages name it: the
// option or word that named it ("--trace", "OUT", "the project folder")
// and the path given (empty: the option was not given, and names nothing).
struct NamedFile {
  std::string role;
  std::string path;
};

struct RunFiles {
  std::vector<NamedFile> inputs;   // files the run reads
  std::vector<NamedFile> outputs;  // files it writes (a device or a pipe takes its bytes in place)
  // Folders whose every file, and every file their links reach, the run
  // reads or writes: no output goes into them.
  std::vector<NamedFile> ownedFolders;
  // A folder the run writes files into (play's screenshots; path empty:
  // none), and which names it writes there.
  NamedFile writtenFolder;
  std::function<bool(const std::string& name)> writesName;
};

// Why the outputs cannot all be written without one of them taking the
// place of a file the run reads or of another output, naming both (Shown);
// empty when they can. A command refuses such a run as a usage error.
std::string OutputClash(const RunFiles& files);
// The same for a command that owns no folder.
std::string OutputClash(std::vector<NamedFile> inputs, std::vector<NamedFile> outputs);

}  // namespace tool

// The one rule of every command that writes: no output goes over a file
// the run reads, over another of its outputs, or over a file of the game a
// run plays (play's project). Files are compared by what they reach,
// whatever names they are given: an existing file by its device and inode
// (a link, a second hard link, /dev/stdout and the file the standard output
// is), a file not there yet by the path it would be made at, links followed
// and ".", ".." and a trailing "/" resolved.
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
  // The folder of a game the run plays: the game reads every file in its
  // folders (and every file their links lead to) and reads or writes the
  // files and folders of `topNames` at its top (there or not yet); no
  // output goes over one of them. Another file at its top is not the
  // game's (a trace an earlier run left there), nor is a file in the
  // written folder by a name the run writes (a picture an earlier run
  // left), nor a new file.
  struct GameFolder {
    NamedFile folder;
    std::vector<std::string> topNames;
  };
  std::vector<GameFolder> gameFolders;
  // A folder the run writes files into (play's screenshots; path empty:
  // none), and which names it writes there.
  NamedFile writtenFolder;
  std::function<bool(const std::string& name)> writesName;
};

// Why the outputs cannot all be written without one of them taking the
// place of a file the run reads or of another output, naming both (Shown);
// empty when they can. A command refuses such a run as a usage error.
std::string OutputClash(const RunFiles& files);
// The same for a command that plays no game.
std::string OutputClash(std::vector<NamedFile> inputs, std::vector<NamedFile> outputs);

}  // namespace tool

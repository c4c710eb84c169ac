// Folders a process builds in while it runs, held by it: a lock (flock) on a
// file inside, which the system lets go when the process ends, however it
// ends (SIGKILL too). A folder of such a name whose lock no process holds is
// what a run killed before it could take its folder away left behind: the
// next run at that place removes it.
#pragma once

#include <string>

namespace plat {

class HeldFolder {
 public:
  HeldFolder() = default;
  ~HeldFolder() { Release(); }
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  // Makes a new folder in `parent` (a Linux path, "" the working folder)
  // named `stem`, 16 random hexadecimal digits and ".tmp", with the lock
  // file `lockName` in it, held by this object. The folder is made under
  // another name (".new" for ".tmp") and takes its own only once its lock
  // is held: a ".tmp" folder whose lock file is missing or free is never
  // one being built. Why it cannot be made, empty when it is.
  std::string Make(const std::string& parent, const std::string& stem, const std::string& lockName);
  // The folder made; empty before.
  const std::string& Path() const { return path_; }
  // Lets the lock go (the folder stays as it is).
  void Release();

 private:
  int fd_ = -1;
  std::string path_;
};

// Removes from `parent` every folder that HeldFolder::Make made for `stem`
// (under its ".tmp" name) and that no process holds: its lock file
// `lockName` is there and its lock can be taken (it is held while the folder
// is removed), or it has none (a folder of a run made before the lock
// existed). A folder whose lock is held, or cannot be tried (a file system
// without flock), anything that is not a folder, and the ".new" folders of
// runs still taking their lock stay. The number of folders removed.
int RemoveUnheldFolders(const std::string& parent, const std::string& stem, const std::string& lockName);

}  // namespace plat

// A folder of files written whole or not at all (make-demo's project): the
// files are built in a temporary folder and put in place at the end.
//
// A target that is not there yet is built beside it (in ".NAME.~RANDOM.tmp",
// with the folders above it made as needed) and takes its name in one
// rename. A target that is a folder already (an empty one, or one that
// holds files, which make-demo writes over only when forced) is built in a
// hidden folder inside it, on its own file system, and each built file is
// then moved over the file of its name, one rename each; a folder that is
// not there yet moves whole. Should any move fail, every one made is taken
// back: the files replaced return (each was kept as a link until the end)
// and what was added goes, so the folder is as it was. Files of the folder
// the build does not make are never touched.
//
// The run holds its temporary folder (platform/held_folder.h) until it has
// taken it away: a run killed before that (SIGKILL, a power cut) leaves it,
// and RemoveLeftovers removes it at the next run, while a folder that a
// live run holds stays.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/held_folder.h"

namespace tool {

class StagedFolder {
 public:
  StagedFolder() = default;
  // Removes whatever was not put in place, and the folders above the target
  // that Make made for it.
  ~StagedFolder();
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;

  // Removes the temporary folders that runs for `target` left and no run
  // holds any more: beside it, and inside it when it is a folder.
  static void RemoveLeftovers(const std::string& target);
  // Makes the temporary folder for `target`; why it cannot be, empty when
  // it is made.
  std::string Make(const std::string& target);
  // Where the files are built.
  std::string Path() const { return build_.string(); }
  // True when the target was a folder before (Commit merges into it).
  bool IntoExistingFolder() const { return merge_; }
  // Puts what was built in place, asking `goOn` before each move: a false
  // answer stops it there, as a move that fails does. Why it could not be
  // (the target as it was, nothing of the build left), empty when done.
  std::string Commit(const std::function<bool()>& goOn);

 private:
  struct Move {
    std::filesystem::path placed;  // where a built file or folder went
    std::filesystem::path kept;    // the file it replaced, kept here (empty: it replaced nothing)
  };
  std::string MergeInto(const std::filesystem::path& from, const std::filesystem::path& into,
                        const std::function<bool()>& goOn);
  void TakeBack();

  std::filesystem::path target_;
  plat::HeldFolder held_;        // the temporary folder, held while the run lasts
  std::filesystem::path root_;   // its path
  std::filesystem::path build_;  // where the files are built, in it
  std::filesystem::path kept_;   // the replaced files, while the merge lasts
  std::vector<std::filesystem::path> madeAbove_;  // folders above the target made for it, deepest first
  std::vector<Move> moves_;
  size_t keptCount_ = 0;
  bool merge_ = false;
  bool committed_ = false;
};

}  // namespace tool

#include "staged_folder.h"

#include <algorithm>
#include <cstdio>

namespace tool {

namespace fs = std::filesystem;

namespace {

// The temporary folder's names: beside the target ".NAME.~RANDOM.tmp",
// inside it ".~make-demo.RANDOM.tmp"; and the lock file in each.
constexpr const char* kInsideStem = ".~make-demo.";
constexpr const char* kLockName = "make-demo.lock";
std::string BesideStem(const fs::path& target) {
  std::string stem = ".";
  return stem.append(target.filename().string()).append(".~");
}

// The target as an absolute path without "." and ".." ("DIR/" as "DIR").
fs::path Absolute(const std::string& target, std::error_code& ec) {
  fs::path path = fs::absolute(target, ec).lexically_normal();
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  return path;
}

std::string CannotMove(const fs::path& path, const std::error_code& ec) {
  return "cannot put " + path.string() + " in place: " + ec.message();
}

}  // namespace

StagedFolder::~StagedFolder() {
  std::error_code ec;
  if (!root_.empty()) fs::remove_all(root_, ec);
  if (committed_) return;
  for (const fs::path& above : madeAbove_) fs::remove(above, ec);  // only while empty
}

void StagedFolder::RemoveLeftovers(const std::string& target) {
  std::error_code ec;
  const fs::path path = Absolute(target, ec);
  if (ec) return;
  plat::RemoveUnheldFolders(path.parent_path().string(), BesideStem(path), kLockName);
  if (fs::is_directory(path, ec)) plat::RemoveUnheldFolders(path.string(), kInsideStem, kLockName);
}

std::string StagedFolder::Make(const std::string& target) {
  std::error_code ec;
  target_ = Absolute(target, ec);
  if (ec) return ec.message();
  const fs::file_status status = fs::status(target_, ec);
  if (fs::exists(status) && !fs::is_directory(status)) return "it is not a folder";
  merge_ = fs::is_directory(status);
  std::string why;
  if (merge_) {
    // Inside it: its own file system, even when it is a mount point.
    why = held_.Make(target_.string(), kInsideStem, kLockName);
  } else {
    const fs::path parent = target_.parent_path();
    for (fs::path above = parent; !above.empty() && !fs::exists(above, ec); above = above.parent_path()) {
      madeAbove_.push_back(above);
      if (above == above.parent_path()) break;
    }
    fs::create_directories(parent, ec);
    if (ec) return ec.message();
    why = held_.Make(parent.string(), BesideStem(target_), kLockName);
  }
  if (!why.empty()) return why;
  root_ = held_.Path();
  build_ = root_ / "project";
  kept_ = root_ / "replaced";
  if (!fs::create_directory(build_, ec) || (merge_ && !fs::create_directory(kept_, ec)))
    return ec ? ec.message() : "the temporary folder is not new";
  return {};
}

std::string StagedFolder::MergeInto(const fs::path& from, const fs::path& into, const std::function<bool()>& goOn) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  if (ec) return from.string() + " cannot be read: " + ec.message();
  std::sort(entries.begin(), entries.end());  // the same order every run
  for (const fs::path& entry : entries) {
    const fs::path place = into / entry.filename();
    if (!goOn()) return "stopped";
    const bool folder = fs::is_directory(fs::symlink_status(entry, ec));
    const fs::file_status there = fs::symlink_status(place, ec);
    if (!fs::exists(there)) {
      fs::rename(entry, place, ec);
      if (ec) return CannotMove(place, ec);
      moves_.push_back({place, {}});
    } else if (folder) {
      if (!fs::is_directory(fs::status(place, ec))) return place.string() + " is not a folder";
      const std::string why = MergeInto(entry, place, goOn);
      if (!why.empty()) return why;
    } else if (fs::is_regular_file(there)) {
      // The old file is kept under a second name until the end, so that a
      // failure can put it back; the new one takes its mode.
      const fs::path kept = kept_ / std::to_string(keptCount_++);
      fs::create_hard_link(place, kept, ec);
      if (ec) {
        ec.clear();
        fs::copy_file(place, kept, ec);
        if (ec) return place.string() + " cannot be kept while it is replaced: " + ec.message();
      }
      moves_.push_back({place, kept});
      fs::permissions(entry, fs::status(place, ec).permissions(), ec);
      fs::rename(entry, place, ec);
      if (ec) return CannotMove(place, ec);
    } else {
      return place.string() + (fs::is_directory(fs::status(place, ec)) ? " is a folder" : " is not a plain file");
    }
  }
  return {};
}

void StagedFolder::TakeBack() {
  std::error_code ec;
  for (auto move = moves_.rbegin(); move != moves_.rend(); ++move) {
    if (move->kept.empty())
      fs::remove_all(move->placed, ec);
    else
      fs::rename(move->kept, move->placed, ec);
  }
  moves_.clear();
}

std::string StagedFolder::Commit(const std::function<bool()>& goOn) {
  std::error_code ec;
  if (!merge_) {
    if (!goOn()) return "stopped";
    fs::rename(build_, target_, ec);
    if (ec) return CannotMove(target_, ec);
    committed_ = true;
    return {};
  }
  const std::string why = MergeInto(build_, target_, goOn);
  if (!why.empty()) {
    TakeBack();
    return why;
  }
  moves_.clear();
  committed_ = true;
  return {};
}

}  // namespace tool

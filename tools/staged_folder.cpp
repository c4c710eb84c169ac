#include "staged_folder.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace tool {

namespace fs = std::filesystem;

namespace {

// A name of its own for the temporary folder (several runs may build beside
// one another).
std::string RandomPart() {
  static std::mt19937_64 random{std::random_device{}()};
  char part[24];
  std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(random()));
  return part;
}

// Makes a new folder in `folder`, named `stem`, a random part and ".tmp";
// empty (and `ec`) when none could be made.
fs::path MakeFreshFolder(const fs::path& folder, const std::string& stem, std::error_code& ec) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string name = stem;
    name.append(RandomPart()).append(".tmp");
    const fs::path candidate = folder / name;
    if (fs::create_directory(candidate, ec)) return candidate;
    if (ec) return {};
  }
  ec = std::make_error_code(std::errc::file_exists);
  return {};
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

std::string StagedFolder::Make(const std::string& target) {
  std::error_code ec;
  fs::path path = fs::absolute(target, ec).lexically_normal();
  if (ec) return ec.message();
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();  // "DIR/"
  target_ = path;
  const fs::file_status status = fs::status(target_, ec);
  if (fs::exists(status) && !fs::is_directory(status)) return "it is not a folder";
  merge_ = fs::is_directory(status);
  if (merge_) {
    // Inside it: its own file system, even when it is a mount point.
    root_ = MakeFreshFolder(target_, ".~make-demo.", ec);
    if (root_.empty()) return ec.message();
    build_ = root_ / "project";
    kept_ = root_ / "replaced";
    if (!fs::create_directory(build_, ec) || !fs::create_directory(kept_, ec))
      return ec ? ec.message() : "the temporary folder is not new";
    return {};
  }
  const fs::path parent = target_.parent_path();
  for (fs::path above = parent; !above.empty() && !fs::exists(above, ec); above = above.parent_path()) {
    madeAbove_.push_back(above);
    if (above == above.parent_path()) break;
  }
  fs::create_directories(parent, ec);
  if (ec) return ec.message();
  std::string stem = ".";
  stem.append(target_.filename().string()).append(".~");
  root_ = MakeFreshFolder(parent, stem, ec);
  if (root_.empty()) return ec.message();
  build_ = root_;
  return {};
}

std::string StagedFolder::MergeInto(const fs::path& from, const fs::path& into) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  if (ec) return from.string() + " cannot be read: " + ec.message();
  std::sort(entries.begin(), entries.end());  // the same order every run
  for (const fs::path& entry : entries) {
    const fs::path place = into / entry.filename();
    const bool folder = fs::is_directory(fs::symlink_status(entry, ec));
    const fs::file_status there = fs::symlink_status(place, ec);
    if (!fs::exists(there)) {
      fs::rename(entry, place, ec);
      if (ec) return CannotMove(place, ec);
      moves_.push_back({place, {}});
    } else if (folder) {
      if (!fs::is_directory(fs::status(place, ec))) return place.string() + " is not a folder";
      const std::string why = MergeInto(entry, place);
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

std::string StagedFolder::Commit() {
  std::error_code ec;
  if (!merge_) {
    fs::rename(root_, target_, ec);
    if (ec) return CannotMove(target_, ec);
    root_.clear();
    committed_ = true;
    return {};
  }
  const std::string why = MergeInto(build_, target_);
  if (!why.empty()) {
    TakeBack();
    return why;
  }
  moves_.clear();
  committed_ = true;
  return {};
}

}  // namespace tool

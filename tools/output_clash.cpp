#include "output_clash.h"

#include <algorithm>
#include <filesystem>

#include "platform/file_identity.h"
#include "tool.h"

namespace tool {

namespace {

namespace fs = std::filesystem;

// What writing or reading a path reaches.
struct Reached {
  fs::path path;  // absolute, links followed, no ".", ".." or trailing separator
  bool exists = false;
  plat::FileIdentity identity;  // when it exists
};

constexpr int kMostLinks = 40;  // as the system's own path lookup

Reached Reach(const std::string& given) {
  Reached reached;
  std::error_code ec;
  fs::path path = fs::absolute(fs::path(given), ec);
  if (ec) path = given;
  reached.exists = plat::IdentifyFile(path.string(), reached.identity);
  fs::path resolved;
  if (reached.exists) resolved = fs::canonical(path, ec);
  if (!reached.exists || ec) {
    // A link to a file not there yet is followed (a writer makes the file
    // it names), from the folder that holds the link.
    for (int hops = 0; hops < kMostLinks && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
      const fs::path to = fs::read_symlink(path, ec);
      if (ec) break;
      path = to.is_absolute() ? to : path.parent_path() / to;
    }
    ec.clear();
    resolved = fs::weakly_canonical(path, ec);
    if (ec) resolved = path.lexically_normal();
  }
  // "shots/" is the folder "shots".
  if (!resolved.has_filename() && resolved.has_relative_path()) resolved = resolved.parent_path();
  reached.path = resolved;
  return reached;
}

bool Same(const Reached& a, const Reached& b) {
  if (a.exists || b.exists) return a.exists && b.exists && a.identity == b.identity;
  return a.path == b.path;
}

// `path` is `folder` or lies in it.
bool Within(const fs::path& path, const fs::path& folder) {
  const auto [inFolder, inPath] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  (void)inPath;
  return inFolder == folder.end();
}

// A file a device or a pipe takes in place: it replaces nothing.
bool TakenInPlace(const Reached& output) {
  return output.exists && !output.identity.regular && !output.identity.folder;
}

std::string ShownRole(const NamedFile& file) { return file.role + " " + Shown(file.path); }

// The files of a game folder, for the outputs to keep off: the places an
// output may not reach into (its top names, where links lead) and its
// existing files by identity (an output that is one of them by another
// name).
struct GameFiles {
  std::vector<fs::path> places;
  std::vector<plat::FileIdentity> files;
};

void Note(GameFiles& game, const Reached& reached) {
  game.places.push_back(reached.path);
  if (reached.exists && reached.identity.regular) game.files.push_back(reached.identity);
}

// Every file under `folder` (links followed to where they lead, not walked
// through) but those in `skip`.
void SurveyTree(GameFiles& game, const fs::path& folder, const fs::path& skip) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    const std::string path = it->path().string();
    if (fs::is_directory(status) && it->path() == skip) {
      it.disable_recursion_pending();
    } else if (fs::is_symlink(status)) {
      Note(game, Reach(path));
    } else if (plat::FileIdentity identity; fs::is_regular_file(status) && plat::IdentifyFile(path, identity)) {
      game.files.push_back(identity);
    }
  }
}

// The game's files in `game`, but those of the folder the run writes its
// pictures into (`skip`): a file there by a name the run writes is a
// picture an earlier run left.
GameFiles Survey(const RunFiles::GameFolder& game, const fs::path& skip) {
  GameFiles files;
  const Reached top = Reach(game.folder.path);
  for (const std::string& name : game.topNames) {
    const Reached reached = Reach((top.path / name).string());
    Note(files, reached);
    if (reached.exists && reached.identity.folder) SurveyTree(files, reached.path, skip);
  }
  std::error_code ec;
  for (fs::directory_iterator it(top.path, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (std::find(game.topNames.begin(), game.topNames.end(), name) != game.topNames.end()) continue;
    const Reached reached = Reach(it->path().string());
    if (!reached.exists || !reached.identity.folder || reached.path == skip) continue;  // not the game's
    if (it->is_symlink(ec)) files.places.push_back(reached.path);
    SurveyTree(files, reached.path, skip);
  }
  return files;
}

}  // namespace

std::string OutputClash(const RunFiles& given) {
  // An option not given names nothing.
  RunFiles files = given;
  for (auto* list : {&files.inputs, &files.outputs})
    std::erase_if(*list, [](const NamedFile& file) { return file.path.empty(); });
  const bool hasFolder = !files.writtenFolder.path.empty();
  std::vector<Reached> outputs, inputs;
  for (const NamedFile& output : files.outputs) outputs.push_back(Reach(output.path));
  for (const NamedFile& input : files.inputs) inputs.push_back(Reach(input.path));
  const Reached folder = hasFolder ? Reach(files.writtenFolder.path) : Reached{};

  for (size_t i = 0; i < outputs.size(); ++i) {
    for (size_t j = i + 1; j < outputs.size(); ++j)
      if (Same(outputs[i], outputs[j]))
        return files.outputs[i].role + " and " + files.outputs[j].role + " name one file, " +
               Shown(files.outputs[j].path) + ": each needs a file of its own";
    if (hasFolder && Same(outputs[i], folder))
      return files.outputs[i].role + " names " + Shown(files.writtenFolder.path) + ", the folder " +
             files.writtenFolder.role + " writes into, as its file";
  }

  // The files the written folder takes the place of: those the other files
  // reach by a name it writes, and those there by such names, or that its
  // links of such names lead to (the writer follows them).
  std::vector<NamedFile> written = files.outputs;
  std::vector<Reached> writtenReached = outputs;
  if (hasFolder) {
    const auto writesOver = [&](const NamedFile& file, const Reached& reached) -> std::string {
      for (const fs::path& name : {fs::path(file.path).filename(), reached.path.filename()}) {
        if (!files.writesName(name.string())) continue;
        if (Same(Reach((folder.path / name).string()), reached))
          return file.role + " names " + Shown(file.path) + ", a file " + files.writtenFolder.role + " writes";
      }
      return {};
    };
    for (size_t i = 0; i < outputs.size(); ++i)
      if (std::string clash = writesOver(files.outputs[i], outputs[i]); !clash.empty()) return clash;
    for (size_t i = 0; i < inputs.size(); ++i)
      if (std::string clash = writesOver(files.inputs[i], inputs[i]); !clash.empty()) return clash;
    written.push_back(files.writtenFolder);
    writtenReached.push_back(folder);
    std::error_code ec;
    if (folder.exists && folder.identity.folder) {
      for (fs::directory_iterator it(folder.path, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!files.writesName(name)) continue;
        const Reached linked = Reach(it->path().string());
        for (size_t i = 0; i < outputs.size(); ++i)
          if (Same(linked, outputs[i]))
            return files.outputs[i].role + " names " + Shown(files.outputs[i].path) + ", a file " +
                   files.writtenFolder.role + " writes (through " + Shown(it->path().string()) + ")";
        written.push_back({files.writtenFolder.role, it->path().string()});
        writtenReached.push_back(linked);
      }
    }
  }

  for (size_t i = 0; i < written.size(); ++i) {
    if (TakenInPlace(writtenReached[i])) continue;
    for (size_t j = 0; j < inputs.size(); ++j)
      if (inputs[j].exists && Same(writtenReached[i], inputs[j]))
        return ShownRole(written[i]) + " and " + ShownRole(files.inputs[j]) +
               " name one file: an output never replaces a file the run reads";
  }

  for (const RunFiles::GameFolder& game : files.gameFolders) {
    const GameFiles owned = Survey(game, hasFolder ? folder.path : fs::path());
    for (size_t i = 0; i < written.size(); ++i) {
      const Reached& output = writtenReached[i];
      if (TakenInPlace(output)) continue;
      const bool inside =
          std::any_of(owned.places.begin(), owned.places.end(),
                      [&](const fs::path& place) { return Within(output.path, place); }) ||
          (output.exists && std::find(owned.files.begin(), owned.files.end(), output.identity) != owned.files.end());
      if (inside)
        return ShownRole(written[i]) + " reaches a file of " + ShownRole(game.folder) +
               ": the game reads or writes it, and no output goes over it";
    }
  }
  return {};
}

std::string OutputClash(std::vector<NamedFile> inputs, std::vector<NamedFile> outputs) {
  RunFiles files;
  files.inputs = std::move(inputs);
  files.outputs = std::move(outputs);
  return OutputClash(files);
}

}  // namespace tool

// pelmora-tool dump FILE [--kind K] [--project DIR] and resave IN OUT
// [--kind K] [--project DIR]: any data file kind, through the runtime's own
// readers and writers. Stages and the common palette are read after their
// project's database (and a stage after the common palette too), as the
// runtime reads them.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "data/common_palette.h"
#include "data/data_paths.h"
#include "data/database.h"
#include "platform/files.h"
#include "platform/text.h"
#include "record_kinds.h"
#include "tool.h"

namespace tool {

namespace {

std::vector<RecordKind>& Kinds() {
  static std::vector<RecordKind> kinds;
  return kinds;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Splits "OPTION VALUE" off the arguments; false when the value is missing.
bool TakeOption(std::vector<std::string>& args, const char* option, std::string& value) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == option) {
      if (i + 1 >= args.size()) return false;
      value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
  }
  return true;
}

// True when the folder (a Linux path) holds a project's database; names are
// matched in any case, as the runtime finds them.
bool HoldsDatabase(const std::string& folder) {
  return plat::FileExists(plat::Utf8ToCp932(folder) + "/" + DataPaths.At(kPathDatabaseFirst));
}

// The project a file belongs to: the nearest folder above it that holds a
// database (PROJECT/data/stg4/X.stg4_1 gives PROJECT); empty when none does.
std::string FindProject(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::absolute(fs::path(file), ec).parent_path();
  for (; !ec && !folder.empty(); folder = folder.parent_path()) {
    if (HoldsDatabase(folder.string())) return folder.string();
    if (folder == folder.root_path()) break;
  }
  return "";
}

// Loads what the kind's reader checks references against from the project
// folder, reading the files as the runtime does from its working folder.
bool LoadProject(const std::string& folder, ProjectData needs) {
  const std::string previous = plat::GetCurrentDirectory();
  if (!plat::SetCurrentDirectory(plat::Utf8ToCp932(folder))) {
    std::fprintf(stderr, "%s: the project folder cannot be entered\n", folder.c_str());
    return false;
  }
  bool ok = LoadDatabase() == 1;
  if (!ok) {
    std::fprintf(stderr, "%s: the project's database cannot be read (a file of data/database is missing, broken%s)\n",
                 folder.c_str(), bFileTooNew ? " or written by a newer version" : "");
  } else if (needs == ProjectData::DatabaseAndCommonPalette &&
             !CommonPalette.LoadFromFile(DataPaths.At(kPathCommonPalette))) {
    ok = false;
    std::fprintf(stderr, "%s: the project's common palette (%s) cannot be read\n", folder.c_str(),
                 plat::Cp932ToUtf8(DataPaths.At(kPathCommonPalette)).c_str());
  }
  plat::SetCurrentDirectory(previous);
  return ok;
}

// Before reading `file`: loads its project when the kind needs one (named by
// --project, else found above the file). Without a project the file would be
// read against the defaults: `required` refuses that (a resave would write
// the changed references), otherwise a note says so.
bool PrepareProject(const RecordKind& kind, const std::string& file, const std::string& named, bool required) {
  if (kind.project == ProjectData::None) return true;
  if (!named.empty() && !HoldsDatabase(named)) {
    std::fprintf(stderr, "%s: not a project folder (no %s)\n", named.c_str(),
                 plat::Cp932ToUtf8(DataPaths.At(kPathDatabaseFirst)).c_str());
    return false;
  }
  const std::string project = named.empty() ? FindProject(file) : named;
  if (project.empty()) {
    std::fprintf(stderr,
                 "%s: no project database found in the folders above it; name the project with --project DIR%s\n",
                 file.c_str(),
                 required ? " (not written: its references would be reset to fit an empty database)"
                          : " (references are shown as checked against an empty database)");
    return !required;
  }
  return LoadProject(project, kind.project);
}

bool LoadKind(const RecordKind& kind, cRecord& record, const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
    return false;
  }
  bool ok = kind.load ? kind.load(record, bytes) : record.LoadFromBytes(bytes);
  if (!ok) {
    if (bFileTooNew)
      std::fprintf(stderr, "%s: written by a newer version (%d) than this program reads (%d)\n", path.c_str(),
                   nFileVersion, nDataVersion);
    else
      std::fprintf(stderr, "%s: not a readable %s file\n", path.c_str(), kind.name.c_str());
  }
  return ok;
}

const RecordKind* KindFor(const std::string& path, const std::string& forced) {
  const RecordKind* kind = FindRecordKind(path, forced);
  if (!kind) {
    std::fprintf(stderr, "%s: unknown file kind; use --kind with one of:", path.c_str());
    for (const std::string& name : RecordKindNames()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
  }
  return kind;
}

int Dump(std::vector<std::string> args) {
  std::string forced, project;
  if (!TakeOption(args, "--kind", forced) || !TakeOption(args, "--project", project) || args.size() != 1) {
    std::fprintf(stderr, "usage: pelmora-tool dump FILE [--kind KIND] [--project DIR]\n");
    return 2;
  }
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  if (!PrepareProject(*kind, args[0], project, false)) return 1;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  cJsonWriter json;
  json.BeginObject();
  json.Key("kind");
  json.String(kind->name);
  json.Key("version");
  json.Int(nFileVersion);
  json.Key("record");
  record->DumpJson(json);
  json.EndObject();
  std::printf("%s\n", json.Text().c_str());
  return 0;
}

int Resave(std::vector<std::string> args) {
  std::string forced, project;
  if (!TakeOption(args, "--kind", forced) || !TakeOption(args, "--project", project) || args.size() != 2) {
    std::fprintf(stderr, "usage: pelmora-tool resave IN OUT [--kind KIND] [--project DIR]\n");
    return 2;
  }
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  if (!PrepareProject(*kind, args[0], project, true)) return 1;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  std::string bytes = kind->save ? kind->save(*record) : record->SaveToBytes();
  if (!WriteWholeFile(args[1], bytes)) {
    std::fprintf(stderr, "%s: cannot be written\n", args[1].c_str());
    return 1;
  }
  return 0;
}

Registrar dump(Command{"dump", "dump FILE [--kind K] [--project DIR]      prints a data file as JSON", Dump});
Registrar resave(Command{"resave",
                         "resave IN OUT [--kind K] [--project DIR]  reads IN and writes it as the runtime stores it "
                         "(stages and common palettes after their project's database)",
                         Resave});

}  // namespace

void RegisterRecordKind(RecordKind kind) { Kinds().push_back(std::move(kind)); }

const RecordKind* FindRecordKind(const std::string& path, const std::string& forced) {
  for (const RecordKind& kind : Kinds()) {
    if (!forced.empty() ? Lower(kind.name) == Lower(forced) : kind.matches(BaseName(path))) return &kind;
  }
  return nullptr;
}

std::vector<std::string> RecordKindNames() {
  std::vector<std::string> names;
  for (const RecordKind& kind : Kinds()) names.push_back(kind.name);
  return names;
}

bool NameIs(const std::string& fileName, const std::string& expected) { return Lower(fileName) == Lower(expected); }
bool NameEndsWith(const std::string& fileName, const std::string& suffix) {
  std::string f = Lower(fileName), s = Lower(suffix);
  return f.size() >= s.size() && f.compare(f.size() - s.size(), s.size(), s) == 0;
}
bool NameContains(const std::string& fileName, const std::string& part) {
  return Lower(fileName).find(Lower(part)) != std::string::npos;
}

}  // namespace tool

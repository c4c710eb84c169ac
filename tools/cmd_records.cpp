// pelmora-tool dump FILE, resave IN OUT and check FILE, each with [--kind K]
// [--project DIR]: any data file kind, through the runtime's own readers and
// writers. A file whose records check indices against the database is read
// after its project's database (and a stage after the project's common
// palette too), as the game reads them.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "data/common_palette.h"
#include "data/data_paths.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "platform/files.h"
#include "platform/text.h"

#include "output_clash.h"
#include "record_kinds.h"
#include "stop_signals.h"
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

// Splits "OPTION VALUE" off the arguments.
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

// The highest version word a newer program could have written. The data
// versions rose one release at a time, from a few dozen to 873 over the
// format's whole life; a first word past this is no version (bytes of
// another kind of file, or damage), however the readers take it.
constexpr uint32_t kNewestPlausibleVersion = 9999;
static_assert(kDataVersion < kNewestPlausibleVersion);

// The reader's message for a file (`bytes`) that did not load.
std::string FailureText(const RecordKind& kind, const std::string& bytes = {}) {
  switch (nLastLoadFailure) {
    case LoadFailure::kTooNew: {
      // The version word is unsigned: a first word of FFFFFFFF is 4294967295.
      const uint32_t version = static_cast<uint32_t>(nFileVersion);
      const bool vowel = !kind.name.empty() && std::strchr("aeiou", kind.name[0]) != nullptr;
      if (version > kNewestPlausibleVersion)
        return std::string("damaged, or not ") + (vowel ? "an " : "a ") + kind.name + " file: its first word (" +
               std::to_string(version) + ") is no data version (this program reads versions up to " +
               std::to_string(nDataVersion) + ")";
      return "written by a newer version (" + std::to_string(version) + ") than this program reads (" +
             std::to_string(nDataVersion) + ")";
    }
    case LoadFailure::kOverAllowance:
      return "not loaded: it asks for more memory than a file of its size may";
    case LoadFailure::kOutOfMemory: return "not loaded: memory ran out";
    default: {
      const std::string why = kind.refusal ? kind.refusal(bytes) : std::string();
      return "not a readable " + kind.name + " file" + (why.empty() ? "" : ": " + why);
    }
  }
}

bool LoadBytes(const RecordKind& kind, cRecord& record, const std::string& bytes) {
  nLastLoadFailure = LoadFailure::kNone;
  return kind.load ? kind.load(record, bytes) : record.LoadFromBytes(bytes);
}

bool LoadKind(const RecordKind& kind, cRecord& record, const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxDataFileBytes)) {
    std::fprintf(stderr, "%s: cannot be read (%s)\n", Shown(path).c_str(), LastReadFailure().c_str());
    return false;
  }
  bool ok = LoadBytes(kind, record, bytes);
  if (!ok) std::fprintf(stderr, "%s: %s\n", Shown(path).c_str(), FailureText(kind, bytes).c_str());
  return ok;
}

const RecordKind* KindFor(const std::string& path, const std::string& forced) {
  const RecordKind* kind = FindRecordKind(path, forced);
  if (!kind) {
    std::fprintf(stderr, "%s: unknown file kind; use --kind with one of:", Shown(path).c_str());
    for (const std::string& name : RecordKindNames()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
  }
  return kind;
}

// A file named on the command line that is not there, or not a file, is
// said to be so (before its kind is looked for: its name may fit none).
bool FileIsThere(const std::string& path) {
  const std::string problem = InputFileProblem(path);
  if (problem.empty()) return true;
  std::fprintf(stderr, "%s: %s\n", Shown(path).c_str(), problem.c_str());
  return false;
}

// The common palette of the project (read from its folder, as the game reads
// it from its working folder).
bool LoadProjectCommonPalette(const std::string& project) {
  const std::string previous = plat::GetCurrentDirectory();
  std::string problem;  // why the file is no file to read, as a command's own inputs are checked
  bool ok = plat::SetCurrentDirectory(plat::Utf8ToCp932(project));
  if (ok) problem = InputFileProblem(plat::ResolvePath(DataPaths.At(kPathCommonPalette)));
  ok = ok && problem.empty() && CommonPalette.LoadFromFile(DataPaths.At(kPathCommonPalette));
  plat::SetCurrentDirectory(previous);
  if (!ok)
    std::fprintf(stderr, "%s: the project's common palette (%s) cannot be read%s\n", Shown(project).c_str(),
                 plat::Cp932ToUtf8(DataPaths.At(kPathCommonPalette)).c_str(),
                 problem.empty() ? "" : (" (" + problem + ")").c_str());
  return ok;
}

// The project folder of a file: the nearest folder above it that holds
// "data/database" (a game's files sit in its "data" folder or below).
std::string FindProject(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path at = fs::absolute(fs::path(path), ec).parent_path();
  for (; !at.empty(); at = at.parent_path()) {
    if (fs::is_directory(at / "data" / "database", ec)) return at.string();
    if (at == at.root_path()) break;
  }
  return std::string();
}

// The name the messages give a database file.
const RecordKind& DatabaseKindName() {
  static const RecordKind kind = [] {
    RecordKind k;
    k.name = "database";
    return k;
  }();
  return kind;
}

// The project's database as start-up loads it, and for a stage the
// project's common palette; false after the message when a file of them does
// not load.
bool LoadProject(const std::string& project, const RecordKind& kind) {
  namespace fs = std::filesystem;
  std::string failedPath, problem;
  const int failed = LoadDatabaseFiles([&](int index, std::string& bytes) {
    failedPath = (fs::path(project) / "data" / "database" / DatabaseFileName(index)).string();
    if (ReadWholeFile(failedPath, bytes, kMaxDataFileBytes)) return true;
    problem = LastReadFailure();
    return false;
  });
  if (failed < 0) return !kind.isStage || LoadProjectCommonPalette(project);
  std::fprintf(stderr, "%s: the project database does not load: %s\n", Shown(failedPath).c_str(),
               !problem.empty() ? problem.c_str()
               : nLastLoadFailure == LoadFailure::kTooNew || nLastLoadFailure == LoadFailure::kOverAllowance ||
                       nLastLoadFailure == LoadFailure::kOutOfMemory
                   ? FailureText(DatabaseKindName()).c_str()
                   : "missing or broken");
  return false;
}


// Before reading `file`: loads its project when the kind needs one (named by
// --project, else found above the file). Without a project the file is read
// against a new project's database, which a dump or check says; a resave
// (`forWriting`) is refused then: it would write references reset to fit
// that database.
bool PrepareProject(const RecordKind& kind, const std::string& file, std::string project, bool forWriting) {
  if (!kind.usesDatabase) return true;
  if (project.empty()) project = FindProject(file);
  if (project.empty()) {
    std::fprintf(stderr, "%s: no project database found in the folders above it; name the project with --project DIR%s\n",
                 Shown(file).c_str(),
                 forWriting ? " (not written: its references would be reset to fit a new project's database)"
                            : " (a new project's database is used)");
    return !forWriting;
  }
  return LoadProject(project, kind);
}

int Dump(std::vector<std::string> args) {
  std::string forced, project;
  if (!TakeOption(args, "--kind", forced) || !TakeOption(args, "--project", project) || args.size() != 1) {
    std::fprintf(stderr, "usage: pelmora-tool dump FILE [--kind KIND] [--project DIR]\n");
    return 2;
  }
  if (!FileIsThere(args[0])) return 1;
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  if (!PrepareProject(*kind, args[0], project, false)) return 1;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  cJsonWriter json;
  json.BeginObject();
  json.Key("kind");
  json.String(kind->name);
  if (kind->versioned) {
    json.Key("version");
    json.UInt(static_cast<uint32_t>(nFileVersion));
  }
  json.Key("record");
  record->DumpJson(json);
  json.EndObject();
  std::printf("%s\n", json.Text().c_str());
  return 0;
}

// Writes the whole file (version word first) through the kind's writer,
// streamed: the output may be far larger than what the record holds. False
// after the message.
bool SaveKind(const RecordKind& kind, cRecord& record, const std::string& path) {
  return WriteOutputFile("resave", path, [&](std::FILE* file) {
    cDataWriter out(file);
    if (kind.save) {
      kind.save(record, out);
    } else {
      out.WriteU32(static_cast<uint32_t>(nDataVersion));
      record.Write(out);
    }
    return out.Flush();
  });
}

// The project files a file of `kind` is read after (PrepareProject), which
// its resave must not write over.
std::vector<NamedFile> ProjectInputs(const RecordKind& kind, const std::string& file, std::string project) {
  namespace fs = std::filesystem;
  std::vector<NamedFile> inputs;
  if (!kind.usesDatabase) return inputs;
  if (project.empty()) project = FindProject(file);
  if (project.empty()) return inputs;
  for (int index = 0; index < kDatabaseFileCount; ++index)
    inputs.push_back({"the project's file", (fs::path(project) / "data" / "database" / DatabaseFileName(index)).string()});
  if (kind.isStage) {
    std::string palette = plat::Cp932ToUtf8(DataPaths.At(kPathCommonPalette));
    std::replace(palette.begin(), palette.end(), '\\', '/');
    inputs.push_back({"the project's file", (fs::path(project) / palette).string()});
  }
  return inputs;
}

int Resave(std::vector<std::string> args) {
  EndOnStopSignals("resave");
  std::string forced, project;
  if (!TakeOption(args, "--kind", forced) || !TakeOption(args, "--project", project) || args.size() != 2) {
    std::fprintf(stderr, "usage: pelmora-tool resave IN OUT [--kind KIND] [--project DIR]\n");
    return 2;
  }
  if (!FileIsThere(args[0])) return 1;
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  // OUT may be IN (a file rewritten as the runtime stores it), never a file
  // of another kind read with it.
  if (const std::string clash = OutputClash(ProjectInputs(*kind, args[0], project), {{"OUT", args[1]}});
      !clash.empty()) {
    std::fprintf(stderr, "resave: %s\nusage: pelmora-tool resave IN OUT [--kind KIND] [--project DIR]\n",
                 clash.c_str());
    return 2;
  }
  if (!PrepareProject(*kind, args[0], project, true)) return 1;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  return SaveKind(*kind, *record, args[1]) ? 0 : 1;
}

// ---- check ----

std::string DeclaredCounts(cRecord& record) {
  return "fields " + std::to_string(record.DeclaredFieldCount()) + ", texts " +
         std::to_string(record.DeclaredStringCount());
}

int Check(std::vector<std::string> args) {
  std::string forced, project;
  if (!TakeOption(args, "--kind", forced) || !TakeOption(args, "--project", project) || args.size() != 1) {
    std::fprintf(stderr, "usage: pelmora-tool check FILE [--kind KIND] [--project DIR]\n");
    return 2;
  }
  const std::string& path = args[0];
  if (!FileIsThere(path)) return 1;
  const RecordKind* kind = KindFor(path, forced);
  if (!kind) return 2;
  // Game start-up strips carriage returns from every text it reads.
  bStripCarriageReturns = 1;
  if (!PrepareProject(*kind, path, project, false)) return 1;
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxDataFileBytes)) {
    std::fprintf(stderr, "%s: cannot be read (%s)\n", Shown(path).c_str(), LastReadFailure().c_str());
    return 1;
  }
  std::unique_ptr<cRecord> record = kind->make();
  bool ok = false;
  std::string failure;
  if (kind->isStage) {
    if (!StageTrailerIntact(bytes)) {
      std::fprintf(stderr, "%s: the stage file is broken (its last word is not the trailer)\n", Shown(path).c_str());
      return 1;
    }
    // On a thread of its own, as the game's stage loader reads it; what the
    // thread learnt about the file stays with the thread.
    std::thread loader([&] {
      ok = LoadBytes(*kind, *record, bytes);
      if (!ok) failure = FailureText(*kind, bytes);
    });
    loader.join();
  } else {
    ok = LoadBytes(*kind, *record, bytes);
    if (!ok) failure = FailureText(*kind, bytes);
  }
  if (!ok) {
    std::fprintf(stderr, "%s: %s\n", Shown(path).c_str(), failure.c_str());
    return 1;
  }
  // Read whole, the file may still hold what the game would not lay out.
  if (const std::string why = kind->playProblem ? kind->playProblem(*record) : std::string(); !why.empty()) {
    std::fprintf(stderr, "%s: the game would not play it: %s\n", path.c_str(), why.c_str());
    return 1;
  }
  std::printf("ok %s: %s\n", kind->name.c_str(), (kind->counts ? kind->counts(*record) : DeclaredCounts(*record)).c_str());
  return 0;
}

// The kinds for "--help": each named as --kind takes it.
std::string KindList() {
  std::string text = "KIND (--kind, else found from the file's name):";
  for (const std::string& name : RecordKindNames()) text += " " + name;
  return text + "\n";
}

Registrar dump(Command{"dump", "dump FILE [--kind K] [--project DIR]      prints a data file as JSON", Dump, KindList});
Registrar resave(Command{"resave",
                         "resave IN OUT [--kind K] [--project DIR]  reads IN and writes it as the runtime stores it "
                         "(a file that refers to the database after its project's database)",
                         Resave, KindList});
Registrar check(Command{"check",
                        "check FILE [--kind K] [--project DIR]  loads FILE as the game would: \"ok\" and what it "
                        "holds, or why not (exit 1)",
                        Check, KindList});

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

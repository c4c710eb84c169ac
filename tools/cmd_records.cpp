// pelmora-tool dump FILE [--kind K], resave IN OUT [--kind K] and check FILE
// [--kind K] [--project DIR]: any data file kind, through the runtime's own
// readers and writers.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "data/database.h"
#include "data/stage_data.h"

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

// The reader's message for a file that did not load.
std::string FailureText(const RecordKind& kind) {
  switch (nLastLoadFailure) {
    case LoadFailure::kTooNew:
      // The version word is unsigned: a first word of FFFFFFFF is 4294967295.
      return "written by a newer version (" + std::to_string(static_cast<uint32_t>(nFileVersion)) +
             ") than this program reads (" + std::to_string(nDataVersion) + ")";
    case LoadFailure::kOverAllowance:
      return "not loaded: it asks for more memory than a file of its size may";
    case LoadFailure::kOutOfMemory: return "not loaded: memory ran out";
    default: return "not a readable " + kind.name + " file";
  }
}

bool LoadBytes(const RecordKind& kind, cRecord& record, const std::string& bytes) {
  nLastLoadFailure = LoadFailure::kNone;
  return kind.load ? kind.load(record, bytes) : record.LoadFromBytes(bytes);
}

bool LoadKind(const RecordKind& kind, cRecord& record, const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxDataFileBytes)) {
    std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
    return false;
  }
  bool ok = LoadBytes(kind, record, bytes);
  if (!ok) std::fprintf(stderr, "%s: %s\n", path.c_str(), FailureText(kind).c_str());
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
  std::string forced;
  if (!TakeOption(args, "--kind", forced) || args.size() != 1) {
    std::fprintf(stderr, "usage: pelmora-tool dump FILE [--kind KIND]\n");
    return 2;
  }
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  cJsonWriter json;
  json.BeginObject();
  json.Key("kind");
  json.String(kind->name);
  json.Key("version");
  json.UInt(static_cast<uint32_t>(nFileVersion));
  json.Key("record");
  record->DumpJson(json);
  json.EndObject();
  std::printf("%s\n", json.Text().c_str());
  return 0;
}

// Writes the whole file (version word first) through the kind's writer,
// streamed: the output may be far larger than what the record holds.
bool SaveKind(const RecordKind& kind, cRecord& record, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok;
  {
    cDataWriter out(file);
    if (kind.save) {
      kind.save(record, out);
    } else {
      out.WriteU32(static_cast<uint32_t>(nDataVersion));
      record.Write(out);
    }
    ok = out.Flush();
  }
  return (std::fclose(file) == 0) && ok;
}

int Resave(std::vector<std::string> args) {
  std::string forced;
  if (!TakeOption(args, "--kind", forced) || args.size() != 2) {
    std::fprintf(stderr, "usage: pelmora-tool resave IN OUT [--kind KIND]\n");
    return 2;
  }
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  if (!SaveKind(*kind, *record, args[1])) {
    std::fprintf(stderr, "%s: cannot be written\n", args[1].c_str());
    return 1;
  }
  return 0;
}

// ---- check ----

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

// The project's database as start-up loads it (defaults when there is
// none); false after the message when a file of it does not load.
bool LoadProjectDatabase(const std::string& project) {
  namespace fs = std::filesystem;
  if (project.empty()) {
    std::printf("no project database found: the default database is used\n");
    return true;
  }
  std::string failedPath;
  const int failed = LoadDatabaseFiles([&](int index, std::string& bytes) {
    failedPath = (fs::path(project) / "data" / "database" / DatabaseFileName(index)).string();
    return ReadWholeFile(failedPath, bytes, kMaxDataFileBytes);
  });
  if (failed < 0) return true;
  std::fprintf(stderr, "%s: the project database does not load: %s\n", failedPath.c_str(),
               nLastLoadFailure == LoadFailure::kTooNew || nLastLoadFailure == LoadFailure::kOverAllowance ||
                       nLastLoadFailure == LoadFailure::kOutOfMemory
                   ? FailureText(DatabaseKindName()).c_str()
                   : "missing or broken");
  return false;
}

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
  const RecordKind* kind = KindFor(path, forced);
  if (!kind) return 2;
  // Game start-up strips carriage returns from every text it reads.
  bStripCarriageReturns = 1;
  if (kind->usesDatabase) {
    if (project.empty()) project = FindProject(path);
    if (!LoadProjectDatabase(project)) return 1;
  }
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxDataFileBytes)) {
    std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
    return 1;
  }
  std::unique_ptr<cRecord> record = kind->make();
  bool ok = false;
  std::string failure;
  if (kind->isStage) {
    if (!StageTrailerIntact(bytes)) {
      std::fprintf(stderr, "%s: the stage file is broken (its last word is not the trailer)\n", path.c_str());
      return 1;
    }
    // On a thread of its own, as the game's stage loader reads it; what the
    // thread learnt about the file stays with the thread.
    std::thread loader([&] {
      ok = LoadBytes(*kind, *record, bytes);
      if (!ok) failure = FailureText(*kind);
    });
    loader.join();
  } else {
    ok = LoadBytes(*kind, *record, bytes);
    if (!ok) failure = FailureText(*kind);
  }
  if (!ok) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), failure.c_str());
    return 1;
  }
  std::printf("ok %s: %s\n", kind->name.c_str(), (kind->counts ? kind->counts(*record) : DeclaredCounts(*record)).c_str());
  return 0;
}

Registrar dump(Command{"dump", "dump FILE [--kind K]        prints a data file as JSON", Dump});
Registrar resave(Command{"resave", "resave IN OUT [--kind K]    reads IN and writes it as the runtime stores it",
                         Resave});
Registrar check(Command{"check",
                        "check FILE [--kind K] [--project DIR]  loads FILE as the game would: \"ok\" and what it "
                        "holds, or why not (exit 1)",
                        Check});

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

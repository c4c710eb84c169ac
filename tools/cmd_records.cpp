// pelmora-tool dump FILE [--kind K] and resave IN OUT [--kind K]: any data
// file kind, through the runtime's own readers and writers.
#include <algorithm>
#include <cctype>
#include <cstdio>

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

// Splits "--kind K" off the arguments.
bool TakeKind(std::vector<std::string>& args, std::string& kind) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--kind") {
      if (i + 1 >= args.size()) return false;
      kind = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
  }
  return true;
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
  std::string forced;
  if (!TakeKind(args, forced) || args.size() != 1) {
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
  json.Int(nFileVersion);
  json.Key("record");
  record->DumpJson(json);
  json.EndObject();
  std::printf("%s\n", json.Text().c_str());
  return 0;
}

int Resave(std::vector<std::string> args) {
  std::string forced;
  if (!TakeKind(args, forced) || args.size() != 2) {
    std::fprintf(stderr, "usage: pelmora-tool resave IN OUT [--kind KIND]\n");
    return 2;
  }
  const RecordKind* kind = KindFor(args[0], forced);
  if (!kind) return 2;
  std::unique_ptr<cRecord> record = kind->make();
  if (!LoadKind(*kind, *record, args[0])) return 1;
  std::string bytes = kind->save ? kind->save(*record) : record->SaveToBytes();
  if (!WriteWholeFile(args[1], bytes)) {
    std::fprintf(stderr, "%s: cannot be written\n", args[1].c_str());
    return 1;
  }
  return 0;
}

Registrar dump(Command{"dump", "dump FILE [--kind K]        prints a data file as JSON", Dump});
Registrar resave(Command{"resave", "resave IN OUT [--kind K]    reads IN and writes it as the runtime stores it",
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

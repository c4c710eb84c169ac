// The data-file kinds pelmora-tool can dump and resave. Each kind registers
// how to recognise its files by name and how to make an empty record of it
// (read and written through the runtime's own Read and Write).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/record.h"

namespace tool {

// What of its project a kind's reader checks references against; such a file
// read alone would have its references beyond the defaults reset.
enum class ProjectData {
  None,
  Database,                  // the ten database files
  DatabaseAndCommonPalette,  // and the common palette (a stage's types take settings from it)
};

struct RecordKind {
  std::string name;  // for --kind
  // True when a file name (the last path component, any case) is of this kind.
  std::function<bool(const std::string& fileName)> matches;
  std::function<std::unique_ptr<cRecord>()> make;
  // Whole-file reader and writer when the kind is not a single record body
  // after the version word (the database files, stages with a trailer);
  // empty: the record's LoadFromBytes / SaveToBytes.
  std::function<bool(cRecord&, const std::string& bytes)> load;
  std::function<std::string(cRecord&)> save;
  ProjectData project = ProjectData::None;
};
void RegisterRecordKind(RecordKind kind);
const RecordKind* FindRecordKind(const std::string& pathOrName, const std::string& forcedKind);
std::vector<std::string> RecordKindNames();

struct RecordKindRegistrar {
  explicit RecordKindRegistrar(RecordKind kind) { RegisterRecordKind(std::move(kind)); }
};

// Case-insensitive comparisons of file names.
bool NameIs(const std::string& fileName, const std::string& expected);
bool NameEndsWith(const std::string& fileName, const std::string& suffix);
bool NameContains(const std::string& fileName, const std::string& part);

}  // namespace tool

// The data-file kinds pelmora-tool can dump, resave and check. Each kind
// registers how to recognise its files by name and how to make an empty
// record of it (read and written through the runtime's own Read and Write).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/record.h"

namespace tool {

struct RecordKind {
  std::string name;  // for --kind
  // True when a file name (the last path component, any case) is of this kind.
  std::function<bool(const std::string& fileName)> matches;
  std::function<std::unique_ptr<cRecord>()> make;
  // Whole-file reader and writer when the kind is not a single record body
  // after the version word (the database files); empty: the record's
  // LoadFromBytes, and the version word and the record's Write.
  std::function<bool(cRecord&, const std::string& bytes)> load = nullptr;
  std::function<void(cRecord&, cDataWriter&)> save = nullptr;
  // The game reads the file with the project's database loaded: its
  // records check indices against the database lists and reset those
  // outside them. Read without the project, the file is read against the
  // default database, so a resave of it is refused (what it would write
  // has its references reset).
  bool usesDatabase = false;
  // The game reads the file on its stage-loading thread, after the trailer
  // check.
  bool isStage = false;
  // The file starts with the version word of the data it holds (a dump
  // shows it); false for files that hold nothing but their table.
  bool versioned = true;
  // What a loaded file holds, as "name count" pairs; empty: the declared
  // fields and texts.
  std::function<std::string(cRecord&)> counts = nullptr;
  // Why bytes the reader refused are no file of this kind, where the
  // reader's refusal says more than "not readable" (a blend table of
  // another size; asked on the thread that read); empty, or an empty
  // answer: nothing more.
  std::function<std::string(const std::string& bytes)> refusal = nullptr;
  // Why the game would not play what a file read whole holds (a stage, or a
  // replay's, that its set-up would not lay out); empty, or an empty
  // answer: it would. `check` asks it.
  std::function<std::string(cRecord&)> playProblem = nullptr;
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

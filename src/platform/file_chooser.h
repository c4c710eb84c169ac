// Open and save file choosers on the dialog engine: a folder listing with a
// wildcard filter, a name box, the must-exist check and the overwrite
// question. The chooser never leaves the working folder (the game's
// project folder): it offers no way above it, and a typed name holding a
// separator or ".." is refused, so nothing it returns points outside.
// Paths are program paths (CP932, "\" separators), relative to the working
// folder. Scripted answers: "file:NAME" (in the shown folder) or
// "file:FOLDER\NAME" (from the working folder), several joined by "|" where
// more than one file may be chosen; "cancel".
#pragma once

#include <string>
#include <vector>

namespace plat {

struct FileChooserSpec {
  bool save = false;
  std::string title;             // CP932
  std::string folder;            // first folder shown ("data\stg4\"); a missing one shows the working folder
  std::string filterName;        // CP932, shown under the list
  std::string filterPattern;     // "*.stg4_*;*.rpl4_*"
  std::string defaultName;       // save: the proposed name (CP932)
  std::string defaultExtension;  // save: added to a name without one ("rpl4_873")
  bool mustExist = true;         // open: only existing files
  bool overwritePrompt = false;  // save: ask before naming an existing file
  bool multiSelect = false;      // open: several files (marked in the list with Ctrl or Shift and the
                                 // mouse, Space or Shift and the arrows; typed "a" "b"; scripted "a|b")
  bool english = false;          // the choosers' own messages in English
};

struct FileChooserResult {
  bool chosen = false;
  std::vector<std::string> paths;  // "folder\name", CP932
};

// True when the name matches one of the ";"-separated wildcard patterns
// (case does not matter, as on the file systems the games come from).
bool MatchesFilter(const std::string& cp932Name, const std::string& pattern);

// The entries a chooser shows for a folder: sub-folders (with a trailing
// "\") and then the files the filter lets through, each group sorted. False
// when the folder cannot be read (it vanished, or may not be read).
bool ListChooserFolder(const std::string& folder, const std::string& pattern, std::vector<std::string>& entries);

// Why a typed file name is refused (empty when it is fine): separators,
// "." and "..", characters file names cannot hold.
std::string FileNameProblem(const std::string& cp932Name, bool english);

FileChooserResult RunFileChooser(const FileChooserSpec& spec);

}  // namespace plat

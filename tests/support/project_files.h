// Writes a project folder the game starts in (for tests): the demo project
// (through pelmora-tool) and a "System.ini" of the test's own; or only the
// database files (and the common palette) a data file is read after.
#pragma once

#include <string>

class cDatabase;

// `folder` is a Linux path; extra lines go into System.ini before "Exit".
void WriteMinimalProject(const std::string& folder, const std::string& iniLines = "");

// The ten database files of `db` under FOLDER/data/database.
void WriteDatabaseFiles(const std::string& folder, cDatabase& db);
// A project holding a new project's database and an empty common palette.
void WriteDefaultProject(const std::string& folder);

// Writes a project folder the game starts in (for tests): the demo project
// (through pelmora-tool) and a "System.ini" of the test's own.
#pragma once

#include <string>

// `folder` is a Linux path; extra lines go into System.ini before "Exit".
void WriteMinimalProject(const std::string& folder, const std::string& iniLines = "");

// Writes the smallest project folder the game starts in (for tests): the
// default system data and a "System.ini" that ends properly.
#pragma once

#include <string>

// `folder` is a Linux path; extra lines go into System.ini before "Exit".
void WriteMinimalProject(const std::string& folder, const std::string& iniLines = "");

// One run of pelmora-tool as a process, to its end: started in a test's
// folder with its words, its standard output and error kept in files of
// that folder (out.txt, err.txt) and read back with its exit status.
#pragma once

#include <string>
#include <vector>

#include "app/game_process.h"
#include "support/sandbox.h"

struct ToolRunResult {
  int status = -1;  // -1: it did not start, or still ran after a hang's time (it is then killed)
  std::string out, err;
};

inline ToolRunResult RunToolIn(const TempFolder& folder, std::vector<std::string> args) {
  GameProcess tool({PELMORA_TOOL, folder.Path(), std::move(args), {}, folder / "out.txt", folder / "err.txt"});
  ToolRunResult ran;
  if (!tool.Started()) return ran;
  ran.status = tool.Wait();
  ran.out = tool.Out();
  ran.err = tool.Err();
  return ran;
}

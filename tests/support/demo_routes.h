// The demo's routes (tests/routes/demo): key scripts for `pelmora-tool
// play`, one a stage or a stretch of menus, each ending with the line
// "length N" that says how many frames it covers. Played one after another
// they chain from the title to the ending.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DemoRouteChain {
  std::vector<std::string> paths;  // in playing order
  uint32_t frames = 0;             // the frames they cover together
  bool complete = true;            // every route had its "length" line
  // " --input 'path'" for each route, for the tool's command line.
  std::string Inputs() const;
};

// The named routes, in the order given.
DemoRouteChain DemoRoutes(const std::vector<const char*>& names);
// Every route of the demo, in the order of their names.
DemoRouteChain AllDemoRoutes();

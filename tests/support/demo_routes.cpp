#include "support/demo_routes.h"

#include <algorithm>
#include <filesystem>

#include "support/test_files.h"

namespace {

const std::string kFolder = PELMORA_SOURCE_DIR "/tests/routes/demo";

DemoRouteChain Chain(std::vector<std::string> paths) {
  DemoRouteChain chain;
  for (const std::string& path : paths) {
    const std::string text = Slurp(path);
    const size_t at = text.rfind("length ");
    if (at == std::string::npos) {
      chain.complete = false;
      continue;
    }
    chain.frames += static_cast<uint32_t>(std::stoul(text.substr(at + 7)));
  }
  chain.paths = std::move(paths);
  return chain;
}

}  // namespace

std::string DemoRouteChain::Inputs() const {
  std::string inputs;
  for (const std::string& path : paths) inputs += " --input '" + path + "'";
  return inputs;
}

DemoRouteChain DemoRoutes(const std::vector<const char*>& names) {
  std::vector<std::string> paths;
  for (const char* name : names) paths.push_back(kFolder + "/" + name);
  return Chain(std::move(paths));
}

DemoRouteChain AllDemoRoutes() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(kFolder)) paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return Chain(std::move(paths));
}

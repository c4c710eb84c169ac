// pelmora-tool COMMAND [ARGS...]: see "pelmora-tool help".
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tool.h"

namespace tool {

namespace {
std::map<std::string, Command>& Commands() {
  static std::map<std::string, Command> commands;
  return commands;
}
std::vector<DemoPart>& DemoParts() {
  static std::vector<DemoPart> parts;
  return parts;
}

int MakeDemo(const std::vector<std::string>& args) {
  DemoOptions options;
  std::vector<std::string> folders;
  for (const std::string& a : args) {
    if (a == "--text-menu")
      options.textMenu = true;
    else
      folders.push_back(a);
  }
  if (folders.size() != 1 || folders[0].rfind("--", 0) == 0) {
    std::fprintf(stderr, "usage: pelmora-tool make-demo DIR [--text-menu]\n");
    return 2;
  }
  const std::string& folder = folders[0];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "make-demo: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
    return 1;
  }
  auto parts = DemoParts();
  std::stable_sort(parts.begin(), parts.end(), [](const DemoPart& a, const DemoPart& b) { return a.order < b.order; });
  for (const DemoPart& part : parts) {
    if (!part.build(folder, options)) {
      std::fprintf(stderr, "make-demo: %s failed\n", part.name.c_str());
      return 1;
    }
  }
  return 0;
}

Registrar makeDemo(Command{"make-demo",
                           "make-demo DIR [--text-menu] writes the demo game project into DIR (--text-menu: the\n"
                           "                           title's menu as text, not the menu picture's strips)",
                           MakeDemo});
}  // namespace

void RegisterCommand(Command command) { Commands()[command.name] = std::move(command); }
void RegisterDemoPart(DemoPart part) { DemoParts().push_back(std::move(part)); }

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool ReadWholeFile(const std::string& path, std::string& bytes, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > limit) return false;
  in.seekg(0);
  bytes.resize(static_cast<size_t>(size));
  in.read(bytes.data(), size);
  return static_cast<bool>(in);
}

}  // namespace tool

namespace {

void PrintCommands(std::FILE* out) {
  std::fprintf(out, "usage: pelmora-tool COMMAND [ARGS...]   (pelmora-tool COMMAND --help: that command's usage)\ncommands:\n");
  for (auto& [key, command] : tool::Commands()) std::fprintf(out, "  %s\n", command.usage.c_str());
}

bool AsksForHelp(const std::string& word) { return word == "--help" || word == "-h" || word == "help"; }

}  // namespace

int main(int argc, char** argv) {
  auto& commands = tool::Commands();
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (!words.empty() && AsksForHelp(words[0])) {
    PrintCommands(stdout);
    return 0;
  }
  // A run without a command is a usage error: the list goes where errors go.
  if (words.empty()) {
    std::fprintf(stderr, "pelmora-tool: no command given\n");
    PrintCommands(stderr);
    return 2;
  }
  auto it = commands.find(words[0]);
  if (it == commands.end()) {
    std::fprintf(stderr, "pelmora-tool: unknown command: %s\n", words[0].c_str());
    PrintCommands(stderr);
    return 2;
  }
  const tool::Command& command = it->second;
  const std::vector<std::string> args(words.begin() + 1, words.end());
  // "--help" anywhere among a command's words asks for its usage.
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    std::printf("usage: pelmora-tool %s\n", command.usage.c_str());
    if (command.details) std::printf("%s", command.details().c_str());
    return 0;
  }
  return command.run(args);
}

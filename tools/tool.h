// pelmora-tool: one program with subcommands for tests and game authors.
// Each file kind the runtime reads adds itself to the commands through these
// registries (a static registrar in its own tools/*.cpp file).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tool {

// A subcommand: args are the words after its name; returns the exit code.
struct Command {
  std::string name;
  std::string usage;  // one line, shown by "pelmora-tool help"
  std::function<int(const std::vector<std::string>& args)> run;
  // More for "pelmora-tool COMMAND --help" after the usage line (the kinds,
  // modes or values the command takes), asked for when shown; empty: none.
  std::function<std::string()> details = nullptr;
};
void RegisterCommand(Command command);

// How the demo project is made: "make-demo DIR [--text-menu]".
struct DemoOptions {
  // The title's menu in its text form (system switch 11 on) rather than the
  // rows of the menu picture.
  bool textMenu = false;
};

// A part of the demo project: writes its files into the project folder
// (a Linux path); false after printing what failed.
struct DemoPart {
  int order;  // parts run in increasing order (data before what uses it)
  std::string name;
  std::function<bool(const std::string& folder, const DemoOptions& options)> build;
};
void RegisterDemoPart(DemoPart part);

struct Registrar {
  explicit Registrar(Command command) { RegisterCommand(std::move(command)); }
  explicit Registrar(DemoPart part) { RegisterDemoPart(std::move(part)); }
};

// Helpers for commands.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string& bytes, size_t limit = 256u << 20);

}  // namespace tool

// pelmora-tool as a user meets it, run as a process: what each command says
// and returns when it is asked for its usage, given a wrong word or number,
// or named a file that is not there; and the blend tables that dump, check
// and resave read.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string out, err;
};

class ToolUsageTest : public ::testing::Test {
 protected:
  ToolRun Run(const std::string& args) {
    ToolRun run;
    const std::string command = std::string(PELMORA_TOOL) + " " + args + " > '" + (folder_ / "out.txt") + "' 2> '" +
                                (folder_ / "err.txt") + "'";
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Slurp(folder_ / "out.txt");
    run.err = Slurp(folder_ / "err.txt");
    return run;
  }
  std::string At(const std::string& name) const { return folder_ / name; }

  TempFolder folder_{"toolusage"};
};

// Each row: the words after pelmora-tool, the exit status, and a text that
// must be in the standard output and one in the standard error ("" none).
struct UsageCase {
  std::string args;
  int status;
  std::string out, err;
};

TEST_F(ToolUsageTest, HelpWrongWordsMissingFilesAndBadNumbersAreToldWithTheirExitStatus) {
  const std::string missing = At("nothing-here.stg4_1");
  const UsageCase cases[] = {
      {"", 2, "", "no command given"},
      {"--help", 0, "usage: pelmora-tool COMMAND", ""},
      {"help", 0, "usage: pelmora-tool COMMAND", ""},
      {"frobnicate", 2, "", "unknown command: frobnicate"},
      {"dump --help", 0, "usage: pelmora-tool dump FILE", ""},
      {"check --help", 0, "usage: pelmora-tool check FILE", ""},
      {"resave --help", 0, "usage: pelmora-tool resave IN OUT", ""},
      {"dump '" + missing + "'", 1, "", missing + ": no such file"},
      {"check '" + missing + "'", 1, "", missing + ": no such file"},
      {"resave '" + missing + "' '" + At("out.stg4_1") + "'", 1, "", missing + ": no such file"},
      {"check '" + folder_.Path() + "'", 1, "", folder_.Path() + ": not a file"},
      {"expr --help", 0, "usage: pelmora-tool expr", ""},
      {"expr 'C1 = 5'", 0, "C1=5\n", ""},
      {"expr 'C1 = C1'", 0, "nothing changed (the statement's value: 0)", ""},
      {"expr 'C1=5'", 1, "nothing changed", "\"C1=5\" is one word"},
      {"expr 'C2 = -5'", 0, "C2=-5\n", ""},
      {"dialog --help", 0, "start, text, open, replay, save, box, quit", ""},
      {"dialog", 2, "", "KIND: start, text, open, replay, save, box or quit"},
      {"text 0 abc '" + At("t.png") + "' --mode dd32 --glyph-mode abc", 2, "", "bad --glyph-mode abc"},
      {"text 0 abc '" + At("t.png") + "' --mode dd32 --glyph-mode -1", 2, "", "bad --glyph-mode -1"},
      {"render-audio in.wav '" + At("o.wav") + "' --seconds abc", 2, "", "bad --seconds abc"},
      {"render-audio in.wav '" + At("o.wav") + "' --seconds 0", 2, "", "bad --seconds 0"},
      {"render-audio in.wav '" + At("o.wav") + "' --seconds 1e9", 2, "", "bad --seconds 1e9"},
  };
  for (const UsageCase& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    if (!c.out.empty()) {
      EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    }
    if (!c.err.empty()) {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
  }
  // Nothing was written for the refused runs.
  EXPECT_FALSE(std::filesystem::exists(At("out.stg4_1")));
  EXPECT_FALSE(std::filesystem::exists(At("t.png")));
  EXPECT_FALSE(std::filesystem::exists(At("o.wav")));
}

// Every command the tool lists answers --help with its own usage, on the
// standard output, and exit status 0; the file commands name every kind
// they read, the blend tables among them.
TEST_F(ToolUsageTest, EveryListedCommandAnswersHelpWithItsUsage) {
  const ToolRun list = Run("help");
  ASSERT_EQ(list.status, 0);
  std::vector<std::string> names;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ') names.push_back(line.substr(2, line.find(' ', 2) - 2));
  ASSERT_GE(names.size(), 11u) << list.out;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const ToolRun run = Run(name + " --help");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("usage: pelmora-tool " + name + " ", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
  }
  for (const char* name : {"dump", "check", "resave"}) {
    const ToolRun run = Run(std::string(name) + " --help");
    for (const char* kind : {"blendtable", "stage", "system", "replay", "saveslot"})
      EXPECT_NE(run.out.find(std::string(" ") + kind), std::string::npos) << name << ": " << kind;
  }
}

// A blend table ("bmp\hbt\hbtNN.dat", 65,536 palette numbers) is known by
// its name: check says it holds a whole table, dump shows its rows (row a,
// column b: the mix of colours a and b), resave writes the same bytes; a
// short one is refused as the game refuses it.
TEST_F(ToolUsageTest, BlendTablesAreReadDumpedAndWrittenBack) {
  std::string table(65536, '\0');
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) table[static_cast<size_t>(a * 256 + b)] = static_cast<char>((a + 3 * b) & 0xFF);
  const std::string path = folder_.Write("bmp/hbt/hbt07.dat", table);

  ToolRun run = Run("check '" + path + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "ok blendtable: entries 65536 (256 x 256)\n");

  run = Run("dump '" + path + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"kind\":\"blendtable\",\"record\":", 0), 0u) << run.out.substr(0, 80);
  EXPECT_EQ(run.out.find("\"version\""), std::string::npos);
  // Row 1 starts with 1, 4, 7 (a + 3b).
  EXPECT_NE(run.out.find("\"rows\":[[0,3,6,"), std::string::npos);
  EXPECT_NE(run.out.find("],[1,4,7,"), std::string::npos);

  run = Run("resave '" + path + "' '" + At("copy.dat") + "' --kind blendtable");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(At("copy.dat")), table);

  const std::string shortTable = folder_.Write("short.dat", table.substr(0, 65535));
  run = Run("check '" + shortTable + "' --kind blendtable");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("not a readable blendtable file"), std::string::npos) << run.err;
}

}  // namespace

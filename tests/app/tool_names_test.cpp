// Every message that names a file the user gave prints the name escaped
// (the tools' one way: a control character or a byte that is no UTF-8 text
// as \xNN): a name holding a line break, a terminal's escape sequence and a
// Latin-1 byte reaches the terminal as text, never as those bytes. check,
// dump and resave (a file missing, of no known kind, not readable), play
// (an --input missing, a stage file name with no CP932 form) and effect's
// --blend-table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tool_run.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

TEST(ToolNamesTest, AFileNameIsPrintedEscapedInEveryMessage) {
  TempFolder folder("toolnames");
  const std::string odd = "a\nb\x1b[31mc\xe9", shown = "a\\x0ab\\x1b[31mc\\xe9";
  const std::string missing = folder / ("gone-" + odd + ".dat"), missingShown = folder / ("gone-" + shown + ".dat");
  const std::string there = folder.Write("here-" + odd + ".dat", "not a blend table");
  const std::string thereShown = folder / ("here-" + shown + ".dat");
  const std::string picture = folder.Write("in.bmp", std::string("BM"));  // never read: the table is refused first
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string told;
  };
  const Case cases[] = {
      {"check, missing", {"check", missing, "--kind", "blendtable"}, missingShown + ": no such file\n"},
      {"dump, missing", {"dump", missing, "--kind", "system"}, missingShown + ": no such file\n"},
      {"resave, missing",
       {"resave", missing, folder / "out.dat", "--kind", "system"},
       missingShown + ": no such file\n"},
      {"check, unreadable", {"check", there, "--kind", "blendtable"}, thereShown + ": not a readable blendtable file"},
      {"dump, of no known kind", {"dump", there}, thereShown + ": unknown file kind"},
      {"play --input", {"play", folder / "project", "--frames", "1", "--input", missing},
       "play: cannot read the input file " + missingShown + " (no such file)\n"},
      {"play, a stage file name without CP932 form",
       {"play", folder / "project", "\x1b[31m\xf0\x9f\x98\x80.stg4_1", "--frames", "1"},
       "play: the stage file name \\x1b[31m\xf0\x9f\x98\x80.stg4_1 has no CP932 form\n"},
      {"effect --blend-table",
       {"effect", "translucent", picture, folder / "out.png", "--mode", "dd8", "--blend-table", missing},
       "effect: " + missingShown + " cannot be read (no such file)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRunResult ran = RunToolIn(folder, c.args);
    EXPECT_NE(ran.status, 0);
    EXPECT_NE(ran.err.find(c.told), std::string::npos) << ran.err;
    EXPECT_EQ(ran.err.find('\x1b'), std::string::npos) << "a raw escape reached the terminal";
    EXPECT_EQ(ran.err.find("a\nb"), std::string::npos) << "a raw line break in a name";
  }
}

}  // namespace

// pelmora-tool as a user meets it, run as a process: what each command says
// and returns when it is asked for its usage, given a wrong word or number,
// or named a file that is not there; the blend tables that dump, check and
// resave read; and what the commands refuse rather than write a blank
// picture or print an answer nobody gave.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/test_files.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string out, err;
};

class ToolUsageTest : public ::testing::Test {
 protected:
  // `env`: the child's environment changes, as `env` takes them ("-u NAME",
  // "NAME=VALUE").
  ToolRun Run(const std::string& args, const std::string& env = "") {
    ToolRun run;
    const std::string command = "env " + env + " " + std::string(PELMORA_TOOL) + " " + args + " > '" +
                                (folder_ / "out.txt") + "' 2> '" + (folder_ / "err.txt") + "'";
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
      {"expr 'C1=5'", 0, "nothing changed", "\"C1=5\" is one word"},
      {"expr 'C2 = -5'", 0, "C2=-5\n", ""},
      {"dialog --help", 0, "start, text, open, replay, save, box, quit", ""},
      {"dialog", 2, "", "KIND: start, text, open, replay, save, box or quit"},
      {"text 0 abc '" + At("t.png") + "' --mode dd32 --glyph-mode abc", 2, "", "text: --glyph-mode abc is not a number"},
      {"text 0 abc '" + At("t.png") + "' --mode dd32 --glyph-mode -1", 2, "", "--glyph-mode -1 is out of range"},
      {"text 0 '' '" + At("t.png") + "' --mode dd32", 2, "", "TEXT is empty"},
      {"text 0 abc '" + At("t.png") + "' --mode dd32 --plain", 2, "", "usage: pelmora-tool text"},
      {"play '" + At("no-project") + "' --frames 10 --every 5", 2, "", "--every K says which frames --shots DIR pictures"},
      {"render-audio in.wav '" + At("o.wav") + "' --seconds abc", 2, "", "render-audio: --seconds abc is not a number"},
      {"render-audio in.wav '" + At("o.wav") + "' --seconds 0", 2, "", "--seconds 0 is out of range"},
      {"render-audio in.wav '" + At("o.wav") + "' --seconds 1000000000", 2, "", "--seconds 1000000000 is out of range"},
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

// Every number a command takes is read by one rule: the whole word in
// decimal, within what the value takes. A word that is no number is told
// apart from a number out of range (a value too large for any setting is
// out of range, not "not a number"), and a fraction where a whole number
// belongs is told too; each exits 2 and writes nothing. The bounds hold
// their last value on both sides.
TEST_F(ToolUsageTest, NumbersThatAreNoNumbersOrOutOfRangeAreToldApart) {
  const std::string png = "'" + At("n.png") + "'", wav = "'" + At("n.wav") + "'";
  const std::string effect = "effect mosaic '" + At("none.bmp") + "' " + png + " --mode dd32 --size ";
  struct Case {
    std::string args;
    int status;
    std::string err;  // "" for a number taken (the run then fails for another reason or none)
  };
  const Case cases[] = {
      {effect + "99999999999", 2, "effect: --size 99999999999 is out of range (it takes a number from -2147483647 to 2147483647)"},
      {effect + "-2147483648", 2, "--size -2147483648 is out of range"},
      {effect + "1" + std::string(400, '0'), 2, "--size 1" + std::string(400, '0') + " is out of range"},
      {effect + "12abc", 2, "effect: --size 12abc is not a number"},
      {effect + "0x10", 2, "--size 0x10 is not a number"},
      {effect + "' 8'", 2, "--size  8 is not a number"},
      {effect + "inf", 2, "--size inf is not a number"},
      {effect + "2147483647", 1, ""},  // taken: then the picture is missing
      {"text 99999999999 abc " + png + " --mode dd32", 2, "text: FONT_SETTING 99999999999 is out of range (it takes 0, 1 or 2"},
      {"text 3 abc " + png + " --mode dd32", 2, "FONT_SETTING 3 is out of range"},
      {"text x abc " + png + " --mode dd32", 2, "FONT_SETTING x is not a number"},
      {"text 0 abc " + png + " --mode dd32 --glyph-mode 99999999999", 2, "--glyph-mode 99999999999 is out of range"},
      {"text 0 abc " + png + " --mode dd32 --glyph-mode 1.5", 2, "text: --glyph-mode 1.5 is not a whole number"},
      {"render-audio '" + At("none.wav") + "' " + wav + " --seconds 99999999999", 2, "--seconds 99999999999 is out of range"},
      {"render-audio '" + At("none.wav") + "' " + wav + " --seconds 1800.001", 2, "--seconds 1800.001 is out of range"},
      {"render-audio '" + At("none.wav") + "' " + wav + " --seconds 0.00002", 2, "--seconds 0.00002 is out of range"},
      {"render-audio '" + At("none.wav") + "' " + wav + " --seconds 1800", 1, ""},
      {"render-audio '" + At("none.wav") + "' " + wav + " --seconds 0.000023", 1, ""},
      {"expr 'C2 = C1' --set C1=99999999999", 2,
       "pelmora-tool expr: --set C1=99999999999 is out of range (it takes a whole number from -999999 to 999999)"},
      {"expr 'C2 = C1' --set C1=1000000", 2, "--set C1=1000000 is out of range"},
      {"expr 'C2 = C1' --set C1=-1000000", 2, "--set C1=-1000000 is out of range"},
      {"expr 'C2 = C1' --set C1=abc", 2, "--set C1=abc is not a number"},
      {"expr 'C2 = C1' --set C1=1.5", 2, "--set C1=1.5 is not a whole number"},
      {"expr 'C2 = my.hp' --set my.hp=-1", 2, "--set my.hp=-1 is out of range (it takes a whole number from 0 to"},
      {"expr 'C2 = C1' --set C1=-999999", 0, ""},
      {"play '" + At("none") + "' --frames 99999999999", 2, "play: --frames 99999999999 is out of range"},
      {"play '" + At("none") + "' --frames -1", 2, "--frames -1 is out of range"},
      {"play '" + At("none") + "' --frames ten", 2, "--frames ten is not a number"},
      {"play '" + At("none") + "' --frames 4294967295", 1, ""},  // taken: then there is no game there
      {"play '" + At("none") + "' --frames 1 --shots x --every 0", 2, "--every 0 is out of range"},
      {"play '" + At("none") + "' --frames 1 --show-command=12", 2, "--show-command=12 is out of range"},
      {"play '" + At("none") + "' --frames 1 --show-command=11", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.err.empty()) {
      EXPECT_EQ(run.err.find("is out of range"), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find("not a number"), std::string::npos) << run.err;
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
  }
  EXPECT_EQ(Run("expr 'C2 = C1' --set C1=999999").out, "C2=999999\n");
  EXPECT_FALSE(std::filesystem::exists(At("n.png")));
  EXPECT_FALSE(std::filesystem::exists(At("n.wav")));
}

// A data file whose kind is known neither by its name nor by --kind is a
// usage error (2), as a wrong word is; the kinds are listed.
TEST_F(ToolUsageTest, AFileOfNoKnownKindIsAUsageError) {
  const std::string file = folder_.Write("notes.unknownkind", "text");
  for (const std::string& args : {"dump '" + file + "'", "check '" + file + "'",
                                  "resave '" + file + "' '" + At("copy") + "'", "check '" + file + "' --kind nonesuch"}) {
    SCOPED_TRACE(args);
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(file + ": unknown file kind; use --kind with one of: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" blendtable"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(At("copy")));
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

// A statement runs as the game runs it: a word with an operator glued on is
// warned of (on the standard error), never a failure by itself; the call
// rand(a, b) and the groups in parentheses are read as the game reads them
// (each argument and group a statement of its own, the group then a value
// among the words around it), so "rand(-4, -4)" is no glued word. Exit 1
// only when the statement failed.
TEST_F(ToolUsageTest, ExprWarnsOfGluedWordsAndFailsOnlyWhenTheStatementFails) {
  struct Case {
    const char* code;
    int status;
    const char* out;
    const char* glued;  // the word warned of, or "" for no warning at all
  };
  const Case cases[] = {
      {"my.v1 = rand(-4, -4)", 0, "my.v1=-4\n", ""},
      {"C1 = 3 * rand(-4, -4)", 0, "C1=-12\n", ""},
      {"C1 = 2 * (3 + 4)", 0, "C1=14\n", ""},
      {"C1 = C(2)", 0, "nothing changed", ""},
      {"C1 = rand(2+3, 2+3)", 0, "C1=2\n", "2+3"},  // each argument read as the number 2
      {"C1 = (2*3) + 1", 0, "C1=3\n", "2*3"},
      {"C1 = 2+(3)", 0, "C1=2\n", "2+[...]"},     // the group stands beside the + as its value
      {"C1 = rand(1, (4-1))", 0, "C1=", "4-1"},    // a group inside an argument
      {"C1=5", 0, "nothing changed", "C1=5"},
      {"C1 = 5/0", 0, "C1=5\n", "5/0"},
      {"C1 = 5 / 0", 1, "error: ", ""},
      {"C1=5 / 0", 1, "error: ", "C1=5"},
      {"C1 = (1", 1, "error: ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const ToolRun run = Run(std::string("expr '") + c.code + "'");
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    if (c.glued[0] == '\0') {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find(std::string("\"") + c.glued + "\" is one word"), std::string::npos) << run.err;
    }
  }
}

// In the 8-bit mode a picture's pixels become palette numbers: without a
// colour table of its own and without --palette there are no colours to
// show it with, and the command says so (usage, 2) rather than write a
// black picture; a --palette that gives no palette (a file that does not
// load, or a picture without a colour table) exits 1. With a palette's
// picture, the colours come back.
TEST_F(ToolUsageTest, AnEightBitImageWithoutColourTableNeedsAPalette) {
  const std::string rgb = folder_.Write("rgb.bmp", testbmp::AsString(testbmp::Rgb24(2, 1, {0xFF0000u, 0x0000FFu})));
  std::vector<uint32_t> table(256, 0);
  table[1] = 0xFF0000u, table[2] = 0x0000FFu;
  const std::string palette =
      folder_.Write("palette.bmp", testbmp::AsString(testbmp::Indexed8(2, 1, table, {1, 2})));
  // A 4-bit picture's table of 16 colours is no palette to the game either.
  testbmp::Spec four;
  four.width = 2, four.height = 1, four.bpp = 4, four.clrUsed = 16;
  four.palette = std::vector<uint32_t>(table.begin(), table.begin() + 16);
  const std::string fourBit = folder_.Write("four.bmp", testbmp::AsString(testbmp::Build(four, {1, 2}, 0)));
  const std::string out = At("o.png");
  struct Case {
    std::string args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"'" + rgb + "' '" + out + "' --mode dd8", 2, "rgb.bmp has no colour table: the dd8 mode needs --palette"},
      {"'" + rgb + "' '" + out + "' --mode dd8 --palette '" + At("none.bmp") + "'", 1, "no palette in"},
      {"'" + palette + "' '" + out + "' --mode dd8 --palette '" + At("none.bmp") + "'", 1, "no palette in"},
      {"'" + fourBit + "' '" + out + "' --mode dd8", 2, "four.bmp has no colour table of an 8-bit picture: the dd8"},
      {"'" + rgb + "' '" + out + "' --mode dd8 --palette '" + fourBit + "'", 1, "no palette in " + fourBit},
      // A palette picture without a colour table gives no palette in dd8.
      {"'" + rgb + "' '" + out + "' --mode dd8 --palette '" + rgb + "'", 1, "no palette in " + rgb},
      {"'" + palette + "' '" + out + "' --mode dd8 --palette '" + rgb + "'", 1, "no palette in " + rgb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = Run("image " + c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  for (const std::string& args : {"'" + rgb + "' '" + out + "' --mode dd8 --palette '" + palette + "'",
                                  "'" + fourBit + "' '" + out + "' --mode dd8 --palette '" + palette + "'",
                                  "'" + palette + "' '" + out + "' --mode dd8", "'" + rgb + "' '" + out + "' --mode dd32"}) {
    SCOPED_TRACE(args);
    ASSERT_EQ(Run("image " + args).status, 0);
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    ASSERT_TRUE(LoadSdlPixels(out, w, h, px));
    ASSERT_EQ(px.size(), 2u);
    EXPECT_EQ(px[0] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(px[1] & 0xFFFFFFu, 0x0000FFu);
    std::filesystem::remove(out);
  }
}

// A dialog with no display to show it on would only take its default
// answer: the command says so and exits 1, printing no answer, unless the
// run asks for answers without a display: a script of answers (the
// defaults once it has none left), or the dummy video driver (its default
// answer). SDL's own stand-in for a machine
// without a display is its offscreen driver, named here so that the case is
// the same on every machine. A transcript the run names still gets its
// line, and the command leaves no file of its own behind.
TEST_F(ToolUsageTest, ADialogWithoutADisplayIsToldUnlessAnswersWithoutOneAreAskedFor) {
  const std::string clean = "-u PELMORA_DIALOG_ANSWERS -u PELMORA_DIALOG_LOG -u PELMORA_HEADLESS TMPDIR='" +
                            folder_.Path() + "' ";
  struct Case {
    std::string env;
    const char* kind;
    int status;
    const char* out;
  };
  const Case cases[] = {
      {"SDL_VIDEODRIVER=offscreen", "box", 1, ""},
      {"SDL_VIDEODRIVER=offscreen", "quit", 1, ""},
      {"SDL_VIDEODRIVER=offscreen PELMORA_DIALOG_LOG='" + At("dialogs.log") + "'", "quit", 1, ""},
      {"SDL_VIDEODRIVER=dummy", "box", 0, "result 1\n"},
      {"SDL_VIDEODRIVER=dummy", "quit", 0, "quit 1\n"},
      {"SDL_VIDEODRIVER=offscreen", "text", 1, ""},  // a dialog of the toolkit's own, not a box
      {"SDL_VIDEODRIVER=dummy", "text", 0, "result 1 name \n"},
      {"SDL_VIDEODRIVER=offscreen PELMORA_DIALOG_ANSWERS=cancel", "box", 0, "result 2\n"},
      {"SDL_VIDEODRIVER=offscreen PELMORA_DIALOG_ANSWERS=no", "quit", 0, "quit 0\n"},
      // A script that holds no answer (or no more) leaves the defaults.
      {"SDL_VIDEODRIVER=offscreen PELMORA_DIALOG_ANSWERS=", "box", 0, "result 1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.env + " " + c.kind);
    const ToolRun run = Run(std::string("dialog ") + c.kind, clean + c.env);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err.find("no display to show the") != std::string::npos, c.status == 1) << run.err;
  }
  EXPECT_NE(Slurp(At("dialogs.log")).find("(default, no display)"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
    EXPECT_EQ(entry.path().filename().string().rfind("pelmora-dialog", 0), std::string::npos) << entry.path();
}

// A scripted answer the dialog does not take is refused as the game refuses
// it: the dialog closes as Escape closes it (its answer is printed), the
// standard error names the answer and the dialog, and the command exits 1.
// An answer the dialog takes exits 0.
TEST_F(ToolUsageTest, ADialogThatRefusesItsScriptedAnswerExitsOne) {
  const std::string clean = "-u PELMORA_DIALOG_LOG -u PELMORA_HEADLESS SDL_VIDEODRIVER=offscreen TMPDIR='" +
                            folder_.Path() + "' PELMORA_DIALOG_ANSWERS=";
  struct Case {
    const char* kind;
    const char* answer;
    int status;
    const char* out;
  };
  const Case cases[] = {
      {"box", "yes", 1, "result 2\n"},     {"box", "ok", 0, "result 1\n"},
      {"quit", "ok", 1, "quit 0\n"},       {"quit", "no", 0, "quit 0\n"},
      {"text", "yes", 1, "result 0 name \n"}, {"text", "text:abc", 0, "result 1 name abc\n"},
      {"open", "text:x", 1, "result 0 path \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.answer);
    const ToolRun run = Run(std::string("dialog ") + c.kind, clean + c.answer);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_EQ(run.out, c.out);
    const std::string refused = std::string("\"") + c.answer + "\" is not an answer to";
    EXPECT_EQ(run.err.find(refused) != std::string::npos, c.status == 1) << run.err;
    EXPECT_EQ(run.err.find(std::string("dialog: the ") + c.kind + " dialog refused its scripted answer") !=
                  std::string::npos,
              c.status == 1)
        << run.err;
    // The tool says it, and no game ends in it.
    if (c.status == 1) {
      EXPECT_EQ(run.err.rfind("pelmora-tool: PELMORA_DIALOG_ANSWERS: ", 0), 0u) << run.err;
    }
    EXPECT_EQ(run.err.find("the game ends"), std::string::npos) << run.err;
  }
}

// A 64 x 48 picture for the effects, and the settings each value of each
// effect takes with it.
class EffectRangeTest : public ToolUsageTest, public ::testing::WithParamInterface<int> {
 protected:
  static constexpr int kWide = 64, kHigh = 48;
  void SetUp() override {
    std::vector<uint32_t> rgb;
    for (int y = 0; y < kHigh; ++y)
      for (int x = 0; x < kWide; ++x)
        rgb.push_back(static_cast<uint32_t>((40 + x * 7 % 200) << 16 | (40 + y * 11 % 200) << 8 |
                                            ((x / 8 + y / 8) % 2 ? 255 : 120)));
    in_ = folder_.Write("in.bmp", testbmp::AsString(testbmp::Rgb24(kWide, kHigh, rgb)));
  }
  std::vector<uint32_t> Pixels(const std::string& path) {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    EXPECT_TRUE(LoadSdlPixels(path, w, h, px)) << path;
    for (uint32_t& p : px) p &= 0xFFFFFFu;
    return px;
  }
  std::string in_;
  const std::string out_ = At("o.png");
};

struct EffectRangeCase {
  const char* effect;
  const char* mode;
  const char* others;  // the other values set
  const char* value;
  std::vector<const char*> refused, shown;
  const char* takes;
};

const std::vector<EffectRangeCase>& EffectRangeCases() {
  static const std::vector<EffectRangeCase> cases = {
      {"stretch", "dd32", "", "sw", {"0", "4097"}, {"1", "4096"}, "takes 1..4096"},
      {"stretch", "dd32", "", "sh", {"0", "2305"}, {"1", "2304"}, "takes 1..2304"},
      {"stretch", "dd32", "", "sx", {"-32", "64"}, {"-31", "63"}, "takes -31..63"},
      {"stretch", "dd32", "--sw 1000", "sx", {"-985", "49"}, {"-984", "48"}, "takes -984..48"},
      {"stretch", "dd32", "", "sy", {"-24", "48"}, {"-23", "47"}, "takes -23..47"},
      {"stretch", "dd32", "--sh 1000", "sy", {"-980", "28"}, {"-979", "27"}, "takes -979..27"},
      {"wave", "dd32", "", "columns", {"-1", "2"}, {"1"}, "takes 0..1"},
      {"wave", "dd32", "", "strip", {"0", "48"}, {"1", "47"}, "takes 1..47"},
      {"wave", "dd32", "--columns 1", "strip", {"64"}, {"63"}, "takes 1..63"},
      {"wave", "dd32", "", "frequency", {"0", "12", "-24"}, {"11", "13"}, "takes any value but a multiple of 12"},
      {"wave", "dd32", "--phase 7", "frequency", {"180"}, {"12"}, "takes any value but a multiple of 180"},
      {"wave", "dd32", "", "amplitude", {"1", "-1", "0.5"}, {"1.5", "-2"}, "takes any value but -1..1"},
      {"split", "dd32", "", "columns", {"2"}, {"1"}, "takes 0..1"},
      {"split", "dd32", "", "strip", {"0", "49", "-1"}, {"1", "48"}, "takes 1..48"},
      {"split", "dd32", "--columns 1", "strip", {"65"}, {"64"}, "takes 1..64"},
      {"split", "dd32", "", "offset", {"0", "64", "-64"}, {"63", "-63"}, "takes -63..63 but 0"},
      {"split", "dd32", "--columns 1", "offset", {"48"}, {"47"}, "takes -47..47 but 0"},
      {"burst", "dd32", "", "offset", {"0", "24", "-48"}, {"1", "23", "-47"}, "takes -47..23 but 0"},
      {"rotate-depth", "dd32", "", "axis", {"2", "-1"}, {"1"}, "takes 0..1"},
      {"rotate-depth", "dd32", "", "phase", {"0", "63", "-1"}, {"1", "62"}, "takes 1..62"},
      {"rotate-depth", "dd32", "--axis 1", "phase", {"47"}, {"46"}, "takes 1..46"},
      {"circle", "dd32", "", "radius", {"1", "40", "-5"}, {"2", "39"}, "takes 2..39"},
      {"circle", "dd32", "", "strip", {"0", "33"}, {"1", "32"}, "takes 1..32"},
      {"rotate", "dd32", "", "angle", {"0", "360", "-720"}, {"1", "359"}, "takes any value but a multiple of 360"},
      {"lens", "dd32", "--depth 0", "radius", {"1", "-1"}, {"2"}, "takes 2 or more"},
      {"lens", "dd32", "", "depth", {"-1", "128"}, {"0", "127"}, "takes 0..127"},
      {"lens", "dd32", "--radius 5", "depth", {"13"}, {"12"}, "takes 0..12"},
      {"blur", "dd32", "", "rx", {"0"}, {"1"}, "takes 1 or more"},
      {"blur", "dd32", "", "ry", {"0"}, {"1"}, "takes 1 or more"},
      {"mosaic", "dd32", "", "size", {"1", "0", "-8", "64", "65"}, {"2", "63"}, "takes 2..63"},
      {"colour-change", "dd32", "", "colour", {"-1", "256"}, {"0", "255"}, "takes 0..255"},
      {"colour-change", "dd32", "", "level", {"0"}, {"1"}, "takes 1 or more"},
      {"translucent", "dd32", "", "shift", {"0", "64", "-64"}, {"1", "63", "-63"}, "takes -63..63 but 0"},
      {"translucent", "d3d32", "", "level", {"0", "255"}, {"1", "254"}, "takes 1..254"},
      {"translucent", "dd32", "", "level", {}, {"0", "255"}, ""},  // the DirectDraw mix is always half and half
      {"fade", "dd32", "", "weight", {"-1", "257"}, {"255"}, "takes 0..256"},
      {"fade", "d3d32", "", "weight", {"-1", "256"}, {"254"}, "takes 0..255"},
      {"fade", "dd32", "", "red", {"-1", "256"}, {"255"}, "takes 0..255"},
      {"fade", "dd32", "", "green", {"256"}, {"255"}, "takes 0..255"},
      {"fade", "dd32", "", "blue", {"256"}, {"255"}, "takes 0..255"},
      {"tint", "d3d32", "", "alpha", {"255", "-1"}, {"0", "254"}, "takes 0..254"},
      {"tint", "d3d32", "", "red", {"256", "-1"}, {"0"}, "takes 0..255"},
      {"tint", "d3d32", "", "green", {"256"}, {"0"}, "takes 0..255"},
      {"tint", "d3d32", "", "blue", {"256"}, {"255"}, "takes 0..255"},
  };
  return cases;
}

// The table is played in this many parts, each its own test: a part is a
// few dozen runs of the tool, within a test's time on a busy machine.
constexpr int kEffectRangeParts = 4;

// Every value of every effect takes the settings that show the effect on
// the picture: at the edge of each rule, the first setting past it is
// refused (exit 2, nothing written, saying what the value takes with this
// 64 × 48 picture) and the last one inside draws a picture that is neither
// blank nor the picture as it was.
TEST_P(EffectRangeTest, SettingsThatLeaveThePictureBlankOrAsItWasAreRefused) {
  // The picture as it is, in each mode used below.
  std::map<std::string, std::vector<uint32_t>> same;
  for (const char* mode : {"dd32", "d3d32"}) {
    ASSERT_EQ(Run("image '" + in_ + "' '" + At("ref.png") + "' --mode " + mode).status, 0);
    same[mode] = Pixels(At("ref.png"));
  }
  const std::vector<EffectRangeCase>& cases = EffectRangeCases();
  for (size_t i = 0; i < cases.size(); ++i) {
    if (static_cast<int>(i % kEffectRangeParts) != GetParam()) continue;
    const EffectRangeCase& c = cases[i];
    const std::string head =
        std::string("effect ") + c.effect + " '" + in_ + "' '" + out_ + "' --mode " + c.mode + " " + c.others;
    for (const char* v : c.refused) {
      SCOPED_TRACE(head + " --" + c.value + " " + v);
      const ToolRun run = Run(head + " --" + c.value + " " + v);
      EXPECT_EQ(run.status, 2) << run.err;
      EXPECT_NE(run.err.find(std::string("--") + c.value + " " + v + " is out of range: with this 64x48 picture it " +
                             c.takes),
                std::string::npos)
          << run.err;
      EXPECT_FALSE(std::filesystem::exists(out_));
    }
    for (const char* v : c.shown) {
      SCOPED_TRACE(head + " --" + c.value + " " + v);
      const ToolRun run = Run(head + " --" + c.value + " " + v);
      ASSERT_EQ(run.status, 0) << run.err;
      const std::vector<uint32_t> px = Pixels(out_);
      EXPECT_TRUE(std::any_of(px.begin(), px.end(), [](uint32_t p) { return p != 0; })) << "blank";
      EXPECT_NE(px, same[c.mode]) << "the picture as it was";
      std::filesystem::remove(out_);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Part, EffectRangeTest, ::testing::Range(0, kEffectRangeParts));

TEST_F(EffectRangeTest, TheFadesEndsDefaultsAndWholeNumbersAreHeldToo) {
  // The fade's weight keeps its ends: the fade colour alone, the picture as
  // it is.
  for (const char* weight : {"0", "256"}) {
    SCOPED_TRACE(weight);
    EXPECT_EQ(Run("effect fade '" + in_ + "' '" + out_ + "' --mode dd32 --weight " + weight).status, 0);
    std::filesystem::remove(out_);
  }
  // A default is held to its rule too: a circle of a 2 × 2 picture has no
  // radius that shows it.
  const std::string tiny = folder_.Write("tiny.bmp", testbmp::AsString(testbmp::Rgb24(2, 2, {1, 2, 3, 4})));
  ToolRun run = Run("effect circle '" + tiny + "' '" + out_ + "' --mode dd32");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--radius 0 (its default) is out of range: with this 2x2 picture it takes no value"),
            std::string::npos)
      << run.err;
  // The effects take whole numbers but for the wave's amplitude.
  run = Run("effect circle '" + in_ + "' '" + out_ + "' --mode dd32 --radius 2.5");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--radius takes a whole number, not 2.5"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(out_));
}

}  // namespace

// pelmora-tool, run as a process, given what it cannot use: an input that is
// not a file (a named pipe, a device, a folder, nothing), a font file
// FreeType cannot draw with, a dd8 palette without a colour table, a picture
// too small for an effect, a data file whose version word is no version, a
// statement with words the game reads otherwise than meant, a number that is
// not plain decimal. Each run says why, with its exit status, and writes
// nothing. A run that waits for ever (a pipe opened for reading) is killed
// after a hang's time and fails its case.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "support/bmp_writer.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;
  bool hung = false;
  std::string out, err;
};

constexpr const char* kFont = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

class ToolInputsTest : public ::testing::Test {
 protected:
  Ran Run(std::vector<std::string> args) {
    GameProcess tool({PELMORA_TOOL, folder_.Path(), std::move(args), {}, At("stdout.txt"), At("stderr.txt")});
    Ran ran;
    if (!tool.Started()) return ran;
    ran.status = tool.Wait();  // -1 after a hang's time: the process is then killed
    ran.hung = ran.status == -1;
    ran.out = tool.Out();
    ran.err = tool.Err();
    return ran;
  }
  std::string At(const std::string& name) const { return folder_ / name; }
  std::string Picture(const std::string& name, int w, int h) const {
    std::vector<uint32_t> rgb;
    for (int i = 0; i < w * h; ++i) rgb.push_back(0x102030u * static_cast<uint32_t>(i % 7 + 1));
    return folder_.Write(name, testbmp::AsString(testbmp::Rgb24(w, h, rgb)));
  }
  std::string EightBitPicture(const std::string& name) const {
    std::vector<uint32_t> table(256, 0);
    for (uint32_t i = 0; i < 256; ++i) table[i] = i << 16 | (255 - i);
    return folder_.Write(name, testbmp::AsString(testbmp::Indexed8(4, 2, table, {1, 2, 3, 4, 5, 6, 7, 8})));
  }

  TempFolder folder_{"toolinputs"};
};

// Every file a command reads is checked before it is opened: a named pipe
// (which would keep the command waiting for ever), a device, a folder or a
// path with nothing there is refused with exit 1, saying which, and no file
// is written. The same commands with real files in those places are run by
// the other tool tests.
TEST_F(ToolInputsTest, AnInputThatIsNotAFileIsRefusedBeforeItIsOpened) {
  const std::string picture = EightBitPicture("pic.bmp");
  const std::string out = At("out.png");
  struct NotAFile {
    std::string path, why;
  };
  const std::string pipe = At("pipe.bmp");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  fs::create_directory(At("folder.bmp"));
  const NotAFile inputs[] = {{pipe, "not a file: it is a named pipe"},
                             {"/dev/zero", "not a file: it is a device"},
                             {At("folder.bmp"), "not a file: it is a folder"},
                             {At("missing.bmp"), "no such file"}};
  struct Case {
    const char* name;
    std::function<std::vector<std::string>(const std::string& input)> args;
    std::function<std::string(const std::string& input, const std::string& why)> told;
  };
  const auto plain = [](const std::string& input, const std::string& why) { return input + ": " + why; };
  const Case cases[] = {
      {"image IN", [&](const std::string& in) { return std::vector<std::string>{"image", in, out, "--mode", "dd32"}; },
       [](const std::string& in, const std::string& why) { return in + " の読み込みに失敗！ (" + why + ")"; }},
      {"image --palette",
       [&](const std::string& in) {
         return std::vector<std::string>{"image", picture, out, "--mode", "dd8", "--palette", in};
       },
       [](const std::string& in, const std::string& why) { return "image: no palette in " + in + " (" + why + ")"; }},
      {"effect IN",
       [&](const std::string& in) { return std::vector<std::string>{"effect", "mosaic", in, out, "--mode", "dd32"}; },
       [](const std::string& in, const std::string& why) { return "effect: " + in + " cannot be read (" + why + ")"; }},
      {"effect --palette",
       [&](const std::string& in) {
         return std::vector<std::string>{"effect", "mosaic", picture, out, "--mode", "dd16", "--palette", in};
       },
       [](const std::string& in, const std::string& why) { return "effect: no palette in " + in + " (" + why + ")"; }},
      {"effect --blend-table",
       [&](const std::string& in) {
         return std::vector<std::string>{"effect", "translucent", picture, out, "--mode", "dd8", "--blend-table", in};
       },
       [](const std::string& in, const std::string& why) { return "effect: " + in + " cannot be read (" + why + ")"; }},
      {"render-audio IN",
       [&](const std::string& in) { return std::vector<std::string>{"render-audio", in, At("out.wav")}; },
       [](const std::string& in, const std::string& why) {
         return "render-audio: cannot read " + in + " (" + why + ")";
       }},
      {"text --palette",
       [&](const std::string& in) {
         return std::vector<std::string>{
             "text", "0", "abc", out, "--mode", "dd8", "--font-file", kFont, "--palette", in};
       },
       [](const std::string& in, const std::string& why) {
         return "text: cannot read the palette " + in + " (" + why + ")";
       }},
      {"text --font-file",
       [&](const std::string& in) {
         return std::vector<std::string>{"text", "0", "abc", out, "--mode", "dd32", "--font-file", in};
       },
       [](const std::string& in, const std::string& why) { return "text: --font-file " + in + ": " + why; }},
      {"play --input",
       [&](const std::string& in) {
         return std::vector<std::string>{"play", At("project"), "--frames", "1", "--input", in, "--trace", out};
       },
       [](const std::string& in, const std::string& why) {
         return "play: cannot read the input file " + in + " (" + why + ")";
       }},
      {"check", [&](const std::string& in) { return std::vector<std::string>{"check", in, "--kind", "blendtable"}; },
       plain},
      {"dump", [&](const std::string& in) { return std::vector<std::string>{"dump", in, "--kind", "system"}; }, plain},
      {"resave",
       [&](const std::string& in) { return std::vector<std::string>{"resave", in, At("out.dat"), "--kind", "system"}; },
       plain},
  };
  for (const Case& c : cases)
    for (const NotAFile& input : inputs) {
      SCOPED_TRACE(std::string(c.name) + " " + input.path);
      const Ran ran = Run(c.args(input.path));
      ASSERT_FALSE(ran.hung) << "the run waited on " << input.path;
      EXPECT_EQ(ran.status, 1) << ran.err;
      EXPECT_NE(ran.err.find(c.told(input.path, input.why)), std::string::npos) << ran.err;
      EXPECT_EQ(ran.out, "");
      EXPECT_FALSE(fs::exists(out));
      EXPECT_FALSE(fs::exists(At("out.wav")));
      EXPECT_FALSE(fs::exists(At("out.dat")));
    }
}

// A regular file that still cannot be taken in whole is named with the
// reason: one past the size the command reads (a sparse file, so nothing
// that large is written), one the user may not read (not for root, who
// reads every file).
TEST_F(ToolInputsTest, AFileThatCannotBeReadIsNamedWithTheReason) {
  const std::string big = folder_.Write("big.txt", "");
  ASSERT_EQ(truncate(big.c_str(), (64 << 20) + 1), 0);
  const std::string locked = folder_.Write("locked.txt", "1 A\n");
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  struct Case {
    std::string file, why;
    bool forRoot;
  };
  const Case cases[] = {{big, "larger than the 67108864 bytes this command reads", true},
                        {locked, "Permission denied", false}};
  for (const Case& c : cases) {
    if (!c.forRoot && geteuid() == 0) continue;
    SCOPED_TRACE(c.file);
    const Ran ran = Run({"play", At("project"), "--frames", "1", "--input", c.file, "--trace", At("trace.txt")});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find("play: cannot read the input file " + c.file + " (" + c.why + ")"), std::string::npos)
        << ran.err;
    EXPECT_FALSE(fs::exists(At("trace.txt")));
  }
}

// The project files read before a stage (its database, its common
// palette) are checked as the command's own input is: one that is a named
// pipe is refused before it is opened, naming it.
TEST_F(ToolInputsTest, AProjectFileThatIsNotAFileIsRefusedBeforeItIsOpened) {
  const std::string project = At("project");
  ASSERT_EQ(Run({"make-demo", project}).status, 0);
  const std::string stage = project + "/data/stg4/c01-1.stg4_001";
  ASSERT_EQ(Run({"check", stage}).status, 0);
  struct Case {
    std::string file, told;
  };
  const Case cases[] = {
      {project + "/data/database/Anime.dat",
       project + "/data/database/Anime.dat: the project database does not load: not a file: it is a named pipe"},
      {project + "/data/CommonPalette.cplt4", "cannot be read (not a file: it is a named pipe)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fs::rename(c.file, c.file + ".kept");
    ASSERT_EQ(mkfifo(c.file.c_str(), 0600), 0);
    const Ran ran = Run({"check", stage});
    fs::remove(c.file);
    fs::rename(c.file + ".kept", c.file);
    ASSERT_FALSE(ran.hung) << "the run waited on " << c.file;
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find(c.told), std::string::npos) << ran.err;
    EXPECT_EQ(ran.out, "");
  }
}

// A --font-file the text cannot be drawn with is named with the reason:
// nothing there, a folder, an empty file, a text, a font cut short. Exit
// 1, no picture. The whole font draws.
TEST_F(ToolInputsTest, AFontFileThatCannotBeUsedIsNamedWithTheReason) {
  fs::create_directory(At("fonts"));
  const std::string font = Slurp(kFont);
  ASSERT_GT(font.size(), 4096u);
  struct Case {
    std::string file, why;
  };
  const Case cases[] = {
      {At("none.ttf"), "no such file"},
      {At("fonts"), "not a file: it is a folder"},
      {folder_.Write("empty.ttf", ""), "the file is empty"},
      {folder_.Write("notes.ttf", "not a font at all\n"), "not a font file FreeType can read"},
      {folder_.Write("cut.ttf", font.substr(0, 4096)), "not a font file FreeType can read"},
  };
  const std::string out = At("t.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Ran ran = Run({"text", "1", "漢字Ab", out, "--mode", "dd32", "--font-file", c.file});
    ASSERT_FALSE(ran.hung);
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find("text: --font-file " + c.file + ": " + c.why + "\n"), std::string::npos) << ran.err;
    EXPECT_EQ(ran.err.find("no usable font file"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(out));
  }
  const std::string whole = folder_.Write("whole.ttf", font);
  const Ran ran = Run({"text", "1", "漢字Ab", out, "--mode", "dd32", "--font-file", whole});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_TRUE(fs::exists(out));
}

// In dd8 the effect takes its colours from an 8-bit picture's colour table
// only, as image does: a --palette without one (24 bits, 4 bits with a
// table of 16) or one that does not load is refused (exit 1, nothing
// written) rather than passed over. An 8-bit palette is taken; the deeper
// modes read a picture without a table by its colour grid.
TEST_F(ToolInputsTest, AnEffectInDd8RefusesAPaletteWithoutAColourTable) {
  const std::string picture = Picture("in.bmp", 8, 8);
  const std::string rgb = Picture("rgb.bmp", 16, 24);
  testbmp::Spec four;
  four.width = 2, four.height = 1, four.bpp = 4, four.clrUsed = 16;
  four.palette = std::vector<uint32_t>(16, 0xFF0000u);
  const std::string fourBit = folder_.Write("four.bmp", testbmp::AsString(testbmp::Build(four, {1, 2}, 0)));
  const std::string broken = folder_.Write("broken.bmp", "BM not a picture");
  const std::string out = At("o.png");
  struct Case {
    std::string palette, why;
  };
  const Case cases[] = {
      {rgb, "the dd8 mode takes its colours from an 8-bit picture's colour table"},
      {fourBit, "the dd8 mode takes its colours from an 8-bit picture's colour table"},
      {broken, ""},  // the loader's reason
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.palette);
    const Ran ran = Run({"effect", "mosaic", picture, out, "--mode", "dd8", "--size", "2", "--palette", c.palette});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_NE(ran.err.find("effect: no palette in " + c.palette + " (" + c.why), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(out));
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--mode", "dd8", "--palette", EightBitPicture("eight.bmp")},
        std::vector<std::string>{"--mode", "dd32", "--palette", rgb}}) {
    SCOPED_TRACE(args[1] + " " + args[3]);
    std::vector<std::string> words = {"effect", "mosaic", picture, out, "--size", "2"};
    words.insert(words.end(), args.begin(), args.end());
    const Ran ran = Run(words);
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(fs::exists(out));
    fs::remove(out);
  }
}

// A picture too small for any setting of an effect's value is said to be
// too small for the effect (exit 2, nothing written), not given a range
// with nothing in it. A value is quoted back as it was typed, a large one
// in full.
TEST_F(ToolInputsTest, APictureTooSmallForAnEffectSaysSoAndValuesAreQuotedAsTyped) {
  const std::string dot = Picture("dot.bmp", 1, 1), tiny = Picture("tiny.bmp", 2, 2), big = Picture("big.bmp", 64, 48);
  const std::string out = At("o.png");
  struct Case {
    std::vector<std::string> args;
    std::string told;
    bool tooSmall;
  };
  const Case cases[] = {
      {{"burst", dot},
       "effect: burst --offset 16 (its default) is out of range: with this 1x1 picture it takes no value: the picture "
       "is too small for the burst effect",
       true},
      {{"burst", dot, "--offset", "1"},
       "effect: burst --offset 1 is out of range: with this 1x1 picture it takes no value: the picture is too small "
       "for the burst effect",
       true},
      {{"translucent", dot}, "the picture is too small for the translucent effect", true},
      {{"circle", tiny}, "with this 2x2 picture it takes no value: the picture is too small for the circle effect",
       true},
      {{"burst", big, "--offset", "0"},
       "effect: burst --offset 0 is out of range: with this 64x48 picture it takes -47..23 but 0", false},
      {{"lens", big, "--depth", "2147483647"},
       "effect: lens --depth 2147483647 is out of range: with this 64x48 picture it takes 0..127", false},
      {{"stretch", big, "--sx", "-2147483647"}, "effect: stretch --sx -2147483647 is out of range", false},
      {{"wave", big, "--amplitude", "0.25"}, "effect: wave --amplitude 0.25 is out of range", false},
      {{"circle", big, "--radius", "2.0"}, "effect: circle --radius takes a whole number, not 2.0", false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words = {"effect", c.args[0], c.args[1], out, "--mode", "dd32"};
    words.insert(words.end(), c.args.begin() + 2, c.args.end());
    SCOPED_TRACE(c.args[0] + " " + c.args[1] + (c.args.size() > 2 ? " " + c.args[2] + " " + c.args[3] : ""));
    const Ran ran = Run(words);
    EXPECT_EQ(ran.status, 2) << ran.err;
    EXPECT_NE(ran.err.find(c.told), std::string::npos) << ran.err;
    EXPECT_EQ(ran.err.find("too small") != std::string::npos, c.tooSmall) << ran.err;
    EXPECT_EQ(ran.err.find("e+"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

// A data file's first word is its version. A word no newer program could
// have written (above 9999: text, another kind of file, a negative word) is
// said to be damage or another kind of file; a version above this
// program's (873) up to 9999 is a newer version's file. check, dump and
// resave say the same (exit 1, nothing printed or written).
TEST_F(ToolInputsTest, AVersionWordThatIsNoVersionIsToldFromANewerVersion) {
  const auto word = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)} + std::string(64, '\x01');
  };
  struct Case {
    std::string bytes;
    std::string told;  // after "KIND file" or "newer version"
    bool newer;
  };
  const Case cases[] = {
      {"garbage data, not a data file at all", "its first word (1651663207) is no data version", false},
      {word(static_cast<uint32_t>(-5)), "its first word (4294967291) is no data version", false},
      {word(0xFFFFFFFFu), "its first word (4294967295) is no data version", false},
      {word(10000), "its first word (10000) is no data version (this program reads versions up to 873)", false},
      {word(9999), "(9999) than this program reads (873)", true},
      {word(874), "(874) than this program reads (873)", true},
  };
  // The kinds read after a project's database are resaved only with one.
  const std::string project = At("project");
  WriteDefaultProject(project);
  for (const char* kind : {"system", "stage", "replay", "option"}) {
    const std::string article = kind[0] == 'o' ? "an " : "a ";
    for (const Case& c : cases) {
      const std::string file = folder_.Write("data.bin", c.bytes);
      const std::string told =
          c.newer ? "written by a newer version " + c.told : "damaged, or not " + article + kind + " file: " + c.told;
      std::vector<std::vector<std::string>> runs = {{"check", file, "--kind", kind}, {"dump", file, "--kind", kind}};
      runs.push_back({"resave", file, At("copy.bin"), "--kind", kind, "--project", project});
      for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args[0] + " " + kind + " " + c.told);
        const Ran ran = Run(args);
        EXPECT_EQ(ran.status, 1) << ran.err;
        EXPECT_NE(ran.err.find(file + ": " + told), std::string::npos) << ran.err;
        EXPECT_EQ(ran.err.find(c.newer ? "damaged" : "newer"), std::string::npos) << ran.err;
        EXPECT_EQ(ran.out, "");
        EXPECT_FALSE(fs::exists(At("copy.bin")));
      }
    }
  }
}

// A statement runs as the game runs it, and what the game reads otherwise
// than it was likely meant is warned of on the standard error: a word that
// is neither a number nor a name (read as the number it starts with, 0 when
// none), a word whose part before the dot names no object (read as the part
// after it), two values with no operator between them (one left over),
// inside groups and rand's arguments too. The exit status stays the
// statement's: 0 when it ran, 1 after an error.
TEST_F(ToolInputsTest, ExprWarnsOfWordsItReadsAsNumbersAndOfValuesLeftOver) {
  struct Case {
    const char* code;
    int status;
    const char* out;
    const char* warning;  // "" for none: nothing on the standard error
  };
  const Case cases[] = {
      {"C1 = foo", 0, "nothing changed (the statement's value: 0)",
       "\"foo\" is neither a number nor a name the statement knows: it is read as 0"},
      {"C1 = ５", 0, "nothing changed", "\"５\" is neither a number nor a name the statement knows: it is read as 0"},
      {"C1 = @@@", 0, "nothing changed", "\"@@@\" is neither a number nor a name"},
      {"C1 = 12abc", 0, "C1=12\n", "\"12abc\" is neither a number nor a name the statement knows: it is read as 12"},
      {"C1 = my.foo", 0, "nothing changed", "\"my.foo\" is neither a number nor a name"},
      {"C1 = 5 5", 0, "C1=5\n", "\"5 5\": two values with no operator between them: one of them is left over"},
      {"C1 = 2 3 + 4", 0, "C1=2\n", "\"2 3\": two values with no operator between them"},
      {"C1 = 1.5", 0, "C1=5\n",
       "\"1.5\": \"1\" names no object (my, tg, tg1..tg4, pl, sys): the word is read as \"5\""},
      {"C1 = (foo) + 1", 0, "C1=1\n", "\"foo\" is neither a number nor a name"},
      {"C1 = rand(7, x)", 0, "C1=", "\"x\" is neither a number nor a name"},
      // rand's arguments split at its own commas, never at those of a group
      // or call nested in an argument.
      {"C1 = rand(rand(1, 2), x)", 0, "C1=", "\"x\" is neither a number nor a name"},
      {"C1 = rand(1, rand(2, x))", 0, "C1=", "\"x\" is neither a number nor a name"},
      {"C1 = rand((rand(1, 2)), x)", 0, "C1=", "\"x\" is neither a number nor a name"},
      {"C1 = rand(rand(1, (2)), x)", 0, "C1=", "\"x\" is neither a number nor a name"},
      {"C1 = rand(rand(1, 2), rand(3, 4), x)", 1, "error: ", ""},  // three arguments: nothing is read
      {"C1 = 1(2)x", 0, "C1=12\n", "\"1[...]x\" is neither a number nor a name the statement knows: it is read as "
                                  "the number it starts with"},
      {"C1 = 5 / foo", 1, "error: ", "\"foo\" is neither a number nor a name"},
      // Numbers and names as the language writes them: no warning.
      {"C1 = -5", 0, "C1=-5\n", ""},
      {"C1 = +5", 0, "C1=5\n", ""},
      {"C1 = my.hp + mhp", 0, "C1=", ""},
      {"C1 = C(2) + S0", 0, "nothing changed", ""},
      {"C1 = 3 * (2 + 1)", 0, "C1=9\n", ""},
      {"my.v1 = rand(-4, -4)", 0, "my.v1=-4\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const Ran ran = Run({"expr", c.code});
    EXPECT_EQ(ran.status, c.status) << ran.out << ran.err;
    EXPECT_NE(ran.out.find(c.out), std::string::npos) << ran.out;
    if (c.warning[0] == '\0') {
      EXPECT_EQ(ran.err, "");
    } else {
      EXPECT_NE(ran.err.find(std::string("pelmora-tool expr: ") + c.warning), std::string::npos) << ran.err;
    }
  }
}

// A number is an optional "-", digits, and for a value that takes fractions
// a "." and digits: no "+", no exponent, no point without digits on both
// sides, and no point at all in a whole number. Every command that reads
// numbers reads them so (exit 2, nothing written); what they take is taken.
TEST_F(ToolInputsTest, ANumberIsMinusDigitsAndAFractionOnly) {
  const std::string picture = Picture("in.bmp", 64, 48);
  const std::string png = At("n.png"), wav = At("n.wav");
  const std::vector<std::string> effect = {"effect", "wave", picture, png, "--mode", "dd32"};
  const auto with = [](std::vector<std::string> words, std::initializer_list<std::string> more) {
    words.insert(words.end(), more);
    return words;
  };
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // "" for a number taken
  };
  const Case cases[] = {
      {with(effect, {"--amplitude", "1e1"}), 2, "effect: --amplitude 1e1 is not a number"},
      {with(effect, {"--amplitude", "+5"}), 2, "effect: --amplitude +5 is not a number"},
      {with(effect, {"--amplitude", ".5"}), 2, "--amplitude .5 is not a number"},
      {with(effect, {"--amplitude", "5."}), 2, "--amplitude 5. is not a number"},
      {with(effect, {"--amplitude", "-"}), 2, "--amplitude - is not a number"},
      {with(effect, {"--amplitude", "1" + std::string(400, '0')}), 2, "is out of range"},
      {with(effect, {"--amplitude", "-2.5"}), 0, ""},
      {with(effect, {"--amplitude", "12"}), 0, ""},
      {{"text", "+1", "abc", png, "--mode", "dd32"}, 2, "text: FONT_SETTING +1 is not a number"},
      {{"text", "1.0", "abc", png, "--mode", "dd32"}, 2, "text: FONT_SETTING 1.0 is not a whole number"},
      {{"text", "0", "abc", png, "--mode", "dd32", "--glyph-mode", "1e0"}, 2, "--glyph-mode 1e0 is not a number"},
      {{"render-audio", At("none.wav"), wav, "--seconds", "+5"}, 2, "render-audio: --seconds +5 is not a number"},
      {{"render-audio", At("none.wav"), wav, "--seconds", "1e1"}, 2, "--seconds 1e1 is not a number"},
      {{"render-audio", At("none.wav"), wav, "--seconds", "2.5"}, 1, ""},  // taken: then the file is missing
      {{"expr", "C2 = C1", "--set", "C1=1e3"}, 2, "pelmora-tool expr: --set C1=1e3 is not a number"},
      {{"expr", "C2 = C1", "--set", "C1=+5"}, 2, "--set C1=+5 is not a number"},
      {{"expr", "C2 = C1", "--set", "C1=-5"}, 0, ""},
      {{"play", At("none"), "--frames", "1e3"}, 2, "play: --frames 1e3 is not a number"},
      {{"play", At("none"), "--frames", "+5"}, 2, "--frames +5 is not a number"},
      {{"play", At("none"), "--frames", "5"}, 1, ""},  // taken: then there is no game there
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.args) line += w.substr(0, 40) + " ";
    SCOPED_TRACE(line);
    const Ran ran = Run(c.args);
    EXPECT_EQ(ran.status, c.status) << ran.err;
    if (c.err.empty()) {
      EXPECT_EQ(ran.err.find("not a number"), std::string::npos) << ran.err;
      EXPECT_EQ(ran.err.find("not a whole number"), std::string::npos) << ran.err;
    } else {
      EXPECT_NE(ran.err.find(c.err), std::string::npos) << ran.err;
    }
    if (c.status != 0) {
      EXPECT_FALSE(fs::exists(png));
    }
    fs::remove(png);
  }
  EXPECT_FALSE(fs::exists(wav));
}

}  // namespace

// A command whose output is another kind of file than what it reads never
// writes it over a file it reads: image, effect, text, render-audio (OUT
// over IN, --palette, --blend-table or --font-file, by the same name, a
// link or a second hard link) and resave (OUT over a project file read
// before IN). Each is a usage error (exit 2) naming both, and nothing is
// written. resave writes IN over itself, as the runtime stores it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_run.h"
#include "support/audio_fixtures.h"
#include "support/bmp_writer.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFont = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

TEST(ToolOutputClashTest, AnOutputOverAFileTheCommandReadsIsRefusedNamingBoth) {
  TempFolder folder("toolclash");
  ASSERT_EQ(MakeDemoProject(folder, folder / "project"), "");
  std::vector<uint32_t> colours(256, 0);
  colours[1] = 0x00FF00u;
  const std::string picture =
      folder.Write("in.bmp", testbmp::AsString(testbmp::Indexed8(16, 16, colours, std::vector<uint32_t>(256, 1))));
  const std::string table = folder.Write("table.dat", std::string(65536, '\x01'));
  const std::string sound =
      folder.Write("in.wav", fixtures::WavePcm16(2, 44100, std::vector<int16_t>(2 * 4410, 1000)));
  const std::string font = folder.Write("font.ttf", Slurp(kFont));
  fs::create_symlink(picture, folder / "picture-link.png");
  fs::create_hard_link(sound, folder / "sound-hard.wav");
  const std::string database = folder / "project/data/database/Anime.dat";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string told;
  };
  const Case cases[] = {
      {"image OUT as IN", {"image", "in.bmp", "in.bmp", "--mode", "dd32"}, "image: OUT in.bmp and IN in.bmp"},
      {"image OUT through a link to IN",
       {"image", "in.bmp", "picture-link.png", "--mode", "dd32"},
       "image: OUT picture-link.png and IN in.bmp"},
      {"image OUT as --palette",
       {"image", "in.bmp", "table.dat", "--mode", "dd8", "--palette", "table.dat"},
       "image: OUT table.dat and --palette table.dat"},
      {"effect OUT as IN",
       {"effect", "mosaic", "in.bmp", "./in.bmp", "--mode", "dd32", "--size", "2"},
       "effect: OUT ./in.bmp and IN in.bmp"},
      {"effect OUT as --blend-table",
       {"effect", "translucent", "in.bmp", "table.dat", "--mode", "dd8", "--blend-table", "table.dat"},
       "effect: OUT table.dat and --blend-table table.dat"},
      {"text OUT as --font-file",
       {"text", "0", "abc", "font.ttf", "--mode", "dd32", "--font-file", "font.ttf"},
       "text: OUT font.ttf and --font-file font.ttf"},
      {"text OUT as --palette",
       {"text", "0", "abc", "in.bmp", "--mode", "dd8", "--font-file", kFont, "--palette", "in.bmp"},
       "text: OUT in.bmp and --palette in.bmp"},
      {"render-audio OUT as IN", {"render-audio", "in.wav", "in.wav"}, "render-audio: OUT in.wav and IN in.wav"},
      {"render-audio OUT as a hard link of IN",
       {"render-audio", "in.wav", "sound-hard.wav"},
       "render-audio: OUT sound-hard.wav and IN in.wav"},
      {"resave OUT over the project's database",
       {"resave", "project/data/stg4/demo.stg4_1", database},
       "resave: OUT " + database + " and the project's file "},
  };
  const auto contents = [&] {
    std::vector<std::string> bytes;
    for (const std::string& file : {picture, table, sound, font, database}) bytes.push_back(Slurp(file));
    return bytes;
  };
  const std::vector<std::string> before = contents();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRunResult ran = RunToolIn(folder, c.args);
    EXPECT_EQ(ran.status, 2) << ran.err;
    EXPECT_EQ(ran.err.rfind(c.told, 0), 0u) << ran.err;
    EXPECT_NE(ran.err.find("name one file: an output never replaces a file the run reads\n"), std::string::npos)
        << ran.err;
    EXPECT_TRUE(contents() == before) << "a file the command reads was written";
  }
  // A data file rewritten over itself is no clash.
  const ToolRunResult ran =
      RunToolIn(folder, {"resave", "project/data/stg4/demo.stg4_1", "project/data/stg4/demo.stg4_1"});
  EXPECT_EQ(ran.status, 0) << ran.err;
}

}  // namespace

// The commands that write one file (resave, image, effect, text,
// render-audio) stopped by SIGTERM, SIGINT (Ctrl-C) or SIGHUP (its terminal
// closed) with their output's bytes in its temporary file, not yet in its
// place: each ends by that signal (128 + its number), says so, removes its
// temporary file, and the file that stood at OUT is as it was. The command
// is held at that point by PELMORA_TEST_HOLD_TOOL="filled 1", so that each
// signal lands where the test means it to.
#include <gtest/gtest.h>
#include <signal.h>

#include <set>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "app/stop_signal_defaults.h"
#include "support/audio_fixtures.h"
#include "support/bmp_writer.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

constexpr const char* kFont = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

class ToolStopTest : public ::testing::Test {
 protected:
  DefaultStopSignals defaults_;  // the runs start with the stop signals as a terminal gives them
  TempFolder folder_{"toolstop"};
};

TEST_F(ToolStopTest, ACommandStoppedWithItsOutputHalfMadeLeavesTheOutputAsItWas) {
  const std::string picture =
      folder_.Write("in.bmp", testbmp::AsString(testbmp::Rgb24(16, 16, std::vector<uint32_t>(256, 0x336699u))));
  const std::string table = folder_.Write("table.dat", std::string(65536, '\x01'));
  const std::string sound =
      folder_.Write("in.wav", fixtures::WavePcm16(2, 44100, std::vector<int16_t>(2 * 4410, 1000)));
  const std::string outputs = folder_ / "outputs", out = outputs + "/out.bin";
  struct Case {
    const char* command;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"resave", {"resave", table, out, "--kind", "blendtable"}},
      {"image", {"image", picture, out, "--mode", "dd32"}},
      {"effect", {"effect", "mosaic", picture, out, "--mode", "dd32", "--size", "2"}},
      {"text", {"text", "0", "abc", out, "--mode", "dd32", "--font-file", kFont}},
      {"render-audio", {"render-audio", sound, out}},
  };
  int runs = 0;
  for (const Case& c : cases) {
    for (const auto& [signal, name] :
         {std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGINT, "SIGINT"}, std::pair{SIGHUP, "SIGHUP"}}) {
      SCOPED_TRACE(std::string(c.command) + ", " + name);
      folder_.Write("outputs/out.bin", "the bytes that were there");
      const std::set<std::string> before = Entries(outputs);
      const std::string tag = std::to_string(runs++);  // each run's own: a run's start empties none of another's
      GameProcess run({PELMORA_TOOL, folder_.Path(), c.args, {"PELMORA_TEST_HOLD_TOOL=filled 1"},
                       folder_ / ("out" + tag), folder_ / ("err" + tag)});
      const std::string held = std::string(c.command) + ": held with file 1 filled";
      ASSERT_TRUE(WaitFor([&] { return run.Err().find(held) != std::string::npos || run.Ended(); })) << run.Err();
      ASSERT_NE(run.Err().find(held), std::string::npos) << run.Err();
      std::set<std::string> during = Entries(outputs);
      for (const std::string& entry : before) during.erase(entry);
      ASSERT_EQ(during.size(), 1u) << "the output's temporary file is there";
      EXPECT_EQ(during.begin()->rfind(".out.bin.~", 0), 0u) << *during.begin();

      run.Signal(signal);
      EXPECT_EQ(run.Wait(), 128 + signal) << run.Err();
      EXPECT_NE(run.Err().find(std::string(c.command) + ": stopped by " + name +
                               "; no file it had not finished is kept\n"),
                std::string::npos)
          << run.Err();
      EXPECT_EQ(Slurp(out), "the bytes that were there");
      EXPECT_EQ(Entries(outputs), before);
    }
  }
}

}  // namespace

// pelmora-tool resave of a file the game reads after its project's database
// (its records' references are checked against the database lists, and
// those outside them reset), run as a process on files copied away from the
// demo project: with no project to read, the file would be written with its
// references reset to fit a new project's database, so the resave is
// refused and nothing is written, not even over the file itself. The same
// files resave with their project, and the kinds that do not refer to the
// database resave alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_run.h"
#include "data/replay_file.h"
#include "data/stage_data.h"
#include "scene/play_record.h"
#include "support/game_data.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

using Ran = ToolRunResult;

class ToolResaveProjectTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteMinimalProject(Demo()); }
  Ran Run(std::vector<std::string> args) { return RunToolIn(folder_, std::move(args)); }
  std::string Demo() const { return folder_ / "demo"; }
  // A file of the demo project copied to a folder with no project above it.
  std::string Lone(const std::string& name, const std::string& bytes) const { return folder_.Write("lone/" + name, bytes); }

  TempFolder folder_{"resaveproject"};
};

// A play record with nothing kept, and a replay of the demo's first stage
// with no keys: files of the player's that hold character definitions.
std::string SaveSlotBytes() {
  ScopedGameData data;
  cSaveData record;
  record.Reset();
  return record.SaveToBytes();
}
std::string ReplayBytes(const std::string& stageFile) {
  ScopedGameData data;
  cStageData stage, settings;
  EXPECT_TRUE(stage.LoadFromBytes(Slurp(stageFile)));
  settings.LoadFromBytes(Slurp(stageFile));
  cKeyLog log;
  cSaveData snapshot;
  snapshot.Reset();
  return MakeReplayBytes(log, stage, settings, snapshot);
}

// Each kind the game reads after the database: the demo's system data (whose
// screen music 1 and 2, tune 2 of the demo's list, a new project's list of
// two would reset to 0), its common palette and a stage, a save slot, the
// challenge record and a replay. Alone, resave IN OUT exits 1 naming the
// file and why, and writes no OUT; resave IN IN leaves IN as it was. With
// --project naming the demo, the same resave writes what it read.
TEST_F(ToolResaveProjectTest, AFileReadAfterTheDatabaseIsNotResavedWithoutItsProject) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"System.dat", Slurp(Demo() + "/data/System.dat")},
      {"CommonPalette.cplt4", Slurp(Demo() + "/data/CommonPalette.cplt4")},
      {"c01-1.stg4_001", Slurp(Demo() + "/data/stg4/c01-1.stg4_001")},
      {"Story01.dat", SaveSlotBytes()},
      {"Challenge.dat", SaveSlotBytes()},
      {"c01-1__2024__01_02__03_04.rpl4_873", ReplayBytes(Demo() + "/data/stg4/c01-1.stg4_001")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    const std::string in = Lone(c.name, c.bytes);
    const std::string out = folder_ / "lone/out.bin";
    Ran ran = Run({"resave", in, out});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_EQ(ran.err, in + ": no project database found in the folders above it; name the project with --project "
                            "DIR (not written: its references would be reset to fit a new project's database)\n");
    EXPECT_FALSE(fs::exists(out));

    ran = Run({"resave", in, in});
    EXPECT_EQ(ran.status, 1) << ran.err;
    EXPECT_EQ(Slurp(in), c.bytes);

    ran = Run({"resave", in, out, "--project", Demo()});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(Slurp(out), c.bytes);
    fs::remove(out);
  }
}

// A kind that refers to nothing in the database (the world map) resaves
// alone, to the same bytes, without a word.
TEST_F(ToolResaveProjectTest, AFileThatDoesNotReferToTheDatabaseResavesAlone) {
  const std::string map = Lone("WorldMap.dat", Slurp(Demo() + "/data/WorldMap.dat"));
  const std::string out = folder_ / "lone/out.bin";
  const Ran ran = Run({"resave", map, out});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.err, "");
  EXPECT_EQ(Slurp(out), Slurp(map));
}

}  // namespace

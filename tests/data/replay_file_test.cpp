#include "data/replay_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

#include "data/save_slots.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "data/user_records.h"
#include "records_support.h"
#include "support/kill_while_writing.h"
#include "support/sandbox.h"

namespace {

using records_test::Bytes;

// Five frames: directions 1, 1, 1, 0, 0 and buttons 0, 1, 1, 1, 0.
cKeyLog FiveFrames() {
  cKeyLog log;
  log.m_nSeed = 0x12345678;
  const uint16_t directions[5] = {1, 1, 1, 0, 0}, buttons[5] = {0, 1, 1, 1, 0};
  for (int i = 0; i < 5; ++i) log.AddFrame(directions[i], buttons[i]);
  return log;
}

// The stage part of a replay as the stage writer makes it.
std::string StagePart(cStageData& stage, cStageData& settings) {
  cDataWriter out;
  stage.WriteForReplay(out, settings);
  return out.Bytes();
}

// The play record stands in as an option record (any record will do).
cOptionData Snapshot(int32_t palette) {
  cOptionData record;
  record.m_nPalette = palette;
  record.m_strRankingName = "rec";
  return record;
}

TEST(ReplayFileTest, KeyLogBytesAndPlayback) {
  Sandbox box;
  cKeyLog log = FiveFrames();
  cStageData stage, settings;
  cOptionData snapshot = Snapshot(3);
  ASSERT_TRUE(SaveReplay(log, "user_data\\rpl4\\a.rpl4_873", stage, settings, snapshot));
  const std::string keyLog = Bytes()
                                 .u32(1).u32(0x12345678).u32(0)            // the record: the seed
                                 .u32(2).u16(1).u16(0)                     // direction values
                                 .u32(3).u16(0).u16(1).u16(0)              // button values
                                 .u32(2).u32(3).u32(2)                     // direction runs
                                 .u32(3).u32(1).u32(3).u32(1)              // button runs
                                 .s();
  const std::string expected = Bytes().u32(873).s() + StagePart(stage, settings) + keyLog + snapshot.SaveToBytes().substr(4);
  EXPECT_EQ(box.Read("user_data/rpl4/a.rpl4_873"), expected);

  std::string played;
  uint16_t d = 99, b = 99;
  while (log.GetFrame(d, b) == 0) played += std::to_string(d) + std::to_string(b) + " ";
  EXPECT_EQ(played, "10 11 11 01 00 ");
  EXPECT_EQ(log.GetFrame(d, b), 1);
}

TEST(ReplayFileTest, LoadCommitsOnlyAWholeFile) {
  Sandbox box;
  cKeyLog log = FiveFrames();
  cStageData stage, settings;
  settings.Int(kStageWidth) = 20;  // a stage the game lays out (a check may be installed)
  settings.Int(kStageHeight) = 15;
  settings.m_strName = "played";  // the settings come from the master copy
  cOptionData snapshot = Snapshot(3);
  const std::string good = MakeReplayBytes(log, stage, settings, snapshot);

  cKeyLog loadedLog;
  cStageData loadedStage, running;
  cOptionData record = Snapshot(9);
  box.Write("r.rpl4_873", good);
  ASSERT_EQ(LoadReplay(loadedLog, "r.rpl4_873", loadedStage, running, record), ReplayLoad::kOk);
  EXPECT_EQ(loadedStage.m_strName, "played");
  EXPECT_EQ(running.m_strName, "played");
  EXPECT_TRUE(running.m_PlacedCharacters.empty());
  EXPECT_EQ(record.m_nPalette, 3);
  EXPECT_EQ(loadedLog.m_nSeed, 0x12345678u);
  EXPECT_EQ(loadedLog.FrameCount(), 5u);

  // The key log starts right after the stage part.
  const size_t at = 4 + StagePart(stage, settings).size();
  auto patched = [&](size_t offset, const std::string& bytes) {
    std::string s = good;
    s.replace(at + offset, bytes.size(), bytes);
    return s;
  };
  const struct {
    const char* what;
    std::string bytes;
    ReplayLoad result;
  } bad[] = {
      {"too new", patched(-at, Bytes().u32(874).s()), ReplayLoad::kTooNew},
      {"cut in the key log", good.substr(0, at + 20), ReplayLoad::kBroken},
      {"cut in the play record", good.substr(0, good.size() - 3), ReplayLoad::kBroken},
      {"direction count beyond the file", patched(12, Bytes().u32(0x7FFFFFFF).s()), ReplayLoad::kBroken},
      {"a run of zero frames", patched(34, Bytes().u32(0).s()), ReplayLoad::kBroken},
      {"words covering different frame counts", patched(38, Bytes().u32(3).s()), ReplayLoad::kBroken},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.what);
    box.Write("bad.rpl4_873", c.bytes);
    cKeyLog keep = FiveFrames();
    keep.m_nSeed = 7;
    cStageData keepStage, keepRunning;
    keepStage.m_strName = keepRunning.m_strName = "mine";
    cOptionData keepRecord = Snapshot(9);
    EXPECT_EQ(LoadReplay(keep, "bad.rpl4_873", keepStage, keepRunning, keepRecord), c.result);
    EXPECT_EQ(keep.m_nSeed, 7u);
    EXPECT_EQ(keepStage.m_strName, "mine");
    EXPECT_EQ(keepRunning.m_strName, "mine");
    EXPECT_EQ(keepRecord.m_nPalette, 9);
  }

  // A whole file whose stage the set-up check refuses is no replay to play
  // either: nothing changes, and the report log says why.
  const StageSetUpCheck previous = SetStageSetUpCheck(
      [](const cStageData& s) { return s.m_strName == "played" ? std::string("no room for it") : std::string(); });
  cKeyLog keep = FiveFrames();
  keep.m_nSeed = 7;
  cStageData keepStage, keepRunning;
  keepStage.m_strName = keepRunning.m_strName = "mine";
  cOptionData keepRecord = Snapshot(9);
  const ReplayLoad refused = LoadReplay(keep, "r.rpl4_873", keepStage, keepRunning, keepRecord);
  SetStageSetUpCheck(previous);
  EXPECT_EQ(refused, ReplayLoad::kBroken);
  EXPECT_EQ(std::tuple(keep.m_nSeed, keepStage.m_strName, keepRunning.m_strName, keepRecord.m_nPalette),
            std::tuple(7u, std::string("mine"), std::string("mine"), 9));
  EXPECT_NE(box.Report().find("r.rpl4_873 : the stage cannot be played: no room for it\n"), std::string::npos)
      << box.Report();
}

TEST(ReplayFileTest, NamesAreNumberedAndNeverReused) {
  Sandbox box;
  const cSaveTime time{2026, 3, 0, 9, 7, 5, 0, 0};
  EXPECT_EQ(MakeReplayBaseName("data\\stg4\\abc-1.stg4", 0, 0, 0, time),
            "user_data\\rpl4\\abc-1__2026__03_09__07_05.rpl4_873");
  EXPECT_EQ(MakeReplayBaseName("abc-1.stg4", 1, 7, 2, time), "user_data\\rpl4\\abc-1_c007_2__2026__03_09__07_05.rpl4_873");
  EXPECT_EQ(MakeReplayBaseName("", 0, 0, 0, time), "");
  // A stage named with "/" (the command line) loses its folders the same way.
  EXPECT_EQ(MakeReplayBaseName("data/stg4/abc-1.stg4_1", 0, 0, 0, time),
            "user_data\\rpl4\\abc-1__2026__03_09__07_05.rpl4_873");

  const std::string base = "user_data\\rpl4\\s__2026__03_09__07_05.rpl4_873";
  std::string name;
  ASSERT_TRUE(MakeNumberedName(base, name));
  EXPECT_EQ(name, base);
  box.Write("user_data/rpl4/s__2026__03_09__07_05.rpl4_873", "1");
  ASSERT_TRUE(MakeNumberedName(base, name));
  EXPECT_EQ(name, "user_data\\rpl4\\s__2026__03_09__07_05 (2).rpl4_873");
  ASSERT_TRUE(MakeReplayFileName(name, "data\\stg4\\s.stg4", 0, 0, 0, time));
  EXPECT_NE(name.find("s__2026__03_09__07_05 (2).rpl4_873"), std::string::npos);
  EXPECT_EQ(name.front(), '/');  // absolute
  for (int n = 2; n <= 999; ++n)
    box.Write("user_data/rpl4/s__2026__03_09__07_05 (" + std::to_string(n) + ").rpl4_873", "1");
  EXPECT_FALSE(MakeNumberedName(base, name));
  EXPECT_FALSE(MakeReplayFileName(name, "data\\stg4\\s.stg4", 0, 0, 0, time));
}

TEST(ReplayFileTest, AFailedSaveLeavesTheOldFileWhole) {
  Sandbox box;
  cStageData stage, settings;
  cOptionData snapshot = Snapshot(1);
  cKeyLog small = FiveFrames();
  ASSERT_TRUE(SaveReplay(small, "r.rpl4_873", stage, settings, snapshot));
  const std::string before = box.Read("r.rpl4_873");
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(before.size() + 100), static_cast<rlim_t>(before.size() + 100)};
    setrlimit(RLIMIT_FSIZE, &limit);
    cKeyLog big;
    for (int i = 0; i < 20000; ++i) big.AddFrame(static_cast<uint16_t>(i & 15), static_cast<uint16_t>(i & 3));
    _exit(SaveReplay(big, "r.rpl4_873", stage, settings, snapshot) ? 1 : 0);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(box.Read("r.rpl4_873"), before);
}

// A replay being saved when the program is killed is the old file or the
// new one, whole.
TEST(ReplayFileTest, AKilledSaveLeavesTheOldOrTheNewFileWhole) {
  Sandbox box;
  cStageData stage, settings;
  settings.Int(kStageWidth) = 20;  // a stage the game lays out (a check may be installed)
  settings.Int(kStageHeight) = 15;
  cOptionData snapshot = Snapshot(2);
  cKeyLog logs[2];
  for (int v = 0; v < 2; ++v)
    for (int i = 0; i < 60000 + v * 20000; ++i)
      logs[v].AddFrame(static_cast<uint16_t>((i / (3 + v)) & 15), static_cast<uint16_t>((i / (5 + v)) & 255));
  const std::string bytes[2] = {MakeReplayBytes(logs[0], stage, settings, snapshot),
                                MakeReplayBytes(logs[1], stage, settings, snapshot)};
  ASSERT_NE(bytes[0], bytes[1]);
  const std::string path = "user_data\\rpl4\\k.rpl4_873";
  ASSERT_TRUE(SaveReplay(logs[0], path, stage, settings, snapshot));
  KillWhileWriting(
      8, [&](int version) { SaveReplay(logs[version], path, stage, settings, snapshot); },
      [&](int round) {
        const std::string onDisk = box.Read("user_data/rpl4/k.rpl4_873");
        EXPECT_TRUE(onDisk == bytes[0] || onDisk == bytes[1]) << "round " << round << ": " << onDisk.size() << " bytes";
        cKeyLog log;
        cStageData loadedStage, running;
        cOptionData record;
        EXPECT_EQ(LoadReplay(log, path, loadedStage, running, record), ReplayLoad::kOk) << round;
      });
}

}  // namespace

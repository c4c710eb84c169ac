// Every stage file the data tests write (tests/data/project_writer.py: one
// stage in the layout of each data version, the stage with a value in
// every field, the oldest one and the refused ones) played as the game
// plays a stage named on the command line, with keys mashed for a few
// hundred frames, cleared twice on the way. The files put numbers near the
// ends of their ranges (HP, scores, times, counts): whatever they drive, the
// play record's sums stay within their 32-bit range, never wrapping below 0.
// In the sanitizer build this is where an undefined sum or an access past
// an end shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/keys.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "support/sandbox.h"
#include "support/stage_builder.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> StageFiles(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file() && entry.path().filename().string().find(".stg4") != std::string::npos)
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Waits (messages, game waits, extra lives) end at a decide: the decide key
// goes down and up on alternate frames of a wait, and no frame waits for
// the clock.
void MashDecide() {
  static bool down = false;
  down = !down;
  plat::SetKeyState('Z', down);
}

TEST(StageCorpus, EveryStageFileOfTheDataTestsPlaysMashedKeysWithinItsSums) {
  TempFolder folder("corpus");
  const std::string command = "python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py '" + folder.Path() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<std::string> files = StageFiles(folder.Path());
  ASSERT_GE(files.size(), 100u);

  constexpr int kFrames = 300;
  auto* savedPacer = cStageScene::s_pWaitPacer;
  cStageScene::s_pWaitPacer = MashDecide;
  size_t played = 0, cleared = 0;
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  for (const std::string& file : files) {
    SCOPED_TRACE(file.substr(folder.Path().size()));
    StageSession session(Slurp(file));
    if (!session.Loaded()) continue;
    ++played;
    cInput& input = InputRecords.At(0);
    cStageScene& scene = session.Scene();
    for (int frame = 0; frame < kFrames; ++frame) {
      // Twice the stage is cleared as a flow's stage-clear command clears
      // it: its results are added up, and the mashed decide leaves the
      // result screen for the same stage again.
      if ((frame == 60 || frame == 180) && scene.m_nMode == kStageModePlay) scene.m_nEndRequest = kEndClear;
      // Mostly one way at a time, with the buttons pressed and let go.
      const uint32_t r = next();
      input.m_wDirection = static_cast<uint16_t>((r & 7) < 5 ? 1u << (r & 3) : r & 15);
      input.m_wButtons = static_cast<uint16_t>((r >> 4) & 0xff);
      const bool inPlay = scene.m_nMode == kStageModePlay;
      session.Frames(1);
      cleared += inPlay && scene.m_nMode == kStageModeResult;
    }
    input.m_wDirection = input.m_wButtons = 0;
    plat::ClearKeyStates();
    // The result values and the play record's counters: sums of values that
    // are never below 0.
    for (const int32_t sum : {SaveData.m_nStagePoints, SaveData.m_nTimeLeftSum, SaveData.m_nClearTimeSum,
                              SaveData.m_nHpLeftSum, SaveData.m_nSpLeftSum, SaveData.m_nScore, SaveData.m_nLives})
      EXPECT_GE(sum, 0);
  }
  cStageScene::s_pWaitPacer = savedPacer;
  // All but the files the loader refuses (two without a hero, one broken),
  // each cleared at least once.
  EXPECT_GE(played, files.size() - 3);
  EXPECT_GE(cleared, played);
}

}  // namespace

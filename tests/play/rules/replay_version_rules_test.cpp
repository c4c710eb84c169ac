// Replays written by older versions keep the shot-direction reading of their
// time while they are played back; the version comes from the replay file.
#include <gtest/gtest.h>

#include "data/replay_file.h"
#include "play/objects/shot.h"
#include "scene/replay_recorder.h"
#include "scene/scene.h"

namespace {

struct ScopedPlayback {
  explicit ScopedPlayback(int32_t version) : action(SceneManager.m_nLastTitleAction) {
    if (version != 0) {
      SceneManager.m_nLastTitleAction = kTitleReplay;
      KeyLogRecord.m_nFileVersion = version;
    }
  }
  ~ScopedPlayback() {
    SceneManager.m_nLastTitleAction = action;
    KeyLogRecord.Reset();
  }
  int32_t action;
};

TEST(ReplayVersionRulesTest, ChoiceNineOfAShotDirectionByTheReplaysVersion) {
  // Facing right: the facing's direction is 3; choice 3 is 6 by the table,
  // choice 9 is 0 by the table.
  const struct {
    int32_t version;  // 0: not a playback
    int32_t flag;
    int32_t nine;     // choice 9
  } cases[] = {{0, 1, 0},   {0, 0, 3},   {873, 1, 0}, {873, 0, 3}, {780, 0, 3}, {779, 1, 3},
               {778, 1, 3}, {778, 0, 3}, {777, 0, 0}, {777, 1, 0}, {500, 0, 0}};
  for (const auto& c : cases) {
    ScopedPlayback playback(c.version);
    EXPECT_EQ(ConvertFacingToDirection(9, c.flag, 1), c.nine) << c.version << " flag " << c.flag;
    EXPECT_EQ(ConvertFacingToDirection(0, c.flag, 1), 3) << c.version;
    EXPECT_EQ(ConvertFacingToDirection(3, c.flag, 1), 6) << c.version;
  }
  // Outside playback a log's version plays no part.
  KeyLogRecord.m_nFileVersion = 777;
  EXPECT_EQ(ReplayPlaybackVersion(), 0);
  EXPECT_EQ(ConvertFacingToDirection(9, 0, 1), 3);
  KeyLogRecord.Reset();
  EXPECT_EQ(KeyLogRecord.m_nFileVersion, kDataVersion);
}

}  // namespace

// The demo is fair to a newcomer, watched through `pelmora-tool play` runs
// of its stages on their own: the heart heals, 1-1's ghost turret gives the
// hero time between its shots and its bat waits where a shot reaches it,
// 1-2's lifts never come down on a hero under or beside them, and the sky
// of 2-1 lets a hero who holds still get their bearings.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "platform/text.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

using trace::Number;
using trace::Objects;
using trace::Value;

// The hero's object in a trace line ("" when there is none).
std::string Hero(const std::string& line) {
  const std::vector<std::string> heroes = Objects(Value(line, "hero"));
  return heroes.empty() ? "" : heroes[0];
}

// The demo made afresh, its database and common palette loaded to name its
// types, and its stages played on their own with a key script.
class DemoFairnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo . > /dev/null").c_str()), 0);
    ASSERT_EQ(LoadDatabase(), 1);
    ASSERT_EQ(CommonPalette.LoadFromFile("data\\CommonPalette.cplt4"), 1);
  }
  // The trace's name ("def") of a common palette type of `list`.
  template <class List>
  static int Def(const List& list, const char* utf8) {
    const std::string name = plat::Sjis(utf8);
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i].m_strName == name) return 100000 + static_cast<int>(i);
    ADD_FAILURE() << "no type " << utf8;
    return -1;
  }
  static int Def(const char* character) { return Def(CommonPalette.m_Characters, character); }
  // The trace of `frames` frames of `stage` played alone with `keys`; a
  // trace of another length is a fatal failure (callers that read lines by
  // index wrap the call in ASSERT_NO_FATAL_FAILURE).
  std::vector<std::string> Play(const std::string& stage, uint32_t frames, const std::string& keys) {
    sandbox_.Write("keys.txt", keys);
    const std::string command = std::string(PELMORA_TOOL) + " play '" + sandbox_.Folder().Path() + "' 'data\\stg4\\" +
                                stage + "' --frames " + std::to_string(frames) + " --input '" + (sandbox_ / "keys.txt") +
                                "' --trace '" + (sandbox_ / "trace.jsonl") + "' > /dev/null 2> '" +
                                (sandbox_ / "errors.txt") + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sandbox_.Read("errors.txt");
    std::vector<std::string> lines = trace::Lines(sandbox_.Read("trace.jsonl"));
    AssertFrames(lines, frames);
    return lines;
  }
  static void AssertFrames(const std::vector<std::string>& lines, uint32_t frames) {
    ASSERT_EQ(lines.size(), frames) << "trace lines";
  }
  // The index of the first frame of play.
  static size_t PlayStart(const std::vector<std::string>& lines) {
    size_t i = 0;
    while (i < lines.size() && Value(lines[i], "mode") != "2") ++i;
    return i;
  }

  Sandbox sandbox_;
  ScopedGameData data_;
};

// Taken at HP 1, the heart gives a point back, with the power-up sound
// (sound 28) and its pop-up over the hero ("icon 2 1 0"). The showcase's
// hero warps onto the shooter, is hit twice, then walks on into the heart.
TEST_F(DemoFairnessTest, TheHeartTakenAtOneHpHealsAPointWithItsSoundAndPopUp) {
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play("demo.stg4_1", 320, "130-180 RIGHT\n190 B4\n230 B4\n300-320 RIGHT\n"));
  const std::string heart = "\"def\":" + std::to_string(Def(CommonPalette.m_Items, "ハート")) + ",";
  auto hearts = [&](const std::string& line) { return Value(line, "items").find(heart) != std::string::npos; };
  size_t taken = 1;
  while (taken < lines.size() && hearts(lines[taken])) ++taken;
  ASSERT_LT(taken, lines.size()) << "the heart was never taken";
  EXPECT_EQ(Number(Hero(lines[taken - 1]), "hp"), 1.0);
  EXPECT_EQ(Number(Hero(lines[taken]), "hp"), 2.0);
  EXPECT_NE(Value(lines[taken], "sounds").find("28"), std::string::npos) << Value(lines[taken], "sounds");
  EXPECT_NE(Value(lines[taken], "messages").find("\"icon 2 1 0\""), std::string::npos);
}

// 1-2's first lift hangs a block over the ground: a hero who walks under
// it, stops under it or stands beside it lives through four of its rounds.
TEST_F(DemoFairnessTest, TheTowersFirstLiftSparesAHeroUnderOrBesideIt) {
  struct Walk {
    const char* what;
    const char* keys;
    double fromX, toX;  // where the hero ends
  };
  // The lift's column: dots 576 to 671 of the map (the stage begins ten
  // blocks in); the hero is 16 dots wide.
  constexpr Walk kWalks[] = {{"walks right under it to the wall", "180-400 RIGHT\n", 900, 930},
                             {"stops under it", "180-250 RIGHT\n", 576 - 15, 671},
                             {"stands beside it", "180-226 RIGHT\n", 576 - 48, 576 - 16}};
  for (const Walk& walk : kWalks) {
    SCOPED_TRACE(walk.what);
    std::vector<std::string> lines;
    ASSERT_NO_FATAL_FAILURE(lines = Play("c01-2.stg4_001", 171 + 4 * 192, walk.keys));
    ASSERT_LT(PlayStart(lines), 200u);
    for (size_t i = PlayStart(lines); i < lines.size(); ++i) {
      const std::string hero = Hero(lines[i]);
      ASSERT_EQ(Number(hero, "dying"), 0.0) << "frame " << i + 1;
      ASSERT_EQ(Number(hero, "hp"), 3.0) << "frame " << i + 1;
    }
    const double x = Number(Hero(lines.back()), "x");
    EXPECT_GE(x, walk.fromX);
    EXPECT_LE(x, walk.toX);
  }
}

// No lift of 1-2 sweeps through a place where the hero stands on a block:
// over two of their rounds, the box each lift moves through (its cell at
// every place it was) leaves out the hero's body (16 by 24 dots) standing
// on top of any block, as far out over the block's sides as it can stand.
TEST_F(DemoFairnessTest, TheTowersLiftsNeverSweepWhereTheHeroCanStand) {
  cStageData stage;
  ASSERT_EQ(stage.LoadFromFile("data\\stg4\\c01-2.stg4_001"), 1);
  constexpr int kMargin = 10 * 32, kHeroWidth = 16, kHeroHeight = 24;
  std::set<std::pair<int, int>> blocks;
  for (size_t i = 0; i < stage.m_PlacedBlocks.size(); ++i)
    blocks.insert({stage.m_PlacedBlocks[i].m_nWord1, stage.m_PlacedBlocks[i].m_nWord2});

  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play("c01-2.stg4_001", 171 + 600, ""));
  // The hero stands where it was placed, on the block below.
  const cEdCharacter& placed = stage.m_PlacedCharacters[static_cast<size_t>(stage.FindHeroIndex())];
  EXPECT_EQ(std::trunc(Number(Hero(lines.back()), "y")) + kHeroHeight, kMargin + (placed.m_nWord2 + 1) * 32);

  struct Box {
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
  };
  std::map<double, Box> swept;  // by lift id
  const std::set<int> lifts = {Def("上下リフト"), Def("左右リフト")};
  for (size_t i = PlayStart(lines); i < lines.size(); ++i)
    for (const std::string& c : Objects(Value(lines[i], "chars"))) {
      if (!lifts.count(static_cast<int>(Number(c, "def")))) continue;
      Box& b = swept[Number(c, "id")];
      b.left = std::min(b.left, Number(c, "x")), b.right = std::max(b.right, Number(c, "x") + 31);
      b.top = std::min(b.top, Number(c, "y")), b.bottom = std::max(b.bottom, Number(c, "y") + 31);
    }
  ASSERT_EQ(swept.size(), 9u) << "three lifts up and down twice, three to and fro";
  for (const auto& [column, row] : blocks) {
    if (blocks.count({column, row - 1})) continue;  // no room on top
    const double left = kMargin + column * 32 - (kHeroWidth - 1), right = kMargin + column * 32 + 31 + (kHeroWidth - 1);
    const double top = kMargin + row * 32 - kHeroHeight, bottom = kMargin + row * 32 - 1;
    for (const auto& [id, b] : swept)
      EXPECT_FALSE(b.left <= right && b.right >= left && std::trunc(b.top) <= bottom && std::trunc(b.bottom) >= top)
          << "lift " << id << " sweeps (" << b.left << ", " << b.top << ")-(" << b.right << ", " << b.bottom
          << ") over the block at column " << column << ", row " << row;
  }
}

// 1-1's ghost turret fires every two seconds and a half: a hero walking
// under the coin blocks to the pillar stands in its range, behind the
// pillar that stops its shots, while it fires at least three times.
TEST_F(DemoFairnessTest, TheMeadowsGhostTurretFiresEveryTwoSecondsAndAHalf) {
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play("c01-1.stg4_001", 1500,
                                       "169-1000 RIGHT\n315-344 B1\n375-404 B1\n470 B2\n622-651 B1\n690 B2\n"
                                       "785-814 B1\n"));
  const int turret = Def("おばけ砲台");
  std::vector<size_t> fired;
  size_t shots = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::set<double> turrets;
    for (const std::string& c : Objects(Value(lines[i], "chars")))
      if (Number(c, "def") == turret) turrets.insert(Number(c, "id"));
    size_t now = 0;
    for (const std::string& s : Objects(Value(lines[i], "shots"))) now += turrets.count(Number(s, "owner"));
    if (now > shots) fired.push_back(i);
    shots = now;
  }
  ASSERT_GE(fired.size(), 3u);
  for (size_t k = 1; k < fired.size(); ++k) EXPECT_GE(fired[k] - fired[k - 1], 150u) << "shot " << k;
}

// 1-1's bat past the third pit waits at the hero's height: the hero's
// first shot, fired standing on the ground after the pit, beats it.
TEST_F(DemoFairnessTest, TheMeadowsBatFallsToAShotFromTheGround) {
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play("c01-1.stg4_001", 1220,
                                       "169-1200 RIGHT\n315-344 B1\n375-404 B1\n470 B2\n622-651 B1\n"
                                       "690 B2\n785-814 B1\n880-909 B1\n975-1004 B1\n1036 B2\n1050 B2\n"
                                       "1064 B2\n1120-1149 B1\n1174 B2\n"));
  // The bat's HP (NaN once it is gone).
  auto bat = [&, def = Def("やみコウモリ")](const std::string& line) {
    for (const std::string& c : Objects(Value(line, "chars")))
      if (Number(c, "def") == def) return Number(c, "hp");
    return std::nan("");
  };
  const size_t shot = 1173;  // frame 1174
  EXPECT_EQ(Number(Hero(lines[shot]), "vy"), 0.0) << "standing when it fires";
  EXPECT_EQ(bat(lines[shot]), 1.0) << "the bat waits until the shot";
  EXPECT_FALSE(bat(lines.back()) > 0) << "the bat is beaten";
  for (const std::string& line : lines) ASSERT_EQ(Number(Hero(line), "hp"), 3.0) << Value(line, "frame");
}

// 2-1 gives a hero who holds still ten seconds in the sky unharmed.
TEST_F(DemoFairnessTest, TheSkyLeavesAHeroWhoHoldsStillUnharmedForTenSeconds) {
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play("c02-1.stg4_001", 200 + 600, ""));
  const size_t start = PlayStart(lines);
  ASSERT_LT(start, 200u);
  for (size_t i = start; i < start + 600; ++i) ASSERT_EQ(Number(Hero(lines[i]), "hp"), 3.0) << "frame " << i + 1;
}

}  // namespace

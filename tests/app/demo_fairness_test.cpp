// The demo is fair to a newcomer, watched through `pelmora-tool play` runs
// of its stages on their own: the heart heals, 1-1's ghost turret gives the
// hero time between its shots and its bat waits where a shot reaches it,
// 1-2's lifts never come down on a hero under or beside them, never squeeze
// a rider and let him jump off onto their ledges, and its flag stands
// clear of the timer, the sky of 2-1 lets a hero who holds still get their
// bearings, and 3-1's master warns before it fires and fires shots a hero
// can see coming; a hit leaves the hero a moment's safety, blinking, and
// the signs stand behind him.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "data/world_map.h"
#include "front/world_map_model.h"
#include "platform/text.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "support/demo_routes.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/stage_builder.h"
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
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo --force . > /dev/null").c_str()), 0);
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
  // With `every` not 0, a picture of every so many frames goes to the
  // sandbox's "shots" folder.
  std::vector<std::string> Play(const std::string& stage, uint32_t frames, const std::string& keys, uint32_t every = 0) {
    sandbox_.Write("keys.txt", keys);
    std::string command = std::string(PELMORA_TOOL) + " play '" + sandbox_.Folder().Path() + "' 'data\\stg4\\" +
                          stage + "' --frames " + std::to_string(frames) + " --input '" + (sandbox_ / "keys.txt") +
                          "' --trace '" + (sandbox_ / "trace.jsonl") + "'";
    if (every != 0) command += " --shots '" + (sandbox_ / "shots") + "' --every " + std::to_string(every);
    command += " > /dev/null 2> '" + (sandbox_ / "errors.txt") + "'";
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
  // The lift's column: dots 704 to 799 of the map (the stage begins ten
  // blocks in); the hero is 16 dots wide and walks three dots a frame.
  constexpr Walk kWalks[] = {{"walks right under it to the wall", "180-400 RIGHT\n", 900, 930},
                             {"stops under it", "180-295 RIGHT\n", 704 - 15, 799},
                             {"stands beside it", "180-272 RIGHT\n", 704 - 48, 704 - 16}};
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

// ---- the master's hall ----

// A box of world dots, edges included.
struct Area {
  double left, top, right, bottom;
  bool Meets(const Area& o) const { return left <= o.right && right >= o.left && top <= o.bottom && bottom >= o.top; }
};
Area AreaOf(const cHitRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// The master of 3-1 gives warning and time: wherever a hero stands still
// in its hall, each of its volleys comes half a second to a second after a
// roar of its own (the warning the hall's sign names), and none of its shots reaches a
// place where a hero can stand (his hit box, standing on the top of any
// block with room over it, from as far out over the block's left side as
// he can stand to as far over its right, wherever his body is clear of the
// blocks) sooner than half a second after it was fired. On 3-1 as the demo
// writes it, the hero is put, as the stage starts, at every sixteenth dot
// of every such place, and the game's own frames run until the master has
// fired both volleys of its round and their shots are gone.
TEST_F(DemoFairnessTest, TheMastersVolleysComeAfterItsRoarAndGiveAStandingHeroHalfASecond) {
  constexpr int kMargin = 10 * 32;  // the stage begins ten blocks in
  constexpr int kWarning = 30, kFlight = 30;  // frames: half a second each
  constexpr int kVolleys = 2;  // one to each side of its sway
  cStageData hall;
  ASSERT_EQ(hall.LoadFromFile("data\\stg4\\c03-1.stg4_001"), 1);
  std::set<std::pair<int, int>> blocks;
  for (size_t i = 0; i < hall.m_PlacedBlocks.size(); ++i)
    blocks.insert({hall.m_PlacedBlocks[i].m_nWord1, hall.m_PlacedBlocks[i].m_nWord2});
  auto block = [&](int column, int row) { return blocks.count({column, row}) > 0; };
  const int heroIndex = hall.FindHeroIndex();
  ASSERT_GE(heroIndex, 0);
  // The hero placed at a cell, the stage's bytes.
  auto withHeroAt = [&](int column, int row) {
    cStageData placed = hall;
    placed.m_PlacedCharacters[static_cast<size_t>(heroIndex)].m_nWord1 = column;
    placed.m_PlacedCharacters[static_cast<size_t>(heroIndex)].m_nWord2 = row;
    return placed.SaveStageBytes();
  };
  // The roar's sound, as the running game numbers the database's sounds.
  int roar = -1;
  for (size_t i = 0; i < Database.m_Sounds.size(); ++i)
    if (Database.m_Sounds[i].m_strName == "wave\\roar.wav") roar = 16 + static_cast<int>(i);
  ASSERT_GE(roar, 0);

  StageFlowsInstalled flows;
  int width = 0, height = 0;
  cHitRect hit;  // the hero's hit box, placed
  {
    StageSession probe(hall.SaveStageBytes());
    ASSERT_TRUE(probe.Loaded());
    width = probe.Scene().Hero().m_nWidth, height = probe.Scene().Hero().m_nHeight;
    hit = probe.Scene().Hero().m_Hit2;
  }
  ASSERT_GT(hit.width, 0);
  ASSERT_GT(hit.height, 0);
  // The places a hero can stand, as runs of his left x along a block row's
  // tops: the hit boxes they cover, and where he is put.
  struct Place {
    int column, row;  // the cell he is placed in
    int x;            // his left
  };
  std::vector<Area> standing;
  std::vector<Place> places;
  for (int row = 1; row < hall.Int(kStageHeight); ++row) {
    const int top = kMargin + row * 32, y = top - height;
    auto stands = [&](int x) {
      bool under = false;
      for (int c = (x - kMargin) / 32; c <= (x + width - 1 - kMargin) / 32; ++c) {
        under |= block(c, row);
        for (int r = (y - kMargin) / 32; r <= (top - 1 - kMargin) / 32; ++r)
          if (block(c, r)) return false;
      }
      return under;
    };
    for (int x = kMargin; x < kMargin + hall.Int(kStageWidth) * 32;) {
      if (!stands(x)) {
        ++x;
        continue;
      }
      const int first = x;
      while (stands(x + 1)) ++x;
      standing.push_back({double(first + hit.offsetX), double(y + hit.offsetY),
                          double(x + hit.offsetX + hit.width - 1), double(y + hit.offsetY + hit.height - 1)});
      for (int at = first; at <= x; at += std::min(16, std::max(1, x - at)))
        places.push_back({(at + width / 2 - kMargin) / 32, row - 1, at});
      ++x;
    }
  }
  ASSERT_GE(standing.size(), 3u) << "the floor and the two ledges";

  for (const Place& place : places) {
    SCOPED_TRACE("the hero standing with his left at x " + std::to_string(place.x) + " on row " +
                 std::to_string(place.row + 1));
    StageSession session(withHeroAt(place.column, place.row));
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    cHero& hero = scene.Hero();
    hero.m_dX = place.x + 0.5;
    hero.UpdateX();
    int32_t master = -1;
    for (const cStageCharacter& c : scene.m_CharacterList)
      if (c.Definition().m_strName == plat::Sjis("魔王")) master = c.m_nId;
    ASSERT_GE(master, 0) << "no master in the hall";
    // Each of its shots: when it was fired, where it was, how far it went
    // in its last frame and whether it has reached a standing place.
    struct Flight {
      int fired;
      Area was;
      double dx = 0, dy = 0;
      bool reached = false;
    };
    std::map<uint64_t, Flight> shots;
    int volleys = 0, roared = -1;  // the frame of the last roar heard
    size_t heard = 0;
    // The shortest warning and the soonest reach, said where they were.
    int warning = INT32_MAX, flight = INT32_MAX;
    std::string warned, flew;
    for (int frame = 1; frame <= 900 && (volleys < kVolleys || !shots.empty()); ++frame) {
      session.Frames(1);
      ASSERT_EQ(scene.m_nMode, kStageModePlay) << "frame " << frame;
      ASSERT_EQ(hero.m_bDying, 0) << "frame " << frame << ": the hero fell before the master's round ended";
      for (; heard < session.Sounds().size(); ++heard)
        if (session.Sounds()[heard] == roar) roared = frame;
      // A shot that reached a standing place, `frames` after it was fired.
      auto reach = [&](Flight& f, const Area& at) {
        if (f.reached || std::none_of(standing.begin(), standing.end(), [&](const Area& b) { return b.Meets(at); }))
          return;
        f.reached = true;
        if (frame - f.fired < flight)
          flight = frame - f.fired, flew = "fired at frame " + std::to_string(f.fired) + ", it reaches (" +
                                           std::to_string(at.left) + ", " + std::to_string(at.top) + ") at frame " +
                                           std::to_string(frame);
      };
      std::set<uint64_t> now;
      bool volley = false;
      for (const std::shared_ptr<cShot>& shot : scene.m_ShotList) {
        if (shot->m_nOwnerId != master || !shot->IsProjectile()) continue;
        now.insert(shot->m_nOrderSerial);
        const Area at = AreaOf(shot->m_Hit);
        auto [it, fresh] = shots.insert({shot->m_nOrderSerial, Flight{frame, at}});
        volley |= fresh;
        Flight& f = it->second;
        f.dx = at.left - f.was.left, f.dy = at.top - f.was.top;
        f.was = at;
        reach(f, at);
      }
      if (volley) {
        ++volleys;
        // Its own roar: none heard since the last volley, or one heard
        // more than a second before, is no warning.
        const int given = roared < 0 || frame - roared > 2 * kWarning ? 0 : frame - roared;
        if (given < warning)
          warning = given, warned = "a volley at frame " + std::to_string(frame) + ", the roar before it at frame " +
                                    std::to_string(roared);
        roared = -1;
      }
      // A shot gone this frame went at most as far as in its last frame
      // (on a hero it vanishes in the frame it meets him).
      for (auto it = shots.begin(); it != shots.end();) {
        if (now.count(it->first)) {
          ++it;
          continue;
        }
        const Area& was = it->second.was;
        reach(it->second, {std::min(was.left, was.left + it->second.dx), std::min(was.top, was.top + it->second.dy),
                           std::max(was.right, was.right + it->second.dx),
                           std::max(was.bottom, was.bottom + it->second.dy)});
        it = shots.erase(it);
      }
    }
    EXPECT_GE(volleys, kVolleys);
    EXPECT_GE(warning, kWarning) << warned;
    EXPECT_GE(flight, kFlight) << flew;
  }
}

// ---- riders, the wind road's opening, extra lives and the map's gates ----

// A run of lifts side by side, as 1-2 places them: one type, one row, the
// columns from `first` to `last`.
struct LiftRun {
  std::string type;
  int32_t row, first, last;
};

// 1-2 as the demo writes it with only its blocks, its lifts and its hero
// (no enemy, no item), its lifts gathered in runs (in the order of type,
// row and column), and the cells its blocks fill.
struct Tower {
  static constexpr int kMargin = 10 * 32;  // the stage begins ten blocks in
  cStageData stage;
  cEdCharacter hero;
  std::vector<cEdCharacter> lifts;
  std::vector<LiftRun> runs;
  std::set<std::pair<int, int>> blocks;

  // The stage's bytes with the hero placed at a cell.
  std::string WithHeroAt(int32_t column, int32_t row) const {
    cStageData ride = stage;
    ride.m_PlacedCharacters.assign(lifts.begin(), lifts.end());
    ride.m_PlacedCharacters.push_back(hero);
    ride.m_PlacedCharacters.back().m_nWord1 = column;
    ride.m_PlacedCharacters.back().m_nWord2 = row;
    return ride.SaveStageBytes();
  }
  bool Block(int32_t column, int32_t row) const { return blocks.count({column, row}) > 0; }
};

void LoadTower(Tower& tower) {
  ASSERT_EQ(tower.stage.LoadFromFile("data\\stg4\\c01-2.stg4_001"), 1);
  const std::set<std::string> liftTypes = {plat::Sjis("上下リフト"), plat::Sjis("左右リフト")};
  const int heroIndex = tower.stage.FindHeroIndex();
  ASSERT_GE(heroIndex, 0);
  tower.hero = tower.stage.m_PlacedCharacters[static_cast<size_t>(heroIndex)];
  for (size_t i = 0; i < tower.stage.m_PlacedCharacters.size(); ++i)
    if (liftTypes.count(tower.stage.m_PlacedCharacters[i].m_strName))
      tower.lifts.push_back(tower.stage.m_PlacedCharacters[i]);
  std::sort(tower.lifts.begin(), tower.lifts.end(), [](const cEdCharacter& a, const cEdCharacter& b) {
    return std::tie(a.m_strName, a.m_nWord2, a.m_nWord1) < std::tie(b.m_strName, b.m_nWord2, b.m_nWord1);
  });
  std::vector<LiftRun>& runs = tower.runs;
  for (const cEdCharacter& lift : tower.lifts) {
    if (!runs.empty() && runs.back().type == lift.m_strName && runs.back().row == lift.m_nWord2 &&
        runs.back().last + 1 == lift.m_nWord1)
      runs.back().last = lift.m_nWord1;
    else
      runs.push_back({lift.m_strName, lift.m_nWord2, lift.m_nWord1, lift.m_nWord1});
  }
  ASSERT_EQ(runs.size(), 3u) << "two runs up and down, one to and fro";
  for (size_t i = 0; i < tower.stage.m_PlacedBlocks.size(); ++i)
    tower.blocks.insert({tower.stage.m_PlacedBlocks[i].m_nWord1, tower.stage.m_PlacedBlocks[i].m_nWord2});
  tower.stage.m_PlacedItems.clear();
}

// The first lift of `run` in a scene (the one at the run's first cell when
// the stage starts).
const cStageCharacter* FirstLift(const cStageScene& scene, const LiftRun& run) {
  for (const cStageCharacter& c : scene.m_CharacterList)
    if (std::trunc(c.m_dX) == Tower::kMargin + run.first * 32 && std::trunc(c.m_dY) == Tower::kMargin + run.row * 32)
      return &c;
  return nullptr;
}

// A hero standing anywhere on one of 1-2's lifts rides it through a whole
// round and is never squeezed. On 1-2 with only its blocks, its lifts and
// its hero, the hero is put on a run of lifts as it starts, at every third
// dot from the farthest
// it can stand out over the run's left end to the farthest over its right
// (where its body would start inside a block it cannot stand), and the
// game's own frames carry it, until the run's first lift is back where it
// began.
TEST_F(DemoFairnessTest, TheTowersLiftsNeverSqueezeARiderStandingAnywhereOnThem) {
  Tower tower;
  ASSERT_NO_FATAL_FAILURE(LoadTower(tower));
  constexpr int kMargin = Tower::kMargin;
  StageFlowsInstalled flows;
  for (const LiftRun& run : tower.runs) {
    // The hero on the run's first lift, as placed, then moved along it.
    const std::string bytes = tower.WithHeroAt(run.first, run.row - 1);
    const int left = kMargin + run.first * 32, right = kMargin + run.last * 32 + 31, top = kMargin + run.row * 32;
    int width = 0, height = 0;
    {
      StageSession probe(bytes);
      ASSERT_TRUE(probe.Loaded());
      width = probe.Scene().Hero().m_nWidth, height = probe.Scene().Hero().m_nHeight;
    }
    ASSERT_GT(width, 0);
    std::vector<int> places;
    for (int x = left - (width - 1); x < right; x += 3) places.push_back(x);
    places.push_back(right);
    size_t ridden = 0;
    for (const int x : places) {
      // Where the body would start inside a block, it cannot stand.
      bool inBlock = false;
      for (int c = (x - kMargin) / 32; c <= (x + width - 1 - kMargin) / 32; ++c)
        for (int r = (top - height - kMargin) / 32; r <= (top - 1 - kMargin) / 32; ++r) inBlock |= tower.Block(c, r);
      if (inBlock) continue;
      ++ridden;
      SCOPED_TRACE(plat::Cp932ToUtf8(run.type) + " at row " + std::to_string(run.row) + ", the hero's left at x " +
                   std::to_string(x));
      StageSession session(bytes);
      ASSERT_TRUE(session.Loaded());
      cStageScene& scene = session.Scene();
      cHero& rider = scene.Hero();
      rider.m_dX = x + 0.5;
      rider.UpdateX();
      // The run's first lift, and where it starts.
      const cStageCharacter* first = FirstLift(scene, run);
      ASSERT_NE(first, nullptr);
      const double startX = first->m_dX, startY = first->m_dY;
      bool moved = false, back = false;
      for (int frame = 1; frame <= 900 && !back; ++frame) {
        session.Frames(1);
        ASSERT_EQ(scene.m_nMode, kStageModePlay) << "frame " << frame;
        ASSERT_EQ(scene.Hero().m_bDying, 0) << "frame " << frame << ": squeezed at (" << scene.Hero().m_dX << ", "
                                            << scene.Hero().m_dY << ")";
        const bool there = std::abs(first->m_dX - startX) < 0.5 && std::abs(first->m_dY - startY) < 0.5;
        moved = moved || !there;
        back = moved && there;
      }
      EXPECT_TRUE(back) << "the lift never came back where it began";
    }
    EXPECT_GE(ridden, static_cast<size_t>(right - left + 1) / 3) << "at least every place over the lifts themselves";
  }
}

// A hero who boards one of 1-2's lifts up and down as its sign teaches
// rides it up and, at its stop, jumps off it with a held jump toward the
// ledge it rises to (the one its top is flush with there): he rises more
// than a block over the lift, comes down on that ledge and stands there,
// alive at full HP all the way. On 1-2 with only its blocks, its lifts and
// its hero, the hero boards the lift by a held jump from the floor beside
// its shaft once it has come down (the arrow toward it held until he rides
// it), or stands on it as the stage starts, on each of its cells; he jumps
// as it stops, and a third of a second into its wait there, holding the
// arrow toward the ledge until he stands on something.
TEST_F(DemoFairnessTest, AHeroJumpsFromALiftOntoTheLedgeItRisesTo) {
  Tower tower;
  ASSERT_NO_FATAL_FAILURE(LoadTower(tower));
  constexpr int kMargin = Tower::kMargin;
  constexpr int kHeldJump = 30;  // frames B1 is held: longer than the whole rise
  constexpr uint16_t kB1 = 1;  // button 1's bit: the jump
  struct Boarding {
    std::string how;
    int32_t column, row;  // where the hero is placed
  };
  StageFlowsInstalled flows;
  size_t served = 0;
  for (const LiftRun& run : tower.runs) {
    if (run.type != plat::Sjis("上下リフト")) continue;
    ++served;
    // The floor a jump boards it from: beside the run where the lift comes
    // down, with room over it.
    std::vector<Boarding> boardings;
    for (const int c : {run.first - 1, run.last + 1})
      if (!tower.Block(c, run.row) && !tower.Block(c, run.row + 1) && tower.Block(c, run.row + 2))
        boardings.push_back({"jumps on from the floor at column " + std::to_string(c), c, run.row + 1});
    ASSERT_EQ(boardings.size(), 1u) << "one floor beside the lift's run at row " << run.row;
    for (int c = run.first; c <= run.last; ++c)
      boardings.push_back({"stands on it at column " + std::to_string(c), c, run.row - 1});
    for (const Boarding& boarding : boardings)
      for (const int delay : {0, 20}) {
        SCOPED_TRACE("the lift at row " + std::to_string(run.row) + ": the hero " + boarding.how + ", jumps " +
                     std::to_string(delay) + " frames after its stop");
        StageSession session(tower.WithHeroAt(boarding.column, boarding.row));
        ASSERT_TRUE(session.Loaded());
        cStageScene& scene = session.Scene();
        const cHero& hero = scene.Hero();
        const cStageCharacter* lift = FirstLift(scene, run);
        ASSERT_NE(lift, nullptr);
        std::set<int32_t> runIds;  // the run's lifts
        for (const cStageCharacter& c : scene.m_CharacterList)
          if (std::trunc(c.m_dY) == kMargin + run.row * 32 && c.m_dX >= kMargin + run.first * 32 &&
              c.m_dX < kMargin + (run.last + 1) * 32)
            runIds.insert(c.m_nId);
        ASSERT_EQ(runIds.size(), static_cast<size_t>(run.last - run.first + 1));
        const double bottom = lift->m_dY;
        const int32_t hp = hero.m_nHp;
        cInput& input = InputRecords.At(0);
        int frame = 0;
        // One frame of play with these keys; false when the hero was hurt.
        auto step = [&](uint16_t direction, uint16_t buttons) {
          input.m_wDirection = direction;
          input.m_wButtons = buttons;
          session.Frames(1);
          ++frame;
          return scene.m_nMode == kStageModePlay && hero.m_bDying == 0 && hero.m_nHp == hp;
        };
        auto where = [&] {
          return "frame " + std::to_string(frame) + ": the hero at (" + std::to_string(hero.m_dX) + ", " +
                 std::to_string(hero.m_dY) + "), HP " + std::to_string(hero.m_nHp) + ", the lift at y " +
                 std::to_string(lift->m_dY);
        };
        auto riding = [&] { return hero.m_bRiding != 0 && runIds.count(hero.m_nCarriedById) > 0; };

        // Aboard.
        if (boarding.row > run.row) {
          const uint16_t toward = boarding.column < run.first ? kDirRight : kDirLeft;
          bool moved = false;
          while (frame < 600 && !(moved && lift->m_dY == bottom)) {
            ASSERT_TRUE(step(0, 0)) << where();
            moved = moved || lift->m_dY != bottom;
          }
          ASSERT_EQ(lift->m_dY, bottom) << "the lift never came back down";
          for (int f = 1; f <= 120 && !(riding() && f > kHeldJump); ++f)
            ASSERT_TRUE(step(riding() ? 0 : toward, f <= kHeldJump ? kB1 : 0)) << where();
        } else {
          for (int f = 1; f <= 10 && !riding(); ++f) ASSERT_TRUE(step(0, 0)) << where();
        }
        ASSERT_TRUE(riding()) << "never aboard; " << where();

        // Up to its stop: risen, and where it was a frame before.
        bool stopped = false;
        for (double before = lift->m_dY; !stopped && frame < 900; before = lift->m_dY) {
          ASSERT_TRUE(step(0, 0)) << where();
          ASSERT_TRUE(riding()) << where();
          stopped = lift->m_dY < bottom && lift->m_dY == before;
        }
        ASSERT_TRUE(stopped) << where();
        const double stop = lift->m_dY;
        ASSERT_EQ(std::fmod(stop - kMargin, 32.0), 0.0) << "stops between rows at y " << stop;
        const int32_t ledgeRow = static_cast<int32_t>(stop - kMargin) / 32;
        // The ledge: the block beside the run that the lift is flush with.
        std::vector<int32_t> sides;
        for (const int c : {run.first - 1, run.last + 1})
          if (tower.Block(c, ledgeRow) && !tower.Block(c, ledgeRow - 1)) sides.push_back(c);
        ASSERT_EQ(sides.size(), 1u) << "one ledge beside the lift's stop at row " << ledgeRow;
        const uint16_t toward = sides[0] < run.first ? kDirLeft : kDirRight;
        for (int f = 0; f < delay; ++f) ASSERT_TRUE(step(0, 0)) << where();
        ASSERT_TRUE(riding()) << where();

        // The jump, the arrow held until he stands on something.
        const double from = hero.m_dY;
        double highest = from;
        bool standing = false;
        for (int f = 1; f <= 180 && !(standing && f > kHeldJump); ++f) {
          ASSERT_TRUE(step(standing ? 0 : toward, f <= kHeldJump ? kB1 : 0)) << where();
          highest = std::min(highest, hero.m_dY);
          standing = f > 1 && hero.m_bContactDown != 0;
        }
        EXPECT_GT(from - highest, 32) << "rose from the lift only to y " << highest;
        for (int f = 0; f < 60; ++f) ASSERT_TRUE(step(0, 0)) << where();
        // On the ledge: on no lift, his feet on the ledge's row, a block of
        // it under him on the ledge's side of the run.
        EXPECT_EQ(hero.m_bRiding, 0) << where();
        EXPECT_NE(hero.m_bContactDown, 0) << where();
        EXPECT_EQ(std::trunc(hero.m_dY) + hero.m_nHeight, kMargin + ledgeRow * 32) << where();
        bool onLedge = false;
        const int32_t left = static_cast<int32_t>(hero.m_dX);
        for (int32_t c = (left - kMargin) / 32; c <= (left + hero.m_nWidth - 1 - kMargin) / 32; ++c)
          onLedge |= tower.Block(c, ledgeRow) && (toward == kDirLeft ? c < run.first : c > run.last);
        EXPECT_TRUE(onLedge) << where();
      }
  }
  EXPECT_EQ(served, 2u) << "two runs up and down";
}

// 1-2's lifts to and fro land on a ledge that reaches under the first
// crystal step above it: a hero who walks along the ledge toward the step
// until his body's right edge is under the step's left edge (as far as he
// comes to climb it) stands on the ledge there, and stays standing on it,
// riding nothing, while the lifts come to the ledge and go again (a whole
// round). On 1-2 with only its blocks, its lifts and its hero, the hero
// placed on the ledge two blocks from its end. The step: the lowest block
// within four rows over the ledge, right of the ledge's end.
TEST_F(DemoFairnessTest, TheLiftsLandingReachesUnderTheFirstCrystalStep) {
  Tower tower;
  ASSERT_NO_FATAL_FAILURE(LoadTower(tower));
  constexpr int kMargin = Tower::kMargin;
  const auto run = std::find_if(tower.runs.begin(), tower.runs.end(),
                                [](const LiftRun& r) { return r.type == plat::Sjis("左右リフト"); });
  ASSERT_NE(run, tower.runs.end());
  int32_t end = run->first - 1;  // the landing's last block, left of the gap the lifts cross
  while (end >= 0 && !tower.Block(end, run->row)) --end;
  ASSERT_GE(end, 2) << "no landing left of the lifts";
  int32_t stepColumn = -1;
  for (int32_t row = run->row - 1; row >= run->row - 4 && stepColumn < 0; --row)
    for (int32_t c = end + 1; c < run->first && stepColumn < 0; ++c)
      if (tower.Block(c, row)) stepColumn = c;
  ASSERT_GE(stepColumn, 0) << "no step over the landing";
  const int32_t under = kMargin + stepColumn * 32;  // the step's left edge

  StageFlowsInstalled flows;
  StageSession session(tower.WithHeroAt(end - 2, run->row - 1));
  ASSERT_TRUE(session.Loaded());
  cStageScene& scene = session.Scene();
  const cHero& hero = scene.Hero();
  cInput& input = InputRecords.At(0);
  int frame = 0;
  auto where = [&] {
    return "frame " + std::to_string(frame) + ": the hero at (" + std::to_string(hero.m_dX) + ", " +
           std::to_string(hero.m_dY) + ")";
  };
  auto standing = [&] {
    return scene.m_nMode == kStageModePlay && hero.m_bDying == 0 && hero.m_bRiding == 0 &&
           std::trunc(hero.m_dY) + hero.m_nHeight == kMargin + run->row * 32;
  };
  for (int f = 0; f < 5; ++f, ++frame) session.Frames(1);
  ASSERT_TRUE(standing()) << where();
  // Along the ledge, three dots a frame, to within two dots of the edge.
  while (frame < 120 && hero.m_dX + hero.m_nWidth - 1 < under - 2) {
    input.m_wDirection = kDirRight;
    session.Frames(1);
    ++frame;
    ASSERT_TRUE(standing()) << where();
  }
  input.m_wDirection = 0;
  ASSERT_GE(hero.m_dX + hero.m_nWidth - 1, under - 2) << where();
  for (int f = 0; f < 330; ++f, ++frame) {
    session.Frames(1);
    ASSERT_TRUE(standing()) << where();
  }
}

// 2-2's opening is safe: a hero who does nothing is alive ten seconds after
// play begins, whatever the screen's scroll does with it.
TEST_F(DemoFairnessTest, TheWindRoadLeavesAnIdleHeroAliveForTenSeconds) {
  const std::vector<std::string> lines = Play("c02-2.stg4_001", 200 + 600, "");
  const size_t start = PlayStart(lines);
  ASSERT_LT(start, 200u);
  for (size_t i = start; i < start + 600; ++i) {
    const std::string hero = Hero(lines[i]);
    ASSERT_FALSE(hero.empty()) << "frame " << i + 1;
    ASSERT_EQ(Number(hero, "dying"), 0.0) << "frame " << i + 1;
  }
}

// 1-2's flag stands where the head-up display leaves it clear: wherever the
// hero stands in the tower (on top of any block with room over it, as 1-2
// is written with its blocks, lifts and flag), the flag as the view shows
// it, on the screen or partly off it, stays off the timer's digits (drawn
// at (272, 24), three of 32 x 32).
TEST_F(DemoFairnessTest, TheTowersFlagStandsClearOfTheTimer) {
  Tower tower;
  ASSERT_NO_FATAL_FAILURE(LoadTower(tower));
  cStageData full;
  ASSERT_EQ(full.LoadFromFile("data\\stg4\\c01-2.stg4_001"), 1);
  const std::string flagName = plat::Sjis("ゴールの旗");
  for (size_t i = 0; i < full.m_PlacedItems.size(); ++i)
    if (full.m_PlacedItems[i].m_strName == flagName) tower.stage.m_PlacedItems.push_back(full.m_PlacedItems[i]);
  ASSERT_EQ(tower.stage.m_PlacedItems.size(), 1u) << "one flag";
  constexpr int kDigitsLeft = 272, kDigitsTop = 24, kDigitsRight = 272 + 3 * 32 - 1, kDigitsBottom = 24 + 31;
  StageFlowsInstalled flows;
  const cEdItem& placed = tower.stage.m_PlacedItems.front();
  int places = 0;
  for (int32_t row = 2; row < tower.stage.Int(kStageHeight); ++row)
    for (int32_t column = 0; column < tower.stage.Int(kStageWidth); ++column) {
      if (!tower.Block(column, row) || tower.Block(column, row - 1) || tower.Block(column, row - 2)) continue;
      if (row - 1 == placed.m_nWord2 && std::abs(column - placed.m_nWord1) <= 1) continue;  // he would take it
      SCOPED_TRACE("the hero on the block at column " + std::to_string(column) + ", row " + std::to_string(row));
      StageSession session(tower.WithHeroAt(column, row - 1));
      ASSERT_TRUE(session.Loaded());
      session.Frames(3);
      ASSERT_EQ(session.Scene().m_ItemList.size(), 1u);
      cStageItem& flag = session.Scene().m_ItemList.front();
      flag.UpdateScreenRect();
      const cScreenRect& r = flag.m_rcScreen;
      EXPECT_FALSE(r.left <= kDigitsRight && r.right >= kDigitsLeft && r.top <= kDigitsBottom && r.bottom >= kDigitsTop)
          << "the flag at (" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
      ++places;
    }
  EXPECT_GT(places, 20) << "the tower's floors and ledges";
}

// A hit leaves the hero safe from every attacker for a second and a half
// (90 frames), blinking all the while (its graphic effect is the blink,
// kind 6, on every frame of the safety): time to walk out of what hit it.
// In 1-1 a hero who walks up to the first blob and stands into it is hit
// no sooner than that after each hit, until the third hit ends him.
TEST_F(DemoFairnessTest, AHitLeavesTheHeroSafeAndBlinkingForASecondAndAHalf) {
  constexpr int kSafety = 90, kBlink = 6;
  std::vector<std::string> lines;
  // Play begins at frame 169: over the low wall and the first pit, then
  // stand a few blocks before the blob.
  ASSERT_NO_FATAL_FAILURE(lines = Play("c01-1.stg4_001", 1000, "169-540 RIGHT\n315-344 B1\n375-404 B1\n"));
  ASSERT_EQ(PlayStart(lines), 168u);
  std::vector<size_t> hits;
  for (size_t i = 169; i < lines.size(); ++i)
    if (Number(Hero(lines[i]), "hp") < Number(Hero(lines[i - 1]), "hp")) hits.push_back(i);
  ASSERT_EQ(hits.size(), 3u) << "three hits from a hero's three points";
  for (size_t k = 1; k < hits.size(); ++k) EXPECT_GE(hits[k] - hits[k - 1], static_cast<size_t>(kSafety)) << k;
  for (size_t k = 0; k + 1 < hits.size(); ++k)
    for (size_t i = hits[k] + 1; i < hits[k] + kSafety && i < lines.size(); ++i)
      ASSERT_EQ(Number(Hero(lines[i]), "effect"), kBlink) << "frame " << i + 1 << ", " << i - hits[k] << " after a hit";
  EXPECT_EQ(Number(Hero(lines[hits[2]]), "dying"), 1.0);
}

// The signs of the game's stages stand behind the hero: walking past the
// first sign of 1-1 and of 1-2 the hero hides part of its board (the
// board's own colour, the commonest of its picture, shows on fewer dots
// round the sign while the hero stands on it than while he is away).
TEST_F(DemoFairnessTest, TheHeroWalksInFrontOfTheSigns) {
  int w = 0, h = 0;
  std::vector<uint32_t> sheet;
  ASSERT_TRUE(LoadSdlPixels("bmp/Character1.bmp", w, h, sheet));
  const cEdCharacter& signType =
      CommonPalette.m_Characters[static_cast<size_t>(Def("看板") - 100000)];
  const int cell = signType.m_nGraphic * 32;  // frame 0 of its column
  std::map<uint32_t, int> colours;
  for (int y = 0; y < 32; ++y)
    for (int x = cell; x < cell + 32; ++x)
      if (sheet[static_cast<size_t>(y * w + x)] != sheet[0]) ++colours[sheet[static_cast<size_t>(y * w + x)]];
  ASSERT_FALSE(colours.empty());
  const uint32_t board = std::max_element(colours.begin(), colours.end(), [](const auto& a, const auto& b) {
                           return a.second < b.second;
                         })->first;
  const int signDef = Def("看板");
  for (const char* stage : {"c01-1.stg4_001", "c01-2.stg4_001"}) {
    SCOPED_TRACE(stage);
    std::vector<std::string> lines;
    ASSERT_NO_FATAL_FAILURE(lines = Play(stage, 260, "169-260 RIGHT\n", 2));
    // The sign by the hero's start, where the hero stands on it and where
    // he is away.
    const double start = Number(Hero(lines[170]), "x");
    double signX = std::nan("");
    for (const std::string& c : Objects(Value(lines[170], "chars")))
      if (Number(c, "def") == signDef && !(std::abs(Number(c, "x") - start) >= std::abs(signX - start)))
        signX = Number(c, "x");
    ASSERT_FALSE(std::isnan(signX));
    size_t on = 0, away = 0;
    for (size_t i = 169; i < lines.size(); i += 2) {
      const double d = std::abs(Number(Hero(lines[i]), "x") - signX);
      if (on == 0 || d < std::abs(Number(Hero(lines[on]), "x") - signX)) on = i;
      if (away == 0 && d > 64) away = i;
    }
    ASSERT_NE(away, 0u);
    ASSERT_LT(std::abs(Number(Hero(lines[on]), "x") - signX), 4.0);
    // Board dots on the screen (the only sign in view is this one), from
    // the picture of a frame.
    auto boardDots = [&](size_t line) {
      std::vector<uint32_t> shot;
      int sw = 0, sh = 0;
      char name[32];
      std::snprintf(name, sizeof name, "/shots/frame-%06zu.png", line + 1);
      EXPECT_TRUE(LoadSdlPixels(sandbox_ / name, sw, sh, shot)) << name;
      return static_cast<int>(std::count(shot.begin(), shot.end(), board));
    };
    const int shown = boardDots(away), covered = boardDots(on);
    EXPECT_GT(shown, 100) << "the board in view";
    EXPECT_LT(covered * 10, shown * 8) << "the hero stands on the sign at frame " << on + 1;
  }
}

// World 1 played well (the routes of the whole game from the title through
// 1-2's result) earns an extra life on the way, with no life lost: the
// lives rise above those the world began with while its stages are played.
TEST_F(DemoFairnessTest, WorldOnePlayedWellEarnsAnExtraLifeBeforeWorldTwo) {
  const DemoRouteChain routes = DemoRoutes({"01-title.txt", "02-meadow.txt", "03-tower.txt"});
  ASSERT_TRUE(routes.complete) << "a route without its length line";
  const uint32_t frames = routes.frames;
  const std::string inputs = routes.Inputs();
  const std::string command = std::string(PELMORA_TOOL) + " play '" + sandbox_.Folder().Path() + "' --frames " +
                              std::to_string(frames) + inputs + " --trace '" + (sandbox_ / "trace.jsonl") +
                              "' > /dev/null 2> '" + (sandbox_ / "errors.txt") + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sandbox_.Read("errors.txt");
  std::istringstream in(sandbox_.Read("trace.jsonl"));
  double began = std::nan(""), most = 0;
  size_t count = 0;
  for (std::string line; std::getline(in, line); ++count) {
    ASSERT_EQ(line.find("\"dying\":1"), std::string::npos) << Value(line, "frame");
    if (Value(line, "scene") != "4" || Value(line, "mode") != "2") continue;
    if (std::isnan(began)) began = Number(line, "lives");
    most = std::max(most, Number(line, "lives"));
  }
  ASSERT_EQ(count, frames);
  ASSERT_FALSE(std::isnan(began)) << "no stage was played";
  EXPECT_GT(most, began) << "no extra life in world 1";
}

// The world map's gates hold: for a new game and after each world, the
// cells the hero can walk to from the start (by the map's own rules: a
// wall world, or a cell without a world whose chip is impassable, stops
// it) come up to the gate of the first world still closed from one side
// only, never round it, and to no gate beyond it; every open world can be
// walked to. The ending's world, past the castle, shows (and can be walked
// to) only once the castle is cleared: no world stands there before.
TEST_F(DemoFairnessTest, TheMapsGatesCannotBeWalkedRound) {
  cWorldMap map;
  ASSERT_TRUE(map.LoadFromFile("data\\WorldMap.dat"));
  const cWorldMapModel model = MakeWorldMapModel(map);
  ASSERT_EQ(model.nodes.size(), 4u);
  for (int cleared = 0; cleared <= 3; ++cleared) {
    SCOPED_TRACE(std::to_string(cleared) + " worlds cleared");
    cSaveData record;
    for (int world = 1; world <= cleared; ++world) record.SetProgressFlag(world, 1);
    auto blocked = [&](int32_t x, int32_t y) {
      if (!model.Inside(x, y)) return true;
      const cMapWorld* world = SelectMapWorld(model.FindNodeAt(x, y), record);
      return world ? world->nKind == kWorldKindWall : !model.Passable(x, y);
    };
    std::set<std::pair<int32_t, int32_t>> reached = {{model.nStartX, model.nStartY}};
    std::vector<std::pair<int32_t, int32_t>> todo(reached.begin(), reached.end());
    constexpr int32_t kSteps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    while (!todo.empty()) {
      const auto [x, y] = todo.back();
      todo.pop_back();
      for (const auto& step : kSteps)
        if (!blocked(x + step[0], y + step[1]) && reached.insert({x + step[0], y + step[1]}).second)
          todo.push_back({x + step[0], y + step[1]});
    }
    bool firstClosed = true;
    for (const cMapNode& node : model.nodes) {  // along the road, world by world
      const cMapWorld* world = SelectMapWorld(&node, record);
      if (&node == &model.nodes.back()) {  // the ending's
        EXPECT_EQ(world != nullptr, cleared == 3);
        if (!world) continue;
      }
      ASSERT_NE(world, nullptr);
      if (world->nKind != kWorldKindWall) {
        EXPECT_TRUE(reached.count({node.x, node.y})) << "open world at " << node.x << ", " << node.y;
        continue;
      }
      int sides = 0;
      for (const auto& step : kSteps) sides += static_cast<int>(reached.count({node.x + step[0], node.y + step[1]}));
      EXPECT_EQ(sides, firstClosed ? 1 : 0) << "the gate at " << node.x << ", " << node.y;
      firstClosed = false;
    }
  }
}

}  // namespace

// The result screen's play-record box after the demo's first stage, which
// leads on to a next stage: the box shows the play record as the clear left
// it (the attempt's score added to the stage points, the time left, the
// clear time, the HP and SP left in the frame trace; in the picture the
// player sees, the four of them the demo's stages list: its heroes have no
// special points). And on every stage's result screen the box leaves the
// hero in view: the stages' goals stand where a hero who takes one is clear
// of the box, and the castle is cleared only once its hero stands on the
// floor or a ledge.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/rankings.h"
#include "play/objects/hero.h"
#include "play/world/stage_scene.h"
#include "scene/scene.h"
#include "support/demo_routes.h"
#include "support/demo_story.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

int RunTool(const std::string& args, const std::string& errorFile) {
  const std::string command = std::string(PELMORA_TOOL) + " " + args + " > /dev/null 2> '" + errorFile + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using trace::Value;

struct Picture {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0xRRGGBB
  uint32_t At(int x, int y) const { return px[static_cast<size_t>(y * w + x)]; }
};

// One glyph as drawn: its ink cropped to its own bounds.
struct Glyph {
  int w = 0, h = 0;
  std::vector<bool> ink;
  bool operator==(const Glyph&) const = default;
};

// The runs [first, last] of the indices from..to where `has` holds.
template <class Has>
std::vector<std::pair<int, int>> Runs(int from, int to, Has has) {
  std::vector<std::pair<int, int>> runs;
  for (int i = from; i <= to; ++i) {
    if (!has(i)) continue;
    const int first = i;
    while (i + 1 <= to && has(i + 1)) ++i;
    runs.emplace_back(first, i);
  }
  return runs;
}

// The text lines of the box, a glyph list each: the box is where `box`
// differs from `before` (the same still frame without it), its ink its
// brightest colour; lines part at blank rows, glyphs at blank columns.
std::vector<std::vector<Glyph>> BoxGlyphs(const Picture& box, const Picture& before) {
  int left = box.w, right = -1, top = box.h, bottom = -1;
  uint32_t ink = 0;
  auto brightness = [](uint32_t c) { return (c >> 16 & 255) + (c >> 8 & 255) + (c & 255); };
  for (int y = 0; y < box.h; ++y)
    for (int x = 0; x < box.w; ++x) {
      if (box.At(x, y) == before.At(x, y)) continue;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      if (brightness(box.At(x, y)) > brightness(ink)) ink = box.At(x, y);
    }
  // Inked somewhere in the rectangle [x0, x1] x [y0, y1].
  auto inked = [&](int x0, int x1, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (box.At(x, y) == ink) return true;
    return false;
  };
  std::vector<std::vector<Glyph>> lines;
  for (const auto& [y0, y1] : Runs(top, bottom, [&](int y) { return inked(left, right, y, y); })) {
    std::vector<Glyph>& line = lines.emplace_back();
    for (const auto& [x0, x1] : Runs(left, right, [&](int x) { return inked(x, x, y0, y1); })) {
      const auto rows = Runs(y0, y1, [&](int y) { return inked(x0, x1, y, y); });
      Glyph& glyph = line.emplace_back();
      glyph.w = x1 - x0 + 1, glyph.h = rows.back().second - rows.front().first + 1;
      for (int y = rows.front().first; y <= rows.back().second; ++y)
        for (int x = x0; x <= x1; ++x) glyph.ink.push_back(box.At(x, y) == ink);
    }
  }
  return lines;
}

}  // namespace

TEST(ResultBoxTest, TheFirstStagesBoxShowsThePlayRecordAfterItsClear) {
  TempFolder folder("resultbox");
  const std::string errors = folder / "errors.txt";
  const std::string project = folder / "demo";
  ASSERT_EQ(RunTool("make-demo '" + project + "'", errors), 0) << Slurp(errors);
  // The title to the world map, then the meadow (1-1) to its result screen.
  const DemoRouteChain routes = DemoRoutes({"01-title.txt", "02-meadow.txt"});
  ASSERT_TRUE(routes.complete) << "a route without its length line";
  const uint32_t frames = routes.frames;
  const std::string inputs = routes.Inputs();
  // Each run plays on a copy of the fresh project: a run saves its game.
  auto play = [&](uint32_t upTo, const std::string& name, const std::string& more) {
    const std::string copy = folder / name;
    std::filesystem::copy(project, copy, std::filesystem::copy_options::recursive);
    return RunTool("play '" + copy + "' --frames " + std::to_string(upTo) + inputs + " " + more, errors);
  };
  ASSERT_EQ(play(frames, "traced", "--trace '" + (folder / "trace.jsonl") + "'"), 0) << Slurp(errors);

  // The box comes once the result screen's banner is in, and only there.
  std::istringstream trace(Slurp(folder / "trace.jsonl"));
  std::string shown;  // the first line whose frame draws the box
  uint32_t boxFrames = 0, playFrames = 0;
  for (std::string line; std::getline(trace, line);) {
    const std::string mode = Value(line, "mode"), result = Value(line, "result");
    playFrames += mode == "2";
    if (result == "null") continue;
    ++boxFrames;
    EXPECT_EQ(mode, "4") << line;
    if (shown.empty()) shown = line;
    EXPECT_EQ(result, Value(shown, "result")) << "the box stays as it came";
  }
  ASSERT_FALSE(shown.empty()) << "no frame of the run drew the box";
  EXPECT_GT(boxFrames, 1u);

  // The play record of a new game after this one clear: the attempt's
  // score as the stage points, the time left, the HP and SP left; the clear
  // time counts the frames played (hundredths of a second).
  std::vector<int32_t> values;
  std::istringstream list(Value(shown, "result").substr(1));
  for (std::string n; std::getline(list, n, ',');) values.push_back(std::stoi(n));
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(values[0], std::stoi(Value(shown, "score")));
  EXPECT_GT(values[0], 0) << "the meadow's blobs and coins give points";
  EXPECT_EQ(values[1], std::stoi(Value(shown, "time")));
  EXPECT_GT(values[2], 0);
  EXPECT_LE(values[2], static_cast<int64_t>(playFrames) * 100 / 60);
  EXPECT_EQ(values[3], std::stoi(Value(shown, "hp")));
  EXPECT_EQ(values[4], std::stoi(Value(shown, "sp")));

  // The picture: the frame that draws the box against the one before it.
  const uint32_t boxFrame = static_cast<uint32_t>(std::stoul(Value(shown, "frame")));
  Picture pictures[2];
  for (int k = 0; k < 2; ++k) {
    const uint32_t at = boxFrame - 1 + static_cast<uint32_t>(k);
    const std::string shots = folder / ("shots" + std::to_string(k));
    ASSERT_EQ(play(at, "shot" + std::to_string(k), "--shots '" + shots + "' --every " + std::to_string(at)), 0)
        << Slurp(errors);
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06u.png", at);
    ASSERT_TRUE(LoadSdlPixels(shots + name, pictures[k].w, pictures[k].h, pictures[k].px)) << name;
    for (uint32_t& p : pictures[k].px) p &= 0xFFFFFF;
  }
  ASSERT_EQ(pictures[0].px.size(), pictures[1].px.size());
  const std::vector<std::vector<Glyph>> lines = BoxGlyphs(pictures[1], pictures[0]);
  ASSERT_EQ(lines.size(), 4u) << "the demo's stages list four genres, all but the SP left: a line each";

  // Each line ends with its value as the box writes it. The same character
  // is the same glyph wherever it stands, and different characters are
  // different glyphs: a box that drew other values than the play record's
  // (zeros, say) breaks this, since its values' last digits would all be
  // one glyph while the record's are not all one character.
  const std::string texts[4] = {std::to_string(values[0]), std::to_string(values[1]), FormatFrameTime(values[2]),
                                std::to_string(values[3])};
  std::set<char> lastCharacters;
  for (const std::string& text : texts) lastCharacters.insert(text.back());
  ASSERT_GT(lastCharacters.size(), 1u) << "the route's values cannot tell a box of other values from this one";
  std::map<char, Glyph> glyphOf;
  for (size_t i = 0; i < 4; ++i) {
    const std::string& text = texts[i];
    ASSERT_GT(lines[i].size(), text.size()) << "line " << i << " has its label and " << text;
    const size_t first = lines[i].size() - text.size();
    for (size_t c = 0; c < text.size(); ++c) {
      const Glyph& glyph = lines[i][first + c];
      const auto [known, fresh] = glyphOf.emplace(text[c], glyph);
      EXPECT_TRUE(fresh || known->second == glyph) << "'" << text[c] << "' drawn two ways; line " << i << ": " << text;
    }
  }
  for (auto a = glyphOf.begin(); a != glyphOf.end(); ++a)
    for (auto b = std::next(a); b != glyphOf.end(); ++b)
      EXPECT_FALSE(a->second == b->second) << "'" << a->first << "' and '" << b->first << "' drawn alike";
}

namespace {

// A rectangle of the screen, its edges included.
struct ScreenBox {
  int left = 0, top = 0, right = -1, bottom = -1;
  bool Empty() const { return right < left || bottom < top; }
  bool Meets(const ScreenBox& o) const {
    return !Empty() && !o.Empty() && left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom;
  }
};
std::ostream& operator<<(std::ostream& out, const ScreenBox& b) {
  return out << "(" << b.left << ", " << b.top << ")-(" << b.right << ", " << b.bottom << ")";
}

Shot ShotOf(const plat::Frame& frame) {
  Shot shot;
  shot.w = frame.width, shot.h = frame.height;
  shot.px.assign(frame.pixels.begin(), frame.pixels.end());
  for (uint32_t& p : shot.px) p &= 0xFFFFFF;
  return shot;
}

// Where a character graphic of the demo draws in its 32 x 32 cell, in any
// of its frames and either facing: the cells of its column of its sheet
// ("bmp/CharacterN.bmp", fifteen graphics a row, twenty frames down) that
// are not the key colour, mirrored too.
ScreenBox InkedInCell(const std::string& project, int graphic, uint32_t key) {
  Shot sheet;
  ScreenBox inked{32, 32, -1, -1};
  if (!LoadShot(project + "/bmp/Character" + std::to_string(graphic / 15 + 1) + ".bmp", sheet)) return inked;
  const int column = (graphic % 15) * 32;
  for (int y = 0; y < sheet.h; ++y)
    for (int x = 0; x < 32 && column + x < sheet.w; ++x) {
      if (sheet.At(column + x, y) == key) continue;
      inked.left = std::min({inked.left, x, 31 - x}), inked.right = std::max({inked.right, x, 31 - x});
      inked.top = std::min(inked.top, y % 32), inked.bottom = std::max(inked.bottom, y % 32);
    }
  return inked;
}

// A stage's result screen as the story reaches it: the save it starts from
// (support/demo_story.h), the routes of the world's stages before it and
// its own.
struct ClearCase {
  const char* name;  // the test's
  const char* what;
  int clearedWorlds;
  std::vector<const char*> before;
  const char* route;
  bool jumpAtTheEnd;  // the route changed by MasterWithAJumpAtTheEnd
  bool onHisFeet;     // the clear waits for the hero to stand (the castle's)
};
const ClearCase kClearCases[] = {
    {"Stage1_1", "1-1", 0, {}, "02-meadow.txt", false, false},
    {"Stage1_2", "1-2", 0, {"02-meadow.txt"}, "03-tower.txt", false, false},
    {"Stage2_1", "2-1", 1, {}, "05-sky.txt", false, false},
    {"Stage2_2", "2-2", 1, {"05-sky.txt"}, "06-wind.txt", false, false},
    {"Stage3_1", "3-1", 2, {}, "08-master.txt", false, true},
    {"Stage3_1Jumping", "3-1, the hero in a jump as the master falls", 2, {}, "08-master.txt", true, true},
};

// 3-1's route with the hero in a jump on his ledge as the master falls
// (the game holds still from its defeat until the master's light clears
// the castle, a second and a half on): without its last key (the result is
// looked at, not left), a held jump a moment before the last shot reaches
// the master.
std::string MasterWithAJumpAtTheEnd(std::string route) {
  route = route.substr(0, route.find("\n940 B1") + 1);
  return route + "776-805 B1\nlength 1100\n";
}

class ResultBoxHeroTest : public ::testing::TestWithParam<size_t> {};

}  // namespace

// The result's box leaves the hero in view on every stage's result screen:
// on the first frame that draws the box (the frame trace's "result"), the
// box (the dots of its frame line's colour, palette 240, that the frame
// before did not have there: the game holds still under the result, and
// only the sky drifts) and the hero's dots (his cell on the screen, where
// his graphic draws in any frame and facing) do not meet. The stages
// played in the story by their routes (the worlds' first stages from the
// title's new game, the later ones from a save with the worlds before them
// cleared), and 3-1 once more with the hero in a jump as the master falls:
// the clear waits until he stands (on the floor, a ledge or something he
// rides).
TEST_P(ResultBoxHeroTest, TheResultsBoxLeavesTheHeroInView) {
  const ClearCase& c = kClearCases[GetParam()];
  SCOPED_TRACE(c.what);
  DemoStoryStart start;
  start.clearedWorlds = c.clearedWorlds;
  for (const char* route : c.before) start.scripts.push_back(DemoRoute(route));
  start.scripts.push_back(c.jumpAtTheEnd ? MasterWithAJumpAtTheEnd(DemoRoute(c.route)) : DemoRoute(c.route));
  const uint32_t before = DemoRoutes(c.before).frames;
  DemoStory story(start);
  ASSERT_TRUE(story.Ready());
  Shot palette;
  ASSERT_TRUE(LoadShot(story.Game().PathOf("bmp/plt/Palette.bmp"), palette));
  const uint32_t key = PaletteColour(palette, 0), frameLine = PaletteColour(palette, 240);
  Shot previous, drawn;
  ScreenBox hero;
  bool standing = false;
  const bool shown = story.Play(1000 + story.ScriptsLength(), [&](uint32_t frame) {
    // The stage's own script from here on.
    if (story.ScriptsBegan() == 0 || frame < story.ScriptsBegan() + before) return false;
    auto* scene = dynamic_cast<cStageScene*>(SceneManager.Scene(kSceneStage));
    if (SceneManager.m_nCurrent.load() != kSceneStage || !scene || scene->m_nMode != kStageModeResult ||
        !scene->HasHero())
      return false;
    plat::Frame picture;
    EXPECT_TRUE(story.Game().LastFrame(picture));
    const std::vector<std::string>& trace = story.Trace();
    EXPECT_EQ(trace.size(), frame);
    if (trace.empty() || trace::Value(trace.back(), "result") == "null") {
      previous = ShotOf(picture);
      return false;
    }
    drawn = ShotOf(picture);
    const cHero& h = scene->Hero();
    const ScreenBox inked = InkedInCell(story.Game().Folder(), h.Definition().m_nGraphic, key);
    hero = {h.m_rcScreen.left + inked.left, h.m_rcScreen.top + inked.top, h.m_rcScreen.left + inked.right,
            h.m_rcScreen.top + inked.bottom};
    standing = h.m_nCarriedById != 0 || (h.m_bAirborne == 0 && h.m_bJump1 == 0);
    return true;
  });
  ASSERT_TRUE(shown) << "no frame drew the result's box";
  EXPECT_EQ(story.Game().Close(), 0);
  ASSERT_FALSE(previous.px.empty()) << "the box came on the result screen's first frame";
  ScreenBox box{drawn.w, drawn.h, -1, -1};
  for (int y = 0; y < drawn.h; ++y)
    for (int x = 0; x < drawn.w; ++x)
      if (drawn.At(x, y) == frameLine && previous.At(x, y) != frameLine)
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
  ASSERT_GT(box.right - box.left, 100) << box;
  ASSERT_GT(box.bottom - box.top, 40) << box;
  ASSERT_FALSE(hero.Empty()) << "the hero's graphic draws nothing";
  EXPECT_TRUE(hero.left >= 0 && hero.top >= 0 && hero.right < drawn.w && hero.bottom < drawn.h)
      << "the hero off the screen: " << hero;
  EXPECT_FALSE(hero.Meets(box)) << "the box " << box << " over the hero " << hero;
  if (c.onHisFeet) {
    EXPECT_TRUE(standing) << "the castle cleared with the hero in the air";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryStage, ResultBoxHeroTest, ::testing::Range<size_t>(0, std::size(kClearCases)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::string(kClearCases[info.param].name);
                         });

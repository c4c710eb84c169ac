// The ranking list's box on every screen that shows it, in real runs of
// `pelmora-tool play` of the demo from its title: the result's ranking
// after F3 (each genre the story ranks, V between them), the world's
// ranking on the map (C, then V) and the challenge's ranking in the world
// select (C). The box picture has its corner one dot right of and below
// the list's corner and is 270 dots wide, as high as the list's lines and
// the room below them; the frame line runs round it. The list's ink (the
// heading, the places, the genre hint, the pointer at the new entry) stands
// inside the frame line, with room to spare right and below, and no text
// runs out of the box.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/play_script.h"
#include "scene/ranking_draw.h"
#include "support/demo_routes.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

// Dots at least clear between the list's ink and the frame line on its
// right and below it.
constexpr int kClear = 4;
// Screenshots are taken every this many frames.
constexpr uint32_t kEvery = 20;

// The frame line's rectangle round a list drawn at (x, y): the outermost
// columns and rows near the list that hold a long run of the line's colour
// (other boxes' lines near it are short). -1 where none was found.
struct Box {
  int left = -1, top = -1, right = -1, bottom = -1;
};

Box FindBox(const Shot& shot, uint32_t frame, int x, int y) {
  constexpr int kLong = 200;
  const int x0 = std::max(0, x - 40), x1 = std::min(shot.w, x + 320);
  const int y0 = std::max(0, y - 40), y1 = std::min(shot.h, y + 400);
  Box box;
  for (int cx = x0; cx < x1; ++cx) {
    int count = 0;
    for (int cy = y0; cy < y1; ++cy) count += shot.At(cx, cy) == frame;
    if (count < kLong) continue;
    if (box.left < 0) box.left = cx;
    box.right = cx;
  }
  for (int cy = y0; cy < y1; ++cy) {
    int count = 0;
    for (int cx = x0; cx < x1; ++cx) count += shot.At(cx, cy) == frame;
    if (count < kLong) continue;
    if (box.top < 0) box.top = cy;
    box.bottom = cy;
  }
  return box;
}

// The box picture's rectangle inside a frame line found by FindBox: the
// first dots off the line's left and top sides, and the last before its
// right and bottom sides are met again, along a row and a column that no
// text of the list crosses (the 13th place's line, right of the places'
// texts). -1 where the line is not met again.
Box InsideTheLine(const Shot& shot, uint32_t frame, const Box& line, int x, int y) {
  const int row = y + 13 * 16 + 8, column = x + 262;
  Box inside;
  int at = line.left;
  while (at < shot.w && shot.At(at, row) == frame) ++at;
  inside.left = at;
  while (at < shot.w && shot.At(at, row) != frame) ++at;
  if (at < shot.w) inside.right = at - 1;
  at = line.top;
  while (at < shot.h && shot.At(column, at) == frame) ++at;
  inside.top = at;
  while (at < shot.h && shot.At(column, at) != frame) ++at;
  if (at < shot.h) inside.bottom = at - 1;
  return inside;
}

class RankingBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo '" + (folder_ / "demo") + "' > /dev/null").c_str()), 0);
    // The text colour (palette 241) and the frame line's (240), from the
    // palette picture (its rows 8..23 hold the palette numbers in order),
    // and every colour of the box picture.
    Shot palette, window;
    ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/plt/Palette.bmp", palette));
    text_ = PaletteColour(palette, 241);
    frame_ = PaletteColour(palette, 240);
    ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/Window.bmp", window));
    fill_.insert(window.px.begin(), window.px.end());
    ASSERT_FALSE(fill_.count(text_) || fill_.count(frame_));
  }

  // Plays the named routes of the demo, then `keys` (a script with its
  // length line), the name dialog answered "ABC"; the screenshots of
  // `frames` (frames of the whole run, multiples of kEvery) and the trace
  // lines.
  void Play(const std::vector<const char*>& routes, const std::string& keys, const std::vector<uint32_t>& frames,
            std::map<uint32_t, Shot>& shots, std::vector<std::string>& lines) {
    const std::string run = folder_ / ("run" + std::to_string(++runs_));
    fs::copy(folder_ / "demo", run, fs::copy_options::recursive);
    DemoRouteChain chain;
    for (const char* name : routes) {
      const DemoRouteChain one = DemoRoutes({name});
      chain.paths.insert(chain.paths.end(), one.paths.begin(), one.paths.end());
      chain.frames += one.frames;
      ASSERT_TRUE(one.complete) << name;
    }
    const std::string script = folder_.Write("keys" + std::to_string(runs_) + ".txt", keys);
    PlayScript parsed;
    std::string error;
    ASSERT_TRUE(parsed.Parse(keys, error)) << error;
    const uint32_t length = chain.frames + parsed.Length();
    const std::string command = "PELMORA_DIALOG_ANSWERS='text:ABC' " + std::string(PELMORA_TOOL) + " play '" + run +
                                "' --frames " + std::to_string(length) + chain.Inputs() + " --input '" + script +
                                "' --trace '" + run + "/trace.jsonl' --shots '" + run + "/shots' --every " +
                                std::to_string(kEvery) + " > /dev/null 2> '" + run + "/errors.txt'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Slurp(run + "/errors.txt");
    for (uint32_t f : frames) {
      char name[32];
      std::snprintf(name, sizeof name, "/shots/frame-%06u.png", f);
      ASSERT_TRUE(LoadShot(run + name, shots[f])) << name;
    }
    lines = trace::Lines(Slurp(run + "/trace.jsonl"));
    ASSERT_EQ(lines.size(), length);
  }

  TempFolder folder_{"ranking-box"};
  int runs_ = 0;
  uint32_t text_ = 0, frame_ = 0;
  std::set<uint32_t> fill_;
};

// The first frame at `frame` or after it that a screenshot is taken of.
uint32_t ShotFrame(uint32_t frame) { return (frame + kEvery - 1) / kEvery * kEvery; }

// Run 1: world 1 to 1-2's result (the demo's routes, the last decide left
// out), F3 and the name "ABC", V twice, decide twice to the map, C and V.
// Run 2: from the title down to the challenge, its world select, C.
TEST_F(RankingBoxTest, TheBoxStandsAtTheListsCornerAndHoldsItsInk) {
  std::string tower = Slurp(PELMORA_SOURCE_DIR "/tests/routes/demo/03-tower.txt");
  tower = tower.substr(0, tower.rfind(" B1\n"));
  tower = tower.substr(0, tower.rfind('\n') + 1);
  PlayScript climb;
  std::string error;
  ASSERT_TRUE(climb.Parse(tower, error)) << error;
  const uint32_t result = climb.Length() + 60;  // on the result screen
  std::string story = tower;
  const struct {
    uint32_t frame;  // after `result`
    const char* keys;
  } steps[] = {{0, "F3"}, {60, "B4"}, {120, "B4"}, {180, "B1"}, {240, "B1"}, {400, "B3"}, {460, "B4"}};
  for (const auto& step : steps) story += std::to_string(result + step.frame) + " " + step.keys + "\n";
  story += "length " + std::to_string(result + 520) + "\n";
  const uint32_t base = DemoRoutes({"01-title.txt", "02-meadow.txt"}).frames;

  const struct Screen {
    const char* what;
    int run;
    uint32_t from, to;  // frames of the run
    const char* scene;
    int x, y;      // where the screen draws the list
    bool pointer;  // the new entry's pointer on the first place
    int lines;     // the heading, 20 places and the genre hint when the play mode ranks more than one genre
  } screens[] = {
      {"the result's ranking", 1, base + result + 30, base + result + 59, "4", 184, 64, true, 22},
      {"the result's ranking, the second genre", 1, base + result + 90, base + result + 119, "4", 184, 64, true, 22},
      {"the result's ranking, the third genre", 1, base + result + 150, base + result + 179, "4", 184, 64, true, 22},
      {"the world's ranking on the map", 1, base + result + 430, base + result + 459, "1", 367, 64, false, 22},
      {"the world's ranking on the map, the next genre", 1, base + result + 490, base + result + 519, "1", 367, 64,
       false, 22},
      {"the challenge's ranking in the world select", 2, 220, 259, "3", 292, 108, false, 22},
  };
  std::map<uint32_t, Shot> shots[2];
  std::vector<std::string> lines[2];
  std::vector<uint32_t> frames[2];
  for (const Screen& s : screens) {
    ASSERT_LE(ShotFrame(s.from), s.to) << s.what;
    frames[s.run - 1].push_back(ShotFrame(s.from));
  }
  ASSERT_NO_FATAL_FAILURE(Play({"01-title.txt", "02-meadow.txt"}, story, frames[0], shots[0], lines[0]));
  ASSERT_NO_FATAL_FAILURE(
      Play({}, "100 DOWN\n110 DOWN\n140 B1\n200 B3\nlength 260\n", frames[1], shots[1], lines[1]));

  std::vector<std::vector<uint32_t>> contents;  // each screen's dots inside its box
  for (const Screen& s : screens) {
    SCOPED_TRACE(s.what);
    const uint32_t f = ShotFrame(s.from);
    ASSERT_EQ(trace::Value(lines[s.run - 1][f - 1], "scene"), s.scene);
    const Shot& shot = shots[s.run - 1][f];
    const Box box = FindBox(shot, frame_, s.x, s.y);
    ASSERT_GE(box.left, 0) << "the box's frame line";
    // The box picture inside the line: its corner at (x + 1, y + 1), 270
    // dots wide, the lines' height and the room below them high.
    const Box picture = InsideTheLine(shot, frame_, box, s.x, s.y);
    EXPECT_EQ(picture.left, s.x + 1);
    EXPECT_EQ(picture.top, s.y + 1);
    EXPECT_EQ(picture.right - picture.left + 1, 270);
    EXPECT_EQ(picture.bottom - picture.top + 1, s.lines * 16 + kRankingBoxRoomBelow);
    EXPECT_GT(picture.left, box.left) << "a frame line left of the picture";
    EXPECT_GT(picture.top, box.top) << "a frame line above the picture";
    // Inside the line: the box picture, or ink.
    int ink = 0, heading = 0, pointer = 0;
    int leftmost = shot.w, rightmost = -1, topmost = shot.h, lowest = -1;
    contents.emplace_back();
    for (int y = box.top + 1; y < box.bottom; ++y)
      for (int x = box.left + 1; x < box.right; ++x) {
        const uint32_t dot = shot.At(x, y);
        contents.back().push_back(dot);
        if (fill_.count(dot) || dot == frame_) continue;
        ++ink;
        leftmost = std::min(leftmost, x), rightmost = std::max(rightmost, x);
        topmost = std::min(topmost, y), lowest = std::max(lowest, y);
        if (dot == text_ && y < s.y + 16) ++heading;
        if (dot != text_ && x < s.x + 16 && y >= s.y + 16 && y < s.y + 32) ++pointer;
      }
    EXPECT_GT(heading, 50) << "the heading is drawn";
    if (s.pointer) {
      EXPECT_GT(pointer, 20) << "the pointer is drawn";
    }
    ASSERT_GT(ink, 0);
    EXPECT_GE(leftmost, s.x) << "ink at x " << leftmost << " left of the list";
    EXPECT_GE(topmost, s.y) << "ink at y " << topmost << " above the list";
    EXPECT_GT(box.right - rightmost, kClear) << "ink at x " << rightmost << ", the line at " << box.right;
    EXPECT_GT(box.bottom - lowest, kClear) << "ink at y " << lowest << ", the line at " << box.bottom;
    // No text just outside the box: above it, right of it, below it, and
    // left of the heading (further down on the map, the world's own boxes
    // stand left of it).
    auto textIn = [&](int x0, int y0, int x1, int y1) {
      int n = 0;
      for (int y = std::max(0, y0); y < std::min(shot.h, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(shot.w, x1); ++x) n += shot.At(x, y) == text_;
      return n;
    };
    EXPECT_EQ(textIn(box.left - 8, box.top - 8, box.right + 9, box.top), 0) << "above";
    EXPECT_EQ(textIn(box.right + 1, box.top, box.right + 9, box.bottom + 1), 0) << "right";
    EXPECT_EQ(textIn(box.left - 8, box.bottom + 1, box.right + 9, box.bottom + 9), 0) << "below";
    EXPECT_EQ(textIn(box.left - 8, box.top, box.left, s.y + 16), 0) << "left of the heading";
  }
  // V changed what the lists show.
  EXPECT_NE(contents[0], contents[1]);
  EXPECT_NE(contents[1], contents[2]);
  EXPECT_NE(contents[3], contents[4]);
}

}  // namespace

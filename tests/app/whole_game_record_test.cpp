// A whole game the editor started (show command 5, no stage file named) is
// a story game like a player's, not a test play: the play-record box of its
// result screens lists the genres the stage ranks and its play mode keeps,
// and draws nothing when the mode keeps none. Played through `pelmora-tool
// play --show-command=5` on the demo project, from the title into 1-1 (which
// ranks every genre but the SP left) and to its result screen.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "data/system_data.h"
#include "play/world/stage_scene.h"
#include "scene/scene.h"
#include "support/demo_routes.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEditorStart = 5;  // the show command the editor starts the game with

// The frame of a route's last key line ("FIRST[-LAST] KEYS"), counted from
// the route's start.
uint32_t LastKeyFrame(const std::string& route) {
  uint32_t last = 0;
  std::istringstream in(route);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string frames, keys;
    if (!(words >> frames >> keys) || frames[0] == '#' || frames == "length") continue;
    last = static_cast<uint32_t>(std::stoul(frames.substr(0, frames.find('-'))));
  }
  return last;
}

class WholeGameRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string command = std::string(PELMORA_TOOL) + " make-demo '" + project_ + "' > /dev/null 2> '" +
                                errors_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(errors_);
  }

  // A copy of the demo whose story mode keeps the ranking genres `genres`.
  std::string Copy(const std::string& tag, const std::vector<uint8_t>& genres) {
    const std::string copy = sandbox_ / tag;
    fs::copy(project_, copy, fs::copy_options::recursive);
    ScopedGameData data;
    cSystemData system;
    EXPECT_EQ(system.LoadFromFile(copy + "/data/System.dat"), 1);
    system.m_Ranking.At(kPlayStory).m_Genres.assign(genres.begin(), genres.end());
    EXPECT_EQ(system.SaveToFile(copy + "/data/System.dat"), 1);
    return copy;
  }

  // Plays `copy` as the editor starts it, no stage named, for `frames`
  // frames with the routes' keys; the trace's lines.
  std::vector<std::string> PlayAsTheEditorStartsIt(const std::string& copy, uint32_t frames,
                                                   const std::string& inputs) {
    const std::string trace = copy + ".jsonl";
    const std::string command = std::string(PELMORA_TOOL) + " play '" + copy + "' --show-command=" +
                                std::to_string(kEditorStart) + " --frames " + std::to_string(frames) +
                                " --trace '" + trace + "'" + inputs + " > /dev/null 2> '" + errors_ + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Slurp(errors_);
    return trace::Lines(Slurp(trace));
  }

  Sandbox sandbox_;
  const std::string project_ = sandbox_ / "demo";
  const std::string errors_ = sandbox_ / "errors.txt";
};

// 1-1's result screen in a game the editor started, its story mode keeping
// every genre (the box comes) and then none (the result screen stays as
// long as it took the box to come, and none comes). The run is the
// editor's: its stages show the editor's key hint.
TEST_F(WholeGameRecordTest, AGameTheEditorStartedListsTheGenresItsPlayModeKeeps) {
  const DemoRouteChain title = DemoRoutes({"01-title.txt"});
  const DemoRouteChain routes = DemoRoutes({"01-title.txt", "02-meadow.txt"});
  ASSERT_TRUE(routes.complete);
  // The meadow's route ends with the key that leaves the result screen:
  // the run stops the frame before it.
  const uint32_t frames = title.frames + LastKeyFrame(Slurp(routes.paths[1])) - 1;
  const struct {
    const char* what;
    std::vector<uint8_t> genres;
    bool box;
  } cases[] = {
      {"the story mode keeps every genre", {1, 1, 1, 1, 1}, true},
      {"the story mode keeps no genre", {0, 0, 0, 0, 0}, false},
  };
  size_t boxAfter = 0;  // result frames before the box came
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string copy = Copy(c.box ? "keeps-all" : "keeps-none", c.genres);
    const std::vector<std::string> lines = PlayAsTheEditorStartsIt(copy, frames, routes.Inputs());
    ASSERT_EQ(lines.size(), frames);
    ASSERT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& line) { return trace::Value(line, "hint") == "26"; }))
        << "a game the editor started shows the editor's key hint";
    size_t results = 0, boxes = 0;
    for (const std::string& line : lines) {
      if (trace::Value(line, "mode") != std::to_string(kStageModeResult)) continue;
      ++results;
      if (trace::Value(line, "result") == "null") continue;
      if (boxes++ == 0 && c.box) boxAfter = results - 1;
    }
    ASSERT_GT(results, 0u) << "1-1 is cleared";
    if (c.box) {
      EXPECT_GT(boxes, 0u) << "the box lists the genres the mode keeps";
    } else {
      ASSERT_GT(results, boxAfter) << "the result screen lasts as long as it took the box to come";
      EXPECT_EQ(boxes, 0u) << "the mode keeps no genre: no box";
    }
  }
}

}  // namespace

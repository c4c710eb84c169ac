// pelmora-tool effect, run as a process: every effect it lists draws in each
// mode where the runtime draws it and is refused where it does not, a
// mosaic's blocks come back in the PNG it writes, and the fade of the
// Direct3D modes is the game's shade toward black. A blend table is taken
// only whole; --list takes no stray word.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/bmp_writer.h"
#include "support/sandbox.h"
#include "surface_pixels.h"

namespace {

class EffectToolTest : public ::testing::Test {
 protected:
  int Run(const std::string& args, std::string& output) {
    const std::string command = std::string(PELMORA_TOOL) + " effect " + args + " > " + dir_ + "/out.txt 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(dir_ + "/out.txt");
    output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TempFolder folder_{"fxtool"};
  const std::string dir_ = folder_.Path();
};

TEST_F(EffectToolTest, EveryListedEffectDrawsInEveryMode) {
  // 8 × 4: left half red, right half blue, as 24-bit colour.
  std::vector<uint32_t> rgb;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) rgb.push_back(x < 4 ? 0xFF0000u : 0x0000FFu);
  const auto bmp = testbmp::Rgb24(8, 4, rgb);
  std::ofstream(dir_ + "/in.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), bmp.size());

  // What the runtime does not draw in a mode is refused (exit 2, nothing
  // written) rather than written as a blank picture: the blur of palette
  // numbers, the tint outside Direct3D.
  struct Refusal {
    const char* effect;
    const char* mode;
    const char* why;
  };
  const Refusal refusals[] = {{"blur", "dd8", "nothing in 8-bit colour"},
                              {"tint", "dd8", "Direct3D modes only"},
                              {"tint", "dd16", "Direct3D modes only"},
                              {"tint", "dd555", "Direct3D modes only"},
                              {"tint", "dd32", "Direct3D modes only"}};
  // A picture large enough for every effect's defaults to show on it.
  constexpr int kWide = 64, kHigh = 48;
  std::vector<uint32_t> halves;
  for (int y = 0; y < kHigh; ++y)
    for (int x = 0; x < kWide; ++x) halves.push_back(x < kWide / 2 ? 0xFF0000u : 0x0000FFu);
  const auto large = testbmp::Rgb24(kWide, kHigh, halves);
  std::ofstream(dir_ + "/large.bmp", std::ios::binary).write(reinterpret_cast<const char*>(large.data()), large.size());
  std::string list;
  ASSERT_EQ(Run("--list", list), 0);
  std::istringstream names(list);
  int count = 0, refused = 0;
  for (std::string name; std::getline(names, name); ++count) {
    for (const char* mode : {"dd8", "dd16", "dd555", "dd32", "d3d16", "d3d32"}) {
      SCOPED_TRACE(name + " " + mode);
      const Refusal* refusal = nullptr;
      for (const Refusal& r : refusals)
        if (name == r.effect && std::string(mode) == r.mode) refusal = &r;
      std::filesystem::remove(dir_ + "/o.png");
      std::string output;
      const int status = Run(name + " " + dir_ + "/large.bmp " + dir_ + "/o.png --mode " + mode, output);
      if (refusal) {
        ++refused;
        EXPECT_EQ(status, 2) << output;
        EXPECT_NE(output.find(refusal->why), std::string::npos) << output;
        EXPECT_FALSE(std::filesystem::exists(dir_ + "/o.png"));
        continue;
      }
      EXPECT_EQ(status, 0) << output;
      int w = 0, h = 0;
      const std::vector<uint32_t> pixels = ReadPng(dir_ + "/o.png", w, h);
      EXPECT_EQ(pixels.size(), static_cast<size_t>(kWide * kHigh));
      // Something of the red and blue picture shows: not a blank one.
      EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0; }));
    }
  }
  EXPECT_EQ(count, 14);
  EXPECT_EQ(refused, 5);

  // Blocks of 4 take the mean of their pixels; a block of 6 mixes both
  // halves (16 red dots, 8 blue); one of 8 would be the whole picture in one
  // flat colour, and is refused.
  std::string output;
  int w = 0, h = 0;
  ASSERT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --size 4", output), 0) << output;
  EXPECT_EQ(ReadPng(dir_ + "/m.png", w, h)[7], 0x0000FFu);
  ASSERT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --size 6", output), 0) << output;
  EXPECT_EQ(ReadPng(dir_ + "/m.png", w, h)[0], 0xAA0055u);
  EXPECT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --size 8", output), 2) << output;

  EXPECT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --radius 4", output), 2);
  EXPECT_EQ(Run("swirl " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32", output), 2);
  EXPECT_NE(output.find("no effect swirl"), std::string::npos);
}

// In the Direct3D modes the game's fade draws black with alpha 255 - weight
// over the picture (it takes no colour there): a weight of 64 leaves a
// quarter of the red, 255 all of it. A colour asked for there is refused.
// The DirectDraw fade mixes toward the colour asked for.
TEST_F(EffectToolTest, TheFadeOfTheDirect3DModesShadesTowardBlack) {
  const auto bmp = testbmp::Rgb24(2, 2, {0xFF0000u, 0xFF0000u, 0xFF0000u, 0xFF0000u});
  std::ofstream(dir_ + "/red.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), bmp.size());
  struct Case {
    const char* mode;
    int weight;
    uint32_t red;
  };
  for (const Case& c : {Case{"d3d32", 64, 0x40}, Case{"d3d32", 255, 0xFF}, Case{"d3d32", 0, 0x00}}) {
    SCOPED_TRACE(std::string(c.mode) + " weight " + std::to_string(c.weight));
    std::string output;
    ASSERT_EQ(Run("fade " + dir_ + "/red.bmp " + dir_ + "/f.png --mode " + c.mode + " --weight " +
                      std::to_string(c.weight),
                  output),
              0)
        << output;
    int w = 0, h = 0;
    const std::vector<uint32_t> pixels = ReadPng(dir_ + "/f.png", w, h);
    ASSERT_EQ(pixels.size(), 4u);
    EXPECT_NEAR(static_cast<int>(pixels[0] >> 16), static_cast<int>(c.red), 1);
    EXPECT_EQ(pixels[0] & 0xFFFFu, 0u);
  }
  std::string output;
  EXPECT_EQ(Run("fade " + dir_ + "/red.bmp " + dir_ + "/g.png --mode d3d16 --blue 255", output), 2);
  EXPECT_NE(output.find("toward black only"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/g.png"));
  ASSERT_EQ(Run("fade " + dir_ + "/red.bmp " + dir_ + "/g.png --mode dd32 --weight 128 --blue 255", output), 0)
      << output;
  int w = 0, h = 0;
  EXPECT_EQ(ReadPng(dir_ + "/g.png", w, h)[0], 0x7F007Fu);
}

// --blend-table takes a file's first 256 rows of 256 palette numbers, in
// every mode (it is read before the display is set up), as the game reads a
// table. One shorter (empty, a byte short) is named with the size it has and
// the size a table has, exit 1, nothing written; what follows the rows of a
// longer one (a byte over, a 640 x 480 picture) is not read, which is said.
// A table is what the 8-bit colour change mixes with: one of all zeros turns
// every pixel into palette colour 0, black, where the table made from the
// palette keeps the picture's colours.
TEST_F(EffectToolTest, ABlendTableIsItsFileFirstRowsAndItsSizeIsSaid) {
  std::vector<uint32_t> rgb(16, 0xFF0000u);
  const auto bmp = testbmp::Rgb24(4, 4, rgb);
  std::ofstream(dir_ + "/in.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), bmp.size());
  const auto table = [&](const std::string& name, size_t size) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << std::string(size, '\0');
    return dir_ + "/" + name;
  };
  struct Case {
    size_t size;
    const char* mode;
  };
  for (const Case& c : {Case{0, "dd8"}, Case{65535, "dd8"}, Case{65535, "d3d32"}}) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes in " + c.mode);
    const std::string path = table("t.dat", c.size);
    std::filesystem::remove(dir_ + "/o.png");
    std::string output;
    EXPECT_EQ(Run("colour-change " + dir_ + "/in.bmp " + dir_ + "/o.png --mode " + c.mode + " --blend-table " + path,
                  output),
              1);
    EXPECT_EQ(output, "effect: " + path + " is " + std::to_string(c.size) +
                          " bytes: a blend table is 65536 (256 rows of 256 palette numbers)\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/o.png"));
  }
  int w = 0, h = 0;
  for (const size_t size : {size_t{65536}, size_t{65537}, size_t{308278}}) {
    SCOPED_TRACE(size);
    const std::string zeros = table("zeros.dat", size);
    std::string output;
    ASSERT_EQ(Run("colour-change " + dir_ + "/in.bmp " + dir_ + "/o.png --mode dd8 --blend-table " + zeros, output),
              0)
        << output;
    EXPECT_EQ(output, size == 65536 ? std::string()
                                    : "effect: " + zeros + " is " + std::to_string(size) +
                                          " bytes: only its first 65536 (a blend table) are read\n");
    for (uint32_t p : ReadPng(dir_ + "/o.png", w, h)) ASSERT_EQ(p, 0u);
  }
  std::string output;
  ASSERT_EQ(Run("colour-change " + dir_ + "/in.bmp " + dir_ + "/o.png --mode dd8", output), 0) << output;
  for (uint32_t p : ReadPng(dir_ + "/o.png", w, h)) ASSERT_NE(p, 0u);
}

// "effect --list" takes "-v" and nothing else, as every command refuses a
// word it does not take (exit 2, the usage, nothing listed).
TEST_F(EffectToolTest, TheListTakesNoStrayWord) {
  std::string plain, verbose, output;
  ASSERT_EQ(Run("--list", plain), 0);
  ASSERT_EQ(Run("--list -v", verbose), 0);
  EXPECT_NE(plain, verbose);
  for (const char* words : {"--list extra", "--list -v extra", "--list --v", "--list mosaic"}) {
    EXPECT_EQ(Run(words, output), 2) << words;
    EXPECT_EQ(output.rfind("usage: pelmora-tool effect NAME IN OUT.png", 0), 0u) << words << ": " << output;
  }
}

}  // namespace

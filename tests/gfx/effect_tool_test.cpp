// pelmora-tool effect, run as a process: every effect it lists draws in each
// mode, and a mosaic's blocks come back in the PNG it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

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

  std::string list;
  ASSERT_EQ(Run("--list", list), 0);
  std::istringstream names(list);
  int count = 0;
  for (std::string name; std::getline(names, name); ++count) {
    for (const char* mode : {"dd16", "dd555", "dd32", "d3d16", "d3d32"}) {
      std::string output;
      EXPECT_EQ(Run(name + " " + dir_ + "/in.bmp " + dir_ + "/o.png --mode " + mode, output), 0)
          << name << " " << mode << ": " << output;
      int w = 0, h = 0;
      EXPECT_EQ(ReadPng(dir_ + "/o.png", w, h).size(), 32u) << name << " " << mode;
    }
  }
  EXPECT_EQ(count, 14);

  // Blocks of 4 take the mean of their pixels; a block of 8 mixes both halves.
  std::string output;
  int w = 0, h = 0;
  ASSERT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --size 4", output), 0) << output;
  EXPECT_EQ(ReadPng(dir_ + "/m.png", w, h)[7], 0x0000FFu);
  ASSERT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --size 8", output), 0) << output;
  EXPECT_EQ(ReadPng(dir_ + "/m.png", w, h)[0], 0x7F007Fu);

  EXPECT_EQ(Run("mosaic " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32 --radius 4", output), 2);
  EXPECT_EQ(Run("swirl " + dir_ + "/in.bmp " + dir_ + "/m.png --mode dd32", output), 2);
  EXPECT_NE(output.find("no effect swirl"), std::string::npos);
}

}  // namespace

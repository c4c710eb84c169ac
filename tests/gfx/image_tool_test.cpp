// pelmora-tool image and text, run as processes: a bitmap through the surface
// loader and a text through the game fonts in each mode, read back from the
// PNG the tool writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "support/rle8_widths.h"
#include "support/sandbox.h"
#include "surface_pixels.h"

namespace {

class PictureToolTest : public ::testing::Test {
 protected:
  // Exit status and everything the tool printed.
  int Run(const std::string& args, std::string& output, const char* tool = "image") {
    const std::string command = std::string(PELMORA_TOOL) + " " + tool + " " + args + " > " + dir_ + "/out.txt 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(dir_ + "/out.txt");
    output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::vector<uint32_t> Png(const std::string& name, int& w, int& h) { return ReadPng(dir_ + "/" + name, w, h); }
  TempFolder folder_{"imgtool"};
  const std::string dir_ = folder_.Path();
};

// A channel through a narrower format: narrowed by c × max / 255, widened
// back by c × 255 / max rounded.
uint32_t Through(uint32_t rgb, int rBits, int gBits, int bBits) {
  auto ch = [](uint32_t c, int bits) {
    const uint32_t max = (1u << bits) - 1;
    const uint32_t n = c * max / 255;
    return static_cast<uint32_t>(std::lround(n * 255.0 / max));
  };
  return ch(rgb >> 16 & 255, rBits) << 16 | ch(rgb >> 8 & 255, gBits) << 8 | ch(rgb & 255, bBits);
}

// ImageMagick's RLE8 bitmaps, whose runs reach into each row's padding, in
// every mode: the narrowest widths, the one of the first report, no padding.
TEST_F(PictureToolTest, ImageMagickRleBitmapsInEveryMode) {
  int seedW = 0, seedH = 0;
  const auto seed = testbmp::Rle8Seed(seedW, seedH);
  const auto files = testbmp::ImageMagickRle8Files();
  ASSERT_EQ(files.size(), 40u);
  struct Case {
    const char* mode;
    int r, g, b;
  } cases[] = {{"dd8", 8, 8, 8}, {"dd16", 5, 6, 5}, {"dd32", 8, 8, 8}, {"d3d16", 5, 5, 5}, {"d3d32", 8, 8, 8}};
  for (int width : {1, 2, 3, 37, 40}) {
    Write("rle.bmp", files[width - 1].bytes);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.mode << " width " << width);
      std::string output;
      ASSERT_EQ(Run(dir_ + "/rle.bmp " + dir_ + "/rle.png --mode " + c.mode, output), 0) << output;
      int w = 0, h = 0;
      const auto px = Png("rle.png", w, h);
      ASSERT_EQ(w, width);
      ASSERT_EQ(h, seedH);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint32_t want = Through(seed[static_cast<size_t>(y) * seedW + x], c.r, c.g, c.b);
          ASSERT_EQ(px[static_cast<size_t>(y) * w + x], want) << x << "," << y;
        }
    }
  }
}

TEST_F(PictureToolTest, FailuresReportAndExit) {
  std::string output;
  EXPECT_EQ(Run(dir_ + "/none.bmp " + dir_ + "/x.png --mode dd32", output), 1);
  EXPECT_NE(output.find("none.bmp の読み込みに失敗！"), std::string::npos) << output;
  Write("bad.bmp", {'B', 'M', 1, 2, 3});
  EXPECT_EQ(Run(dir_ + "/bad.bmp " + dir_ + "/x.png --mode d3d32", output), 1);
  EXPECT_NE(output.find("の読み込みに失敗！"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/x.png"));
  EXPECT_EQ(Run(dir_ + "/bad.bmp " + dir_ + "/x.png --mode dd24", output), 2);
}

// The same text in every mode gives the same dots, in a picture of the
// text's measured size plus the margin.
TEST_F(PictureToolTest, TextInEveryModeDrawsTheSameDots) {
  const std::string font = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
  std::vector<uint32_t> first;
  for (const char* mode : {"dd8", "dd16", "dd32", "d3d16", "d3d32"}) {
    std::string output;
    ASSERT_EQ(Run("1 '漢字Ab' " + dir_ + "/t.png --mode " + mode + " --font-file " + font, output, "text"), 0) << output;
    EXPECT_EQ(output, font + "\n");
    int w = 0, h = 0;
    std::vector<uint32_t> ink = Png("t.png", w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(4 * 16 + 4, 16 + 4));  // four 16-dot cells and a 2-dot margin each side
    for (uint32_t& p : ink) p = p != 0;
    if (first.empty()) first = ink;
    EXPECT_EQ(ink, first) << mode;
  }
  EXPECT_NE(std::count(first.begin(), first.end(), 1u), 0);
  std::string output;
  EXPECT_EQ(Run("3 x " + dir_ + "/bad.png --mode dd32", output, "text"), 2) << "no font setting 3";
  EXPECT_EQ(Run("1 x " + dir_ + "/bad.png --mode dd24", output, "text"), 2);
}

}  // namespace

// pelmora-tool image, run as a process: a bitmap through the surface loader
// in each mode, read back from the PNG it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "support/bmp_writer.h"
#include "support/rle8_widths.h"
#include "support/sandbox.h"
#include "surface_pixels.h"

namespace {

class ImageTool : public ::testing::Test {
 protected:
  // Exit status and everything the tool printed.
  int Run(const std::string& args, std::string& output) {
    const std::string command = std::string(PELMORA_TOOL) + " image " + args + " > " + dir_ + "/out.txt 2>&1";
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

TEST_F(ImageTool, TrueColourBitmapInEveryMode) {
  const std::vector<uint32_t> colours = {0xC86432, 0x102030, 0xFFFFFF, 0x00FF7F, 0x808080, 0x7F0001};
  Write("in.bmp", testbmp::Rgb24(3, 2, colours));
  struct Case {
    const char* mode;
    int r, g, b;  // channel widths of the surface
  } cases[] = {{"dd32", 8, 8, 8}, {"d3d32", 8, 8, 8}, {"dd16", 5, 6, 5}, {"d3d16", 5, 5, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    std::string output;
    ASSERT_EQ(Run(dir_ + "/in.bmp " + dir_ + "/out.png --mode " + c.mode, output), 0) << output;
    int w = 0, h = 0;
    const auto px = Png("out.png", w, h);
    ASSERT_EQ(w, 3);
    ASSERT_EQ(h, 2);
    for (size_t i = 0; i < colours.size(); ++i) EXPECT_EQ(px[i], Through(colours[i], c.r, c.g, c.b)) << i;
  }
}

// ImageMagick's RLE8 bitmaps, whose runs reach into each row's padding, in
// every mode: the narrowest widths, the one of the first report, no padding.
TEST_F(ImageTool, ImageMagickRleBitmapsInEveryMode) {
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

TEST_F(ImageTool, FailuresReportAndExit) {
  std::string output;
  EXPECT_EQ(Run(dir_ + "/none.bmp " + dir_ + "/x.png --mode dd32", output), 1);
  EXPECT_NE(output.find("none.bmp の読み込みに失敗！"), std::string::npos) << output;
  Write("bad.bmp", {'B', 'M', 1, 2, 3});
  EXPECT_EQ(Run(dir_ + "/bad.bmp " + dir_ + "/x.png --mode d3d32", output), 1);
  EXPECT_NE(output.find("の読み込みに失敗！"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/x.png"));
  EXPECT_EQ(Run(dir_ + "/bad.bmp " + dir_ + "/x.png --mode dd24", output), 2);
}

}  // namespace

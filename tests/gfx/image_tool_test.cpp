// pelmora-tool image and text, run as processes: a bitmap through the surface
// loader and a text through the game fonts in each mode, read back from the
// PNG the tool writes; pictures named by any bytes; palettes that give none.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/game_process.h"
#include "support/bmp_writer.h"
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

// The tool run with words of any bytes (no shell between): its exit status,
// with its standard error in `err`.
int RunWords(const TempFolder& folder, const std::vector<std::string>& words, std::string& err) {
  GameProcess tool({PELMORA_TOOL, folder.Path(), words, {}, folder / "words.out", folder / "words.err"});
  const int status = tool.Wait();
  err = tool.Err();
  return status;
}

constexpr const char* kFontFile = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

// A name the user gave and how the messages print it: UTF-8 text as it is;
// a byte that starts no UTF-8 character, and each byte of a control
// character, as \xNN; a backslash doubled, so that a name holding "\x41"
// does not read as one holding "A".
struct ShownName {
  std::string bytes;
  std::string shown;
};
const ShownName kNames[] = {
    {"caf\xE9", "caf\\xe9"},                                         // Latin-1
    {"\x83\x65", "\\x83e"},                                          // CP932
    {"\xE6\xBC\xA2\xE5\xAD\x97", "漢字"},                            // UTF-8 text
    {"\xF0\x9D\x84\x9E", "\xF0\x9D\x84\x9E"},                        // four bytes, U+1D11E
    {"a\\x41", "a\\\\x41"},
    {"line\nbreak", "line\\x0abreak"},
    {"esc\x1B[2J", "esc\\x1b[2J"},
    {"del\x7F", "del\\x7f"},
    {"c1\xC2\x9B", "c1\\xc2\\x9b"},                                  // U+009B, a terminal's command start
    {"overlong\xC0\xAF", "overlong\\xc0\\xaf"},                      // "/" in two bytes
    {"surrogate\xED\xA0\x80", "surrogate\\xed\\xa0\\x80"},
    {"beyond\xF4\x90\x80\x80", "beyond\\xf4\\x90\\x80\\x80"},        // past U+10FFFF
    {"cut\xE6\xBC", "cut\\xe6\\xbc"},                                // a character cut short at the end
    {"lead\xE6z", "lead\\xe6z"},                                     // a lead byte, then plain text
};

// image, effect and text open a picture by its name exactly as given
// (IN, --palette), whatever its bytes: each draws it. A picture missing
// under such a name is named in the message as it was given, escaped.
TEST_F(PictureToolTest, PicturesNamedByAnyBytesAreOpenedAndNamedApart) {
  std::vector<uint32_t> palette(256, 0);
  palette[1] = 0x00FF00u;
  const auto bmp = testbmp::Indexed8(4, 4, palette, std::vector<uint32_t>(16, 1));
  Write("plain.bmp", bmp);
  for (const ShownName& name : kNames) {
    SCOPED_TRACE(name.shown);
    const std::string picture = dir_ + "/" + name.bytes + ".bmp", out = dir_ + "/out.png";
    Write(name.bytes + ".bmp", bmp);
    const std::vector<std::vector<std::string>> runs = {
        {"image", picture, out, "--mode", "dd32"},
        {"image", dir_ + "/plain.bmp", out, "--mode", "dd8", "--palette", picture},
        {"effect", "mosaic", picture, out, "--mode", "dd8", "--size", "2"},
        {"effect", "mosaic", dir_ + "/plain.bmp", out, "--mode", "dd8", "--size", "2", "--palette", picture},
        {"text", "0", "a", out, "--mode", "dd8", "--font-file", kFontFile, "--palette", picture}};
    for (const auto& words : runs) {
      std::filesystem::remove(out);
      std::string err;
      EXPECT_EQ(RunWords(folder_, words, err), 0) << words[0] << " " << words[1] << ": " << err;
      int w = 0, h = 0;
      EXPECT_FALSE(Png("out.png", w, h).empty()) << words[0] << " " << words[1];
    }
    if (HasFailure()) break;
  }
  for (const ShownName& name : kNames) {
    const std::string missing = dir_ + "/gone-" + name.bytes + ".bmp";
    const std::string shown = dir_ + "/gone-" + name.shown + ".bmp";
    std::string err;
    EXPECT_EQ(RunWords(folder_, {"image", missing, dir_ + "/out.png", "--mode", "dd32"}, err), 1);
    EXPECT_EQ(err, shown + " の読み込みに失敗！ (no such file)\n");
  }
  std::string err;
  EXPECT_EQ(RunWords(folder_, {"effect", "mosaic", dir_ + "/gone-caf\xE9.bmp", dir_ + "/out.png", "--mode", "dd32"},
                     err),
            1);
  EXPECT_EQ(err, "effect: " + dir_ + "/gone-caf\\xe9.bmp cannot be read (no such file)\n");
  EXPECT_EQ(RunWords(folder_, {"text", "0", "a", dir_ + "/out.png", "--mode", "dd32", "--palette",
                               dir_ + "/gone-caf\xE9.bmp"},
                     err),
            1);
  EXPECT_EQ(err, "text: cannot read the palette " + dir_ + "/gone-caf\\xe9.bmp (no such file)\n");
}

// text's --palette must give a palette, as image's and effect's: a file that
// is no picture is named with the loader's reason, and in dd8 a picture
// without an 8-bit colour table is refused (the 8-bit display would draw
// every colour black), while the deeper modes take its colour grid.
TEST_F(PictureToolTest, TextNamesAPaletteThatGivesNoneAndWhy) {
  Write("garbage.bmp", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
  Write("rgb.bmp", testbmp::Rgb24(16, 16, std::vector<uint32_t>(256, 0x808080u)));
  std::vector<uint32_t> greys(256);
  for (uint32_t i = 0; i < 256; ++i) greys[i] = i * 0x010101u;
  Write("table.bmp", testbmp::Indexed8(2, 2, greys, {0, 1, 2, 3}));
  struct Case {
    const char* palette;
    const char* mode;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {"garbage.bmp", "dd8", 1, "text: no palette in " + dir_ + "/garbage.bmp (not a BMP, PNG or JPEG file)\n"},
      {"garbage.bmp", "d3d32", 1, "text: no palette in " + dir_ + "/garbage.bmp (not a BMP, PNG or JPEG file)\n"},
      {"rgb.bmp", "dd8", 1,
       "text: no palette in " + dir_ + "/rgb.bmp (the dd8 mode takes its colours from an 8-bit picture's colour "
       "table)\n"},
      {"rgb.bmp", "dd32", 0, ""},
      {"table.bmp", "dd8", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.palette) + " in " + c.mode);
    std::filesystem::remove(dir_ + "/t.png");
    std::string err;
    EXPECT_EQ(RunWords(folder_,
                       {"text", "0", "a", dir_ + "/t.png", "--mode", c.mode, "--font-file", kFontFile, "--palette",
                        dir_ + "/" + c.palette},
                       err),
              c.status);
    EXPECT_EQ(err, c.said);
    EXPECT_EQ(std::filesystem::exists(dir_ + "/t.png"), c.status == 0);
  }
}

}  // namespace

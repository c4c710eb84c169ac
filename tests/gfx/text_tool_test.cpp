// pelmora-tool text, run as a process: the same text in every mode gives the
// same dots, in a picture of the text's measured size plus the margin.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "support/sandbox.h"
#include "support/test_files.h"
#include "surface_pixels.h"

namespace {

TEST(TextTool, EveryModeDrawsTheSameDots) {
  TempFolder folder("texttool");
  const std::string& dir = folder.Path();
  const std::string font = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
  auto run = [&](const std::string& args) {
    const int status = std::system((std::string(PELMORA_TOOL) + " text " + args + " > " + dir + "/out.txt 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::vector<uint32_t> first;
  for (const char* mode : {"dd8", "dd16", "dd32", "d3d16", "d3d32"}) {
    const std::string png = dir + "/" + mode + ".png";
    ASSERT_EQ(run("1 '漢字Ab' " + png + " --mode " + mode + " --font-file " + font), 0) << Slurp(dir + "/out.txt");
    EXPECT_EQ(Slurp(dir + "/out.txt"), font + "\n");
    int w = 0, h = 0;
    std::vector<uint32_t> px = ReadPng(png, w, h);
    EXPECT_EQ(w, 4 * 16 + 4);  // four 16-dot cells and a 2-dot margin each side
    EXPECT_EQ(h, 16 + 4);
    // The grey ramp: ink is palette number 241 (grey 241, or its nearest at 16 bits).
    std::vector<uint32_t> ink;
    for (uint32_t p : px) ink.push_back(p == 0 ? 0 : 1);
    if (first.empty()) first = ink;
    EXPECT_EQ(ink, first) << mode;
  }
  EXPECT_NE(std::count(first.begin(), first.end(), 1u), 0);
  EXPECT_EQ(run("3 x " + dir + "/bad.png --mode dd32"), 2) << "no font setting 3";
  EXPECT_EQ(run("1 x " + dir + "/bad.png --mode dd24"), 2);
}

}  // namespace

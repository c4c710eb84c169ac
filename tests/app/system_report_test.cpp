// The system report: the lines a run writes, in order and in the shapes the
// report has always had ("%.3f" totals, "%3.f" free amounts), the display
// part in each back end, and the 31-bit disk-free cap.
#include "app/system_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "base/logs.h"
#include "gfx/dd.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "support/display.h"

namespace {

class SystemReport : public ::testing::Test {
 protected:
  std::vector<std::string> Lines() const {
    std::istringstream in(sandbox_.Report());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The lines `write` adds, each matched against its pattern (the rest
  // match ".+"); returns them.
  template <class Write>
  std::vector<std::string> ExpectShapes(Write write, const std::vector<std::string>& patterns, size_t count = 0) {
    const size_t before = Lines().size();
    EXPECT_EQ(write(), 1);
    const std::vector<std::string> all = Lines();
    std::vector<std::string> lines(all.begin() + static_cast<long>(std::min(before, all.size())), all.end());
    EXPECT_EQ(lines.size(), std::max(count, patterns.size()));
    for (size_t i = 0; i < lines.size(); ++i)
      EXPECT_TRUE(std::regex_match(lines[i], std::regex(i < patterns.size() ? patterns[i] : ".+")))
          << "line " << i << ": " << lines[i];
    return lines;
  }
  DisplaySandbox sandbox_;
};

TEST_F(SystemReport, MachinePartLinesInOrder) {
  ExpectShapes(WriteSystemReport, {
                            "OS : Linux .+",
                            "CPU : .* .* [0-9]+",
                            "Mem Total : [0-9]+\\.[0-9]{3}MB",
                            "Mem Free : +[0-9]+MB",
                            "Vir Total : [0-9]+\\.[0-9]{3}MB",
                            "Vir Free : +[0-9]+MB",
                            "HD Free : +[0-9]+MB",
                            "Display : \\([0-9]+,[0-9]+\\)",
                            "System Font : .* \\(0,-?[0-9]+\\) (33|34)",
                        });
}

TEST_F(SystemReport, NothingWithoutTheLogAndDiskFreeIsCappedAt31Bits) {
  ResetLogsForTest();
  EXPECT_EQ(WriteSystemReport(), 0);  // never opened
  EXPECT_EQ(WriteDisplayReport(), 0);
  EXPECT_EQ(sandbox_.Report(), "");

  EXPECT_EQ(CapDiskFreeBytes(3ull << 30), 0x7fffffffu);
  EXPECT_EQ(CapDiskFreeBytes(12345), 12345u);
  EXPECT_LE(GetDiskFreeSpace(nullptr), 0x7fffffffu);
}

TEST_F(SystemReport, DisplayPartInDirectDrawWindow) {
  plat::DrawFaultInjection().desktopBitsOverride = 32;
  ASSERT_TRUE(DDInit(0, 0, 640, 480, 32, 0, 1, 1, 60, 0, nullptr, nullptr, 0));
  ExpectShapes(WriteDisplayReport,
               {"Mode : Window", "Bpp : 32", "VRAM Total : [0-9]+\\.[0-9]{3}MB", "VRAM Free : [0-9]+\\.[0-9]{3}MB",
                "RR : 60"});
}

TEST_F(SystemReport, DisplayPartInDirect3DFullScreen) {
  plat::DeviceConfiguration().caps.textureCaps = plat::D3DPTEXTURECAPS_POW2;
  ASSERT_TRUE(DDInit(1, 0, 640, 480, 16, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
  const std::vector<std::string> got = ExpectShapes(WriteDisplayReport,
               {"Mode : Fullscreen", "Bpp : 16", ".+", "TextureMem : [0-9]+MB", ".+0", "Description : .+",
                "Driver : .+ 9", "TextureMaxSize : \\(4096,4096\\)", "TextureMaxBlend : \\(1,1\\)",
                "D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD", "D3DPTEXTURECAPS_POW2", "D3DCAPS2_DYNAMICTEXTURES"},
               12 + 22);
  ASSERT_EQ(got.size(), 12u + 22u);
  EXPECT_EQ(got[4], "---デバイス0");
  // The format table: 22 rows, four formats each; render targets are made,
  // depth buffers are not, vertex-buffer usages are no call for a picture.
  auto four = [](const std::string& sign) { return sign + sign + sign + sign; };
  EXPECT_EQ(got[15], "DE-TE" + four("× "));
  EXPECT_EQ(got[21], "DY-TE" + four("○ "));
  EXPECT_EQ(got[33], "WR-TE" + four("？ "));
  EXPECT_EQ(std::string(FormatCheckSign(0x88760001u)), plat::Sjis("－ "));
}

}  // namespace

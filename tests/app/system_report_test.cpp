// The system report: the lines a run writes, in order and in the shapes the
// report has always had ("%.3f" totals, "%3.f" free amounts), the display
// part in each back end, and the 31-bit disk-free cap.
#include "app/system_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "base/logs.h"
#include "gfx/dd.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

class SystemReport : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelmora-report-XXXXXX";
    dir_ = mkdtemp(pattern);
    ResetLogsForTest();
    plat::SetWindowHost(plat::MakeHeadlessWindowHost());
    plat::SetVerticalBlankWait(false);
    plat::DrawFaultInjection() = plat::DrawFaults{};
    plat::DeviceConfiguration() = plat::DeviceConfig{};
    DDResetForTest();
  }
  void TearDown() override {
    DDResetForTest();
    ResetLogsForTest();
    std::filesystem::remove_all(dir_);
  }
  std::vector<std::string> Lines() const {
    std::ifstream in(dir_ + "/Report_Game.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void ExpectShapes(const std::vector<std::string>& lines, const std::vector<std::string>& patterns) {
    ASSERT_EQ(lines.size(), patterns.size());
    for (size_t i = 0; i < lines.size(); ++i)
      EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i]))) << "line " << i << ": " << lines[i];
  }
  std::string dir_;
};

TEST_F(SystemReport, MachinePartLinesInOrder) {
  ASSERT_EQ(OpenReportLog((dir_ + "/Report_Game.txt").c_str()), 1);
  ASSERT_EQ(WriteSystemReport(), 1);
  ExpectShapes(Lines(), {
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

TEST_F(SystemReport, NothingWithoutTheLog) {
  EXPECT_EQ(WriteSystemReport(), 0);  // never opened
  EXPECT_EQ(WriteDisplayReport(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/Report_Game.txt"));
}

TEST_F(SystemReport, DiskFreeIsCappedAt31Bits) {
  EXPECT_EQ(CapDiskFreeBytes(3ull << 30), 0x7fffffffu);
  EXPECT_EQ(CapDiskFreeBytes(12345), 12345u);
  char line[64];
  std::snprintf(line, sizeof line, "HD Free : %3.fMB", CapDiskFreeBytes(3ull << 30) * 9.536743e-7);
  EXPECT_STREQ(line, "HD Free : 2048MB");
  EXPECT_LE(GetDiskFreeSpace(nullptr), 0x7fffffffu);
}

TEST_F(SystemReport, VersionTestsTakeTheModernBranch) {
  int major = 0, minor = -1;
  GetOSName(nullptr, &major, &minor);
  EXPECT_EQ(major, 10);
  EXPECT_EQ(minor, 0);
  EXPECT_TRUE(IsWindowsVersionAtLeast(6, 0));
  EXPECT_TRUE(IsWindowsVersionAtLeast(10, 0));
  EXPECT_FALSE(IsWindowsVersionAtLeast(10, 1));
  EXPECT_FALSE(IsWindowsVersionAtLeast(11, 0));
  EXPECT_EQ(GetDriverDDIVersion(), 9);
  plat::DeviceConfiguration().available = false;
  EXPECT_EQ(GetDriverDDIVersion(), 99999);
}

TEST_F(SystemReport, DisplayPartInDirectDrawWindow) {
  ASSERT_EQ(OpenReportLog((dir_ + "/Report_Game.txt").c_str()), 1);
  plat::DrawFaultInjection().desktopBitsOverride = 32;
  ASSERT_TRUE(DDInit(0, 0, 640, 480, 32, 0, 1, 1, 60, 0, nullptr, nullptr, 0));
  const size_t before = Lines().size();
  ASSERT_EQ(WriteDisplayReport(), 1);
  const auto all = Lines();
  ExpectShapes(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
               {"Mode : Window", "Bpp : 32", "VRAM Total : [0-9]+\\.[0-9]{3}MB", "VRAM Free : [0-9]+\\.[0-9]{3}MB",
                "RR : 60"});
  uint32_t total = 0, free = 0;
  GetVideoMemory(&total, &free);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
}

TEST_F(SystemReport, DisplayPartInDirect3DFullScreen) {
  ASSERT_EQ(OpenReportLog((dir_ + "/Report_Game.txt").c_str()), 1);
  plat::DeviceConfiguration().caps.textureCaps = plat::D3DPTEXTURECAPS_POW2;
  ASSERT_TRUE(DDInit(1, 0, 640, 480, 16, 0, 0, 1, 60, 0, nullptr, nullptr, 0));
  const size_t before = Lines().size();
  ASSERT_EQ(WriteDisplayReport(), 1);
  const auto all = Lines();
  std::vector<std::string> got(all.begin() + static_cast<long>(before), all.end());
  ASSERT_EQ(got.size(), 12u + 22u);
  ExpectShapes(std::vector<std::string>(got.begin(), got.begin() + 12),
               {"Mode : Fullscreen", "Bpp : 16", ".+", "TextureMem : [0-9]+MB", ".+0", "Description : .+",
                "Driver : .+ 9", "TextureMaxSize : \\(4096,4096\\)", "TextureMaxBlend : \\(1,1\\)",
                "D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD", "D3DPTEXTURECAPS_POW2", "D3DCAPS2_DYNAMICTEXTURES"});
  EXPECT_EQ(got[4], "---デバイス0");
  // The format table: 22 rows, four formats each; render targets are made,
  // depth buffers are not, vertex-buffer usages are no call for a picture.
  auto four = [](const std::string& sign) { return sign + sign + sign + sign; };
  EXPECT_EQ(got[12], "AU-SU" + four("× "));
  EXPECT_EQ(got[15], "DE-TE" + four("× "));
  EXPECT_EQ(got[20], "DY-SU" + four("？ "));
  EXPECT_EQ(got[21], "DY-TE" + four("○ "));
  EXPECT_EQ(got[26], "RT-SU" + four("○ "));
  EXPECT_EQ(got[33], "WR-TE" + four("？ "));
  EXPECT_EQ(std::string(FormatCheckSign(0x88760001u)), plat::Sjis("－ "));
}

}  // namespace

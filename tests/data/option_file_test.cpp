#include <gtest/gtest.h>

#include "data/user_records.h"
#include "records_support.h"
#include "support/sandbox.h"

namespace {

using records_test::Bytes;

std::string OptionBytes(int version, int32_t palette, int32_t music, int32_t volume, int32_t mode, const std::string& name) {
  return Bytes().u32(version).u32(4).u32(palette).u32(music).u32(volume).u32(mode).u32(1).str(name).s();
}

TEST(OptionFileTest, SavedBytesAndLoadedValues) {
  Sandbox box;
  cOptionData options;
  options.m_nSoundVolume = 3;
  ASSERT_TRUE(SaveOptionFile(options, "user_data\\Option.dat"));
  EXPECT_EQ(box.Read("user_data/Option.dat"), OptionBytes(873, 0, 1, 3, 0, "aaa"));

  // Values out of range come back as their defaults, the others as stored.
  const struct {
    int32_t palette, music, volume, mode;
    int32_t wantPalette, wantMusic, wantVolume, wantMode;
  } cases[] = {{23, 0, 10, 3, 23, 0, 10, 3},  {24, 2, 11, 4, 0, 1, 7, 0},
               {-1, -1, -1, -1, 0, 1, 7, 0}, {99, 1, 50, 7, 0, 1, 7, 0}};
  for (const auto& c : cases) {
    cOptionData loaded;
    ASSERT_TRUE(loaded.LoadFromBytes(OptionBytes(873, c.palette, c.music, c.volume, c.mode, "xyz")));
    EXPECT_EQ(loaded.m_nPalette, c.wantPalette) << c.palette;
    EXPECT_EQ(loaded.m_bMusic, c.wantMusic) << c.music;
    EXPECT_EQ(loaded.m_nSoundVolume, c.wantVolume) << c.volume;
    EXPECT_EQ(loaded.m_nRankingMode, c.wantMode) << c.mode;
    EXPECT_EQ(loaded.m_strRankingName, "xyz");
  }
}

}  // namespace

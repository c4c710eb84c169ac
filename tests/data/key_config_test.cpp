#include "data/key_config.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/sandbox.h"

namespace {

class KeyConfigFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    return folder_.Write(name, std::string(bytes.begin(), bytes.end()));
  }
  TempFolder folder_{"keys"};
  const std::string dir_ = folder_.Path();
};

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A configured table unlike the defaults in every binding byte, with counts
// inside the bounds so that no clamping hides what was read.
std::vector<uint8_t> ConfiguredFile() {
  std::vector<uint8_t> b(120);
  for (size_t i = 0; i < 96; ++i) b[i] = static_cast<uint8_t>(0x80 + i);
  Put32(b, 96, 7);
  Put32(b, 100, 3);
  Put32(b, 104, 1);
  for (size_t i = 108; i < b.size(); ++i) b[i] = 0xEE;  // past the table: never read
  return b;
}

TEST_F(KeyConfigFileTest, AFileOfAnyLengthLoadsWhatItHoldsOverTheStartOfTheTable) {
  const std::vector<uint8_t> file = ConfiguredFile();
  cKeyConfig defaults;
  SetDefaultKeys(defaults);
  const auto before = defaults.ToBytes();
  for (size_t length = 0; length <= file.size(); ++length) {
    std::string path = Write("KeyConfig" + std::to_string(length) + ".dat",
                             std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(length)));
    cKeyConfig table = defaults;
    ASSERT_EQ(LoadKeyConfig(path.c_str(), table), 1) << length;
    const auto after = table.ToBytes();
    for (size_t i = 0; i < after.size(); ++i)
      ASSERT_EQ(after[i], i < length ? file[i] : before[i]) << "length " << length << " byte " << i;
  }
  // Read as little-endian fields.
  cKeyConfig table;
  table.LoadBytes(file.data(), file.size());
  EXPECT_EQ(std::tuple(table.m_Bindings[0].m_nDevice, table.m_Bindings[0].m_wCode, table.m_Bindings[11].m_wCode),
            std::tuple(0x83828180u, 0x8584, 0xDDDC));
  EXPECT_EQ(std::tuple(table.m_nCount, table.m_nJoystickCount, table.m_nMode), std::tuple(7u, 3u, 1u));
}

TEST_F(KeyConfigFileTest, CountsBeyondTheTableAreClamped) {
  struct Case {
    uint32_t count, joysticks;
    uint32_t wantCount, wantJoysticks;
  };
  const Case cases[] = {{12, 8, 12, 8}, {13, 9, 12, 8}, {0xFFFFFFFF, 0xFFFFFFFF, 12, 8}, {0x80000000, 16, 12, 8},
                        {0, 0, 0, 0}};
  for (const Case& c : cases) {
    std::vector<uint8_t> b = ConfiguredFile();
    Put32(b, 96, c.count);
    Put32(b, 100, c.joysticks);
    cKeyConfig table;
    ASSERT_EQ(LoadKeyConfig(Write("KeyConfig.dat", b).c_str(), table), 1);
    EXPECT_EQ(table.m_nCount, c.wantCount) << c.count;
    EXPECT_EQ(table.m_nJoystickCount, c.wantJoysticks) << c.joysticks;
  }
  // Fields written after loading are bounded where they are used.
  cKeyConfig table;
  table.m_nCount = 500;
  table.m_nJoystickCount = 0xFFFFFFFF;
  EXPECT_EQ(table.BindingCount(), 12);
  EXPECT_EQ(table.JoystickCount(), 8);
}

TEST_F(KeyConfigFileTest, NoReadableFileLeavesTheTableForTheDefaults) {
  cKeyConfig table;
  SetDefaultKeys(table);
  const auto before = table.ToBytes();
  EXPECT_EQ(LoadKeyConfig((dir_ + "/missing.dat").c_str(), table), 0);
  EXPECT_EQ(LoadKeyConfig(dir_.c_str(), table), 0);  // a folder of that name
  EXPECT_EQ(LoadKeyConfig(nullptr, table), 0);
  EXPECT_EQ(table.ToBytes(), before);
}

}  // namespace

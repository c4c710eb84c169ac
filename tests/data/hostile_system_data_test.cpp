// A large file with counts that lie must fail without allocating what the
// counts claim.
#include <gtest/gtest.h>

#include <cstring>

#include "data/system_data.h"
#include "support/alloc_counter.h"

namespace {

// The default file with its first list count replaced, padded to 1 MB.
std::string WithCountAt(size_t offset, uint32_t count, size_t size) {
  cSystemData defaults;
  std::string bytes = defaults.SaveToBytes();
  std::memcpy(&bytes[offset], &count, 4);
  bytes.resize(size, '\x01');
  return bytes;
}

TEST(HostileSystemDataTest, LyingCountsInAMegabyteFailWithBoundedMemory) {
  cSystemData probe;
  std::string plain = probe.SaveToBytes();
  // The first list (carry-over flags) follows the body: 4 + 4 + 79 fields + 4 + title.
  size_t bodyEnd = 4 + 4 + 76 * 4 + 3 + 4 + 4;
  ASSERT_EQ(plain.substr(bodyEnd, 4), std::string("\x19\x00\x00\x00", 4));  // 25 flags
  const size_t oneMegabyte = 1 << 20;
  const std::string cases[] = {
      WithCountAt(bodyEnd, 0xFFFFFFFFu, oneMegabyte),       // more flags than the file holds
      WithCountAt(bodyEnd + 4 + 25 + 4 + 25, 130000u, oneMegabyte),  // HUD items: as many as could fit
  };
  for (const std::string& file : cases) {
    cSystemData record;
    record.m_strTitle = "kept";
    bool counting = AllocationCountingAvailable();
    if (counting) StartCountingAllocations();
    bool loaded = record.LoadFromBytes(file);
    size_t peak = counting ? StopCountingAllocations() : 0;
    EXPECT_FALSE(loaded);
    EXPECT_EQ(record.m_strTitle, "kept");
    if (counting) {
      EXPECT_LT(peak, 4 * oneMegabyte) << "peak " << peak;
    }
  }
}

}  // namespace

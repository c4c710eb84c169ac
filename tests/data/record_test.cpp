#include "data/record.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using namespace std::string_literals;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A record with every width, an array, two strings added in later versions,
// and a list of sub-records.
class cSample : public cRecord {
 public:
  cSample() { Clear(); }
  PELMORA_RECORD_CLASS(cSample)
  void DefineFields(int32_t version) override {
    ClearDeclarations();
    Declare(m_byte);
    Declare(m_word);
    Declare(m_pair);
    Declare(m_double);
    if (version >= 200) Declare(m_nLater);
    DeclareString(m_strA);
    if (version >= 150) DeclareString(m_strB);
  }
  bool Read(cDataReader& in) override { return cRecord::Read(in) && ReadRecordList(in, m_children); }
  void Write(cDataWriter& out) override {
    cRecord::Write(out);
    WriteRecordList(out, m_children);
  }
  uint8_t m_byte = 0;
  int16_t m_word = 0;
  int32_t m_pair[2] = {};
  double m_double = 0;
  int32_t m_nLater = 0;
  std::string m_strA, m_strB;
  std::vector<cCmd> m_children;
};

TEST(RecordTest, WritesTheFileLayoutByteForByte) {
  cSample r;
  std::tie(r.m_byte, r.m_word, r.m_pair[0], r.m_pair[1], r.m_double, r.m_nLater) = std::tuple(0xAB, -2, 5, -1, 1.0, 3);
  r.m_strB = "a"s;
  r.m_children.resize(1);
  r.m_children[0].m_strLabel = "go";
  std::string expected = Bytes({0x69, 0x03, 0, 0,  // version 873
                                5, 0, 0, 0,        // five declarations
                                0xAB, 0xFE, 0xFF, 5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                0, 0, 0, 0, 0, 0, 0xF0, 0x3F,  // 1.0
                                3, 0, 0, 0,
                                2, 0, 0, 0,  // two strings
                                1, 0, 0, 0,  // "" is the word alone
                                2, 0, 0, 0, 'a', 0,
                                1, 0, 0, 0,                          // one child
                                1, 0, 0, 0, 1, 0, 0, 0,              // enabled
                                1, 0, 0, 0, 3, 0, 0, 0, 'g', 'o', 0});
  EXPECT_EQ(r.SaveToBytes(), expected);
  cSample back;
  ASSERT_TRUE(back.LoadFromBytes(expected));
  EXPECT_EQ(back.SaveToBytes(), expected);
  EXPECT_EQ(back.m_children.at(0).m_strLabel, "go");
}

TEST(RecordTest, RefusesFilesFromTheFuture) {
  cSample r;
  const std::string good = r.SaveToBytes();
  for (const char* version : {"\x6A\x03\0\0", "\xFF\xFF\xFF\xFF"}) {  // 874, and the largest word
    EXPECT_FALSE(r.LoadFromBytes(std::string(version, 4) + good.substr(4)));
    EXPECT_EQ(bFileTooNew, 1);
  }
  EXPECT_TRUE(r.LoadFromBytes(good));
  EXPECT_EQ(bFileTooNew, 0);
}

TEST(RecordTest, BrokenFilesFailAndLeaveTheRecordAsItWas) {
  cSample original;
  original.m_strA = "text";
  original.m_children.resize(2);
  std::string good = original.SaveToBytes();
  cSample r;
  r.m_word = 99;
  // Every truncation point.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    ASSERT_FALSE(r.LoadFromBytes(good.substr(0, cut))) << cut;
    ASSERT_EQ(r.m_word, 99);
  }
  auto patched = [&](size_t offset, uint32_t value) {
    std::string s = good;
    std::memcpy(&s[offset], &value, 4);
    return s;
  };
  EXPECT_FALSE(r.LoadFromBytes(patched(4, 6)));           // a field more than declared
  EXPECT_FALSE(r.LoadFromBytes(patched(31, 3)));          // a string more than declared
  EXPECT_FALSE(r.LoadFromBytes(patched(35, 0)));          // string length word 0
  EXPECT_FALSE(r.LoadFromBytes(patched(35, 0xFFFFFFFF)));  // string longer than the file
  size_t listCount = good.size() - 2 * 21 - 4;
  EXPECT_FALSE(r.LoadFromBytes(patched(listCount, 0xFFFFFFFF)));  // list too long for the file
  EXPECT_EQ(r.m_word, 99);
  EXPECT_TRUE(r.LoadFromBytes(good));
  EXPECT_EQ(r.m_strA, "text");
}

TEST(RecordTest, ClearAndCopyTouchOnlyDeclaredMembers) {
  cSample a;
  a.m_word = 5;
  a.m_strA = "x"s;
  a.m_children.resize(3);
  a.Clear();
  EXPECT_EQ(std::tuple(a.m_word, a.m_strA, a.m_children.size()), std::tuple(0, "", 3u));
  cSample b;
  b.m_word = 9;
  b.m_strB = "y"s;
  a.CopyFrom(b);
  EXPECT_EQ(std::tuple(a.m_word, a.m_strB, a.m_children.size()), std::tuple(9, "y", 3u));
  // Copies declare afresh: a copy writes its own members, not the source's.
  cSample c = b;
  b.m_word = 1;
  EXPECT_EQ(c.SaveToBytes(), [&] { cSample d = c; return d.SaveToBytes(); }());
  EXPECT_NE(c.SaveToBytes(), b.SaveToBytes());
}

}  // namespace

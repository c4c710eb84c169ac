#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Built before main() runs: Sjis must work during static initialisation.
const std::string& g_builtEarly = plat::Sjis("エラー");

TEST(Cp932Conversion, KnownBytesBothWaysAndOneQuestionMarkPerBadByte) {
  // "ソ", "表" and "能" end in 0x5C; "～" and "－" are where CP932 and
  // Shift_JIS tables differ; "ｱ" is a single-byte katakana; backslash and
  // tilde stay ASCII next to double-byte text.
  const struct { std::string utf8, cp932; } both[] = {
      {"ステージ表示ソ能～－ｱ", "\x83\x58\x83\x65\x81\x5b\x83\x57\x95\x5c\x8e\xa6\x83\x5c\x94\x5c\x81\x60\x81\x7c\xb1"},
      {"表\\~data\\x", "\x95\x5c\\~data\\x"},
      {"a\\b~c", "a\\b~c"},
  };
  for (const auto& c : both) {
    bool lossless = false;
    EXPECT_EQ(plat::Utf8ToCp932(c.utf8, &lossless), c.cp932);
    EXPECT_TRUE(lossless);
    lossless = false;
    EXPECT_EQ(plat::Cp932ToUtf8(c.cp932, &lossless), c.utf8);
    EXPECT_TRUE(lossless);
  }
  // A lead byte before a space, an unassigned pair, a lone lead byte at the
  // end: only the bad bytes are lost.
  bool lossless = true;
  EXPECT_EQ(plat::Cp932ToUtf8("\x81 A\x85\x40\x95\x5c\x82", &lossless), "? A?@表?");
  EXPECT_FALSE(lossless);
  // "é" and an emoji have no CP932 form; a stray continuation byte and a cut
  // sequence are malformed.
  lossless = true;
  EXPECT_EQ(plat::Utf8ToCp932("aé表\xF0\x9F\x98\x80z\x80y\xE3\x81", &lossless), "a?\x95\x5c?z?y?");
  EXPECT_FALSE(lossless);
  // Longer than the converter's internal chunk.
  std::string utf8, cp932;
  for (int i = 0; i < 5000; ++i) utf8 += "表a", cp932 += "\x95\x5c" "a";
  EXPECT_EQ(plat::Utf8ToCp932(utf8), cp932);
  EXPECT_EQ(plat::Cp932ToUtf8(cp932), utf8);
}

TEST(Sjis, ConvertsOnceKeepsOneCopyPerTextAndServesManyThreads) {
  EXPECT_EQ(g_builtEarly, "\x83\x47\x83\x89\x81\x5b");
  EXPECT_EQ(&plat::Sjis("エラー"), &g_builtEarly);
  char copy[] = "エラー";  // the same text from another buffer: the same entry
  EXPECT_EQ(&plat::Sjis(copy), &g_builtEarly);
  EXPECT_EQ(plat::Sjis("ok"), "ok");
  EXPECT_EQ(plat::Sjis(nullptr), "");

  const char* texts[] = {"能力", "表示", "ソフト", "ゲーム", "ステージ"};
  std::vector<std::string> expected;
  for (const char* t : texts) expected.push_back(plat::Utf8ToCp932(t));
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const size_t k = static_cast<size_t>(i + t) % 5;
        // Distinct texts per round, so threads also insert concurrently.
        const std::string fresh = std::string(texts[k]) + std::to_string(i);
        failures[t] += plat::Sjis(texts[k]) != expected[k];
        failures[t] += plat::Sjis(fresh.c_str()) != expected[k] + std::to_string(i);
        failures[t] += plat::Cp932ToUtf8(expected[k]) != texts[k];
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(8, 0));
}

}  // namespace

namespace {

// What a terminal is shown of a text: its characters as they are; control
// characters, and bytes that start no well-formed character, as \xNN.
TEST(ShownOnTerminal, ControlsAndBytesOfNoCharacterAreEscaped) {
  const struct {
    const char* text;
    bool doubleBackslashes;
    const char* shown;
  } rows[] = {
      {"caf\xc3\xa9 \xe3\x81\x82 \xf0\x9f\x98\x80", false, "caf\xc3\xa9 \xe3\x81\x82 \xf0\x9f\x98\x80"},
      {"a\x1b[31mb\nc\x7f", false, "a\\x1b[31mb\\x0ac\\x7f"},
      {"\xc2\x85|\xc2\x9f|\xc2\xa0", false, "\\xc2\\x85|\\xc2\\x9f|\xc2\xa0"},  // C1 controls; a no-break space is kept
      {"caf\xe9", false, "caf\\xe9"},
      {"\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80", false, "\\xc0\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80"},
      {"\xe3\x81", false, "\\xe3\\x81"},  // cut short at the end
      {"data\\stg4", false, "data\\stg4"},
      {"data\\stg4", true, "data\\\\stg4"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(plat::ShownOnTerminal(row.text, row.doubleBackslashes), row.shown) << row.shown;
  }
}

}  // namespace

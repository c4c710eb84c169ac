// pelmora-tool expr, run as a process, warns only of the code the game
// reads: a text longer than the game takes (5,119 bytes in the game's
// encoding, where a kana is 2 bytes) is refused whole, unread, and nothing
// after the point where the game stops on a text of the wrong shape (the
// 257th group, an unclosed group, rand without two arguments) is read. A
// glued word ("C1=5", warned of wherever the game reads it) stands on each
// side of those edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tool_run.h"
#include "support/sandbox.h"

namespace {

std::string Repeat(const std::string& piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct Case {
  const char* name;
  std::string code;
  int status;
  bool warned;  // whether "C1=5" is warned of as one word
};

TEST(ToolExprReachTest, OnlyCodeTheGameReadsIsWarnedOf) {
  TempFolder folder("exprreach");
  const std::string glued = "C1=5";
  const Case cases[] = {
      // Spaces are no words: the glued word padded to the length the game takes.
      {"5119 bytes", glued + std::string(5115, ' '), 0, true},
      {"5120 bytes", glued + std::string(5116, ' '), 1, false},
      // 5 + 2 x 2557 bytes as the game reads them (5 + 3 x 2557 typed).
      {"5119 bytes with kana", glued + " " + Repeat("あ", 2557), 0, true},
      {"5121 bytes with kana", glued + " " + Repeat("あ", 2558), 1, false},
      {"the 256th group", Repeat("(0)", 255) + "(" + glued + ")", 0, true},
      {"the 257th group", Repeat("(0)", 256) + "(" + glued + ")", 1, false},
      {"after 256 groups", Repeat("(0)", 256) + " " + glued, 0, true},
      {"after 257 groups", Repeat("(0)", 257) + " " + glued, 1, false},
      {"before an unclosed group", "(" + glued + ") (1", 1, true},
      {"around an unclosed group", glued + " (1", 1, false},
      {"rand of two", "C1 = rand(" + glued + ", 2)", 0, true},
      {"rand of one", "C1 = rand(" + glued + ")", 1, false},
      {"rand of three", "C1 = rand(" + glued + ", 2, 3)", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRunResult ran = RunToolIn(folder, {"expr", c.code});
    EXPECT_EQ(ran.status, c.status) << ran.out;
    const std::string warning = "pelmora-tool expr: \"" + glued + "\" is one word";
    if (c.warned) {
      EXPECT_EQ(ran.err.rfind(warning, 0), 0u) << ran.err;
    } else {
      EXPECT_EQ(ran.err, "");
    }
  }
}

// The warnings quote the statement's words: a control character in one is
// shown, not sent to the terminal, and a backslash stays one.
TEST(ToolExprReachTest, AWarningShowsTheControlCharactersOfTheWordsItQuotes) {
  TempFolder folder("exprshown");
  const struct {
    std::string code;
    std::string quoted;
  } cases[] = {
      {"C1 = \x1b[31mfoo", "\"\\x1b[31mfoo\" is neither a number nor a name"},
      {"C1=\x07 2", "\"C1=\\x07\" is one word"},
      {"C1 = a\\b", "\"a\\b\" is neither a number nor a name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quoted);
    const ToolRunResult ran = RunToolIn(folder, {"expr", c.code});
    EXPECT_NE(ran.err.find("pelmora-tool expr: " + c.quoted), std::string::npos) << ran.err;
    EXPECT_EQ(ran.err.find_first_of("\x1b\x07"), std::string::npos) << "a raw control character reached the terminal";
  }
}

}  // namespace

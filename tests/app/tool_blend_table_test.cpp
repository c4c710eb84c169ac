// pelmora-tool dump, check and resave of a blend table ("bmp\hbt\hbtNN.dat"),
// run as a process: a table is the file's first 256 x 256 palette numbers,
// as the game reads it, so a file shorter than that (a table cut short, an
// empty file) is no table: the command says the size the file has and the
// size a table has, exits 1 and prints or writes nothing. A longer one (a
// table with bytes after it, a picture given the table's name) gives its
// first rows, and `check` says how much after them is not read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_run.h"
#include "support/bmp_writer.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kTableBytes = 65536;

TEST(ToolBlendTableTest, AFileShorterThanATableIsRefusedNamingBothSizes) {
  TempFolder folder("blendtable");
  const std::string table(kTableBytes, '\x05');
  for (const std::string& bytes : {table.substr(0, kTableBytes - 1), table.substr(0, 1000), std::string()}) {
    const std::string path = folder.Write("bmp/hbt/hbt03.dat", bytes);
    const std::string told = path + ": not a readable blendtable file: it is " + std::to_string(bytes.size()) +
                             " bytes, and a blend table is 65536 (256 x 256)\n";
    const std::string copy = folder / "copy.dat";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"check", path},
                                                 std::vector<std::string>{"dump", path},
                                                 std::vector<std::string>{"resave", path, copy}}) {
      SCOPED_TRACE(args[0] + " of " + std::to_string(bytes.size()) + " bytes");
      const ToolRunResult ran = RunToolIn(folder, args);
      EXPECT_EQ(ran.status, 1) << ran.err;
      EXPECT_EQ(ran.err, told);
      EXPECT_EQ(ran.out, "");
      EXPECT_FALSE(fs::exists(copy));
    }
  }
}

TEST(ToolBlendTableTest, AFileLongerThanATableGivesItsFirstRows) {
  TempFolder folder("blendtable");
  std::string table(kTableBytes, '\0');
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char>(i % 253);
  // A 24-bit picture of 370 x 284 dots, as a screen shot saved under the
  // table's name would be.
  const std::string picture = testbmp::AsString(testbmp::Rgb24(370, 284, std::vector<uint32_t>(370 * 284, 0x336699u)));
  ASSERT_GT(picture.size(), 300000u);
  const std::string after = std::to_string(picture.size() - kTableBytes);
  const struct {
    std::string bytes;
    std::string told;  // check's line
  } rows[] = {
      {table, "ok blendtable: entries 65536 (256 x 256)\n"},
      {table + '\x05', "ok blendtable: entries 65536 (256 x 256); the 1 byte(s) after them are not read\n"},
      {picture, "ok blendtable: entries 65536 (256 x 256); the " + after + " byte(s) after them are not read\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes.size());
    const std::string path = folder.Write("bmp/hbt/hbt03.dat", row.bytes);
    ToolRunResult ran = RunToolIn(folder, {"check", path});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, row.told);
    const std::string copy = folder / "copy.dat";
    ran = RunToolIn(folder, {"resave", path, copy});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(Slurp(copy), row.bytes.substr(0, kTableBytes)) << "the table as the game reads it";
    ran = RunToolIn(folder, {"dump", path});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_NE(ran.out.find("[" + std::to_string(static_cast<uint8_t>(row.bytes[0])) + ","), std::string::npos);
  }
}

}  // namespace

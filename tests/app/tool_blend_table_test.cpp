// pelmora-tool dump, check and resave of a blend table ("bmp\hbt\hbtNN.dat"),
// run as a process: a table is exactly 256 x 256 palette numbers, so a file
// of any other size (a picture given the table's name, a table cut short or
// with bytes after it) is no table, as the game refuses it; the command
// says the size the file has and the size a table has, exits 1 and prints
// or writes nothing.
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

TEST(ToolBlendTableTest, AFileOfAnotherSizeThanATableIsRefusedNamingBothSizes) {
  TempFolder folder("blendtable");
  // A 24-bit picture of 370 x 284 dots: 315,278 bytes, as a screen shot
  // saved under the table's name would be.
  const std::string picture = testbmp::AsString(testbmp::Rgb24(370, 284, std::vector<uint32_t>(370 * 284, 0x336699u)));
  ASSERT_GT(picture.size(), 300000u);
  const std::string table(kTableBytes, '\x05');
  const std::string files[] = {picture, table + '\x05', table.substr(0, kTableBytes - 1), ""};
  for (const std::string& bytes : files) {
    const std::string path = folder.Write("bmp/hbt/hbt03.dat", bytes);
    const std::string told = path + ": not a readable blendtable file: it is " + std::to_string(bytes.size()) +
                             " bytes, and a blend table is exactly 65536 (256 x 256)\n";
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
  // The same name holding a whole table is one.
  const std::string path = folder.Write("bmp/hbt/hbt03.dat", table);
  const ToolRunResult ran = RunToolIn(folder, {"check", path});
  EXPECT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.out, "ok blendtable: entries 65536 (256 x 256)\n");
}

}  // namespace

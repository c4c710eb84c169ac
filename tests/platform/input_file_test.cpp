// A file a tool reads, opened by its Linux name exactly as given: a name of
// any bytes, a backslash in it, a capital its file does not have. The
// program path it hands the runtime's loaders reads that very file, even
// once its name is given to another; what is not a regular file is refused
// without waiting for it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/image_decode.h"
#include "platform/input_file.h"
#include "support/bmp_writer.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

// The bytes the path layer reads at a program path.
std::string ReadThrough(const std::string& programPath) {
  std::string bytes;
  if (FILE* f = plat::OpenFile(programPath, "rb")) {
    char buffer[256];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

TEST(InputFileTest, AnyNameIsOpenedAsGivenAndReadThroughItsProgramPath) {
  TempFolder folder("input");
  const std::string names[] = {
      "caf\xE9.bmp",        // Latin-1: no UTF-8 text
      "\x83\x65.bmp",       // CP932 bytes
      "a\\b.bmp",           // a backslash, no separator here
      "\xE6\xBC\xA2.bmp",   // UTF-8 text, as the path layer would take it too
      "line\nbreak.bmp",
  };
  const auto bmp = testbmp::Rgb24(2, 1, {0xFF0000u, 0x0000FFu});
  const std::string picture(bmp.begin(), bmp.end());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    folder.Write(name, picture);
    plat::InputFile file;
    ASSERT_EQ(file.Open(folder / name), "");
    EXPECT_EQ(ReadThrough(file.ProgramPath()), picture);
    plat::DecodedImage image;
    std::string why;
    ASSERT_TRUE(plat::LoadImageFile(file.ProgramPath(), image, why)) << why;
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.argb[1] & 0xFFFFFFu, 0x0000FFu);
  }
  plat::InputFile capital;
  EXPECT_EQ(capital.Open(folder / "\xE6\xBC\xA2.BMP"), "No such file or directory") << "no case folding";
}

// The file opened, not the name: another file put in its place later is
// not what the loaders read.
TEST(InputFileTest, TheFileOpenedIsReadEvenWhenItsNameIsReplaced) {
  TempFolder folder("replaced");
  const std::string path = folder.Write("in.dat", "first");
  plat::InputFile file;
  ASSERT_EQ(file.Open(path), "");
  const std::string other = folder.Write("other.dat", "second");
  fs::rename(other, path);
  EXPECT_EQ(ReadThrough(file.ProgramPath()), "first");
}

TEST(InputFileTest, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
  TempFolder folder("kinds");
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_directory(folder / "folder");
  struct Case {
    std::string path;
    const char* why;
  } cases[] = {{folder / "pipe", "not a regular file"},
               {folder / "folder", "not a regular file"},
               {"/dev/null", "not a regular file"},
               {folder / "missing", "No such file or directory"},
               {"", "no such file"}};
  for (const Case& c : cases) {
    plat::InputFile file;
    EXPECT_EQ(file.Open(c.path), c.why) << c.path;
    EXPECT_EQ(file.ProgramPath(), "") << c.path;
  }
}

}  // namespace

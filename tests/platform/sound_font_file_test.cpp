// The SoundFont file as it is looked at before FluidSynth may open it: each
// thing that is not a SoundFont laid out as the library reads one is named
// with why, and what is laid out as one passes (built byte by byte from the
// RIFF layout).
#include "platform/sound_font_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/audio_fixtures.h"
#include "support/sandbox.h"

namespace {

using fixtures::RiffChunk;
using fixtures::SoundFontForm;

std::string Le32(uint32_t v) {
  std::string out;
  fixtures::LE32(out, v);
  return out;
}

TEST(SoundFontFileTest, WhatIsNoSoundFontIsNamedWithWhy) {
  TempFolder folder("sound-font");
  ASSERT_EQ(mkfifo((folder / "pipe.sf2").c_str(), 0600), 0);
  std::filesystem::create_directory(folder / "folder.sf2");
  const std::string whole = SoundFontForm(RiffChunk("ifil", Le32(0x00010002)));
  const std::string kNoHeader = "not a SoundFont: it does not start with a RIFF sfbk header";
  auto counts = [](size_t counted, size_t held) {
    return "a damaged SoundFont: its RIFF header counts " + std::to_string(counted) + " bytes, the file holds " +
           std::to_string(held);
  };
  auto misplaced = [](const char* list) {
    return std::string("a damaged SoundFont: its ") + list + " list is not where it belongs";
  };
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // written to the file; none: made above, or not there
    std::string problem;
  } cases[] = {
      {"missing.sf2", {}, "No such file or directory"},
      {"pipe.sf2", {}, "not a file: it is a named pipe"},
      {"folder.sf2", {}, "not a file: it is a folder"},
      {"empty.sf2", "", "the file is empty"},
      {"garbage.sf2", "\x93\x17garbage, not a font at all", kNoHeader},
      {"short.sf2", "RIFF", kNoHeader},
      {"wave.sf2", RiffChunk("RIFF", "WAVE" + whole.substr(12)), kNoHeader},
      {"cut.sf2", whole.substr(0, whole.size() - 1), counts(whole.size(), whole.size() - 1)},
      {"longer.sf2", whole + "x", counts(whole.size(), whole.size() + 1)},
      {"order.sf2", SoundFontForm("", "INFO", "pdta", "sdta"), misplaced("sdta")},
      {"no-info.sf2", RiffChunk("RIFF", "sfbk" + RiffChunk("JUNK", "ab") + whole.substr(12)), misplaced("INFO")},
      {"no-pdta.sf2", RiffChunk("RIFF", "sfbkLIST" + Le32(4) + "INFOLIST" + Le32(4) + "sdta"), misplaced("pdta")},
      {"past.sf2", RiffChunk("RIFF", "sfbkLIST" + Le32(4) + "INFOLIST" + Le32(4) + "sdtaLIST" + Le32(100) + "pdta"),
       "a damaged SoundFont: its pdta list runs past the file's end"},
      {"whole.sf2", whole, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.bytes) folder.Write(c.name, *c.bytes);
    EXPECT_EQ(plat::SoundFontFileProblem(folder / c.name), c.problem);
  }
  // The links the system's SoundFont is reached through are followed.
  std::filesystem::create_symlink(folder / "whole.sf2", folder / "link.sf2");
  EXPECT_EQ(plat::SoundFontFileProblem(folder / "link.sf2"), "");
  EXPECT_EQ(plat::SoundFontFileProblem("/dev/zero"), "not a file: it is a device");
  const std::string installed = "/usr/share/sounds/sf2/default-GM.sf2";
  if (std::filesystem::exists(installed)) {
    EXPECT_EQ(plat::SoundFontFileProblem(installed), "");
  }
}

// A file beyond the bound is refused by its size alone (a sparse file: no
// disk is spent on it).
TEST(SoundFontFileTest, AFileLargerThanTheBoundIsRefused) {
  TempFolder folder("sound-font");
  const std::string path = folder.Write("huge.sf2", SoundFontForm());
  std::filesystem::resize_file(path, plat::kMaxSoundFontBytes + 1);
  EXPECT_EQ(plat::SoundFontFileProblem(path), "larger than 2 GiB");
  std::filesystem::resize_file(path, plat::kMaxSoundFontBytes);
  EXPECT_NE(plat::SoundFontFileProblem(path).find("its RIFF header counts"), std::string::npos)
      << "a file of the bound itself is looked into";
}

// A SoundFont of 16 MiB and more is as common as any (the General MIDI
// fonts run to 140 MB): its RIFF header and its sample list count sizes whose
// top byte is not 0, and it is taken. Here 20 MiB of samples that are a hole
// in a sparse file, between a whole INFO list and a whole pdta list.
TEST(SoundFontFileTest, AFormPast16MiBIsTaken) {
  TempFolder folder("sound-font");
  const std::string info = RiffChunk("LIST", "INFO" + RiffChunk("ifil", Le32(0x00010002)));
  const std::string pdta = RiffChunk("LIST", "pdta");
  constexpr uint32_t kSamples = 20u << 20;
  const uint64_t total = 12 + info.size() + 12 + kSamples + pdta.size();
  ASSERT_GT(total, uint64_t{1} << 24);
  const std::string head = "RIFF" + Le32(static_cast<uint32_t>(total - 8)) + "sfbk" + info + "LIST" +
                           Le32(4 + kSamples) + "sdta";
  const std::string path = folder.Write("big.sf2", head);
  std::filesystem::resize_file(path, head.size() + kSamples);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << pdta;
  }
  ASSERT_EQ(std::filesystem::file_size(path), total);
  EXPECT_EQ(plat::SoundFontFileProblem(path), "");
  // The same form one byte short of its header's count is damaged.
  std::filesystem::resize_file(path, total - 1);
  EXPECT_EQ(plat::SoundFontFileProblem(path), "a damaged SoundFont: its RIFF header counts " + std::to_string(total) +
                                                  " bytes, the file holds " + std::to_string(total - 1));
}

}  // namespace

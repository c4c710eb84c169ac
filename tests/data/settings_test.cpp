#include "data/settings.h"

#include <gtest/gtest.h>

#include "data/system_data.h"
#include "support/sandbox.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

namespace {

struct IniCase {
  const char* name;
  std::string text;
  int32_t result;
  int32_t direct3D, bpp, showFps;
  const char* freeStage;
};

class SystemIniTest : public ::testing::TestWithParam<IniCase> {};

TEST_P(SystemIniTest, ReadsAsTheFormatSays) {
  const IniCase& c = GetParam();
  cSystemData system;
  GameSettingsRecord settings;
  SetDefaultSettings(settings, system.m_Keys);
  std::strcpy(settings.szFreeStage, "old");
  EXPECT_EQ(ParseSystemIni(c.text, settings, system.m_Keys), c.result);
  EXPECT_EQ(settings.nDirect3D, c.direct3D);
  EXPECT_EQ(settings.nBpp, c.bpp);
  EXPECT_EQ(settings.nShowFps, c.showFps);
  EXPECT_STREQ(settings.szFreeStage, c.freeStage);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemIniTest,
    ::testing::Values(
        IniCase{"CommentAfterValue", "Direct3D=1 /comment\nExit\n", 1, 1, 0, 1, "old"},
        IniCase{"BlanksAroundTheEqualsSign", "Bpp = 16\nBpp=8\nBpp=32\nExit\n", 1, 2, 32, 1, "old"},
        IniCase{"CrLfLines", "Bpp=16\nShowFps=2\nExit\n", 1, 2, 16, 2, "old"},
        IniCase{"TwoCharacterStageIsTaken", "FreeStage=ab\nExit\n", 1, 2, 0, 1, "ab"},
        IniCase{"KeysAreCaseSensitive", "direct3d=1\nExit\n", 1, 2, 0, 1, "old"},
        IniCase{"NoExitLineFails", "Direct3D=1\n", 0, 1, 0, 1, "old"},
        IniCase{"ExitWithoutLineEndFails", "Direct3D=0\nExit", 0, 0, 0, 1, "old"},
        IniCase{"NulEndsTheFile", std::string("Direct3D=0\n\0Bpp=8\n", 19), 1, 0, 0, 1, "old"},
        IniCase{"NulInsideAValueEndsTheFile", std::string("Bpp=8\0\nShowFps=0\n", 17), 1, 2, 8, 1, "old"},
        IniCase{"EqualsInsideACommentIsAKeyThatMatchesNothing", "Bpp=8 /a=b\nExit\n", 1, 2, 8, 1, "old"},
        IniCase{"OverlongKeyAndValueCannotOverrun",
                std::string(5000, 'K') + "=" + std::string(5000, '7') + "\nShowFps=0\nExit\n", 1, 2, 0, 0, "old"},
        IniCase{"OverlongStageIsIgnored", "FreeStage=" + std::string(300, 's') + "\nExit\n", 1, 2, 0, 1, "old"}),
    [](const ::testing::TestParamInfo<IniCase>& info) { return std::string(info.param.name); });

TEST(SystemIniTest, DefaultsComeFromTheKeyTableByPosition) {
  cSystemData system;
  system.m_Keys[0].m_nDefault = 0;  // Direct3D
  system.m_Keys[8].SetText("FreeStage", "data\\stg4\\a.stg4_873");
  GameSettingsRecord settings;
  SetDefaultSettings(settings, system.m_Keys);
  EXPECT_EQ(settings.nDirect3D, 0);
  EXPECT_EQ(settings.nVSync, 2);
  EXPECT_EQ(settings.nMidiDirectMusic, 1);
  EXPECT_STREQ(settings.szFreeStage, "data\\stg4\\a.stg4_873");
  // A key renamed in the table fills the same field: position decides.
  system.m_Keys[2].m_strKey = "Depth";
  EXPECT_EQ(ParseSystemIni("Depth=16\nBpp=8\nExit\n", settings, system.m_Keys), 1);
  EXPECT_EQ(settings.nBpp, 16);
}

// The file written for a game without one holds the table's defaults, one
// key a line in table order, and reads back as exactly those defaults (also
// for a table whose defaults the author changed); an existing file is never
// replaced.
TEST(SystemIniTest, TheDefaultFileReadsBackAsTheDefaults) {
  cSystemData system;
  const std::string text = DefaultSystemIniText(system.m_Keys);
  EXPECT_EQ(text,
            "Direct3D=2\nWindowMode=0\nBpp=0\nVSync=2\nD3D_FontCache=0\nDD_FontCache=1\n"
            "DD_VideoStretch=0\nShowFps=1\nFreeStage=\nEnglish=0\nMidi_DirectMusic=1\nExit\n");
  cSystemData changed;
  changed.m_Keys[0].m_nDefault = 1;
  changed.m_Keys[7].m_nDefault = -3;
  changed.m_Keys[8].SetText("FreeStage", "data\\stg4\\a.stg4_873");
  for (cSystemData* table : {&system, &changed}) {
    GameSettingsRecord expected;
    SetDefaultSettings(expected, table->m_Keys);
    // Every byte of the record read into starts as 0x55, so a field the
    // reader leaves alone shows.
    std::array<unsigned char, sizeof(GameSettingsRecord)> poison;
    poison.fill(0x55);
    GameSettingsRecord read = std::bit_cast<GameSettingsRecord>(poison);
    read.szFreeStage[0] = '\0';
    EXPECT_EQ(ParseSystemIni(DefaultSystemIniText(table->m_Keys), read, table->m_Keys), 1);
    EXPECT_EQ(std::memcmp(&read, &expected, offsetof(GameSettingsRecord, szFreeStage)), 0);
    EXPECT_STREQ(read.szFreeStage, expected.szFreeStage);
  }
  TempFolder folder("ini");
  const std::string path = folder / "System.ini";
  EXPECT_TRUE(WriteDefaultSystemIni(path, system.m_Keys));
  EXPECT_EQ(folder.Read("System.ini"), text);
  folder.Write("System.ini", "Direct3D=0\n");  // the player's own, even broken
  EXPECT_FALSE(WriteDefaultSystemIni(path, system.m_Keys));
  EXPECT_EQ(folder.Read("System.ini"), "Direct3D=0\n");
}

}  // namespace

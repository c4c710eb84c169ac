// The menu labels handed to a text target, the stage record that stores one
// of its five numbers, and the default data made from the path table's
// folders.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "support/sandbox.h"
#include "data/data_paths.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/test_files.h"

namespace {

class RecordingTarget : public cTextTarget {
 public:
  void DrawSystemText(int32_t x, int32_t y, const std::string& text) override {
    calls.push_back({x, y, text});
  }
  struct Call {
    int32_t x, y;
    std::string text;
  };
  std::vector<Call> calls;
};

TEST(MenuLabelsTest, DrawnAsOneTextOfLinesAtTheMenuPosition) {
  cSystemData system;
  RecordingTarget target;
  // The stage-start box: texts 10 and 11 centred on 304, room for the cursor.
  const int32_t x = system.GetMenuLeft(304, 10, 2, true);
  system.DrawMenuLabels(x, 260, 10, 2, true, target);
  system.DrawMenuLabels(8, 16, 17, 2, false, target);
  ASSERT_EQ(target.calls.size(), 2u);
  EXPECT_EQ(target.calls[0].x, 304 - (7 + 1) * 16 / 2);  // "ステージに挑む": 7 characters
  EXPECT_EQ(target.calls[0].y, 260);
  EXPECT_EQ(target.calls[0].text, plat::Sjis(" ステージに挑む\n やっぱりやめる\n"));
  EXPECT_EQ(target.calls[1].text, plat::Sjis("タイトルへ戻る\nやっぱりやめる\n"));
}

TEST(StageRecordTest, StoresTheFirstOfFiveAndCopiesAll) {
  cStageRecord record;
  for (int i = 0; i < 5; ++i) record.m_nValues[i] = 10 + i;
  const std::string bytes = record.SaveToBytes();
  // Version, one field of four bytes, no texts.
  EXPECT_EQ(bytes, std::string("\x69\x03\0\0\x01\0\0\0\x0a\0\0\0\0\0\0\0", 16));
  cStageRecord back;
  back.m_nValues[3] = 7;
  ASSERT_TRUE(back.LoadFromBytes(bytes));
  EXPECT_EQ(back.m_nValues[0], 10);
  EXPECT_EQ(back.m_nValues[1], 0);
  EXPECT_EQ(back.m_nValues[3], 7);  // not stored: kept
  cStageRecord copy;
  copy = record;
  EXPECT_EQ(copy.m_nValues[4], 14);
}

// A project whose path table names other folders than "data\" and
// "default\": the default data goes where the table says.
TEST(DefaultDataTest, CopiesTheFoldersThePathTableNames) {
  Sandbox sandbox("yes");
  const std::string dir = sandbox.Folder().Path();
  const std::string savedData = DataPaths.At(kPathData), savedDefault = DataPaths.At(kPathDefault);
  DataPaths.At(kPathData) = "game\\";
  DataPaths.At(kPathDefault) = "template\\";
  std::filesystem::create_directories(dir + "/template/database");
  std::ofstream(dir + "/template/database/Anime.dat") << "anime";

  EXPECT_EQ(CreateDefaultData(0), 1);
  EXPECT_EQ(Slurp(dir + "/game/database/Anime.dat"), "anime");
  EXPECT_FALSE(std::filesystem::exists(dir + "/data"));
  EXPECT_EQ(CreateDefaultData(0), 1);  // there now: nothing asked

  DataPaths.At(kPathData) = savedData;
  DataPaths.At(kPathDefault) = savedDefault;
}

}  // namespace

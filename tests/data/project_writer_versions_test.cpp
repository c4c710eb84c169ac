// Every file kind as the independent writer (tests/data/project_writer.py)
// produces it: version-873 files with a value other than a new record's in
// every field, which the runtime reads and pelmora-tool resaves to the same
// bytes; and the same stored values in the layout of the versions one below
// and at each threshold of the formats, read through the runtime's readers
// with the upgrades the formats name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

#include "base/logs.h"
#include "data/common_palette.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "platform/files.h"
#include "platform/text.h"
#include "records_support.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

// The value of an expression of the probe version v.
#define AT(expr) [&](int v) { return static_cast<int64_t>(expr); }

using Words = std::vector<uint32_t>;

class WrittenProjectTest : public records_test::RecordsTest {
 protected:
  // The writer runs once for the whole suite.
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/pelmora-pwv-XXXXXX";
    root_ = mkdtemp(pattern);
    std::string command = "python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py " + root_;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(root_); }

  void SetUp() override {
    ResetLogsForTest();
    ASSERT_EQ(OpenReportLog((root_ + "/Report_Game.txt").c_str()), 1);
    env_.Set("PELMORA_DIALOG_ANSWERS", "ok;ok;ok;ok;ok;ok").Set("PELMORA_DIALOG_LOG", root_ + "/dialogs.log");
    std::filesystem::remove(root_ + "/dialogs.log");
    records_test::RecordsTest::SetUp();  // every database list holds four entries while the probes load
  }
  void TearDown() override { ResetLogsForTest(); }

  // The probe stage of version v, read once per test.
  const cStageData& Probe(int v) {
    auto& slot = stages_[v];
    if (!slot) {
      slot = std::make_unique<cStageData>();
      EXPECT_EQ(slot->LoadFromFile("probe\\stg4\\v" + std::to_string(v) + ".stg4_1"), 1) << v;
    }
    return *slot;
  }
  const cEdCharacter& FlowCharacter(int v) { return Probe(v).m_PaletteCharacters.At(1); }
  const cCond& Cond(int v, int i) { return FlowCharacter(v).m_vFlows.at(0).m_vConds.at(i); }
  const cEdCmd& Cmd(int v, int i) { return FlowCharacter(v).m_vFlows.at(1).m_vCmds.at(i); }
  const cEdFlow& Flow(int v, int i) { return FlowCharacter(v).m_vFlows.at(i); }
  const cEdCharacter& Chara(int v) { return Probe(v).m_PaletteCharacters.At(2); }
  // One threshold: what `get` reads from the probe of version v, then v + 1.
  template <class Get>
  void Step(int v, Get get, int64_t before, int64_t after) {
    EXPECT_EQ(static_cast<int64_t>(get(v)), before) << "version " << v;
    EXPECT_EQ(static_cast<int64_t>(get(v + 1)), after) << "version " << v + 1;
  }

  // A command's words in the probe of version v, then v + 1.
  void CmdStep(int v, int i, const Words& before, const Words& after) {
    EXPECT_EQ(Cmd(v, i).m_vParams, before) << "version " << v << " command " << i;
    EXPECT_EQ(Cmd(v + 1, i).m_vParams, after) << "version " << v + 1 << " command " << i;
  }

  static std::string root_;
  ScopedWorkingFolder working_{root_};
  ScopedEnv env_;
  std::map<int, std::unique_ptr<cStageData>> stages_;
};
std::string WrittenProjectTest::root_;

// ---- version 873, every field set ----

TEST_F(WrittenProjectTest, FullFilesResaveToTheSameBytes) {
  const std::string full = root_ + "/full/data/";
  std::vector<std::string> files = {"CommonPalette.cplt4", "stg4/full.stg4_1"};
  for (const char* name : {"AnimeSet", "Anime", "Bmp_CharaExc", "SwordType", "Effect", "CharaEffect", "ScrEffect",
                           "Picture", "Sound", "Bgm"})
    files.push_back(std::string("database/") + name + ".dat");
  for (const std::string& file : files) {
    const std::string out = root_ + "/resaved.bin";
    std::string command = std::string(PELMORA_TOOL) + " resave '" + full + file + "' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << file;
    EXPECT_EQ(Slurp(out), Slurp(full + file)) << file;
  }
}

TEST_F(WrittenProjectTest, FullFilesLoadThroughTheRuntime) {
  ASSERT_TRUE(plat::SetCurrentDirectory(root_ + "/full"));
  bStripCarriageReturns = 1;
  ASSERT_EQ(LoadDatabase(), 1);
  ASSERT_EQ(Database.m_AnimeSets[1].m_Animes.size(), 3u);
  EXPECT_EQ(Database.m_Animes[1].m_strName, plat::Sjis("アニメ1\n行"));  // CR stripped
  EXPECT_EQ(Database.m_SwordTypes[1].m_Entries[1].m_nValues[9], 22);
  EXPECT_EQ(Database.m_CharaEffects[0].m_nKind, 0);  // entry 0 is "none", whatever the file says
  EXPECT_EQ(Database.m_CharaEffects[2].m_nKind, 11);
  EXPECT_EQ(Database.m_Pictures[1].m_strText2, "bmp\\pic1.bmp");

  cCommonPalette palette;
  ASSERT_EQ(palette.LoadFromFile("data\\CommonPalette.cplt4"), 1);
  ASSERT_EQ(palette.m_Characters.size(), 2u);
  EXPECT_EQ(palette.m_Characters[1].m_strName, plat::Sjis("共通キャラ"));
  EXPECT_EQ(palette.m_Characters[0].m_vFlows.size(), 1u);  // entry 0 keeps its lists
  EXPECT_EQ(palette.m_Items[1].m_vCmds.size(), 25u);

  cStageData stage;
  ASSERT_EQ(CheckStageFileTrailer("data\\stg4\\full.stg4_1"), 1);
  ASSERT_EQ(stage.LoadFromFile("data\\stg4\\full.stg4_1"), 1);
  EXPECT_EQ(stage.FindHeroIndex(), 0);
  EXPECT_EQ(static_cast<int16_t>(stage.m_PlacedBlocks[2].m_nWord1), -1);
  EXPECT_EQ(stage.m_Params[4].m_nValues[7], -47);
  ASSERT_EQ(stage.m_PaletteCharacters[1].m_vFlows.size(), 2u);
  EXPECT_EQ(stage.m_PaletteCharacters[1].m_vFlows[1].m_vCmds.at(17).m_strText, plat::Sjis("コード53"));
  // The sword's duration follows the project's sword type 0 (value 10 of its
  // entries: 11 + 12), not the one of a new project the file was written for.
  const cEdCmd& sword = stage.m_PaletteCharacters[1].m_vFlows[0].m_vCmds[12];
  EXPECT_EQ(sword.m_nDuration, 23);
  EXPECT_DOUBLE_EQ(stage.m_PaletteCharacters[1].m_vFlows[0].m_vCmds[2].m_pMove->m_f31, -20.5);
  EXPECT_EQ(stage.m_Texts[2].m_strText, plat::Sjis("二行の\nテキスト"));
  EXPECT_DOUBLE_EQ(stage.m_Backgrounds[1].m_dScrollY, 7.75);
}

// ---- the stage file's own upgrades ----

TEST_F(WrittenProjectTest, StageSettingsAtEachThreshold) {
  for (int v : {154, 155, 165, 166, 182, 183, 184, 198, 199, 200, 224, 225}) {
    const cStageData& s = Probe(v);
    EXPECT_EQ(s.Int(kStageScrollLeft), 80) << v;  // 500, width 100
    EXPECT_EQ(s.Int(kStageMusic), 0) << v;        // 7 past four tracks
    EXPECT_EQ(s.Int(kStageSubSteps), 5) << v;     // level 15
  }
  EXPECT_EQ((std::vector<int>{Probe(154).Int(42), Probe(154).Int(43), Probe(154).Int(66), Probe(154).Int(67),
                              Probe(154).Int(50), Probe(154).Int(51), Probe(154).Int(72), Probe(154).Int(73)}),
            (std::vector<int>{20, 28, 11, 23, 0, 0, 0, 0}));
  EXPECT_EQ(Probe(155).Int(42), 9);
  EXPECT_EQ(Probe(155).Int(72), 9);
  Step(165, AT(Probe(v).Int(25)), 1, 9);
  EXPECT_EQ(Probe(180).m_RankingSwitches, (cSafeVector<uint32_t>{1, 1, 1, 0, 0}));
  EXPECT_EQ(Probe(181).m_RankingSwitches, (cSafeVector<uint32_t>{1, 1, 1}));
  Step(182, AT(Probe(v).Int(30)), 1, 9);
  Step(183, AT(Probe(v).Int(31)), 0, 9);
  Step(198, AT(Probe(v).Int(26)), 0, 9);
  std::vector<int> at199, at200;
  for (int k : {36, 37, 38, 39, 48, 49, 52, 56, 60, 61, 62, 63, 70, 71}) {
    at199.push_back(Probe(199).Int(k));
    at200.push_back(Probe(200).Int(k));
  }
  EXPECT_EQ(at199, (std::vector<int>{16, 24, 16, 16, 1, 0, 0, 5, 16, 30, 16, 30, 1, 1}));
  EXPECT_EQ(at200, std::vector<int>(14, 9));
  Step(224, AT(Probe(v).Int(33)), 0, 9);
  EXPECT_EQ(Probe(753).m_Texts.size(), 1000u);
  EXPECT_EQ(Probe(753).m_Texts[1].m_strText, plat::Sjis("二"));
  EXPECT_EQ(Probe(754).m_Texts.size(), 2u);
  // Parameter values 2..4 from 125 on; before, the new stage's values stay.
  auto values = [](const cStageParam& p) { return std::vector<int32_t>(p.m_nValues, p.m_nValues + 8); };
  EXPECT_EQ(values(Probe(124).m_Params[0]), (std::vector<int32_t>{1, 0, 0, 0, 5, 6, 7, 8}));
  EXPECT_EQ(values(Probe(124).m_Params[3]), (std::vector<int32_t>{1, 1, 1, 1, 5, 6, 7, 8}));
  EXPECT_EQ(values(Probe(125).m_Params[3]), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(WrittenProjectTest, BackgroundLayoutsOf61And62) {
  const cStageBackground &b60 = Probe(60).m_Backgrounds.At(0), &b61 = Probe(61).m_Backgrounds.At(0),
                         &b62 = Probe(62).m_Backgrounds.At(0);
  EXPECT_EQ(std::tuple(b60.m_nLayer1, b60.m_dScrollSpeedX, b60.m_bAutoScrollX, b60.m_nLayer3, b60.m_strFile),
            std::tuple(1, 0.1, 0, 2, std::string("bg.bmp")));
  EXPECT_EQ(std::tuple(b61.m_nLayer1, b61.m_dScrollSpeedY, b61.m_bAutoScrollX, b61.m_dScrollX, b61.m_strFile),
            std::tuple(1, 0.25, 1, 0.0, std::string("bg.bmp")));
  EXPECT_EQ(std::tuple(b62.m_nLayer1, b62.m_dScrollX, b62.m_dScrollY), std::tuple(3, 5.5, 6.5));
}

TEST_F(WrittenProjectTest, TrailerWordsOf173And174) {
  // 172 has none, 173 carries one that is read but not compared (the probe's
  // is wrong), 174 on it is checked before loading.
  for (int v : {172, 173, 174}) {
    const std::string path = "probe\\stg4\\v" + std::to_string(v) + ".stg4_1";
    EXPECT_EQ(CheckStageFileTrailer(path), 1) << v;
    EXPECT_EQ(Probe(v).FindHeroIndex(), 0) << v;
  }
  EXPECT_EQ(CheckStageFileTrailer("special\\data\\stg4\\broken.stg4_1"), 0);
}

// ---- definition records inside the stage ----

TEST_F(WrittenProjectTest, ConditionsAtEachThreshold) {
  EXPECT_EQ(Cond(42, 0).m_nLastOption, 9);
  Step(42, AT(Cond(v, 0).m_nPercent), 0, 1);
  Step(109, AT(Cond(v, 1).m_nRandomMin), 0, 11);
  Step(109, AT(Cond(v, 1).m_nRightVarNumber), 0, 301);
  EXPECT_EQ(Cond(109, 1).m_nConstant, -5);
  EXPECT_EQ(Cond(110, 1).m_nOperator, 1);
  Step(159, AT(Cond(v, 2).m_nKind), 7, 5);
  Step(160, AT(Cond(v, 3).m_nOperator), 3, 2);
  Step(167, AT(Cond(v, 4).m_nField), 12, 11);
  Step(167, AT(Cond(v, 4).m_nRightField), 12, 11);
  Step(202, AT(Cond(v, 5).m_nField), 6, 5);
  Step(209, AT(Cond(v, 6).m_nField), 7, 6);
  Step(656, AT(Cond(v, 7).m_nSubject), 0, 3);
  Step(744, AT(Cond(v, 8).m_nLeftKind), 0, 4);
  Step(745, AT(Cond(v, 9).m_nRightSource), 1, 3);
  Step(745, AT(Cond(v, 9).m_nRightSubject), 1, 2);
  Step(766, AT(Cond(v, 10).m_nSubject), 5, 2);
  Step(766, AT(Cond(v, 10).m_nRightSubject), 6, 3);
}

TEST_F(WrittenProjectTest, CommandWordsAtEachThreshold) {
  EXPECT_EQ(Cmd(165, 0).m_nKind, 36);
  CmdStep(165, 0, {2, 1}, {2, 0});
  auto status = [](const cEdCmd& c) { return Words{c.m_vParams.at(4), c.m_vParams.at(13)}; };
  EXPECT_EQ(status(Cmd(167, 1)), (Words{12, 12}));
  EXPECT_EQ(status(Cmd(168, 1)), (Words{11, 11}));
  EXPECT_EQ(status(Cmd(202, 1)), (Words{11, 11}));
  EXPECT_EQ(status(Cmd(203, 1)), (Words{10, 10}));
  CmdStep(188, 2, {0, 1, 2, 0, 3, 4, 5, 6, 7, 8, 9, 0, 1, 12, 13, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 1, 13, 14, 0});
  EXPECT_EQ(Cmd(746, 2).m_vParams, Cmd(189, 2).m_vParams);
  EXPECT_EQ(Cmd(747, 2).m_vParams, (Words{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(Cmd(766, 2).m_vParams, Cmd(747, 2).m_vParams);
  EXPECT_EQ(Cmd(767, 2).m_vParams, (Words{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
  // Stored 31 is the picture command (32) before 734.
  EXPECT_EQ(Cmd(193, 3).m_nKind, 32);
  CmdStep(193, 3, {1, 2, 3, 4, 5, 6, 1, 7, 8, 9, 10, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 0, 0, 0});
  EXPECT_EQ(Cmd(544, 3).m_vParams, Cmd(194, 3).m_vParams);
  EXPECT_EQ(Cmd(545, 3).m_vParams, (Words{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0}));
  EXPECT_EQ(Cmd(546, 3).m_vParams, Cmd(545, 3).m_vParams);
  EXPECT_EQ(Cmd(547, 3).m_vParams, (Words{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0}));
  EXPECT_EQ(Cmd(722, 3).m_vParams, Cmd(547, 3).m_vParams);
  EXPECT_EQ(Cmd(723, 3).m_vParams, (Words{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(Cmd(734, 3).m_nKind, 31);
  EXPECT_EQ(Cmd(734, 3).m_vParams, (Words{1, 2, 3}));
  CmdStep(194, 4, {1, 0, 2}, {1, 2, 3});
  CmdStep(209, 5, {1, 7, 0, 0, 0}, {1, 6, 0, 0, 0});
  CmdStep(218, 6, {3, 8, 0}, {3, 7, 0});
  Step(545, AT(Cmd(v, 9).m_vParams.at(10)), 0, 10);  // word 0 is 3: neither 0 nor 7
  EXPECT_EQ(Words(Cmd(546, 9).m_vParams.begin() + 11, Cmd(546, 9).m_vParams.begin() + 16), (Words{0, 0, 0, 1, 0}));
  EXPECT_EQ(Words(Cmd(547, 9).m_vParams.begin() + 11, Cmd(547, 9).m_vParams.begin() + 16),
            (Words{11, 12, 13, 14, 15}));
  Step(555, AT(Cmd(v, 9).m_vParams.at(16)), 1, 16);
  Step(722, AT(Cmd(v, 9).m_vParams.at(17)), 0, 17);
  Step(721, AT(Cmd(v, 10).m_vParams.at(0)), 3, 2);
  Step(721, AT(Cmd(v, 20).m_vParams.at(0)), 3, 2);  // the item command of the same operation
  CmdStep(759, 15, {1, 2, 3, 0}, {1, 2, 3, 4});
  CmdStep(766, 16, {10}, {4});
  auto status767 = [](const cEdCmd& c) { return Words{c.m_vParams.at(3), c.m_vParams.at(12)}; };
  EXPECT_EQ(status767(Cmd(766, 18)), (Words{5, 5}));
  EXPECT_EQ(status767(Cmd(767, 18)), (Words{2, 2}));
  Step(766, AT(Cmd(v, 19).m_vParams.at(0)), 5, 2);
}

TEST_F(WrittenProjectTest, ArrangeCommandsAndTheRenumberingOf734) {
  // A command's kind and words in the probe of version v, then v + 1.
  auto step = [&](int v, int i, std::pair<int, Words> before, std::pair<int, Words> after) {
    EXPECT_EQ(std::pair(static_cast<int>(Cmd(v, i).m_nKind), Cmd(v, i).m_vParams), before) << v << " command " << i;
    EXPECT_EQ(std::pair(static_cast<int>(Cmd(v + 1, i).m_nKind), Cmd(v + 1, i).m_vParams), after) << v + 1;
  };
  step(725, 11, {38, {11, 6, 0, 0, 0}}, {38, {0, 3, 0, 0, 0}});
  CmdStep(726, 12, {11, 21, 0, 0, 0}, {11, 14, 0, 0, 0});
  step(733, 13, {38, {25, 0, 0, 0, 0}}, {37, {}});  // the code command: no words
  // Stored 24 was the item-get command (25): its item index is then checked
  // against the stage's two items.
  step(733, 14, {25, {1, 1}}, {24, {1, 2, 3}});
  // Item commands: kinds above 8 move up; item arrange (23) renumbers too.
  EXPECT_EQ(Cmd(733, 21).m_vParams, (Words{1, 1}));
  Step(733, AT(Cmd(v, 21).m_nKind), 10, 9);
  step(733, 22, {23, {25, 0, 0, 0, 0}}, {22, {}});
}

TEST_F(WrittenProjectTest, CommandObjectsAtEachThreshold) {
  auto shot = [&](int v) -> const cEdShot& { return *Cmd(v, 7).m_pShot; };
  auto charge = [&](int v) -> const cEdMove& { return *Cmd(v, 8).m_pMove; };
  auto warp = [&](int v) -> const cEdMove& { return *Cmd(v, 17).m_pMove; };
  Step(219, AT(shot(v).m_nGraphic), 6, 5);
  Step(157, AT(shot(v).m_f10), 0, 9);
  Step(196, AT(shot(v).m_f57), 4, 9);
  Step(211, AT(shot(v).m_f31), 1, 9);  // type 5 decides below 212
  Step(212, AT(shot(v).m_f35), 0, 9);
  Step(635, AT(shot(v).m_f46), 4, 9);
  Step(670, AT(shot(v).m_f4), 0, 9);
  Step(761, AT(shot(v).m_f64), 0, 9);
  EXPECT_EQ(shot(766).m_f30, 0);
  EXPECT_EQ(shot(767).m_f7, 9);
  EXPECT_EQ(shot(873).m_f26, 1);  // stored 0: at least 1
  EXPECT_EQ((Words{charge(513).m_f3, charge(513).m_f4, charge(513).m_f5}), (Words{0, 0, 1}));
  EXPECT_EQ((Words{charge(514).m_f3, charge(514).m_f4, charge(514).m_f5}), (Words{7, 8, 0}));
  Step(158, AT(charge(v).m_f26), 0, 9);
  Step(161, AT(charge(v).m_f20), 0, 9);
  Step(161, AT(charge(v).m_f32), 0, 2);  // 1 becomes 2 below 830
  Step(829, AT(charge(v).m_f32), 2, 1);
  Step(766, AT(charge(v).m_f33), 0, 9);
  Step(157, AT(warp(v).m_f5), 0, 1);
  Step(766, AT(warp(v).m_f1), 5, 2);

  // The flow operation's condition list: made below 764, its list from 766.
  ASSERT_TRUE(Cmd(763, 15).m_pCondList);
  Step(763, AT(Cmd(v, 15).m_pCondList->m_nMode), 0, 1);
  EXPECT_TRUE(Cmd(765, 15).m_pCondList->m_vConds.empty());
  ASSERT_EQ(Cmd(766, 15).m_pCondList->m_vConds.size(), 1u);
  EXPECT_EQ(Cmd(766, 15).m_pCondList->m_vConds[0].m_nConstant, 6);
  EXPECT_FALSE(Cmd(763, 14).m_pCondList);
}

TEST_F(WrittenProjectTest, FlowsAtEachThreshold) {
  for (int v : {42, 675, 676, 873}) {
    EXPECT_EQ(FlowCharacter(v).m_vFlows.size(), 6u) << v;  // the test-play flow is gone
    EXPECT_TRUE(Flow(v, 2).m_strName.empty()) << v;
  }
  Step(131, AT(Flow(v, 2).m_nTrigger), 14, 13);
  Step(162, AT(Flow(v, 3).m_nExclusive), 0, 5);
  Step(163, AT(Flow(v, 4).m_nTrigger), 7, 5);
  Step(761, AT(Flow(v, 5).m_nTrigger), 21, 18);
  Step(761, AT(Flow(v, 5).m_nTargetOther), 0, 9);
  Step(766, AT(Flow(v, 5).m_nTargetSlot), 0, 9);
}

TEST_F(WrittenProjectTest, DefinitionsAtEachThreshold) {
  auto ones = [](const std::vector<uint8_t>& flags) {
    std::vector<int> at;
    for (size_t i = 0; i < flags.size(); ++i)
      if (flags[i]) at.push_back(static_cast<int>(i));
    return at;
  };
  EXPECT_EQ(ones(Chara(167).m_vInherit), (std::vector<int>{21, 25, 29}));
  EXPECT_EQ(ones(Chara(168).m_vInherit), (std::vector<int>{21, 25}));
  EXPECT_EQ(ones(Chara(200).m_vInherit), (std::vector<int>{21, 25}));
  EXPECT_EQ(ones(Chara(201).m_vInherit), (std::vector<int>{21}));
  EXPECT_EQ(ones(Chara(209).m_vInherit), (std::vector<int>{21}));
  EXPECT_TRUE(ones(Chara(210).m_vInherit).empty());
  EXPECT_EQ(Chara(210).m_vInherit.size(), 37u);
  Step(167, AT(Chara(v).m_nParam47), 0, 9);
  Step(195, AT(v == 195 ? Chara(v).m_nParam21 : Chara(v).m_nParam24), 0, 9);
  Step(200, AT(Chara(v).m_nParam43), 0, 3);  // 2 and up move one up below 206
  Step(205, AT(Chara(v).m_nParam43), 3, 2);
  Step(209, AT(Chara(v).m_nParam37), 0, 9);
  Step(218, AT(Chara(v).m_nGraphic), 6, 5);
  Step(284, AT(Chara(v).m_nParam34), 1, 9);
  EXPECT_EQ(Probe(218).m_PaletteBlocks.At(1).m_nGraphic, 119);  // at most 119
  Step(218, AT(Probe(v).m_PaletteBlocks.At(2).m_nGraphic), 6, 5);
  Step(218, AT(Probe(v).m_PaletteItems.At(1).m_nGraphic), 6, 5);

  // The same lists as a common palette: read alike, then no inherit flags.
  for (int v : {167, 218, 873}) {
    cCommonPalette palette;
    ASSERT_EQ(palette.LoadFromFile("probe\\cplt4\\v" + std::to_string(v) + ".cplt4"), 1) << v;
    EXPECT_EQ(palette.m_Blocks.At(2).m_nGraphic, v < 219 ? 6 : 5);
    EXPECT_EQ(palette.m_Characters.At(1).m_vFlows.size(), 6u);
    EXPECT_EQ(palette.m_Characters.At(1).m_vFlows[0].m_vConds.size(), 11u);
    EXPECT_TRUE(ones(palette.m_Characters.At(2).m_vInherit).empty());
    EXPECT_EQ(palette.m_Characters.At(2).m_nParam47, v < 168 ? 0 : 9);
  }
}

// ---- the project database ----

TEST_F(WrittenProjectTest, DatabaseFilesAtEachThreshold) {
  std::map<int, std::unique_ptr<cDatabase>> loaded;
  bStripCarriageReturns = 1;
  auto at = [&](int v) -> const cDatabase& {
    auto& slot = loaded[v];
    if (!slot) {
      EXPECT_TRUE(plat::SetCurrentDirectory(root_ + "/probe/db" + std::to_string(v)));
      EXPECT_EQ(LoadDatabase(), 1) << v;
      slot = std::make_unique<cDatabase>(Database);
    }
    return *slot;
  };
  EXPECT_EQ(at(54).m_Animes[1].m_nValue2, 1);
  EXPECT_EQ(at(55).m_Animes[1].m_nValue1, -3);
  Step(118, AT(at(v).m_AnimeSets[0].m_nValue3), 0, 9);
  EXPECT_EQ(at(118).m_AnimeSets[0].m_Animes.size(), 4u);
  EXPECT_EQ(at(127).m_AnimeSets[0].m_Animes.size(), 4u);
  EXPECT_EQ(at(127).m_AnimeSets[0].m_Animes[3].m_strName, plat::Sjis("飛行移動"));
  EXPECT_EQ(at(128).m_AnimeSets[0].m_Animes.size(), 5u);
  EXPECT_EQ(at(128).m_AnimeSets[0].m_Animes[2].m_strName, "a2");
  EXPECT_EQ(at(137).m_SwordTypes[0].m_Entries[0].m_nValues[4], 5);
  EXPECT_EQ(at(138).m_SwordTypes[0].m_Entries[0].m_nValues[3], 9);
  // Numbers of files before 153 are not trusted.
  for (int v : {150, 151}) {
    Step(v, AT(at(v).m_SwordTypes[5].m_nNumber), 0, 0);
    Step(v, AT(at(v).m_Effects[1].m_nNumber + at(v).m_Pictures[1].m_nNumber + at(v).m_Bgms[1].m_nNumber), 0, 0);
  }
  Step(152, AT(at(v).m_SwordTypes[5].m_nNumber), 0, 1005);
  Step(152, AT(at(v).m_Effects[1].m_nNumber + at(v).m_Sounds[1].m_nNumber + at(v).m_BmpCharaExcs[1].m_nNumber), 0, 27);
  EXPECT_EQ(at(171).m_BmpCharaExcs[1].m_nValue2, 0);
  EXPECT_EQ(at(172).m_BmpCharaExcs[1].m_nValue3, 9);
  EXPECT_EQ(at(510).m_CharaEffects[1].m_nParams[4], 2);  // the parameter table's defaults
  EXPECT_EQ(at(510).m_ScrEffects[2].m_nParams[3], 8);
  EXPECT_EQ(at(511).m_ScrEffects[2].m_nParams[3], 99);
  Step(813, AT(at(v).m_Bgms[1].m_nValue2), 0, 9);
  Step(827, AT(at(v).m_SwordTypes.size()), 128, 130);
  EXPECT_EQ(at(873).m_CharaEffects[0].m_nKind, 0);
}

// ---- files refused, with their messages ----

TEST_F(WrittenProjectTest, TooNewFileGivesBothLines) {
  ASSERT_TRUE(plat::SetCurrentDirectory(root_ + "/special/toonew"));
  EXPECT_EQ(LoadDatabase(), 0);
  const std::string log = Slurp(root_ + "/dialogs.log");
  const size_t first = log.find("data\\database\\Anime.dat の読み込みに失敗しました！");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("実行ファイル(.exe)より上位のバージョンのファイルは使用できません。", first), std::string::npos)
      << log;
}

}  // namespace

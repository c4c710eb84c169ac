#include "data/labels.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/text.h"

namespace {

std::string U(const char* utf8) { return plat::Utf8ToCp932(utf8); }

// A global object whose constructor reads the tables, as the global data
// objects built before main do.
struct EarlyReader {
  std::string trigger22;
  int messageWords;
  std::string fontName;
  EarlyReader()
      : trigger22(FlowTriggerLabels[22]),
        messageWords(CommandParameterWords(0, 19)),
        fontName(FontFaceName(121)) {}
};
const EarlyReader gEarly;

struct ListRef {
  const char* name;
  LabelListRef ref;
};
const ListRef kAllLists[] = {
#define PELMORA_LABEL_LIST(name) {#name, name},
#include "data/label_names.inc"
#undef PELMORA_LABEL_LIST
};

// Values and terminator of every list, as the data format defines them.
struct Shape {
  int count;
  bool terminated;
};
const std::map<std::string, Shape> kShapes = {
    {"GroupLetterLabels", {27, true}}, {"GroupLetterAllLabels", {27, true}},
    {"SmallGroupLetterLabels", {27, true}}, {"FlowTriggerLabels", {23, true}},
    {"FlowTargetLabels", {5, true}}, {"FlowOperationLabels", {6, true}},
    {"FlowOperationTargetLabels", {3, true}}, {"ObjectLabels", {5, true}},
    {"StageClearKindLabels", {4, true}}, {"StageClearFacingLabels", {3, true}},
    {"MessagePositionLabels", {9, true}}, {"MessageDurationLabels", {3, true}},
    {"TargetChoiceLabels", {11, true}}, {"TargetRangeLabels", {3, true}},
    {"TargetFailLabels", {2, true}}, {"EraseSubjectLabels", {6, true}},
    {"EraseRangeLabels", {2, true}}, {"CommandPaletteLabels", {2, true}},
    {"CommandPaletteCommonLabels", {1, true}}, {"PicturePositionLabels", {5, true}},
    {"PictureDurationLabels", {3, true}}, {"AnimeRunModeLabels", {3, true}},
    {"ShowHideLabels", {3, true}}, {"ArrangeOperandLabels", {3, true}},
    {"ConditionKindLabels", {8, false}}, {"ConditionModeLabels", {2, true}},
    {"ConditionSubjectLabels", {5, true}}, {"DistanceAxisLabels", {7, true}},
    {"DistanceRangeLabels", {2, true}}, {"DebugShowLabels", {3, true}},
    {"ObjectSystemLabels", {6, true}}, {"HeroTargetLabels", {5, true}},
    {"HeroTargetSystemLabels", {6, true}}, {"LeftOperandLabels", {2, true}},
    {"RightOperandLabels", {4, true}}, {"VariableScopeLabels", {2, true}},
    {"StatusOperationModeLabels", {3, true}}, {"OnLabels", {1, true}},
    {"StatusCondition2Labels", {5, true}}, {"KeyConditionModeLabels", {3, true}},
    {"KeyStateLabels", {3, true}}, {"CharacterVariableLabels", {8, true}},
    {"OperatorLabels", {7, true}}, {"ComparisonLabels", {8, true}},
    {"ConditionSenseLabels", {2, true}}, {"OnOffLabels", {2, true}},
    {"PaletteSourceLabels", {2, true}}, {"PaletteInheritLabels", {3, true}},
    {"PaletteInheritCommonLabels", {2, true}}, {"PaletteInheritStageLabels", {2, true}},
    {"PaletteInheritNoneLabels", {1, true}}, {"GraphicSourceLabels", {5, true}},
    {"GraphicSourceLabels2", {5, true}}, {"OnOffLabels2", {2, true}},
    {"BlockVisibilityLabels", {3, true}}, {"BlockCollisionLabels", {3, true}},
    {"NoneOrDigitLabels", {9, true}}, {"BlockEffectLabels", {6, true}},
    {"PaletteChoiceLabels", {3, true}}, {"PaletteChoiceCommonLabels", {2, true}},
    {"ControlLabels", {2, true}}, {"OneLabels", {1, true}}, {"FlyLabels", {4, true}},
    {"InvincibleLabels", {3, true}}, {"OnOffLabels3", {2, true}},
    {"EnlargeLabels", {10, true}}, {"EnlargeLabels2", {9, true}},
    {"SearchAreaLabels", {5, true}}, {"HitRangeLabels", {4, true}},
    {"ScreenRangeLabels", {4, true}}, {"RangeGroupModeLabels", {3, true}},
    {"ItemTakeModeLabels", {3, true}}, {"MoveSpecLabels", {2, true}},
    {"MoveDirectionDistanceLabels", {6, true}}, {"MoveDirectionLabels", {13, true}},
    {"CoordinateKindLabels", {4, true}}, {"CoordinateKindLabels2", {3, true}},
    {"TargetSlotLabels", {4, true}}, {"TurnDirectionLabels", {4, true}},
    {"MoveAnimeLabels", {3, true}}, {"FacingChangeLabels", {12, true}},
    {"MoveTimingLabels", {3, true}}, {"MoveTimingLabels2", {2, true}},
    {"JumpHeightLabels", {3, true}}, {"UnitLabels", {2, true}},
    {"FontNameTable", {122, true}}, {"ScrollModeLabels", {2, true}},
    {"StageWidthChangeLabels", {2, true}}, {"StageHeightChangeLabels", {2, true}},
    {"HitLevelLabels", {19, true}}, {"HitSubLevelLabels", {6, true}},
    {"VerticalPlaceLabels", {2, true}}, {"VerticalPlaceLabels2", {2, true}},
    {"FrameShowLabels", {3, true}}, {"ColourNameLabels", {8, true}},
    {"OrientationLabels", {2, true}}, {"FrontBackUpDownLabels", {4, true}},
    {"SpeedCompatLabels", {2, true}}, {"ColourModeLabels", {2, true}},
    {"ColourDepthLabels", {3, true}}, {"ColourDepthLabels2", {2, true}},
};

TEST(LabelLists, CountsAndTerminators) {
  ASSERT_EQ(std::size(kAllLists), kShapes.size());
  for (const ListRef& l : kAllLists) {
    SCOPED_TRACE(l.name);
    auto it = kShapes.find(l.name);
    ASSERT_NE(it, kShapes.end());
    EXPECT_EQ(l.ref.Count(), static_cast<size_t>(it->second.count));
    EXPECT_EQ(l.ref.List().terminated, it->second.terminated);
    const std::vector<std::string>& labels = l.ref.Labels();
    ASSERT_EQ(labels.size(), l.ref.Count() + (it->second.terminated ? 1 : 0));
    if (it->second.terminated) {
      EXPECT_TRUE(labels.back().empty());
    }
    // Reading up to the terminator must yield every value: no label before it
    // may be empty (the condition kinds have their empty kind 0 and no
    // terminator).
    for (size_t v = 0; v < l.ref.Count(); ++v) {
      const bool emptyKindZero = !l.ref.List().terminated && v == 0;
      if (!emptyKindZero) {
        EXPECT_FALSE(labels[v].empty()) << v;
      }
    }
    // Outside the values: the empty label, never a read past the end.
    EXPECT_EQ(l.ref[-1], "");
    EXPECT_EQ(l.ref[static_cast<int64_t>(l.ref.Count())], "");
    EXPECT_EQ(l.ref[int64_t{1} << 40], "");
  }
}

TEST(LabelLists, SpotValues) {
  EXPECT_EQ(FlowTriggerLabels[0], U("常時"));
  EXPECT_EQ(FlowTriggerLabels[22], U("なし（フローの操作コマンドで実行）"));
  EXPECT_EQ(GroupLetterLabels[0], "-");
  EXPECT_EQ(GroupLetterLabels[26], "Z");
  EXPECT_EQ(GroupLetterAllLabels[0], U("全て"));
  EXPECT_EQ(SmallGroupLetterLabels[1], "a");
  EXPECT_EQ(ConditionKindLabels[0], "");
  EXPECT_EQ(ConditionKindLabels[7], U("距離条件"));
  EXPECT_EQ(ComparisonLabels[6], U("の倍数である"));
  EXPECT_EQ(ComparisonLabels[7], U("の倍数でない"));
  EXPECT_EQ(EnlargeLabels[0], U("しない"));
  EXPECT_EQ(EnlargeLabels[9], U("×100"));
  EXPECT_EQ(EnlargeLabels2[0], U("×4"));
  EXPECT_EQ(ItemTakeModeLabels[2], U("取れない"));
  EXPECT_EQ(MoveDirectionLabels[12], U("入力方向"));
  EXPECT_EQ(ColourDepthLabels[0], U("32bit(1677万色)"));
  EXPECT_EQ(ColourDepthLabels[2], U("8bit(256色)"));
  EXPECT_EQ(HitLevelLabels[9], U("レベル10 (速度制限=600)"));
  for (int v = 10; v <= 18; ++v) {
    const std::string want = "\x83\x8c\x83\x78\x83\x8b" + std::to_string(v - 9) +
                             U(" (速度制限=600)");
    EXPECT_EQ(HitLevelLabels[v], want) << v;
  }
}

// Byte-exact CP932 where the encoding is easy to get wrong: U+FF0D (which
// SHIFT_JIS refuses), a 0x5C trail byte, half-width katakana, a half-width
// space inside a full-width name.
TEST(LabelLists, Cp932Bytes) {
  EXPECT_EQ(OperatorLabels[2], "\x81\x7c");
  EXPECT_EQ(ShowHideLabels[2],
            "\x94\xbd\x93\x5d\x28\x95\x5c\x8e\xa6\x81\xcc\x94\xf1\x95\x5c\x8e\xa6\x29");
  EXPECT_EQ(FontNameTable[86], "\x48\x47\xba\xde\xbc\xaf\xb8\x45");
  EXPECT_EQ(FontNameTable[60],
            "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e");
}

TEST(LabelLists, EveryTextRoundTripsCp932) {
  std::vector<const std::string*> texts;
  for (const ListRef& l : kAllLists)
    for (const std::string& s : l.ref.Labels()) texts.push_back(&s);
  for (const LabelEntry& e : CommandKindTable.Entries()) texts.push_back(&e.text);
  for (const LabelEntry& e : ItemCommandKindTable.Entries()) texts.push_back(&e.text);
  for (const StatusFieldEntry& e : CharacterStatusTable.Entries()) texts.push_back(&e.text);
  for (const StatusFieldEntry& e : SystemStatusTable.Entries()) texts.push_back(&e.text);
  for (const StatusOp2Entry& e : StatusOperation2Table.Entries()) texts.push_back(&e.text);
  for (int kind = 0; kind < kCommandKindCount; ++kind)
    for (const OperableParameter& p : OperableParameters(kind)) texts.push_back(&p.text);
  EXPECT_GT(texts.size(), 700u);
  for (const std::string* s : texts) {
    bool toUtf8 = false, back = false;
    const std::string utf8 = plat::Cp932ToUtf8(*s, &toUtf8);
    EXPECT_TRUE(toUtf8) << utf8;
    EXPECT_EQ(plat::Utf8ToCp932(utf8, &back), *s) << utf8;
    EXPECT_TRUE(back) << utf8;
    EXPECT_EQ(utf8.find('?'), std::string::npos) << utf8;
  }
}

TEST(CommandKinds, ParameterWords) {
  // Words per flow kind 0..39.
  const int kWords[40] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 5, 0,  0, 0, 0, 0, 4, 9, 1,  18,
                          0, 16, 18, 5, 3, 2, 3, 1, 1, 8, 3, 3, 15, 8, 2, 1, 2, 0, 5, 2};
  ASSERT_EQ(CommandKindTable.Count(), 40u);
  for (int k = 0; k < 40; ++k) {
    EXPECT_EQ(CommandKindTable[k].number, kWords[k]) << k;
    EXPECT_EQ(CommandParameterWords(0, k), kWords[k]) << k;
    EXPECT_EQ(k == 0, CommandKindTable[k].text.empty()) << k;
  }
  EXPECT_EQ(CommandKindTable[19].text, U("メッセージ"));
  EXPECT_EQ(CommandKindTable[39].text, U("ループ"));
  EXPECT_EQ(CommandKindTable[38].text, U("アレンジ"));

  ASSERT_EQ(ItemCommandKindTable.Count(), 25u);
  EXPECT_EQ(ItemCommandKindTable[0].text, "");
  EXPECT_EQ(ItemCommandKindTable[0].number, 0);
  EXPECT_EQ(ItemCommandKindTable[1].text, U("フローの変更"));
  EXPECT_EQ(ItemCommandKindTable[1].number, 2);
  EXPECT_EQ(ItemCommandKindTable[9].text, U("消滅"));
  EXPECT_EQ(ItemCommandKindTable[9].number, 3);
  for (int k = 2; k <= 24; ++k) {
    EXPECT_EQ(ItemCommandKindTable[k].text, CommandKindTable[k + 15].text) << k;
    EXPECT_EQ(ItemCommandKindTable[k].number, CommandKindTable[k + 15].number) << k;
    EXPECT_EQ(FlowKindOfItemKind(k), k + 15);
    // Any non-zero family is an item command.
    EXPECT_EQ(CommandParameterWords(1, k), kWords[k + 15]) << k;
    EXPECT_EQ(CommandParameterWords(255, k), kWords[k + 15]) << k;
  }
  EXPECT_EQ(FlowKindOfItemKind(0), -1);
  EXPECT_EQ(FlowKindOfItemKind(1), -1);
  EXPECT_EQ(FlowKindOfItemKind(25), -1);
}

TEST(CommandKinds, KindOutsideItsTableHasNoWords) {
  EXPECT_EQ(CommandParameterWords(0, -1), 0);
  EXPECT_EQ(CommandParameterWords(0, 40), 0);
  EXPECT_EQ(CommandParameterWords(0, 255), 0);
  EXPECT_EQ(CommandParameterWords(1, 25), 0);  // item table ends at 24
  EXPECT_EQ(CommandParameterWords(1, 39), 0);
  EXPECT_EQ(CommandParameterWords(1, -128), 0);
  EXPECT_EQ(CommandKindTable[40].text, "");
  EXPECT_EQ(ItemCommandKindTable[25].number, 0);
}

TEST(StatusTables, RangesAndValueLists) {
  ASSERT_EQ(CharacterStatusTable.Count(), 15u);
  ASSERT_EQ(SystemStatusTable.Count(), 5u);
  const StatusFieldEntry& hp = CharacterStatusTable[1];
  EXPECT_EQ(hp.text, "HP");
  EXPECT_EQ(hp.valueMin, 0);
  EXPECT_EQ(hp.valueMax, 999999);
  EXPECT_EQ(hp.operandMin, -999999);
  EXPECT_EQ(hp.operandMax, 999999);
  const StatusFieldEntry& impact = CharacterStatusTable[10];
  EXPECT_EQ(impact.text, U("体当たりの衝撃"));
  EXPECT_EQ(impact.valueMin, -20);
  EXPECT_EQ(impact.operandMax, 20);
  EXPECT_EQ(CharacterStatusTable[7].operandMin, -121);
  // Flag 2 only on HP and SP; flag 3 off for the character id, Z and mark.
  for (int v = 0; v < 15; ++v) {
    EXPECT_EQ(CharacterStatusTable[v].flag1, 0) << v;
    EXPECT_EQ(CharacterStatusTable[v].flag2, v == 1 || v == 2 ? 1 : 0) << v;
    EXPECT_EQ(CharacterStatusTable[v].flag3, v == 5 || v == 6 || v == 7 ? 0 : 1) << v;
  }
  EXPECT_EQ(SystemStatusTable[1].valueMin, -480);
  EXPECT_EQ(SystemStatusTable[4].text, U("残り人数"));

  ASSERT_EQ(StatusOperation2Table.Count(), 7u);
  const StatusOp2Entry& enlarge = StatusOperation2Table[5];
  EXPECT_EQ(enlarge.text, U("巨大化"));
  EXPECT_EQ(enlarge.minimum, 1);
  EXPECT_EQ(enlarge.maximum, 10);
  EXPECT_EQ(enlarge.third, 1);
  ASSERT_EQ(enlarge.valueLabels.size(), 10u);
  EXPECT_EQ(enlarge.valueLabels.front(), U("しない"));
  EXPECT_EQ(enlarge.valueLabels.back(), U("×100"));
  EXPECT_EQ(StatusOperation2Table[0].valueLabels, std::vector<std::string>{"ON"});
  EXPECT_EQ(StatusOperation2Table[3].valueLabels.size(), 4u);  // flying
  EXPECT_EQ(StatusOperation2Table[4].valueLabels.size(), 3u);  // invincible
  for (int v = 0; v < 7; ++v)
    EXPECT_EQ(StatusOperation2Table[v].third, StatusOperation2Table[v].minimum) << v;
}

TEST(StatusTables, EntryConstructorsBoundTheirInput) {
  EXPECT_EQ(LabelEntry(nullptr, 7).text, "");
  EXPECT_EQ(StatusFieldEntry(nullptr, 1, 2, 3, 4, 5, 6, 7).flag3, 7);
  const StatusOp2Entry none(nullptr, 0, 0, 0, LabelList{});
  EXPECT_EQ(none.text, "");
  EXPECT_TRUE(none.valueLabels.empty());
  // Stops at the first empty label, even when labels follow it.
  const StatusOp2Entry cut("x", 0, 0, 0, LabelList{{"a", "b", "", "c", ""}, true});
  EXPECT_EQ(cut.valueLabels, (std::vector<std::string>{"a", "b"}));
  // A list without a terminator is copied whole, not read past its end.
  const StatusOp2Entry whole("x", 0, 0, 0, LabelList{{"a", "b", "c"}, false});
  EXPECT_EQ(whole.valueLabels.size(), 3u);
  const StatusOp2Entry empty("x", 0, 0, 0, LabelList{{"", "a"}, true});
  EXPECT_TRUE(empty.valueLabels.empty());
}

TEST(Fonts, FaceNamesAndFallback) {
  EXPECT_EQ(FontFaceName(0), "System");
  EXPECT_EQ(FontFaceName(60), U("ＭＳ Ｐゴシック"));
  EXPECT_EQ(FontFaceName(121), "Sydnie");
  EXPECT_EQ(FontNameTable.Size(), 123u);
  for (int64_t bad : {int64_t{-1}, int64_t{122}, int64_t{255}, int64_t{1} << 33})
    EXPECT_EQ(FontFaceName(bad), FontFaceName(kFallbackFontIndex)) << bad;
}

TEST(Labels, UsableFromGlobalConstructors) {
  EXPECT_EQ(gEarly.trigger22, U("なし（フローの操作コマンドで実行）"));
  EXPECT_EQ(gEarly.messageWords, 18);
  EXPECT_EQ(gEarly.fontName, "Sydnie");
}

TEST(OperableParameters, ListsBoundsAndWords) {
  BuildOperableParameterTable();
  const int kSizes[40] = {0, 0, 6, 0, 0, 6, 6, 0, 0, 0, 0, 29, 4, 7, 8, 6, 0, 5, 0, 5,
                          6, 3, 2, 0, 1, 0, 2, 0, 0, 5, 0, 0, 6, 4, 1, 0, 0, 0, 0, 0};
  for (int k = 0; k < 40; ++k) EXPECT_EQ(OperableParameters(k).size(), size_t(kSizes[k])) << k;
  EXPECT_TRUE(OperableParameters(-1).empty());
  EXPECT_TRUE(OperableParameters(40).empty());

  const std::vector<OperableParameter>& shot = OperableParameters(11);
  EXPECT_EQ(shot[0].text, U("グラフィック"));
  EXPECT_EQ(shot[0].maximum, 120);
  EXPECT_EQ(shot[24].text, U("存在時間(1/10s)"));
  EXPECT_EQ(shot[24].maximum, 999);
  EXPECT_EQ(shot[28].minimum, -20);
  EXPECT_EQ(OperableParameters(14)[0].text, U("勢力"));
  EXPECT_EQ(OperableParameters(14)[7].maximum, 9999);
  EXPECT_EQ(OperableParameters(33)[3].maximum, 100);

  // Word-backed kinds: every parameter has a word inside the command's words.
  int wordBacked = 0;
  for (int k = 0; k < 40; ++k) {
    const int n = static_cast<int>(OperableParameters(k).size());
    if (OperableParameterWord(k, 0) < 0) continue;
    ++wordBacked;
    for (int i = 0; i < n; ++i) {
      const int w = OperableParameterWord(k, i);
      EXPECT_GE(w, 0) << k << ":" << i;
      EXPECT_LT(w, CommandParameterWords(0, k)) << k << ":" << i;
    }
    EXPECT_EQ(OperableParameterWord(k, n), -1) << k;
  }
  EXPECT_EQ(wordBacked, 10);
  EXPECT_EQ(OperableParameterWord(32, 0), 13);
  EXPECT_EQ(OperableParameterWord(17, 1), 6);
  EXPECT_EQ(OperableParameterWord(11, 0), -1);  // lives in the shot record
  EXPECT_EQ(OperableParameterWord(19, -1), -1);
}

}  // namespace

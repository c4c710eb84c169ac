#include "data/labels.h"

#include <gtest/gtest.h>

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

// Code reads a list up to its terminator, so no value before it may be empty
// (only the condition kinds, whose kind 0 is empty, go without one); outside
// the values every read gives the empty label.
TEST(LabelLists, EveryValueUpToTheTerminatorAndNothingPastIt) {
  EXPECT_GE(std::size(kAllLists), 100u);
  for (const ListRef& l : kAllLists) {
    SCOPED_TRACE(l.name);
    const bool terminated = l.ref.List().terminated;
    EXPECT_EQ(terminated, std::string(l.name) != "ConditionKindLabels");
    const std::vector<std::string>& labels = l.ref.Labels();
    ASSERT_EQ(labels.size(), l.ref.Count() + (terminated ? 1 : 0));
    if (terminated) {
      EXPECT_TRUE(labels.back().empty());
    }
    for (size_t v = terminated ? 0 : 1; v < l.ref.Count(); ++v) EXPECT_FALSE(labels[v].empty()) << v;
    EXPECT_EQ(l.ref[-1], "");
    EXPECT_EQ(l.ref[static_cast<int64_t>(l.ref.Count())], "");
    EXPECT_EQ(l.ref[int64_t{1} << 40], "");
  }
}

// Byte-exact CP932 where the encoding is easy to get wrong: U+FF0D (which
// SHIFT_JIS refuses), a 0x5C trail byte, half-width katakana, a half-width
// space inside a full-width name; and every text converts both ways.
TEST(LabelLists, Cp932BytesAndEveryTextRoundTrips) {
  EXPECT_EQ(OperatorLabels[2], "\x81\x7c");
  EXPECT_EQ(ShowHideLabels[2], "\x94\xbd\x93\x5d\x28\x95\x5c\x8e\xa6\x81\xcc\x94\xf1\x95\x5c\x8e\xa6\x29");
  EXPECT_EQ(FontNameTable[86], "\x48\x47\xba\xde\xbc\xaf\xb8\x45");
  EXPECT_EQ(FontNameTable[60], "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e");

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

// (The words each kind stores are checked by the byte-exact resave of the
// writer's files, which hold every kind.)
TEST(CommandKinds, ItemCommandsAreFlowCommandsFifteenOn) {
  ASSERT_EQ(CommandKindTable.Count(), 40u);
  for (int k = 0; k < 40; ++k) EXPECT_EQ(k == 0, CommandKindTable[k].text.empty()) << k;
  ASSERT_EQ(ItemCommandKindTable.Count(), 25u);
  EXPECT_EQ(ItemCommandKindTable[1].number, 2);
  EXPECT_EQ(ItemCommandKindTable[9].text, U("消滅"));
  for (int k = 2; k <= 24; ++k) {
    EXPECT_EQ(ItemCommandKindTable[k].text, CommandKindTable[k + 15].text) << k;
    EXPECT_EQ(FlowKindOfItemKind(k), k + 15);
  }
  for (int k : {0, 1, 25}) EXPECT_EQ(FlowKindOfItemKind(k), -1) << k;
}

TEST(StatusTables, EntryConstructorsBoundTheirInput) {
  EXPECT_EQ(LabelEntry(nullptr, 7).text, "");
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
  // The table built from them: the enlargement's value names end at 10.
  EXPECT_EQ(StatusOperation2Table[5].valueLabels.size(), 10u);
  EXPECT_EQ(StatusOperation2Table[5].valueLabels.back(), U("×100"));
}

TEST(Labels, FontFallbackAndUseFromGlobalConstructors) {
  EXPECT_EQ(FontFaceName(60), U("ＭＳ Ｐゴシック"));
  for (int64_t bad : {int64_t{-1}, int64_t{122}, int64_t{255}, int64_t{1} << 33})
    EXPECT_EQ(FontFaceName(bad), FontFaceName(kFallbackFontIndex)) << bad;
  EXPECT_EQ(gEarly.trigger22, U("なし（フローの操作コマンドで実行）"));
  EXPECT_EQ(gEarly.messageWords, 18);
  EXPECT_EQ(gEarly.fontName, "Sydnie");
}

// Parameters a flow may change live in the command's words where it has
// them: every such word is inside the command.
TEST(OperableParameters, WordsLieInsideTheirCommand) {
  BuildOperableParameterTable();
  EXPECT_TRUE(OperableParameters(-1).empty());
  EXPECT_TRUE(OperableParameters(40).empty());
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
  EXPECT_EQ(OperableParameterWord(11, 0), -1);  // lives in the shot record
  EXPECT_EQ(OperableParameterWord(19, -1), -1);
}

}  // namespace

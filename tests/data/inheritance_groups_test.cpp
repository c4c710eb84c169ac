// Palette inheritance group by group: a flag copies exactly the members of
// its group (the group columns of the block, character and item tables),
// from the palette the base kind names, as that palette stands while it is
// read; a base outside its list becomes none.
#include <functional>
#include <vector>

#include "data/common_palette.h"
#include "data/inheritance.h"
#include "records_support.h"

namespace records_test {
namespace {

template <class T>
struct Member {
  int group;
  std::function<int64_t(const T&)> get;
  std::function<void(T&, int64_t)> set;
};
#define MEMBER(T, g, m) \
  Member<T> { g, [](const T& r) { return static_cast<int64_t>(r.m); }, [](T& r, int64_t v) { r.m = static_cast<decltype(r.m)>(v); } }

#define MC(g, m) MEMBER(cEdCharacter, g, m)
#define MI(g, m) MEMBER(cEdItem, g, m)
#define MB(g, m) MEMBER(cEdBlock, g, m)

// From the tables: every stored member with the group that copies it (-1:
// not inherited, as the base reference and the tail words).
const std::vector<Member<cEdCharacter>> kCharacterMembers = {
    MC(4, m_nCondMode), MC(4, m_nCondOption), MC(5, m_nParam6), MC(6, m_nParam7), MC(7, m_nStepStartX), MC(7, m_nStepX),
    MC(8, m_nStepStartY), MC(8, m_nStepY), MC(7, m_nMirrorX), MC(8, m_nMirrorY), MC(9, m_nGraphic), MC(9, m_nGraphicSource),
    MC(9, m_nParam16), MC(10, m_nAnimeSet), MC(11, m_nParam18), MC(12, m_nParam19), MC(13, m_nCharaEffectA),
    MC(13, m_nParam21), MC(13, m_nParam22), MC(14, m_nCharaEffectB), MC(14, m_nParam24), MC(15, m_nParam25),
    MC(15, m_nParam26), MC(1, m_nControl), MC(1, m_nParam28), MC(2, m_nParam29), MC(3, m_nParam30), MC(17, m_nParam31),
    MC(16, m_nParam32), MC(18, m_nParam33), MC(18, m_nParam34), MC(19, m_nParam35), MC(20, m_nParam36), MC(21, m_nParam37),
    MC(22, m_nParam38), MC(22, m_nParam39), MC(23, m_nParam40), MC(24, m_nParam41), MC(31, m_nParam42), MC(25, m_nParam43),
    MC(26, m_nParam44), MC(27, m_nParam45), MC(28, m_nEffect), MC(29, m_nParam47), MC(30, m_nParam48), MC(34, m_nParam49),
    MC(35, m_nParam50), MC(33, m_nParam51), MC(33, m_nParam52), MC(32, m_nParam53), MC(32, m_nParam54), MC(-1, m_nWord1),
    MC(-1, m_nPlacedItem),
};
const std::vector<Member<cEdItem>> kItemMembers = {
    MI(1, m_nCondMode), MI(1, m_nCondOption), MI(2, m_nParam6), MI(3, m_nParam7), MI(4, m_nGraphic),
    MI(4, m_nGraphicSource), MI(4, m_nGraphicWord), MI(5, m_nParam11), MI(6, m_nParam12), MI(7, m_nParam13),
    MI(7, m_nParam14), MI(10, m_nParam15), MI(9, m_nParam16), MI(8, m_nParam17), MI(11, m_nSound), MI(-1, m_nWord2),
};
const std::vector<Member<cEdBlock>> kBlockMembers = {
    MB(1, m_nCondMode), MB(1, m_nCondOption), MB(2, m_nGraphic), MB(2, m_nGraphicSource), MB(2, m_nGraphicWord),
    MB(3, m_nOption1), MB(4, m_nOption2), MB(5, m_nOption6), MB(5, m_nOption6Value), MB(6, m_nOption7), MB(7, m_nOption3),
    MB(8, m_nOption4), MB(8, m_nOption4Value), MB(9, m_nItemKind), MB(9, m_nItemIndex), MB(10, m_nOption5),
    MB(-1, m_nWord1),
};
#undef MC
#undef MI
#undef MB

// The base gets 10 + i in member i, the target 60 + i; for each group g a
// fresh target with only flag g set must end with the base's values in
// exactly the members of group g (and the name for group 0, the
// conditions for the condition group, the lists for the list group).
template <class T>
void CheckGroups(const std::vector<Member<T>>& members, int groups, int conditionGroup, int listGroup,
                 std::vector<T>* cPaletteLists::*list, std::function<size_t(const T&)> listSize) {
  std::vector<T> palette(2);
  T& base = palette[1];
  for (size_t i = 0; i < members.size(); ++i) members[i].set(base, 10 + static_cast<int64_t>(i));
  base.m_strName = "base";
  base.m_vConds.resize(2);
  cPaletteLists lists;
  lists.*list = &palette;
  cPaletteScope scope(kPaletteStage, lists);
  for (int g = 0; g < groups; ++g) {
    T t;
    for (size_t i = 0; i < members.size(); ++i) members[i].set(t, 60 + static_cast<int64_t>(i));
    const size_t ownListSize = listSize(t);
    t.m_nBaseKind = kPaletteStage;
    t.m_nBaseIndex = 1;
    t.m_vInherit.assign(static_cast<size_t>(groups), 0);
    t.m_vInherit[static_cast<size_t>(g)] = 1;
    t.ApplyInheritance();
    for (size_t i = 0; i < members.size(); ++i)
      EXPECT_EQ(members[i].get(t), members[i].group == g ? 10 + static_cast<int64_t>(i) : 60 + static_cast<int64_t>(i))
          << "group " << g << " member " << i;
    EXPECT_EQ(t.m_strName == "base", g == 0) << g;
    EXPECT_EQ(t.m_vConds.size() == 2, g == conditionGroup) << g;
    if (g != listGroup) {
      EXPECT_EQ(listSize(t), ownListSize) << g;
    }
  }
}

using InheritanceGroupsTest = RecordsTest;

TEST_F(InheritanceGroupsTest, EachFlagCopiesExactlyItsGroup) {
  CheckGroups<cEdCharacter>(kCharacterMembers, cEdCharacter::kInheritGroups, 4, cEdCharacter::kFlowGroup,
                            &cPaletteLists::characters, [](const cEdCharacter& c) { return c.m_vFlows.size(); });
  CheckGroups<cEdItem>(kItemMembers, cEdItem::kInheritGroups, 1, 12, &cPaletteLists::items,
                       [](const cEdItem& i) { return i.m_vCmds.size(); });
  CheckGroups<cEdBlock>(kBlockMembers, cEdBlock::kInheritGroups, 1, -1, &cPaletteLists::blocks,
                        [](const cEdBlock&) { return size_t{0}; });
}

TEST_F(InheritanceGroupsTest, BaseComesFromThePaletteItsKindNames) {
  std::vector<cEdItem> common(3), stage(2);
  common[1].m_nParam6 = 111;
  stage[1].m_nParam6 = 222;
  cPaletteScope c(kPaletteCommon, {nullptr, nullptr, &common});
  cPaletteScope s(kPaletteStage, {nullptr, nullptr, &stage});
  for (int kind : {kPaletteCommon, kPaletteStage}) {
    cEdItem item;
    item.m_nBaseKind = static_cast<int8_t>(kind);
    item.m_nBaseIndex = 1;
    item.m_vInherit[2] = 1;
    item.ApplyInheritance();
    EXPECT_EQ(item.m_nParam6, kind == kPaletteCommon ? 111 : 222);
  }
  // Index 2: inside the common list, past the stage's.
  cEdItem far;
  far.m_nBaseKind = kPaletteStage;
  far.m_nBaseIndex = 2;
  far.m_vInherit[2] = 1;
  far.ApplyInheritance();
  EXPECT_EQ(far.m_nBaseKind, 0);
  EXPECT_EQ(far.m_nBaseIndex, 2);
  EXPECT_EQ(far.m_nParam6, 0);
  // Written, a base past its list is none (kind and index 0).
  cEdItem written;
  written.m_nBaseKind = kPaletteStage;
  written.m_nBaseIndex = 2;
  written.ValidateReferences();
  EXPECT_EQ(written.m_nBaseKind, 0);
  EXPECT_EQ(written.m_nBaseIndex, 0);
}

TEST_F(InheritanceGroupsTest, APaletteEntryTakesFromEntriesAsTheyStandWhenItIsRead) {
  // Entry 1 names entry 2 (not read yet: a new type), entry 3 names entry 2
  // (read by then).
  auto named = [](const char* name, uint16_t base) {
    cEdCharacter c;
    c.m_strName = name;
    c.m_nBaseKind = base ? kPaletteCommon : 0;
    c.m_nBaseIndex = base;
    c.m_vInherit[0] = base ? 1 : 0;
    c.m_vInherit[23] = base ? 1 : 0;  // parameter 40
    c.m_nParam40 = 77;
    return c;
  };
  std::vector<cEdCharacter> chars = {cEdCharacter(), named("one", 2), named("two", 0), named("three", 2)};
  chars[2].m_nParam40 = 5;
  cDataWriter out;
  out.WriteU32(873);
  out.WriteU32(0);
  out.WriteU32(0);
  out.WriteU32(0);  // no blocks
  out.WriteU32(4);
  {
    // Written against these lists (the writer drops bases past its palette).
    cPaletteScope scope(kPaletteCommon, {nullptr, &chars, nullptr});
    for (cEdCharacter& c : chars) c.Write(out);
  }
  out.WriteU32(0);  // no items
  cCommonPalette palette;
  ASSERT_TRUE(palette.LoadFromBytes(out.Bytes()));
  EXPECT_EQ(palette.m_Characters[1].m_strName, "");   // the new type's
  EXPECT_EQ(palette.m_Characters[1].m_nParam40, 10);
  EXPECT_EQ(palette.m_Characters[3].m_strName, "two");
  EXPECT_EQ(palette.m_Characters[3].m_nParam40, 5);
}

}  // namespace
}  // namespace records_test

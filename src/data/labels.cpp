// The entry forms of the label tables, the command-kind tables, the status
// tables, the font lookup and the operable-parameter table of the arrange
// command. The label lists themselves are in label_lists.cpp.
#include "data/labels.h"

#include <array>
#include <initializer_list>

#include "platform/text.h"

LabelEntry::LabelEntry(const char* text, int32_t number)
    : text(text != nullptr ? text : ""), number(number) {}

StatusFieldEntry::StatusFieldEntry(const char* text, int32_t valueMin, int32_t valueMax,
                                   int32_t operandMin, int32_t operandMax, int32_t flag1,
                                   int32_t flag2, int32_t flag3)
    : text(text != nullptr ? text : ""),
      valueMin(valueMin),
      valueMax(valueMax),
      operandMin(operandMin),
      operandMax(operandMax),
      flag1(flag1),
      flag2(flag2),
      flag3(flag3) {}

StatusOp2Entry::StatusOp2Entry(const char* text, int32_t minimum, int32_t maximum, int32_t third,
                               const LabelList& list)
    : text(text != nullptr ? text : ""), minimum(minimum), maximum(maximum), third(third) {
  size_t count = 0;
  while (count < list.labels.size() && !list.labels[count].empty()) ++count;
  valueLabels.assign(list.labels.begin(), list.labels.begin() + static_cast<std::ptrdiff_t>(count));
}

const std::string& LabelListRef::operator[](int64_t value) const {
  static const std::string kEmpty;
  const LabelList& l = build_();
  return Has(value) ? l.labels[static_cast<size_t>(value)] : kEmpty;
}

namespace labels_build {
namespace {

struct Utf8Entry {
  const char* text;
  int32_t number;
};

std::vector<LabelEntry> MakeEntries(std::initializer_list<Utf8Entry> rows) {
  std::vector<LabelEntry> table;
  table.reserve(rows.size());
  for (const Utf8Entry& r : rows) table.emplace_back(plat::Utf8ToCp932(r.text).c_str(), r.number);
  return table;
}

struct Utf8StatusRow {
  const char* text;
  int32_t valueMin, valueMax, operandMin, operandMax, flag1, flag2, flag3;
};

std::vector<StatusFieldEntry> MakeStatusTable(std::initializer_list<Utf8StatusRow> rows) {
  std::vector<StatusFieldEntry> table;
  table.reserve(rows.size());
  for (const Utf8StatusRow& r : rows) {
    table.emplace_back(plat::Utf8ToCp932(r.text).c_str(), r.valueMin, r.valueMax, r.operandMin,
                       r.operandMax, r.flag1, r.flag2, r.flag3);
  }
  return table;
}

}  // namespace

// Kind, label and the count of 32-bit parameter words a command of that kind
// carries. The order is the kind numbering of the data files; the kind column
// holds the rows to it at compile time.
namespace {

struct CommandKindRow {
  CommandKind kind;
  const char* text;
  int32_t words;
};

constexpr CommandKindRow kCommandKindRows[] = {
    {kCmdNone,                "", 0},
    {kCmdWait,                "ウエイト", 0},
    {kCmdMoveStraight,        "直線移動", 0},
    {kCmdMoveGroundTurn,      "地上折り返し移動", 0},
    {kCmdMoveCircle,          "円移動", 0},
    {kCmdMoveCharge,          "突撃移動", 0},
    {kCmdMoveHoming,          "誘導移動", 0},
    {kCmdMoveAvoidScreenEdge, "画面外回避移動", 0},
    {kCmdStopMoving,          "移動の無効化", 0},
    {kCmdTurn,                "向き変更", 1},
    {kCmdJump,                "ジャンプ", 5},
    {kCmdShot,                "ショット", 0},
    {kCmdSword,               "ソード", 0},
    {kCmdSummonBlock,         "ブロック召喚", 0},
    {kCmdSummonCharacter,     "キャラ召喚", 0},
    {kCmdSummonItem,          "アイテム召喚", 0},
    {kCmdFlowControl,         "フローの操作", 4},
    {kCmdStageClear,          "ステージクリア", 9},
    {kCmdGameWait,            "ゲームウエイト", 1},
    {kCmdMessage,             "メッセージ", 18},
    {kCmdWarp,                "ワープ", 0},
    {kCmdSetTarget,           "ターゲットの設定", 16},
    {kCmdStatus,              "ステータスの操作", 18},
    {kCmdStatus2,             "ステータスの操作2", 5},
    {kCmdVanish,              "消滅", 3},
    {kCmdGetItem,             "アイテムの取得", 2},
    {kCmdChangeGraphic,       "グラフィックの変更", 3},
    {kCmdChangeAnimeSet,      "基本アニメセットの変更", 1},
    {kCmdPlayAnime,           "アニメの実行", 1},
    {kCmdPlayEffect,          "エフェクトの実行", 8},
    {kCmdPlayCharaEffect,     "キャラエフェクトの実行", 3},
    {kCmdPlayScreenEffect,    "画面エフェクトの実行", 3},
    {kCmdShowPicture,         "ピクチャーの表示", 15},
    {kCmdScreenColour,        "画面の色を変更", 8},
    {kCmdChangeBackground,    "背景の変更", 2},
    {kCmdPlaySound,           "効果音の再生", 1},
    {kCmdPlayBgm,             "BGMの再生", 2},
    {kCmdRunCode,             "コードの実行", 0},
    {kCmdArrange,             "アレンジ", 5},
    {kCmdLoop,                "ループ", 2},
};

constexpr bool RowsInKindOrder() {
  int i = 0;
  for (const CommandKindRow& row : kCommandKindRows)
    if (row.kind != i++) return false;
  return i == kCommandKindCount;
}
static_assert(RowsInKindOrder(), "command-kind rows out of the kind order");

}  // namespace

const std::vector<LabelEntry>& CommandKindTable() {
  static const std::vector<LabelEntry> table = [] {
    std::vector<LabelEntry> t;
    t.reserve(std::size(kCommandKindRows));
    for (const CommandKindRow& row : kCommandKindRows) t.emplace_back(plat::Utf8ToCp932(row.text).c_str(), row.words);
    return t;
  }();
  return table;
}

// Item commands: the empty kind, "change the flow", then the flow kinds from
// the stage clear on, each with its flow twin's label and word count.
const std::vector<LabelEntry>& ItemCommandKindTable() {
  static const std::vector<LabelEntry> table = [] {
    std::vector<LabelEntry> t = MakeEntries({{"", 0}, {"フローの変更", 2}});
    const std::vector<LabelEntry>& flow = CommandKindTable();
    for (int kind = kCmdStageClear; kind < kCommandKindCount; ++kind) t.push_back(flow[kind]);
    return t;
  }();
  return table;
}

// Label, value minimum and maximum, operand minimum and maximum, three flags.
const std::vector<StatusFieldEntry>& CharacterStatusTable() {
  static const std::vector<StatusFieldEntry> table = MakeStatusTable({
      {"キャラ変数", -999999, 999999, -999999, 999999, 0, 0, 1},
      {"HP", 0, 999999, -999999, 999999, 0, 1, 1},
      {"SP", 0, 999999, -999999, 999999, 0, 1, 1},
      {"最大HP", 0, 999999, -999999, 999999, 0, 0, 1},
      {"最大SP", 0, 999999, -999999, 999999, 0, 0, 1},
      {"キャラID", 0, 99, -99, 99, 0, 0, 0},
      {"Z座標", 0, 8, -8, 8, 0, 0, 0},
      // The operand minimum really is -121, not -119.
      {"マーク番号", 0, 119, -121, 119, 0, 0, 0},
      {"視界範囲(hbl)", 0, 40, -40, 40, 0, 0, 1},
      {"体当たりの威力", -999999, 999999, -999999, 999999, 0, 0, 1},
      {"体当たりの衝撃", -20, 20, -20, 20, 0, 0, 1},
      {"防御力", 0, 999999, -999999, 999999, 0, 0, 1},
      {"衝撃耐性", 0, 20, -20, 20, 0, 0, 1},
      {"止まりやすさ", 0, 200, -200, 200, 0, 0, 1},
      {"倒したら獲得するスコア", -999999, 999999, -999999, 999999, 0, 0, 1},
  });
  return table;
}

const std::vector<StatusFieldEntry>& SystemStatusTable() {
  static const std::vector<StatusFieldEntry> table = MakeStatusTable({
      {"時間", 0, 999, -999, 999, 0, 0, 1},
      {"横スクロール速度", -480, 480, -480, 480, 0, 0, 1},
      {"縦スクロール速度", -480, 480, -480, 480, 0, 0, 1},
      {"スコア", 0, 999999, -999999, 999999, 0, 0, 1},
      {"残り人数", 0, 99, -99, 99, 0, 0, 1},
  });
  return table;
}

// Label, minimum, maximum, third number (= the minimum) and the list the value
// labels are copied from.
const std::vector<StatusOp2Entry>& StatusOperation2Table() {
  static const std::vector<StatusOp2Entry> table = [] {
    struct Row {
      const char* text;
      int32_t minimum, maximum, third;
      const LabelList& (*values)();
    };
    const Row rows[] = {
        {"消滅", 0, 0, 0, &OnLabels},
        {"透明", 0, 1, 0, &OnOffLabels2},
        {"向き固定", 0, 1, 0, &OnOffLabels},
        {"飛行", 0, 3, 0, &FlyLabels},
        {"無敵", 0, 2, 0, &InvincibleLabels},
        {"巨大化", 1, 10, 1, &EnlargeLabels},
        {"オートスクロールとシンクロ", 0, 1, 0, &OnOffLabels},
    };
    std::vector<StatusOp2Entry> t;
    t.reserve(std::size(rows));
    for (const Row& r : rows) {
      t.emplace_back(plat::Utf8ToCp932(r.text).c_str(), r.minimum, r.maximum, r.third,
                     r.values());
    }
    return t;
  }();
  return table;
}

}  // namespace labels_build

int CommandParameterWords(int family, int kind) {
  const EntryTableRef<LabelEntry>& table = family == 0 ? CommandKindTable : ItemCommandKindTable;
  return table.Has(kind) ? table[kind].number : 0;
}

int FlowKindOfItemKind(int itemKind) {
  return itemKind > kItemCmdChangeFlow && itemKind < kItemCommandKindCount ? itemKind + 15 : -1;
}

const std::string& FontFaceName(int64_t index) {
  return FontNameTable[FontNameTable.Has(index) ? index : kFallbackFontIndex];
}

// ---------------------------------------------------------------------------
// Operable parameters.

namespace {

struct OperableRow {
  const char* text;
  int32_t minimum;
  int32_t maximum;
};

struct OperableTable {
  std::array<std::vector<OperableParameter>, kCommandKindCount> kinds;
};

// Formation- and movement-type-specific parameters: the bound table of the
// command's current formation or movement type gives the maximum actually used.
constexpr int32_t kOpenMaximum = 2147483647;

const OperableTable& Operables() {
  static const OperableTable table = [] {
    OperableTable t;
    auto set = [&t](int kind, std::initializer_list<OperableRow> rows) {
      std::vector<OperableParameter>& list = t.kinds[static_cast<size_t>(kind)];
      for (const OperableRow& r : rows) {
        list.push_back(OperableParameter{plat::Utf8ToCp932(r.text), r.minimum, r.maximum});
      }
    };
    const std::initializer_list<OperableRow> straight = {
        {"目標X(bl)", -640, 640}, {"目標X(dot)", -640, 640},
        {"目標Y(bl)", -640, 640}, {"目標Y(dot)", -640, 640},
        {"角度", -7200, 7200},    {"分身値による増加角度", -7200, 7200},
    };
    set(kCmdMoveStraight, straight);
    set(kCmdMoveCharge, straight);
    set(kCmdMoveHoming, {
               {"誘導性能の悪さ", 0, 10},
               {"分身値による増加誘導性能の悪さ", 0, 10},
               {"目標X(bl)", -640, 640},
               {"目標X(dot)", -640, 640},
               {"目標Y(bl)", -640, 640},
               {"目標Y(dot)", -640, 640},
           });
    set(kCmdShot, {
                {"グラフィック", 1, 120},
                {"Z座標", 0, 7},
                {"フォーメーション固有1", 0, kOpenMaximum},
                {"フォーメーション固有2", 0, kOpenMaximum},
                {"フォーメーション固有3", 0, kOpenMaximum},
                {"発射数", 1, 127},
                {"発射数に対する分身数", 0, 20},
                {"角度のズレ", -7200, 7200},
                {"分身値による角度のズレ", -7200, 7200},
                {"分散角度", 0, 180},
                {"発射位置のズレX(dot)", -640, 640},
                {"分身値による発射位置のズレX(dot)", -640, 640},
                {"発射位置のズレY(dot)", -640, 640},
                {"分身値による発射位置のズレY(dot)", -640, 640},
                {"勢力", 0, 7},
                {"移動タイプ固有1", 0, kOpenMaximum},
                {"移動タイプ固有2", 0, kOpenMaximum},
                {"移動タイプ固有3", 0, kOpenMaximum},
                {"速度", -200, 200},
                {"分身値による増加速度", -200, 200},
                {"加速度", -200, 200},
                {"分身値による増加加速度", -200, 200},
                {"飛距離(hbl)", 0, 64},
                {"分身値による増加飛距離", -40, 40},
                {"存在時間(1/10s)", 1, 999},
                // The label's missing "に" is the system's own text.
                {"分身値よる増加存在時間", -99, 99},
                {"消滅値", 1, 9},
                {"威力", -999999, 999999},
                {"衝撃", -20, 20},
            });
    set(kCmdSword, {{"勢力", 0, 7}, {"Z座標", 0, 7}, {"威力", -999999, 999999}, {"衝撃", -20, 20}});
    const std::initializer_list<OperableRow> summonBlock = {
        {"フォーメーション固有1", 0, kOpenMaximum},
        {"フォーメーション固有2", 0, kOpenMaximum},
        {"フォーメーション固有3", 0, kOpenMaximum},
        {"数", 1, 127},
        {"召喚位置のズレX(dot)", -640, 640},
        {"召喚位置のズレY(dot)", -640, 640},
        {"存在時間(1/10s)", 1, 9999},
    };
    set(kCmdSummonBlock, summonBlock);
    set(kCmdSummonCharacter, {{"勢力", 0, 7}});
    set(kCmdSummonCharacter, summonBlock);
    set(kCmdSummonItem, {
                {"フォーメーション固有1", 0, kOpenMaximum},
                {"フォーメーション固有2", 0, kOpenMaximum},
                {"フォーメーション固有3", 0, kOpenMaximum},
                {"数", 1, 127},
                {"召喚位置のズレX(dot)", -640, 640},
                {"召喚位置のズレY(dot)", -640, 640},
            });
    set(kCmdStageClear, {
                {"次のステージの番号", 1, 99},
                {"次のステージの初期位置X(bl)", 0, 999},
                {"次のステージの初期位置Y(bl)", 0, 999},
                {"クリア後のワールドマップの位置X", 0, 999},
                {"クリア後のワールドマップの位置Y", 0, 999},
            });
    set(kCmdMessage, {
                {"メッセージID", 0, 999},
                {"座標X(bl)", 0, 20},
                {"表示位置のズレX(dot)", -999, 999},
                {"座標Y(bl)", 0, 15},
                {"表示位置のズレY(dot)", -999, 999},
            });
    set(kCmdWarp, {
                {"距離(hbl)", 0, 64},
                {"分身値による増加距離(hbl)", -40, 40},
                {"目標X(bl)", -640, 640},
                {"目標Xのズレ(dot)", -640, 640},
                {"目標Y(bl)", -640, 640},
                {"目標Yのズレ(dot)", -640, 640},
            });
    set(kCmdSetTarget, {
                {"対象勢力", 0, 7},
                {"対象キャラID", 0, 99},
                {"キャラ変数と比較する数値", -999999, 999999},
            });
    set(kCmdStatus, {{"乱数の最小値", -999999, 999999}, {"乱数の最大値", -999999, 999999}});
    set(kCmdVanish, {{"対象勢力", 0, 7}});
    set(kCmdChangeGraphic, {{"グラフィック", 1, 119}, {"ズレ", -999, 999}});
    set(kCmdPlayEffect, {
                {"座標X(bl)", 0, 511},
                {"表示位置のズレX(dot)", -999, 999},
                {"座標Y(bl)", 0, 511},
                {"表示位置のズレY(dot)", -999, 999},
                {"表示倍率(%)", 1, 1000},
            });
    set(kCmdShowPicture, {
                {"ピクチャーID", 0, 999},
                {"座標X(bl)", 0, 511},
                {"表示位置のズレX(dot)", -999, 999},
                {"座標Y(bl)", 0, 511},
                {"表示位置のズレY(dot)", -999, 999},
                {"表示倍率(%)", 1, 1000},
            });
    set(kCmdScreenColour, {{"R", 0, 255}, {"G", 0, 255}, {"B", 0, 255}, {"%", 0, 100}});
    set(kCmdChangeBackground, {{"背景番号", 1, 8}});
    return t;
  }();
  return table;
}

// The parameter word behind each operable parameter, for the kinds that keep
// their operable parameters in the parameter words.
struct OperableWords {
  int kind;
  int count;
  int words[6];
};

constexpr OperableWords kOperableWords[] = {
    {kCmdStageClear, 5, {1, 6, 7, 3, 4}},
    {kCmdMessage, 5, {13, 1, 2, 3, 4}},
    {kCmdSetTarget, 3, {2, 10, 13}},
    {kCmdStatus, 2, {8, 9}},
    {kCmdVanish, 1, {1}},
    {kCmdChangeGraphic, 2, {1, 2}},
    {kCmdPlayEffect, 5, {2, 3, 4, 5, 6}},
    {kCmdShowPicture, 6, {13, 2, 3, 4, 5, 7}},
    {kCmdScreenColour, 4, {0, 1, 2, 3}},
    {kCmdChangeBackground, 1, {0}},
};

}  // namespace

void BuildOperableParameterTable() { (void)Operables(); }

const std::vector<OperableParameter>& OperableParameters(int kind) {
  static const std::vector<OperableParameter> kNone;
  if (kind < 0 || kind >= kCommandKindCount) return kNone;
  return Operables().kinds[static_cast<size_t>(kind)];
}

int OperableParameterWord(int kind, int n) {
  for (const OperableWords& w : kOperableWords) {
    if (w.kind != kind) continue;
    return n >= 0 && n < w.count ? w.words[n] : -1;
  }
  return -1;
}

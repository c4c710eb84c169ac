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
// carries. The order is the kind numbering of the data files.
const std::vector<LabelEntry>& CommandKindTable() {
  static const std::vector<LabelEntry> table = MakeEntries({
      {"", 0},                        // 0
      {"ウエイト", 0},                // 1
      {"直線移動", 0},                // 2
      {"地上折り返し移動", 0},        // 3
      {"円移動", 0},                  // 4
      {"突撃移動", 0},                // 5
      {"誘導移動", 0},                // 6
      {"画面外回避移動", 0},          // 7
      {"移動の無効化", 0},            // 8
      {"向き変更", 1},                // 9
      {"ジャンプ", 5},                // 10
      {"ショット", 0},                // 11
      {"ソード", 0},                  // 12
      {"ブロック召喚", 0},            // 13
      {"キャラ召喚", 0},              // 14
      {"アイテム召喚", 0},            // 15
      {"フローの操作", 4},            // 16
      {"ステージクリア", 9},          // 17
      {"ゲームウエイト", 1},          // 18
      {"メッセージ", 18},             // 19
      {"ワープ", 0},                  // 20
      {"ターゲットの設定", 16},       // 21
      {"ステータスの操作", 18},       // 22
      {"ステータスの操作2", 5},       // 23
      {"消滅", 3},                    // 24
      {"アイテムの取得", 2},          // 25
      {"グラフィックの変更", 3},      // 26
      {"基本アニメセットの変更", 1},  // 27
      {"アニメの実行", 1},            // 28
      {"エフェクトの実行", 8},        // 29
      {"キャラエフェクトの実行", 3},  // 30
      {"画面エフェクトの実行", 3},    // 31
      {"ピクチャーの表示", 15},       // 32
      {"画面の色を変更", 8},          // 33
      {"背景の変更", 2},              // 34
      {"効果音の再生", 1},            // 35
      {"BGMの再生", 2},               // 36
      {"コードの実行", 0},            // 37
      {"アレンジ", 5},                // 38
      {"ループ", 2},                  // 39
  });
  return table;
}

// Item commands: the empty kind, "change the flow", then the flow kinds from
// the stage clear on, each with its flow twin's label and word count.
const std::vector<LabelEntry>& ItemCommandKindTable() {
  static const std::vector<LabelEntry> table = [] {
    std::vector<LabelEntry> t = MakeEntries({{"", 0}, {"フローの変更", 2}});
    const std::vector<LabelEntry>& flow = CommandKindTable();
    for (int kind = 17; kind < kCommandKindCount; ++kind) t.push_back(flow[kind]);
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
  return itemKind >= 2 && itemKind < kItemCommandKindCount ? itemKind + 15 : -1;
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
    set(2, straight);
    set(5, straight);
    set(6, {
               {"誘導性能の悪さ", 0, 10},
               {"分身値による増加誘導性能の悪さ", 0, 10},
               {"目標X(bl)", -640, 640},
               {"目標X(dot)", -640, 640},
               {"目標Y(bl)", -640, 640},
               {"目標Y(dot)", -640, 640},
           });
    set(11, {
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
    set(12, {{"勢力", 0, 7}, {"Z座標", 0, 7}, {"威力", -999999, 999999}, {"衝撃", -20, 20}});
    const std::initializer_list<OperableRow> summonBlock = {
        {"フォーメーション固有1", 0, kOpenMaximum},
        {"フォーメーション固有2", 0, kOpenMaximum},
        {"フォーメーション固有3", 0, kOpenMaximum},
        {"数", 1, 127},
        {"召喚位置のズレX(dot)", -640, 640},
        {"召喚位置のズレY(dot)", -640, 640},
        {"存在時間(1/10s)", 1, 9999},
    };
    set(13, summonBlock);
    set(14, {{"勢力", 0, 7}});
    set(14, summonBlock);
    set(15, {
                {"フォーメーション固有1", 0, kOpenMaximum},
                {"フォーメーション固有2", 0, kOpenMaximum},
                {"フォーメーション固有3", 0, kOpenMaximum},
                {"数", 1, 127},
                {"召喚位置のズレX(dot)", -640, 640},
                {"召喚位置のズレY(dot)", -640, 640},
            });
    set(17, {
                {"次のステージの番号", 1, 99},
                {"次のステージの初期位置X(bl)", 0, 999},
                {"次のステージの初期位置Y(bl)", 0, 999},
                {"クリア後のワールドマップの位置X", 0, 999},
                {"クリア後のワールドマップの位置Y", 0, 999},
            });
    set(19, {
                {"メッセージID", 0, 999},
                {"座標X(bl)", 0, 20},
                {"表示位置のズレX(dot)", -999, 999},
                {"座標Y(bl)", 0, 15},
                {"表示位置のズレY(dot)", -999, 999},
            });
    set(20, {
                {"距離(hbl)", 0, 64},
                {"分身値による増加距離(hbl)", -40, 40},
                {"目標X(bl)", -640, 640},
                {"目標Xのズレ(dot)", -640, 640},
                {"目標Y(bl)", -640, 640},
                {"目標Yのズレ(dot)", -640, 640},
            });
    set(21, {
                {"対象勢力", 0, 7},
                {"対象キャラID", 0, 99},
                {"キャラ変数と比較する数値", -999999, 999999},
            });
    set(22, {{"乱数の最小値", -999999, 999999}, {"乱数の最大値", -999999, 999999}});
    set(24, {{"対象勢力", 0, 7}});
    set(26, {{"グラフィック", 1, 119}, {"ズレ", -999, 999}});
    set(29, {
                {"座標X(bl)", 0, 511},
                {"表示位置のズレX(dot)", -999, 999},
                {"座標Y(bl)", 0, 511},
                {"表示位置のズレY(dot)", -999, 999},
                {"表示倍率(%)", 1, 1000},
            });
    set(32, {
                {"ピクチャーID", 0, 999},
                {"座標X(bl)", 0, 511},
                {"表示位置のズレX(dot)", -999, 999},
                {"座標Y(bl)", 0, 511},
                {"表示位置のズレY(dot)", -999, 999},
                {"表示倍率(%)", 1, 1000},
            });
    set(33, {{"R", 0, 255}, {"G", 0, 255}, {"B", 0, 255}, {"%", 0, 100}});
    set(34, {{"背景番号", 1, 8}});
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
    {17, 5, {1, 6, 7, 3, 4}},     {19, 5, {13, 1, 2, 3, 4}}, {21, 3, {2, 10, 13}},
    {22, 2, {8, 9}},              {24, 1, {1}},              {26, 2, {1, 2}},
    {29, 5, {2, 3, 4, 5, 6}},     {32, 6, {13, 2, 3, 4, 5, 7}},
    {33, 4, {0, 1, 2, 3}},        {34, 1, {0}},
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

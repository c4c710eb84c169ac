// The contents of every label list, in value order. The texts are written in
// UTF-8 here and turned into CP932 when a list is first used.
#include <initializer_list>

#include "data/labels.h"
#include "platform/text.h"

namespace labels_build {
namespace {

LabelList MakeList(std::initializer_list<const char*> utf8, bool terminated) {
  LabelList list;
  list.terminated = terminated;
  list.labels.reserve(utf8.size() + (terminated ? 1 : 0));
  for (const char* text : utf8) list.labels.push_back(plat::Utf8ToCp932(text));
  if (terminated) list.labels.emplace_back();
  return list;
}

// A list read up to its empty terminator.
LabelList MakeList(std::initializer_list<const char*> utf8) { return MakeList(utf8, true); }

// One of the few lists without a terminator (its last value may be anything).
LabelList MakeUnterminatedList(std::initializer_list<const char*> utf8) {
  return MakeList(utf8, false);
}

// Group letter lists: `first`, then the 26 letters from `a` ('A' or 'a'),
// then the terminator.
LabelList MakeLetterList(const char* first, char a) {
  LabelList list;
  list.labels.reserve(28);
  list.labels.push_back(plat::Utf8ToCp932(first));
  for (int i = 0; i < 26; ++i) list.labels.emplace_back(1, static_cast<char>(a + i));
  list.labels.emplace_back();
  return list;
}

}  // namespace

// ---------------------------------------------------------------------------
// Flow and command option lists.

const LabelList& GroupLetterLabels() {
  static const LabelList list = MakeLetterList("-", 'A');
  return list;
}

const LabelList& GroupLetterAllLabels() {
  static const LabelList list = MakeLetterList("全て", 'A');
  return list;
}

const LabelList& SmallGroupLetterLabels() {
  static const LabelList list = MakeLetterList("-", 'a');
  return list;
}

const LabelList& FlowTriggerLabels() {
  static const LabelList list = MakeList({
      "常時", "ダメージを受けた時", "衝撃を受けた時", "死亡した時", "キャラに当たった時",
      "ブロックキャラに当たった時", "ブロックキャラに乗っている時", "ショットに当たった時",
      "アイテムに当たった時", "ブロックに当たった時", "自分の左右にブロックが当たった時",
      "自分の左にブロックが当たった時", "自分の右にブロックが当たった時",
      "自分の上下にブロックが当たった時", "自分の上にブロックが当たった時",
      "自分の下にブロックが当たった時", "主人公に乗られている時", "キャラに乗られている時",
      "アタックでダメージを与えた時", "アタックで衝撃を与えた時", "アタックを当てた時",
      "ステージ開始前", "なし（フローの操作コマンドで実行）"});
  return list;
}

const LabelList& FlowTargetLabels() {
  static const LabelList list = MakeList({
      "自分", "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4"});
  return list;
}

const LabelList& FlowOperationLabels() {
  static const LabelList list = MakeList({
      "開始", "終了", "一時停止", "再開", "削除", "永久停止"});
  return list;
}

const LabelList& FlowOperationTargetLabels() {
  static const LabelList list = MakeList({
      "このフロー", "このフロー以外全て", "指定IDのフロー"});
  return list;
}

const LabelList& ObjectLabels() {
  static const LabelList list = MakeList({
      "自分", "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4"});
  return list;
}

const LabelList& StageClearKindLabels() {
  static const LabelList list = MakeList({
      "次のステージへ", "番号で指定", "パスで指定", "ワールドクリア"});
  return list;
}

const LabelList& StageClearFacingLabels() {
  static const LabelList list = MakeList({
      "左向き", "右向き", "ステージクリア時の向きと同じ"});
  return list;
}

const LabelList& MessagePositionLabels() {
  static const LabelList list = MakeList({
      "画面中央に表示", "自分の上に表示", "自分の下に表示", "自分の中心に表示",
      "主人公の上に表示", "主人公の下に表示", "主人公の中心に表示", "画面座標で指定",
      "ステージ座標で指定"});
  return list;
}

const LabelList& MessageDurationLabels() {
  static const LabelList list = MakeList({
      "進行キーが押されるまで表示", "ステージ終了まで表示", "時間で指定"});
  return list;
}

const LabelList& TargetChoiceLabels() {
  static const LabelList list = MakeList({
      "主人公", "自分", "最も近いキャラ", "キャラ（キャラIDで指定）",
      "親キャラ（自分を召喚したキャラ）", "子キャラ（最後に召喚したキャラ）",
      "子キャラ（条件付き。後で召喚したキャラ優先)", "ターゲット1", "ターゲット2",
      "ターゲット3", "ターゲット4"});
  return list;
}

const LabelList& TargetRangeLabels() {
  static const LabelList list = MakeList({
      "全範囲（画面内のキャラ優先）", "全範囲", "画面内"});
  return list;
}

const LabelList& TargetFailLabels() {
  static const LabelList list = MakeList({
      "ターゲット無し", "ターゲットを変更しない"});
  return list;
}

const LabelList& EraseSubjectLabels() {
  static const LabelList list = MakeList({
      "キャラ", "ショット", "子以下のキャラ", "子のショット",
      "子以下のキャラと子以下のショット", "子以下のキャラと孫以下のショット"});
  return list;
}

const LabelList& EraseRangeLabels() {
  static const LabelList list = MakeList({
      "画面内", "全範囲"});
  return list;
}

const LabelList& CommandPaletteLabels() {
  static const LabelList list = MakeList({
      "コモンパレット", "ステージパレット"});
  return list;
}

const LabelList& CommandPaletteCommonLabels() {
  static const LabelList list = MakeList({
      "コモンパレット"});
  return list;
}

const LabelList& PicturePositionLabels() {
  static const LabelList list = MakeList({
      "画面中央に表示", "キャラの中心に表示", "主人公の中心に表示", "画面座標で指定",
      "ステージ座標で指定"});
  return list;
}

const LabelList& PictureDurationLabels() {
  static const LabelList list = MakeList({
      "進行キーが押されるまで表示", "ステージ終了まで表示", "時間で指定"});
  return list;
}

const LabelList& AnimeRunModeLabels() {
  static const LabelList list = MakeList({
      "通常実行", "反転実行", "往復実行"});
  return list;
}

const LabelList& ShowHideLabels() {
  static const LabelList list = MakeList({
      "表示", "非表示", "反転(表示⇔非表示)"});
  return list;
}

const LabelList& ArrangeOperandLabels() {
  static const LabelList list = MakeList({
      "コモン変数", "ステージ変数", "キャラ変数"});
  return list;
}

// ---------------------------------------------------------------------------
// Condition, status and variable lists.

const LabelList& ConditionKindLabels() {
  static const LabelList list = MakeUnterminatedList({
      "", "コモン変数条件", "ステージ変数条件", "キャラ変数条件", "ステータス条件",
      "ステータス条件2", "ステータス条件3", "距離条件"});
  return list;
}

const LabelList& ConditionModeLabels() {
  static const LabelList list = MakeList({
      "全ての条件が真なら成立", "1つ以上の条件が真なら成立"});
  return list;
}

const LabelList& ConditionSubjectLabels() {
  static const LabelList list = MakeList({
      "主人公", "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4"});
  return list;
}

const LabelList& DistanceAxisLabels() {
  static const LabelList list = MakeList({
      "横", "前", "後", "縦", "前Y", "後Y", "円"});
  return list;
}

const LabelList& DistanceRangeLabels() {
  static const LabelList list = MakeList({
      "以内", "外"});
  return list;
}

const LabelList& DebugShowLabels() {
  static const LabelList list = MakeList({
      "表示しない", "表示する", "テストプレイ時のみ表示"});
  return list;
}

const LabelList& ObjectSystemLabels() {
  static const LabelList list = MakeList({
      "自分", "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4", "システム"});
  return list;
}

const LabelList& HeroTargetLabels() {
  static const LabelList list = MakeList({
      "主人公", "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4"});
  return list;
}

const LabelList& HeroTargetSystemLabels() {
  static const LabelList list = MakeList({
      "主人公", "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4", "システム"});
  return list;
}

const LabelList& LeftOperandLabels() {
  static const LabelList list = MakeList({
      "ステータス", "変数"});
  return list;
}

const LabelList& RightOperandLabels() {
  static const LabelList list = MakeList({
      "定数", "乱数", "ステータス", "変数"});
  return list;
}

const LabelList& VariableScopeLabels() {
  static const LabelList list = MakeList({
      "コモン変数", "ステージ変数"});
  return list;
}

const LabelList& StatusOperationModeLabels() {
  static const LabelList list = MakeList({
      "通常の計算", "最大値に対する％で指定", "現在値に対する％で指定"});
  return list;
}

const LabelList& OnLabels() {
  static const LabelList list = MakeList({
      "ON"});
  return list;
}

const LabelList& StatusCondition2Labels() {
  static const LabelList list = MakeList({
      "左向き", "右向き", "ブロックに乗っている(ブロックキャラも含む)", "画面内にいる",
      "存在している"});
  return list;
}

const LabelList& KeyConditionModeLabels() {
  static const LabelList list = MakeList({
      "全てのキーが真なら成立", "1つ以上のキーが真なら成立", "1つだけキーが真なら成立"});
  return list;
}

const LabelList& KeyStateLabels() {
  static const LabelList list = MakeList({
      "--", "押", "離"});
  return list;
}

const LabelList& CharacterVariableLabels() {
  static const LabelList list = MakeList({
      "1 キャラ変数-1", "2 キャラ変数-2", "3 キャラ変数-3", "4 キャラ変数-4", "5 キャラ変数-5",
      "6 キャラ変数-6", "7 キャラ変数-7", "8 キャラ変数-8"});
  return list;
}

const LabelList& OperatorLabels() {
  static const LabelList list = MakeList({
      "＝", "＋", "－", "×", "÷", "÷ X の余り", "X ％"});
  return list;
}

const LabelList& ComparisonLabels() {
  static const LabelList list = MakeList({
      "である", "でない", "以上", "以下", "より上", "より下", "の倍数である", "の倍数でない"});
  return list;
}

const LabelList& ConditionSenseLabels() {
  static const LabelList list = MakeList({
      "なら", "でないなら"});
  return list;
}

// ---------------------------------------------------------------------------
// Block, character, item and movement option lists.

const LabelList& OnOffLabels() {
  static const LabelList list = MakeList({
      "OFF", "ON"});
  return list;
}

const LabelList& PaletteSourceLabels() {
  static const LabelList list = MakeList({
      "ステージパレット", "コモンパレット"});
  return list;
}

const LabelList& PaletteInheritLabels() {
  static const LabelList list = MakeList({
      "継承しない", "コモンパレット", "ステージパレット"});
  return list;
}

const LabelList& PaletteInheritCommonLabels() {
  static const LabelList list = MakeList({
      "継承しない", "コモンパレット"});
  return list;
}

const LabelList& PaletteInheritStageLabels() {
  static const LabelList list = MakeList({
      "継承しない", "ステージパレット"});
  return list;
}

const LabelList& PaletteInheritNoneLabels() {
  static const LabelList list = MakeList({
      "継承しない"});
  return list;
}

const LabelList& GraphicSourceLabels() {
  static const LabelList list = MakeList({
      "ブロック", "キャラ", "アイテム", "ショット", "専用bmp"});
  return list;
}

const LabelList& GraphicSourceLabels2() {
  static const LabelList list = MakeList({
      "ブロック", "キャラ", "アイテム", "ショット", "専用bmp"});
  return list;
}

const LabelList& OnOffLabels2() {
  static const LabelList list = MakeList({
      "OFF", "ON"});
  return list;
}

const LabelList& BlockVisibilityLabels() {
  static const LabelList list = MakeList({
      "表示しない", "表示する", "エディターでのみ表示"});
  return list;
}

const LabelList& BlockCollisionLabels() {
  static const LabelList list = MakeList({
      "当たらない", "当たる", "主人公が当たると即死"});
  return list;
}

const LabelList& NoneOrDigitLabels() {
  static const LabelList list = MakeList({
      "なし", "0", "1", "2", "3", "4", "5", "6", "7"});
  return list;
}

const LabelList& BlockEffectLabels() {
  static const LabelList list = MakeList({
      "なし", "ジャンプ X=高さ(hbl)", "ジャンプ禁止", "移動速度変更 X=％", "左移動 X=移動速度",
      "右移動 X=移動速度"});
  return list;
}

const LabelList& PaletteChoiceLabels() {
  static const LabelList list = MakeList({
      "なし", "コモンパレット", "ステージパレット"});
  return list;
}

const LabelList& PaletteChoiceCommonLabels() {
  static const LabelList list = MakeList({
      "なし", "コモンパレット"});
  return list;
}

const LabelList& ControlLabels() {
  static const LabelList list = MakeList({
      "プレイヤー", "コンピューター"});
  return list;
}

const LabelList& OneLabels() {
  static const LabelList list = MakeList({
      "1"});
  return list;
}

const LabelList& FlyLabels() {
  static const LabelList list = MakeList({
      "OFF", "ON (ブロックをすり抜ける)", "ON (ブロックに当たる)",
      "ON (ブロックに当たると即死)"});
  return list;
}

const LabelList& InvincibleLabels() {
  static const LabelList list = MakeList({
      "OFF", "ON (ショットが当たる)", "ON (ショットがすり抜ける)"});
  return list;
}

const LabelList& OnOffLabels3() {
  static const LabelList list = MakeList({
      "OFF", "ON"});
  return list;
}

const LabelList& EnlargeLabels() {
  static const LabelList list = MakeList({
      "しない", "×4", "×9", "×16", "×25", "×36", "×49", "×64", "×81", "×100"});
  return list;
}

const LabelList& EnlargeLabels2() {
  static const LabelList list = MakeList({
      "×4", "×9", "×16", "×25", "×36", "×49", "×64", "×81", "×100"});
  return list;
}

const LabelList& SearchAreaLabels() {
  static const LabelList list = MakeList({
      "画面内全て", "キャラを中心とした円形", "キャラの前方に円形", "キャラを中心とした正方形",
      "キャラの前方に正方形"});
  return list;
}

const LabelList& HitRangeLabels() {
  static const LabelList list = MakeList({
      "キャラ対キャラの当たり判定範囲（推奨）", "キャラ対ショットの当たり判定範囲",
      "ショット対キャラの当たり判定範囲", "32×32"});
  return list;
}

const LabelList& ScreenRangeLabels() {
  static const LabelList list = MakeList({
      "画面内", "X座標のみ画面内", "Y座標のみ画面内", "全範囲"});
  return list;
}

const LabelList& RangeGroupModeLabels() {
  static const LabelList list = MakeList({
      "範囲かグループが真なら成立", "一度範囲かグループが真になると、以後無条件で成立",
      "範囲とグループが偽なら成立"});
  return list;
}

const LabelList& ItemTakeModeLabels() {
  static const LabelList list = MakeList({
      "1回だけ取れる", "何回でも取れる", "取れない"});
  return list;
}

const LabelList& MoveSpecLabels() {
  static const LabelList list = MakeList({
      "方向で指定", "目標座標で指定"});
  return list;
}

const LabelList& MoveDirectionDistanceLabels() {
  static const LabelList list = MakeList({
      "方向と距離で指定", "ターゲット1からの方向と距離で指定",
      "ターゲット2からの方向と距離で指定", "ターゲット3からの方向と距離で指定",
      "ターゲット4からの方向と距離で指定", "目標座標で指定"});
  return list;
}

const LabelList& MoveDirectionLabels() {
  static const LabelList list = MakeList({
      "前", "後", "左", "右", "前Y", "後Y", "上", "下", "左上", "左下", "右上", "右下",
      "入力方向"});
  return list;
}

const LabelList& CoordinateKindLabels() {
  static const LabelList list = MakeList({
      "配置位置からの相対座標", "相対座標", "絶対座標", "画面座標"});
  return list;
}

const LabelList& CoordinateKindLabels2() {
  static const LabelList list = MakeList({
      "相対座標", "絶対座標", "画面座標"});
  return list;
}

const LabelList& TargetSlotLabels() {
  static const LabelList list = MakeList({
      "ターゲット1", "ターゲット2", "ターゲット3", "ターゲット4"});
  return list;
}

const LabelList& TurnDirectionLabels() {
  static const LabelList list = MakeList({
      "右回り", "左回り", "左向きなら右回り、右向きなら左回り",
      "左向きなら左回り、右向きなら右回り"});
  return list;
}

const LabelList& MoveAnimeLabels() {
  static const LabelList list = MakeList({
      "移動アニメ", "静止アニメ", "その他"});
  return list;
}

const LabelList& FacingChangeLabels() {
  static const LabelList list = MakeList({
      "左を向く", "右を向く", "ターゲット1がいる方を向く", "ターゲット1がいる方の逆を向く",
      "ターゲット2がいる方を向く", "ターゲット2がいる方の逆を向く", "ターゲット3がいる方を向く",
      "ターゲット3がいる方の逆を向く", "ターゲット4がいる方を向く",
      "ターゲット4がいる方の逆を向く", "最後にブロックが当たった方を向く",
      "最後にブロックが当たった方の逆を向く"});
  return list;
}

const LabelList& MoveTimingLabels() {
  static const LabelList list = MakeList({
      "時間と速度を指定", "時間と距離を指定", "速度と距離を指定"});
  return list;
}

const LabelList& MoveTimingLabels2() {
  static const LabelList list = MakeList({
      "時間を指定", "速度を指定"});
  return list;
}

const LabelList& JumpHeightLabels() {
  static const LabelList list = MakeList({
      "高さがキーで調節できない", "高さがキーで調節できる(主人公のみ有効)",
      "慣性移動速度に応じて高さを決定(主人公のみ有効)"});
  return list;
}

const LabelList& UnitLabels() {
  static const LabelList list = MakeList({
      "(hbl)で指定", "(dot)で指定"});
  return list;
}

// ---------------------------------------------------------------------------
// Stage and system lists.

// Windows face names; the font layer maps them to installed faces.
const LabelList& FontNameTable() {
  static const LabelList list = MakeList({
      "System", "Terminal", "FixedSys", "Roman", "Script", "Modern", "Small Fonts", "MS Serif",
      "WST_Czec", "WST_Engl", "WST_Fren", "WST_Germ", "WST_Ital", "WST_Span", "WST_Swed",
      "Courier", "MS Sans Serif", "Marlett", "Arial", "Arial CE", "Arial CYR", "Arial Greek",
      "Arial TUR", "Arial Baltic", "Courier New", "Courier New CE", "Courier New CYR",
      "Courier New Greek", "Courier New TUR", "Courier New Baltic", "Lucida Console",
      "Lucida Sans Unicode", "Times New Roman", "Times New Roman CE", "Times New Roman CYR",
      "Times New Roman Greek", "Times New Roman TUR", "Times New Roman Baltic", "Wingdings",
      "Symbol", "Verdana", "Arial Black", "Comic Sans MS", "Impact", "Georgia",
      "Franklin Gothic Medium", "Palatino Linotype", "Tahoma", "Trebuchet MS", "Webdings",
      "Estrangelo Edessa", "Gautami", "Latha", "Mangal", "MV Boli", "Raavi", "Shruti", "Tunga",
      "Sylfaen", "ＭＳ ゴシック", "ＭＳ Ｐゴシック", "MS UI Gothic", "ＭＳ 明朝", "ＭＳ Ｐ明朝",
      "Microsoft Sans Serif", "Gulim", "GulimChe", "Dotum", "DotumChe", "Batang", "BatangChe",
      "Gungsuh", "GungsuhChe", "SimSun", "NSimSun", "SimSun-PUA", "SimHei", "MingLiU",
      "PMingLiU", "Arial Narrow", "Book Antiqua", "Bookman Old Style", "Century",
      "Century Gothic", "Garamond", "MS Outlook", "HGｺﾞｼｯｸE", "HGPｺﾞｼｯｸE",
      "HGSｺﾞｼｯｸE", "HG丸ｺﾞｼｯｸM-PRO", "HG創英角ｺﾞｼｯｸUB", "HGP創英角ｺﾞｼｯｸUB",
      "HGS創英角ｺﾞｼｯｸUB", "HG創英角ﾎﾟｯﾌﾟ体", "HGP創英角ﾎﾟｯﾌﾟ体",
      "HGS創英角ﾎﾟｯﾌﾟ体", "HG正楷書体-PRO", "InMusicSym", "Kartika", "Vrinda", "メイリオ",
      "MT Extra", "HGｺﾞｼｯｸM", "HGPｺﾞｼｯｸM", "HGSｺﾞｼｯｸM", "HG行書体", "HGP行書体",
      "HGS行書体", "HG教科書体", "HGP教科書体", "HGS教科書体", "HG明朝B", "HGP明朝B",
      "HGS明朝B", "HG明朝E", "HGP明朝E", "HGS明朝E", "HG創英ﾌﾟﾚｾﾞﾝｽEB",
      "HGP創英ﾌﾟﾚｾﾞﾝｽEB", "HGS創英ﾌﾟﾚｾﾞﾝｽEB", "OCRB", "Sydnie"});
  return list;
}

const LabelList& ScrollModeLabels() {
  static const LabelList list = MakeList({
      "主人公の位置に合わせてスクロール", "オートスクロール"});
  return list;
}

const LabelList& StageWidthChangeLabels() {
  static const LabelList list = MakeList({
      "右方向へ拡張（または右を削除）", "左方向へ拡張（または左を削除）"});
  return list;
}

const LabelList& StageHeightChangeLabels() {
  static const LabelList list = MakeList({
      "下方向へ拡張（または下を削除）", "上方向へ拡張（または上を削除）"});
  return list;
}

const LabelList& HitLevelLabels() {
  static const LabelList list = MakeList({
      "レベル1 (速度制限=60)", "レベル2 (速度制限=120)", "レベル3 (速度制限=180)",
      "レベル4 (速度制限=240)", "レベル5 (速度制限=300)", "レベル6 (速度制限=360)",
      "レベル7 (速度制限=420)", "レベル8 (速度制限=480)", "レベル9 (速度制限=540)",
      "レベル10 (速度制限=600)", "レベル1 (速度制限=600)", "レベル2 (速度制限=600)",
      "レベル3 (速度制限=600)", "レベル4 (速度制限=600)", "レベル5 (速度制限=600)",
      "レベル6 (速度制限=600)", "レベル7 (速度制限=600)", "レベル8 (速度制限=600)",
      "レベル9 (速度制限=600)"});
  return list;
}

const LabelList& HitSubLevelLabels() {
  static const LabelList list = MakeList({
      "最大 (当たり判定レベルと同じ)", "1 (対応速度=60)", "2 (対応速度=最大120)",
      "3 (対応速度=最大180)", "4 (対応速度=最大240)", "5 (対応速度=最大300)"});
  return list;
}

const LabelList& VerticalPlaceLabels() {
  static const LabelList list = MakeList({
      "中央", "下"});
  return list;
}

const LabelList& VerticalPlaceLabels2() {
  static const LabelList list = MakeList({
      "中", "下"});
  return list;
}

const LabelList& FrameShowLabels() {
  static const LabelList list = MakeList({
      "表示しない", "表示する", "枠のみ表示"});
  return list;
}

const LabelList& ColourNameLabels() {
  static const LabelList list = MakeList({
      "赤", "緑", "青", "黄", "赤紫", "青紫", "黒", "虹"});
  return list;
}

const LabelList& OrientationLabels() {
  static const LabelList list = MakeList({
      "水平方向", "垂直方向"});
  return list;
}

const LabelList& FrontBackUpDownLabels() {
  static const LabelList list = MakeList({
      "前", "後", "上", "下"});
  return list;
}

const LabelList& SpeedCompatLabels() {
  static const LabelList list = MakeList({
      "速度重視", "互換性重視"});
  return list;
}

const LabelList& ColourModeLabels() {
  static const LabelList list = MakeList({
      "256色(8bit) カラーパレットあり", "1677万色(24bit) カラーパレットなし"});
  return list;
}

const LabelList& ColourDepthLabels() {
  static const LabelList list = MakeList({
      "32bit(1677万色)", "16bit(32768色)", "8bit(256色)"});
  return list;
}

const LabelList& ColourDepthLabels2() {
  static const LabelList list = MakeList({
      "32bit(1677万色)", "16bit(32768色)"});
  return list;
}

}  // namespace labels_build

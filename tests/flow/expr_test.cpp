#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include <map>
#include <string>
#include <vector>

#include "base/random.h"
#include "flow/expr.h"
#include "flow/fake_flow_host.h"

namespace {

using Values = std::map<std::string, int32_t>;

// A game of ten common and ten stage variables, a running character, a
// first target and a hero (target slots 2..4 are empty), and the game
// values; every value lives in one map under its language name.
class cFakeHost final : public cExprHost {
 public:
  explicit cFakeHost(const Values& set) {
    for (int i = 0; i < 10; ++i) {
      const std::string n = std::to_string(i);
      values[std::string("C").append(n)] = 0;
      values[std::string("S").append(n)] = 0;
    }
    for (const char* object : {"my", "tg", "pl"})
      for (int m = 0; m < kExprMemberCount; ++m)
        values[std::string(object) + "." + ExprMemberInfo(static_cast<ExprMember>(m)).name] = 0;
    for (const char* object : {"my", "tg", "pl"}) {
      values[std::string(object) + ".mhp"] = 100;
      values[std::string(object) + ".hp"] = 50;
    }
    for (int s = 0; s < kExprSystemCount; ++s) values[ExprSystemName(static_cast<ExprSystem>(s))] = 0;
    for (const auto& [name, value] : set) values[name] = value;
  }

  static std::string Member(ExprObject o, ExprMember m) {
    return FormatExprName(cExprName{cExprName::kMember, 'C', 0, o, m});
  }
  bool HasObject(ExprObject o) override {
    return o == ExprObject::kMy || o == ExprObject::kTarget1 || o == ExprObject::kHero;
  }
  int32_t ReadMember(ExprObject o, ExprMember m) override { return values.at(Member(o, m)); }
  void WriteMember(ExprObject o, ExprMember m, int32_t v) override { values.at(Member(o, m)) = v; }
  bool ReadVariable(char kind, int32_t index, int32_t& v) override {
    auto it = values.find(kind + std::to_string(index));
    if (it == values.end()) return false;
    v = it->second;
    return true;
  }
  bool WriteVariable(char kind, int32_t index, int32_t v) override {
    auto it = values.find(kind + std::to_string(index));
    if (it == values.end()) return false;
    it->second = v;
    return true;
  }
  bool ReadSystem(ExprSystem s, cExprCell& cell) override {
    cell.value = values.at(ExprSystemName(s));
    return true;
  }
  void WriteSystem(ExprSystem s, int32_t v) override { values.at(ExprSystemName(s)) = v; }
  void StartGauges(int32_t hp, int32_t sp) override { gauges.push_back({hp, sp}); }
  void ReportError(std::string_view, const cExprError&) override { ++reports; }

  Values values;
  std::vector<std::pair<int32_t, int32_t>> gauges;
  int reports = 0;
};

using K = ExprErrorKind;

TEST(Expr, Statements) {
  struct Case {
    std::string code;
    Values before;
    Values changed;  // what differs afterwards; nothing else may change
    K error;
  };
  const std::string deep = std::string(300, '(') + "1" + std::string(300, ')');
  const std::string fine = "C1 = " + std::string(100, '(') + "7" + std::string(100, ')');
  std::string groups = "C1 =";
  for (int i = 0; i < 300; ++i) groups += " (1)";
  const Case cases[] = {
      // precedence, associativity, parentheses
      {"my.v1 = 5 + 3 * 2", {}, {{"my.v1", 11}}, K::kNone},
      {"my.v1 = (5 + 3) * 2", {}, {{"my.v1", 16}}, K::kNone},
      {"C1 = 20 - 5 - 3", {}, {{"C1", 12}}, K::kNone},
      {"C1 = 100 / 10 / 5", {}, {{"C1", 2}}, K::kNone},
      {"C1 = 7 - 10 % 4 * 2", {}, {{"C1", 3}}, K::kNone},
      {"C1 = -7 / 2", {}, {{"C1", -3}}, K::kNone},
      {"C1 = -7 % 2", {}, {{"C1", -1}}, K::kNone},
      {"C1 = ((2 + 3) * (1 - 4)) * 2", {}, {{"C1", -30}}, K::kNone},
      {"C(1 + 1) = 5", {}, {{"C2", 5}}, K::kNone},
      {"C1 = 2(3)", {}, {{"C1", 23}}, K::kNone},
      {"C1 = rand(4, 4) + rand(2 * 3, (6))", {}, {{"C1", 10}}, K::kNone},
      {"S0 = my.v2 + tg.v2 + tg1.v2 + pl.v3", {{"my.v2", 1}, {"tg.v2", 10}, {"pl.v3", 100}}, {{"S0", 121}}, K::kNone},
      {"C1 = bogus.v1", {{"my.v1", 6}, {"C1", 1}}, {{"C1", 6}}, K::kNone},
      {"my.v1 = 5-3", {}, {{"my.v1", 5}}, K::kNone},
      {"C1 = my.hpp", {{"C1", 9}}, {{"C1", 0}}, K::kNone},
      {std::string("C1 = 4\0 + 1", 12), {}, {{"C1", 4}}, K::kNone},
      // widths, signs and bounds of assignments
      {"C3 = 1000000", {}, {{"C3", 999999}}, K::kNone},
      {"S3 = 0 - 1000000", {}, {{"S3", -999999}}, K::kNone},
      {"my.imp = -50", {}, {{"my.imp", -20}}, K::kNone},
      {"my.cid = 300", {}, {{"my.cid", 99}}, K::kNone},
      {"my.mark = -1", {}, {{"my.mark", 0}}, K::kNone},
      {"tg.stop = 201", {}, {{"tg.stop", 200}}, K::kNone},
      {"my.z = 8", {}, {{"my.z", 7}}, K::kNone},
      {"my.hp = 500", {{"my.mhp", 30}}, {{"my.hp", 30}}, K::kNone},
      {"my.mhp = 0", {}, {{"my.mhp", 1}}, K::kNone},
      {"score = score + 10", {{"score", 5}}, {{"score", 15}}, K::kNone},
      {"time = 5000", {}, {{"time", 999}}, K::kNone},
      {"sys.scrlx = -1000", {}, {{"scrlx", -480}}, K::kNone},
      {"life = 200", {}, {{"life", 99}}, K::kNone},
      // saturating arithmetic
      {"C1 = 99999999999", {}, {{"C1", 999999}}, K::kNone},
      {"C1 = 999999 * 999999", {}, {{"C1", 999999}}, K::kNone},
      {"C1 = -2147483648 / -1", {}, {{"C1", 999999}}, K::kNone},
      {"C1 = -2147483648 % -1", {{"C1", 3}}, {{"C1", 0}}, K::kNone},
      {"C1 = 0 - 2147483647 - 2147483647", {}, {{"C1", -999999}}, K::kNone},
      {fine, {}, {{"C1", 7}}, K::kNone},
      // statements that change nothing
      {"", {}, {}, K::kNone},
      {"   ", {}, {}, K::kNone},
      {"()", {}, {}, K::kNone},
      {"rand(,)", {}, {}, K::kNone},
      {"my.v1 5", {}, {}, K::kNone},
      // the chained assignment stores once, then fails
      {"my.v1 = my.v2 = 3", {{"my.v2", 4}}, {{"my.v1", 4}}, K::kBadAssignTarget},
      // errors: the statement stops and nothing changes
      {"my.v1 = 7 / 0", {}, {}, K::kDivisionByZero},
      {"my.v1 = 7 % 0", {}, {}, K::kDivisionByZero},
      {"my.v1 = rand(1) + 2", {}, {}, K::kBadArguments},
      {"my.v1 = rand(C1 = 5, 2, 3)", {}, {}, K::kBadArguments},
      {"C1 = (2 * (3 + 1 / 0))", {}, {}, K::kDivisionByZero},
      {"5 = 3", {}, {}, K::kBadAssignTarget},
      {"my.hpp = 3", {}, {}, K::kBadAssignTarget},
      {"C1 + 1 = 3", {}, {}, K::kBadAssignTarget},
      {"tg2.hp = 0", {}, {}, K::kNoObject},
      {"C1 = tg4.C2", {}, {}, K::kNoObject},
      {"bogus.v1 = 3", {}, {}, K::kUnknownObject},
      {"3.5", {}, {}, K::kUnknownObject},
      {"sys.hp = 3", {}, {}, K::kObjectSetting},
      {"C10 = 7", {}, {}, K::kVariable},
      {"S-1 = 7", {}, {}, K::kVariable},
      {"Cx = 7", {}, {}, K::kVariable},
      {"my.v1 =", {}, {}, K::kOperator},
      {"+ 3", {}, {}, K::kOperator},
      {"C1 = 3 +", {}, {}, K::kOperator},
      {"C1 = 3 * / 4", {}, {}, K::kOperator},
      {"=", {}, {}, K::kOperator},
      {"C1 = (1 + 2", {}, {}, K::kNoClosingParenthesis},
      {"C1 = rand(1, 2", {}, {}, K::kNoClosingParenthesis},
      {"C1 = " + deep, {}, {}, K::kTooLong},
      {groups, {}, {}, K::kTooLong},
      {"C1 = " + std::string(6000, '1'), {}, {}, K::kTooLong},
  };
  for (const Case& c : cases) {
    SRand(1);
    cFakeHost host(c.before);
    Values expected = host.values;
    for (const auto& [name, value] : c.changed) expected.at(name) = value;
    cExprResult result = RunCode(c.code, host);
    EXPECT_EQ(result.error.kind, c.error) << c.code;
    EXPECT_EQ(result.ok, c.error == K::kNone) << c.code;
    EXPECT_EQ(result.error.text.empty(), c.error == K::kNone) << c.code;
    EXPECT_EQ(host.reports, c.error == K::kNone ? 0 : 1) << c.code;
    for (const auto& [name, value] : expected) EXPECT_EQ(host.values.at(name), value) << c.code << ": " << name;
  }
  SRand(1);  // the generator's state at start-up
}

TEST(Expr, ValuesGaugesAndRandomRange) {
  const std::pair<const char*, int32_t> values[] = {{"3 + 4 * 2", 11}, {"C1 = 12", 12}, {"my.v1 = 2000000", 999999},
                                                    {"-5", -5}, {"", 0}, {"my.v1 5", 0}};
  for (const auto& [code, value] : values) {
    cFakeHost host({});
    EXPECT_EQ(RunCode(code, host).value, value) << code;
  }

  cFakeHost host({});
  ASSERT_TRUE(RunCode("my.hp = my.hp - 20", host).ok);
  ASSERT_TRUE(RunCode("my.sp = 0", host).ok);
  EXPECT_FALSE(RunCode("my.hp = 1 / 0", host).ok);
  EXPECT_EQ(host.gauges, (std::vector<std::pair<int32_t, int32_t>>{{-20, 0}}));

  SRand(7);
  for (int i = 0; i < 200; ++i) {
    cExprResult r = RunCode("rand(9, 3 - 1)", host);
    ASSERT_TRUE(r.ok);
    EXPECT_GE(r.value, 2);
    EXPECT_LE(r.value, 9);
  }
  SRand(1);
}

TEST(Expr, NamesAndMessageLog) {
  for (const char* word : {"C3", "S0", "my.v1", "tg.hp", "tg3.getsc", "pl.imp", "score", "life"}) {
    cExprName name;
    ASSERT_TRUE(ParseExprName(word, name)) << word;
    EXPECT_EQ(FormatExprName(name), word);
  }
  for (const char* word : {"C", "C3x", "my.hpp", "sys.hp", "xx.v1", "5", "tg.score"}) {
    cExprName name;
    EXPECT_FALSE(ParseExprName(word, name)) << word;
  }

  cExprMessageLog log;
  EXPECT_TRUE(log.FirstTime("C1 = 1 / 0", "a"));
  EXPECT_FALSE(log.FirstTime("C1 = 1 / 0", "a"));
  EXPECT_TRUE(log.FirstTime("C1 = 1 / 0", "b"));
  EXPECT_TRUE(log.FirstTime("C2 = 1 / 0", "a"));
  log.Clear();
  EXPECT_TRUE(log.FirstTime("C1 = 1 / 0", "a"));
}

// The "run code" command over the flow host: the current-object slots name
// the objects, and a failing statement shows its message once per attempt.
class cCodeHost : public FakeFlowHost {
 public:
  void RequestLifeCheck() override { ++lifeChecks; }
  void StartGauge(cFlowActor*, int32_t field, int32_t delta) override { gauges.push_back({field, delta}); }
  void ShowError(const std::string& text) override { shown.push_back(text); }
  int lifeChecks = 0;
  std::vector<std::pair<int32_t, int32_t>> gauges;
  std::vector<std::string> shown;
};

TEST(Expr, RunCodeCommandOverTheFlowHost) {
  StageExprMessages().Clear();
  if (!FlowHost()) {
    EXPECT_EQ(RunCodeCommand("C1 = 1"), 0);  // nothing to run on
  }
  {
    cCodeHost host;
    FakeActor me, other;
    me.targets[1] = &other;
    other.hp = 7;
    host.SetCurrent({&me, nullptr, nullptr});
    EXPECT_EQ(RunCodeCommand("my.v2 = tg2.hp * 2 + C3"), 1);
    EXPECT_EQ(me.vars[1], 14);
    EXPECT_EQ(RunCodeCommand("tg2.hp = 0"), 1);
    EXPECT_EQ(other.hp, 0);
    EXPECT_EQ(host.lifeChecks, 1);
    EXPECT_EQ(RunCodeCommand("my.hp = my.hp - 4"), 1);
    EXPECT_EQ(host.gauges, (std::vector<std::pair<int32_t, int32_t>>{{kStatusHp, -4}}));
    EXPECT_EQ(RunCodeCommand("S2 = 7"), 1);
    EXPECT_EQ(host.stage[2], 7);

    EXPECT_EQ(RunCodeCommand("tg.hp = 1"), 0);  // empty slot and no hero: silent
    EXPECT_EQ(RunCodeCommand("pl.hp = 1"), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(RunCodeCommand("C1 = 1 / 0"), 0);
    EXPECT_EQ(RunCodeCommand("C1 = 1 +"), 0);
    EXPECT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.errors.size(), 1u);  // shown only with error display on
    StageExprMessages().Clear();
    EXPECT_EQ(RunCodeCommand("C1 = 1 / 0"), 0);
    EXPECT_EQ(host.shown.size(), 2u);
    EXPECT_EQ(host.common[1], 0);
  }
  StageExprMessages().Clear();
}

#ifdef PELMORA_TOOL
std::string RunTool(const std::string& args, int& status) {
  std::string out;
  FILE* pipe = popen((std::string(PELMORA_TOOL) + " expr " + args + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  status = WEXITSTATUS(pclose(pipe));
  return out;
}

TEST(ExprTool, PrintsChangesAndErrors) {
  struct Case { const char* args; const char* output; int status; };
  const Case cases[] = {
      {"'C3 = C1 * 400000' --set C1=5", "C3=999999\n", 0},
      {"'my.v1 = S2 + my.v1 + 4' --set S2=3 --set my.v1=5", "my.v1=12\n", 0},
      {"'S999 = my.mhp'", "S999=10\n", 0},
      {"'C1 = 7 / 0'", "error: 0除算が行われました！(C1 = 7 / 0)\n", 1},
      {"'C1 = score'", "error: システム値 score は使えません！\n", 1},
      {"'tg.v1 = 1'", "error: オブジェクト \"tg.\" がありません\n", 1},
  };
  for (const Case& c : cases) {
    int status = -1;
    EXPECT_EQ(RunTool(c.args, status), c.output) << c.args;
    EXPECT_EQ(status, c.status) << c.args;
  }
}
#endif

}  // namespace

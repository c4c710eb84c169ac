// The code language: keyword tables, the word classifier, the three
// precedence passes and the replacement of parentheses by their values.
#include "flow/expr.h"

#include <array>
#include <limits>
#include <vector>

#include "base/errors.h"
#include "base/random.h"
#include "flow/status_ops.h"
#include "platform/text.h"

namespace {

constexpr cExprMemberInfo kMembers[kExprMemberCount] = {
    {"v1", kValueMin, kValueMax},    {"v2", kValueMin, kValueMax},
    {"v3", kValueMin, kValueMax},    {"v4", kValueMin, kValueMax},
    {"v5", kValueMin, kValueMax},    {"v6", kValueMin, kValueMax},
    {"v7", kValueMin, kValueMax},    {"v8", kValueMin, kValueMax},
    {"hp", 0, kValueMax},            {"sp", 0, kValueMax},
    {"mhp", 1, kValueMax},           {"msp", 1, kValueMax},
    {"cid", 0, 99},                  {"z", 0, 7},
    {"mark", 0, 119},                {"sight", 0, 40},
    {"power", kValueMin, kValueMax}, {"imp", -20, 20},
    {"def", 0, kValueMax},           {"impd", 0, 20},
    {"stop", 0, 200},                {"getsc", kValueMin, kValueMax},
};

// Names as views, so that a lookup compares lengths before bytes.
constexpr std::string_view kMemberNames[kExprMemberCount] = {
    "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "hp", "sp", "mhp",
    "msp", "cid", "z", "mark", "sight", "power", "imp", "def", "impd", "stop", "getsc"};

struct ObjectName {
  std::string_view name;
  ExprObject object;
};
constexpr ObjectName kObjects[] = {
    {"my", ExprObject::kMy},       {"tg", ExprObject::kTarget1},  {"tg1", ExprObject::kTarget1},
    {"tg2", ExprObject::kTarget2}, {"tg3", ExprObject::kTarget3}, {"tg4", ExprObject::kTarget4},
    {"pl", ExprObject::kHero},     {"sys", ExprObject::kSystem},
};

constexpr std::string_view kSystemNames[kExprSystemCount] = {"time", "scrlx", "scrly", "score", "life"};
// Bounds of the game values; the host widens the lives' upper bound while
// they are unlimited.
constexpr cExprCell kSystemCells[kExprSystemCount] = {
    {0, 0, 999}, {0, -480, 480}, {0, -480, 480}, {0, 0, kValueMax}, {0, 0, 99}};

// Operator numbers 0..5 and their levels: 0 binds tightest.
constexpr char kOperators[] = {'=', '+', '-', '*', '/', '%'};
constexpr int kLevels[] = {2, 1, 1, 0, 0, 0};
constexpr int kAssign = 0;

int32_t Saturate(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

int FindOperator(std::string_view body) {
  if (body.size() != 1) return -1;
  for (int i = 0; i < 6; ++i)
    if (body[0] == kOperators[i]) return i;
  return -1;
}

// Keywords are at most 5 bytes: a word of up to 7 bytes packs into one
// number with its length, and a lookup compares numbers.
constexpr uint64_t Pack(std::string_view s) {
  if (s.size() > 7) return 0;
  uint64_t v = uint64_t{s.size()} << 56;
  for (size_t i = 0; i < s.size(); ++i) v |= uint64_t{static_cast<uint8_t>(s[i])} << (8 * i);
  return v;
}

template <size_t N>
constexpr std::array<uint64_t, N> PackAll(const std::string_view (&names)[N]) {
  std::array<uint64_t, N> keys{};
  for (size_t i = 0; i < N; ++i) keys[i] = Pack(names[i]);
  return keys;
}
constexpr auto kMemberKeys = PackAll(kMemberNames);
constexpr auto kSystemKeys = PackAll(kSystemNames);

template <size_t N>
int FindKey(const std::array<uint64_t, N>& keys, std::string_view word) {
  const uint64_t key = Pack(word);
  if (key == 0) return -1;
  for (size_t i = 0; i < N; ++i)
    if (keys[i] == key) return static_cast<int>(i);
  return -1;
}

int FindMember(std::string_view body) { return FindKey(kMemberKeys, body); }
int FindSystem(std::string_view body) { return FindKey(kSystemKeys, body); }

const ObjectName* FindObject(std::string_view prefix) {
  const uint64_t key = Pack(prefix);
  if (key == 0) return nullptr;
  for (const auto& o : kObjects)
    if (Pack(o.name) == key) return &o;
  return nullptr;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number `text` starts with (white space and a sign allowed
// before the digits), saturated to the 32-bit range; `digits` tells whether
// there was one.
int32_t LeadingNumber(std::string_view text, bool* digits = nullptr) {
  size_t i = 0;
  while (i < text.size() && (text[i] == '\t' || text[i] == '\n' || text[i] == '\v' || text[i] == '\f' ||
                             text[i] == '\r'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t v = 0;
  bool any = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    any = true;
    if (v <= (int64_t{1} << 40)) v = v * 10 + (text[i] - '0');  // past this the value saturates anyway
  }
  if (digits) *digits = any;
  return Saturate(negative ? -v : v);
}

enum class Ref : uint8_t { kNone, kVariable, kMember, kSystem };

struct Token {
  bool isOperator = false;
  uint8_t op = 0;
  Ref ref = Ref::kNone;
  char variable = 0;
  ExprObject object = ExprObject::kMy;
  uint8_t which = 0;  // member or game value number
  int32_t index = 0;  // variable number
  int32_t value = 0;
  int32_t minimum = kValueMin;
  int32_t maximum = kValueMax;
};

Token NumberToken(int32_t value) {
  Token t;
  t.value = value;
  return t;
}

std::string Message(const char* utf8) { return plat::Sjis(utf8); }

// Token lists kept from one statement to the next, so that a statement
// allocates nothing once they have grown. A statement run from inside
// another one (through the host) uses lists of its own.
struct cScratch {
  std::vector<Token> tokens, out;
  bool busy = false;
};
thread_local cScratch t_Scratch;

class cEvaluator {
 public:
  explicit cEvaluator(cExprHost& host)
      : m_Host(host), m_Borrowed(!t_Scratch.busy), m_Tokens(m_Borrowed ? t_Scratch.tokens : m_OwnTokens),
        m_Out(m_Borrowed ? t_Scratch.out : m_OwnOut) {
    t_Scratch.busy = true;
  }
  ~cEvaluator() {
    if (m_Borrowed) t_Scratch.busy = false;
  }
  cEvaluator(const cEvaluator&) = delete;
  cEvaluator& operator=(const cEvaluator&) = delete;

  bool RunStatements(std::string_view text, int depth, int32_t& value);
  bool Evaluate(std::string_view text, int32_t& value);
  cExprError m_Error;

 private:
  bool Fail(ExprErrorKind kind, std::string text, bool shown) {
    m_Error.kind = kind;
    m_Error.text = std::move(text);
    m_Error.shown = shown;
    m_Error.silent = kind == ExprErrorKind::kNoObject;
    return false;
  }
  bool Classify(std::string_view word, bool first);
  bool Reduce(const Token& op, Token& left, const Token& right, std::string_view text);
  bool RunRand(std::string_view inner, int depth, int32_t& value);

  cExprHost& m_Host;
  bool m_Borrowed;
  std::vector<Token> m_OwnTokens, m_OwnOut;
  std::vector<Token>& m_Tokens;
  std::vector<Token>& m_Out;
  int m_Groups = 0;
};

bool cEvaluator::Classify(std::string_view word, bool first) {
  ExprObject object = ExprObject::kMy;
  bool named = false;  // the word names its object
  std::string_view body = word;
  size_t dot = 0;
  while (dot < word.size() && word[dot] != '.') ++dot;
  if (dot < word.size()) {
    std::string_view prefix = word.substr(0, dot);
    body = word.substr(dot + 1);
    if (const ObjectName* o = FindObject(prefix)) {
      object = o->object;
      named = true;
    } else if (first) {
      std::string text;
      FormatString(text, Message("オブジェクト \"%s.\" が認識できません！").c_str(), std::string(prefix).c_str());
      return Fail(ExprErrorKind::kUnknownObject, std::move(text), true);
    }
    // An unknown prefix after the first word leaves the running character.
  }

  if (int op = FindOperator(body); op >= 0) {
    Token t;
    t.isOperator = true;
    t.op = static_cast<uint8_t>(op);
    m_Tokens.push_back(t);
    return true;
  }

  // A word that names its object needs the object to be there, whatever the
  // word is; the running character is looked for only by its members, so
  // that variables and numbers work where no character runs the code.
  auto absent = [&](ExprObject o) {
    std::string text;
    FormatString(text, Message("オブジェクト \"%s.\" がありません").c_str(), ExprObjectName(o));
    return Fail(ExprErrorKind::kNoObject, std::move(text), false);
  };
  if (named && object != ExprObject::kSystem && !m_Host.HasObject(object)) return absent(object);

  Token t;
  if (!body.empty() && (body[0] == 'C' || body[0] == 'S')) {
    bool digits = false;
    t.ref = Ref::kVariable;
    t.variable = body[0];
    t.index = LeadingNumber(body.substr(1), &digits);
    if (!digits || !m_Host.ReadVariable(t.variable, t.index, t.value)) {
      std::string text = Message("変数の識別エラー（未定義？）");
      text += '(';
      text += word;
      text += ')';
      return Fail(ExprErrorKind::kVariable, std::move(text), false);
    }
  } else if (int m = FindMember(body); m >= 0) {
    if (object == ExprObject::kSystem) return Fail(ExprErrorKind::kObjectSetting, Message("オブジェクトの設定エラー!"), false);
    if (!named && !m_Host.HasObject(object)) return absent(object);
    const auto member = static_cast<ExprMember>(m);
    t.ref = Ref::kMember;
    t.object = object;
    t.which = static_cast<uint8_t>(m);
    t.value = m_Host.ReadMember(object, member);
    t.minimum = kMembers[m].minimum;
    t.maximum = kMembers[m].maximum;
    if (member == ExprMember::kHp || member == ExprMember::kSp) {
      int32_t top = m_Host.ReadMember(object, member == ExprMember::kHp ? ExprMember::kMaxHp : ExprMember::kMaxSp);
      t.maximum = top > 0 ? top : 0;
    }
  } else if (int s = FindSystem(body); s >= 0) {
    cExprCell cell = kSystemCells[s];
    if (!m_Host.ReadSystem(static_cast<ExprSystem>(s), cell)) {
      std::string text;
      FormatString(text, Message("システム値 %s は使えません！").c_str(), kSystemNames[s].data());
      return Fail(ExprErrorKind::kSystemUnavailable, std::move(text), true);
    }
    t.ref = Ref::kSystem;
    t.which = static_cast<uint8_t>(s);
    t.value = cell.value;
    t.minimum = cell.minimum;
    t.maximum = cell.maximum < cell.minimum ? cell.minimum : cell.maximum;
  } else {
    t.value = LeadingNumber(body);
  }
  m_Tokens.push_back(t);
  return true;
}

bool cEvaluator::Reduce(const Token& op, Token& left, const Token& right, std::string_view text) {
  const int64_t a = left.value, b = right.value;
  int32_t result = 0;
  switch (op.op) {
    case 1: result = Saturate(a + b); break;
    case 2: result = Saturate(a - b); break;
    case 3: result = Saturate(a * b); break;
    case 4:
    case 5:
      if (b == 0) {
        std::string message;
        FormatString(message, Message("0除算が行われました！(%s)").c_str(), std::string(text).c_str());
        return Fail(ExprErrorKind::kDivisionByZero, std::move(message), true);
      }
      // In 64 bits: the smallest 32-bit value divided by -1 saturates.
      result = Saturate(op.op == 4 ? a / b : a % b);
      break;
    case kAssign: {
      if (left.ref == Ref::kNone) return Fail(ExprErrorKind::kBadAssignTarget, Message("代入先が不正です！"), true);
      result = right.value;
      ClampValue(result, left.minimum, left.maximum);
      if (left.ref == Ref::kVariable) {
        m_Host.WriteVariable(left.variable, left.index, result);
      } else if (left.ref == Ref::kMember) {
        m_Host.WriteMember(left.object, static_cast<ExprMember>(left.which), result);
      } else {
        m_Host.WriteSystem(static_cast<ExprSystem>(left.which), result);
      }
      break;
    }
    default:
      return Fail(ExprErrorKind::kOperator, Message("演算子のエラー（未定義？）"), false);
  }
  left = NumberToken(result);
  return true;
}

bool cEvaluator::Evaluate(std::string_view text, int32_t& value) {
  m_Tokens.clear();
  bool first = true;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != ' ') ++end;
    if (end > start) {
      if (!Classify(text.substr(start, end - start), first)) return false;
      first = false;
    }
    start = end + 1;
  }
  if (m_Tokens.empty()) {  // an empty statement is worth 0
    value = 0;
    return true;
  }

  bool reduced = false;
  int32_t last = 0;
  for (int level = 0; level <= 2; ++level) {
    m_Out.clear();
    for (size_t i = 0; i < m_Tokens.size(); ++i) {
      const Token& t = m_Tokens[i];
      if (!t.isOperator || kLevels[t.op] != level) {
        m_Out.push_back(t);
        continue;
      }
      // Both neighbours must be values: "3 +", "= 4" and "3 * / 4" are
      // malformed.
      if (m_Out.empty() || m_Out.back().isOperator || i + 1 >= m_Tokens.size() || m_Tokens[i + 1].isOperator)
        return Fail(ExprErrorKind::kOperator, Message("演算子のエラー（未定義？）"), false);
      if (!Reduce(t, m_Out.back(), m_Tokens[i + 1], text)) return false;
      last = m_Out.back().value;
      reduced = true;
      ++i;
    }
    m_Tokens.swap(m_Out);
  }
  // Values side by side without an operator: the first one counts.
  value = reduced ? last : m_Tokens.front().value;
  return true;
}

bool cEvaluator::RunRand(std::string_view inner, int depth, int32_t& value) {
  // The arguments split at the commas outside nested parentheses; the count
  // is checked before any argument runs, so a wrong call changes nothing.
  std::string_view args[2];
  int count = 0;
  int nesting = 0;
  size_t start = 0;
  for (size_t i = 0; i <= inner.size(); ++i) {
    if (i < inner.size()) {
      if (inner[i] == '(') ++nesting;
      else if (inner[i] == ')') --nesting;
      if (inner[i] != ',' || nesting != 0) continue;
    }
    if (count < 2) args[count] = inner.substr(start, i - start);
    ++count;
    start = i + 1;
  }
  if (count != 2) {
    std::string text;
    FormatString(text, Message("関数 %s の引数が不正です！").c_str(), "rand");
    return Fail(ExprErrorKind::kBadArguments, std::move(text), true);
  }
  int32_t a = 0, b = 0;
  if (!RunStatements(args[0], depth + 1, a) || !RunStatements(args[1], depth + 1, b)) return false;
  value = m_Host.Random(a, b);
  return true;
}

bool cEvaluator::RunStatements(std::string_view text, int depth, int32_t& value) {
  if (depth > kExprMaxDepth)
    return Fail(ExprErrorKind::kTooLong, Message("括弧の入れ子が深すぎます！"), false);
  if (text.find('(') == std::string_view::npos) return Evaluate(text, value);

  // Each group, first "(" first, is replaced in the text by its value in
  // decimal, and the text is scanned again from its start.
  std::string current(text);
  std::string next;
  for (;;) {
    size_t open = current.find('(');
    if (open == std::string::npos) return Evaluate(current, value);
    size_t close = std::string::npos;
    int nesting = 0;
    for (size_t i = open; i < current.size(); ++i) {
      if (current[i] == '(') ++nesting;
      else if (current[i] == ')' && --nesting == 0) {
        close = i;
        break;
      }
    }
    if (close == std::string::npos)
      return Fail(ExprErrorKind::kNoClosingParenthesis, Message("\")\"が見つかりません！"), true);
    if (++m_Groups > kExprMaxGroups)
      return Fail(ExprErrorKind::kTooLong, Message("括弧が多すぎます！"), false);

    size_t wordStart = current.rfind(' ', open);
    wordStart = wordStart == std::string::npos ? 0 : wordStart + 1;
    std::string_view word(current.data() + wordStart, open - wordStart);
    std::string_view inner(current.data() + open + 1, close - open - 1);
    int32_t v = 0;
    size_t cut = open;
    if (word == "rand") {
      if (!RunRand(inner, depth, v)) return false;
      cut = wordStart;
    } else if (!RunStatements(inner, depth + 1, v)) {
      return false;  // an error inside stops the whole statement
    }
    next.assign(current, 0, cut);
    next += std::to_string(v);
    next.append(current, close + 1, std::string::npos);
    current.swap(next);
  }
}

}  // namespace

int32_t cExprHost::Random(int32_t a, int32_t b) { return RandomRange(a, b); }

const cExprMemberInfo& ExprMemberInfo(ExprMember member) {
  return kMembers[static_cast<int>(member) % kExprMemberCount];
}

const char* ExprObjectName(ExprObject object) {
  for (const auto& o : kObjects)
    if (o.object == object) return o.name.data();
  return "my";
}

const char* ExprSystemName(ExprSystem which) { return kSystemNames[static_cast<int>(which) % kExprSystemCount].data(); }

cExprResult RunCode(std::string_view text, cExprHost& host) {
  text = text.substr(0, text.find('\0'));
  cExprResult result;
  cEvaluator evaluator(host);
  const bool hasCharacter = host.HasObject(ExprObject::kMy);
  const int32_t hp = hasCharacter ? host.ReadMember(ExprObject::kMy, ExprMember::kHp) : 0;
  const int32_t sp = hasCharacter ? host.ReadMember(ExprObject::kMy, ExprMember::kSp) : 0;
  bool ok;
  if (text.size() > kExprMaxTextBytes) {
    evaluator.m_Error = {ExprErrorKind::kTooLong, Message("コードが長すぎます！"), false, false};
    ok = false;
  } else {
    ok = evaluator.RunStatements(text, 0, result.value);
  }
  if (!ok) {
    result.ok = false;
    result.value = 0;
    result.error = std::move(evaluator.m_Error);
    host.ReportError(text, result.error);
    return result;
  }
  if (hasCharacter && host.HasObject(ExprObject::kMy)) {
    int32_t hpChange = Saturate(int64_t{host.ReadMember(ExprObject::kMy, ExprMember::kHp)} - hp);
    int32_t spChange = Saturate(int64_t{host.ReadMember(ExprObject::kMy, ExprMember::kSp)} - sp);
    if (hpChange != 0 || spChange != 0) host.StartGauges(hpChange, spChange);
  }
  return result;
}

bool ParseExprName(std::string_view word, cExprName& name) {
  cExprName n;
  std::string_view body = word;
  bool named = false;
  if (size_t dot = word.find('.'); dot != std::string_view::npos) {
    const ObjectName* o = FindObject(word.substr(0, dot));
    if (!o) return false;
    n.object = o->object;
    body = word.substr(dot + 1);
    named = true;
  }
  if (body.size() >= 2 && (body[0] == 'C' || body[0] == 'S') && !named) {
    for (size_t i = 1; i < body.size(); ++i)
      if (!IsDigit(body[i])) return false;
    n.kind = cExprName::kVariable;
    n.variable = body[0];
    n.index = LeadingNumber(body.substr(1));
  } else if (int m = FindMember(body); m >= 0 && n.object != ExprObject::kSystem) {
    n.kind = cExprName::kMember;
    n.member = static_cast<ExprMember>(m);
  } else if (int s = FindSystem(body); s >= 0 && (!named || n.object == ExprObject::kSystem)) {
    n.kind = cExprName::kSystem;
    n.system = static_cast<ExprSystem>(s);
  } else {
    return false;
  }
  name = n;
  return true;
}

std::string FormatExprName(const cExprName& name) {
  switch (name.kind) {
    case cExprName::kVariable: return name.variable + std::to_string(name.index);
    case cExprName::kMember:
      return std::string(ExprObjectName(name.object)) + "." + ExprMemberInfo(name.member).name;
    case cExprName::kSystem: return ExprSystemName(name.system);
  }
  return {};
}

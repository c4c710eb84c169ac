// pelmora-tool expr "CODE" [--set NAME=VALUE ...]
// Runs one statement of the code language through the runtime's own
// expression module, for authors trying a statement and for tests. The
// statement sees a bare character as "my" (the statuses of a new character
// definition), the common variables C0..C1000 and the stage variables
// S0..S999 of an empty stage, all 0 unless --set gives them a value; other
// objects and the game values do not exist here, and naming them is an
// error. Prints each value that changed as "NAME=VALUE" in the language's
// names (common variables, stage variables, then the character's members),
// then "error: TEXT" when the statement failed; a statement that ran and
// changed nothing says so with its value. The command warns on its
// standard error of what the game reads otherwise than it was likely
// meant: a word that holds an operator among other characters ("C1=5") is
// one word; a word that is neither a number nor a name ("foo", "@@@", a
// full-width digit) is the number it starts with, 0 when none; of two
// values side by side ("5 5") one is left unused. Exit status 0 when the
// statement ran (warned or not), 1 after an error, 2 on a usage error.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/character.h"
#include "flow/expr.h"
#include "flow/status_ops.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "tool.h"

namespace {

class cToolHost final : public cExprHost {
 public:
  cToolHost() : m_Common(cSaveData::kCommonVariableCount, 0), m_Stage(kStageVariableCount, 0) {
    const cEdCharacter bare;
    const int32_t values[kExprMemberCount] = {
        0, 0, 0, 0, 0, 0, 0, 0,
        bare.MaxHp(), bare.MaxSp(), bare.MaxHp(), bare.MaxSp(), 0, bare.DrawLayer(), 0, bare.Sight(),
        bare.ContactPower(), bare.KnockbackStrength(), bare.Defence(), bare.KnockbackResistance(),
        bare.DecelerationSpeed(), bare.DefeatScore()};
    for (int i = 0; i < kExprMemberCount; ++i) m_Members[i] = values[i];
  }

  bool HasObject(ExprObject object) override { return object == ExprObject::kMy; }
  int32_t ReadMember(ExprObject, ExprMember member) override { return m_Members[static_cast<int>(member)]; }
  void WriteMember(ExprObject, ExprMember member, int32_t value) override {
    m_Members[static_cast<int>(member)] = value;
    // A new maximum brings the current value into 1..maximum.
    if (member == ExprMember::kMaxHp || member == ExprMember::kMaxSp) {
      int32_t& current = m_Members[static_cast<int>(member == ExprMember::kMaxHp ? ExprMember::kHp : ExprMember::kSp)];
      current = current < 1 ? 1 : current > value ? value : current;
    }
  }
  bool ReadVariable(char kind, int32_t index, int32_t& value) override {
    std::vector<int32_t>* list = Variables(kind);
    if (!list || index < 0 || static_cast<size_t>(index) >= list->size()) return false;
    value = (*list)[static_cast<size_t>(index)];
    return true;
  }
  bool WriteVariable(char kind, int32_t index, int32_t value) override {
    std::vector<int32_t>* list = Variables(kind);
    if (!list || index < 0 || static_cast<size_t>(index) >= list->size()) return false;
    (*list)[static_cast<size_t>(index)] = value;
    return true;
  }
  bool ReadSystem(ExprSystem, cExprCell&) override { return false; }
  void WriteSystem(ExprSystem, int32_t) override {}

  std::vector<int32_t>* Variables(char kind) {
    return kind == 'C' ? &m_Common : kind == 'S' ? &m_Stage : nullptr;
  }
  bool Set(const cExprName& name, int32_t value) {
    if (name.kind == cExprName::kVariable) return WriteVariable(name.variable, name.index, value);
    if (name.kind != cExprName::kMember || name.object != ExprObject::kMy) return false;
    const cExprMemberInfo& info = ExprMemberInfo(name.member);
    if (value < info.minimum || value > info.maximum) return false;
    m_Members[static_cast<int>(name.member)] = value;
    return true;
  }

  std::vector<int32_t> m_Common, m_Stage;
  int32_t m_Members[kExprMemberCount] = {};
};

// Prints each changed value; the number of them.
int PrintChanges(const char kind, const std::vector<int32_t>& before, const std::vector<int32_t>& after) {
  int changed = 0;
  for (size_t i = 0; i < after.size(); ++i)
    if (before[i] != after[i]) {
      std::printf("%c%zu=%d\n", kind, i, after[i]);
      ++changed;
    }
  return changed;
}

// The words of a statement without parentheses, as the game splits them:
// at single spaces, empty words left out.
std::vector<std::string> WordsOf(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// Whether a word holds an operator among other characters, such as "C1=5".
// A sign in front of a number ("-5") is part of the number.
bool IsGlued(const std::string& word) {
  if (word.size() > 1 && word.find_first_of("=*/%+-", 1) != std::string::npos) return true;
  return word.size() > 1 && (word[0] == '=' || word[0] == '*' || word[0] == '/' || word[0] == '%');
}

// The group mark below: a group in parentheses stands in the text as its
// value, a number.
constexpr const char* kGroupMark = "[...]";

// What the game reads a word as: the part after its first dot (the part
// before it names the object) with a group's value in place of each mark.
struct WordParts {
  std::string prefix, body;  // prefix: empty when the word has no dot
  bool dot = false;
  bool grouped = false;  // a group's value stands in the word
};
WordParts PartsOf(const std::string& word) {
  WordParts parts;
  std::string text = word;
  for (size_t at; (at = text.find(kGroupMark)) != std::string::npos;) {
    text = text.substr(0, at) + "0" + text.substr(at + std::strlen(kGroupMark));
    parts.grouped = true;
  }
  const size_t dot = text.find('.');
  parts.dot = dot != std::string::npos;
  parts.prefix = parts.dot ? text.substr(0, dot) : "";
  parts.body = parts.dot ? text.substr(dot + 1) : text;
  return parts;
}

bool IsOperatorWord(const std::string& word) {
  const std::string body = PartsOf(word).body;
  return body.size() == 1 && std::strchr("=+-*/%", body[0]) != nullptr;
}

// A decimal number written whole: a sign and digits.
bool IsWholeNumber(const std::string& text) {
  const size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  return text.size() > digits && text.find_first_not_of("0123456789", digits) == std::string::npos;
}

// The number the game reads from a word that names nothing: the decimal
// number it starts with (a sign allowed), 0 when none, held to 32 bits.
int32_t LeadingValue(const std::string& text) {
  size_t i = text.find_first_not_of("\t\n\v\f\r");
  if (i == std::string::npos) return 0;
  const bool negative = text[i] == '-';
  if (text[i] == '-' || text[i] == '+') ++i;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 32);
  value = negative ? -value : value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// Each check looks at the words of one statement without parentheses and
// tells what the game does there that its writer may not have meant (the
// warning, empty for none).

// A word with an operator glued on is read as one word.
std::string GluedWordOf(const std::string& text) {
  for (const std::string& word : WordsOf(text))
    if (IsGlued(word))
      return "\"" + word + "\" is one word: the words of a statement are separated by single spaces (\"C1 = 5\", "
             "not \"C1=5\")";
  return {};
}

// A word that is neither a number nor a name is read as the number it
// starts with ("foo", "@@@", a full-width digit: 0); a word whose part
// before the dot names no object (but the first one, which is an error)
// is read as its part after the dot ("1.5" as 5).
std::string UnreadWordOf(const std::string& text) {
  const std::vector<std::string> words = WordsOf(text);
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (IsGlued(word) || IsOperatorWord(word)) continue;
    const WordParts parts = PartsOf(word);
    cExprName name;
    // An object's name makes a name of one of its members or of a game value.
    const bool object = ParseExprName(parts.prefix + ".v1", name) || ParseExprName(parts.prefix + ".time", name);
    if (parts.dot && i > 0 && !object)
      return "\"" + word + "\": \"" + parts.prefix +
             "\" names no object (my, tg, tg1..tg4, pl, sys): the word is read as \"" + parts.body + "\"";
    const bool variable = !parts.body.empty() && (parts.body[0] == 'C' || parts.body[0] == 'S');
    if (variable || IsWholeNumber(parts.body) || ParseExprName(parts.body, name)) continue;
    return "\"" + word + "\" is neither a number nor a name the statement knows: it is read as " +
           (parts.grouped ? std::string("the number it starts with (0 when none)")
                          : std::to_string(LeadingValue(parts.body)));
  }
  return {};
}

// Two values with no operator between them: one of them is left over.
std::string ValuesSideBySideOf(const std::string& text) {
  const std::vector<std::string> words = WordsOf(text);
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string &left = words[i - 1], &right = words[i];
    if (IsOperatorWord(left) || IsOperatorWord(right) || IsGlued(left) || IsGlued(right)) continue;
    return "\"" + left + " " + right + "\": two values with no operator between them: one of them is left over, "
           "unused";
  }
  return {};
}

// The first thing a check finds in a statement as the game reads it: each
// group in parentheses (first "(" first) is read as a statement of its own,
// the arguments of "rand(a, b)" each as one, and the group (with the word
// "rand" in front of it) then stands in the text as its value, so that the
// words around it are read with a number in its place ("[...]" in a word
// told). "rand(-4, -4)" is thus the call's own spelling, not a word
// "rand(-4,". Text the game itself refuses (an unclosed group) is left to
// its error.
std::string FirstFinding(std::string text, std::string (*check)(const std::string&), int depth = 0) {
  if (depth > kExprMaxDepth) return {};  // the game's error, not a finding
  for (;;) {
    const size_t open = text.find('(');
    if (open == std::string::npos) return check(text);
    size_t close = std::string::npos;
    int nesting = 0;
    for (size_t i = open; i < text.size() && close == std::string::npos; ++i) {
      if (text[i] == '(') ++nesting;
      else if (text[i] == ')' && --nesting == 0) close = i;
    }
    if (close == std::string::npos) return {};
    size_t wordStart = text.rfind(' ', open);
    wordStart = wordStart == std::string::npos ? 0 : wordStart + 1;
    const std::string inner = text.substr(open + 1, close - open - 1);
    const bool call = text.compare(wordStart, open - wordStart, "rand") == 0;
    std::vector<std::string> parts;
    if (call) {
      // The arguments split at the commas outside nested parentheses.
      int level = 0;
      size_t from = 0;
      for (size_t i = 0; i <= inner.size(); ++i) {
        if (i < inner.size()) {
          if (inner[i] == '(') ++level;
          else if (inner[i] == ')') --level;
          if (inner[i] != ',' || level != 0) continue;
        }
        parts.push_back(inner.substr(from, i - from));
        from = i + 1;
      }
    } else {
      parts.push_back(inner);
    }
    for (const std::string& part : parts)
      if (std::string finding = FirstFinding(part, check, depth + 1); !finding.empty()) return finding;
    text = text.substr(0, call ? wordStart : open) + kGroupMark + text.substr(close + 1);
  }
}

int RunExpr(const std::vector<std::string>& args) {
  const char* usage = "usage: pelmora-tool expr \"CODE\" [--set NAME=VALUE ...]\n";
  if (args.empty()) {
    std::fputs(usage, stderr);
    return 2;
  }
  cToolHost host;
  for (size_t i = 1; i < args.size(); ++i) {
    size_t eq = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
    cExprName name;
    if (args[i] != "--set" || eq == std::string::npos) {
      std::fputs(usage, stderr);
      return 2;
    }
    const std::string& pair = args[++i];
    const std::string nameText = pair.substr(0, eq);
    const bool parsed = ParseExprName(nameText, name);
    const bool variable = parsed && name.kind == cExprName::kVariable;
    const bool member = parsed && name.kind == cExprName::kMember && name.object == ExprObject::kMy;
    if (!variable && !member) {
      std::fprintf(stderr, "pelmora-tool expr: cannot set %s (a variable, or a member of my within its bounds)\n",
                   pair.c_str());
      return 2;
    }
    // A variable holds what the status operations hold; a member its own bounds.
    int32_t lowest = kValueMin, highest = kValueMax;
    if (member) {
      lowest = ExprMemberInfo(name.member).minimum;
      highest = ExprMemberInfo(name.member).maximum;
    }
    const std::string takes = "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
    double value = 0;
    if (!tool::ReadNumber("pelmora-tool expr", "--set " + nameText + "=", pair.substr(eq + 1),
                          tool::NumberRange{double(lowest), double(highest), true, takes.c_str()}, value))
      return 2;
    if (!host.Set(name, static_cast<int32_t>(value))) {
      std::fprintf(stderr, "pelmora-tool expr: cannot set %s (a variable, or a member of my within its bounds)\n",
                   pair.c_str());
      return 2;
    }
  }
  const cToolHost before = host;
  cExprResult result = RunCode(plat::Utf8ToCp932(args[0]), host);
  int changed = PrintChanges('C', before.m_Common, host.m_Common);
  changed += PrintChanges('S', before.m_Stage, host.m_Stage);
  for (int m = 0; m < kExprMemberCount; ++m)
    if (before.m_Members[m] != host.m_Members[m]) {
      std::printf("my.%s=%d\n", ExprMemberInfo(static_cast<ExprMember>(m)).name, host.m_Members[m]);
      ++changed;
    }
  // What the game reads otherwise than it was likely meant (a glued word, a
  // word it reads as a number of its own, a value left over) is told
  // whether the statement ran or not: it is often why a statement did
  // something else. It is a warning only: the statement ran as the game
  // runs it.
  for (const auto check : {GluedWordOf, UnreadWordOf, ValuesSideBySideOf})
    if (const std::string finding = FirstFinding(args[0], check); !finding.empty())
      std::fprintf(stderr, "pelmora-tool expr: %s\n", finding.c_str());
  if (!result.ok) {
    std::printf("error: %s\n", plat::Cp932ToUtf8(result.error.text).c_str());
    return 1;
  }
  if (changed == 0) std::printf("nothing changed (the statement's value: %d)\n", result.value);
  return 0;
}

const tool::Registrar kExpr({"expr", "expr \"CODE\" [--set NAME=VALUE ...]  runs one statement of the code language and prints what changed",
                             RunExpr, [] {
                               return std::string(
                                   "CODE: words separated by single spaces, such as \"C1 = C1 + 5\" or \"my.v1 = S2 * 3\";\n"
                                   "NAME: a common variable C0..C1000, a stage variable S0..S999 or my.MEMBER\n");
                             }});

}  // namespace

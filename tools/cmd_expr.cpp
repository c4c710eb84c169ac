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
// changed nothing says so with its value. A word that holds an operator
// among other characters ("C1=5") is read as one word, as the game reads
// it: the command warns of it on its standard error. Exit status 0 when the
// statement ran (warned or not), 1 after an error, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
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

// The first word of a text without parentheses (words are separated by
// single spaces) that holds an operator beside other characters, such as
// "C1=5"; empty when none. A sign in front of a number ("-5") is part of
// the number.
std::string GluedWordOfWords(const std::string& text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (word.size() > 1 && word.find_first_of("=*/%+-", 1) != std::string::npos) return word;
    if (word.size() > 1 && (word[0] == '=' || word[0] == '*' || word[0] == '/' || word[0] == '%')) return word;
    start = end + 1;
  }
  return {};
}

// The first glued word of a statement as the game reads its words: each
// group in parentheses (first "(" first) is read as a statement of its own,
// the arguments of "rand(a, b)" each as one, and the group (with the word
// "rand" in front of it) then stands in the text as its value, so that the
// words around it are read with a number in its place ("[...]" in a word
// told). "rand(-4, -4)" is thus the call's own spelling, not a word
// "rand(-4,". Text the game itself refuses (an unclosed group) is left to
// its error.
constexpr const char* kGroupMark = "[...]";
std::string GluedWord(std::string text, int depth = 0) {
  if (depth > kExprMaxDepth) return {};  // the game's error, not a word
  for (;;) {
    const size_t open = text.find('(');
    if (open == std::string::npos) return GluedWordOfWords(text);
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
      if (std::string word = GluedWord(part, depth + 1); !word.empty()) return word;
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
  // A glued word is told whether the statement ran or not: it is often why
  // a statement did something else than meant. It is a warning only: the
  // statement ran as the game runs it.
  if (const std::string word = GluedWord(args[0]); !word.empty()) {
    std::fprintf(stderr,
                 "pelmora-tool expr: \"%s\" is one word: the words of a statement are separated by single spaces "
                 "(\"C1 = 5\", not \"C1=5\")\n",
                 word.c_str());
  }
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

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
// values side by side ("5 5") one is left unused. Only the code the game
// reads is warned of: none of a text longer than the game takes (refused
// whole), nothing past where the game stops on a text of the wrong shape.
// Exit status 0 when the statement ran (warned or not), 1 after an error,
// 2 on a usage error.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
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
  std::string text;
  const size_t markLength = std::strlen(kGroupMark);
  for (size_t i = 0; i < word.size(); ++i) {
    if (word.compare(i, markLength, kGroupMark) == 0) {
      text += '0';
      i += markLength - 1;
      parts.grouped = true;
    } else {
      text += word[i];
    }
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
// "rand(-4,". Only what the game reads is looked at: where the game stops
// with an error of the text's shape (a group nested too deep, one group too
// many, an unclosed group, rand without two arguments), the rest is not
// read, and no finding comes from it.
//
// One pass over the text: each character is copied once, into the text of
// the group that holds it, and each group's text is checked once.
class cFindingScan {
 public:
  using Check = std::string (*)(const std::string&);
  cFindingScan(const std::string& text, Check check) : m_Text(text), m_Check(check), m_Close(text.size(), kNone) {
    // Each "(" with the ")" that closes it, as the game pairs them (the
    // first ")" where the nesting counted from the "(" comes back to 0).
    std::vector<size_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '(') {
        open.push_back(i);
      } else if (text[i] == ')' && !open.empty()) {
        m_Close[open.back()] = i;
        open.pop_back();
      }
    }
  }
  std::string First() { return Statement(0, m_Text.size(), 0); }

 private:
  static constexpr size_t kNone = std::string::npos;

  // The statement text[from, to) at nesting `depth`.
  std::string Statement(size_t from, size_t to, int depth) {
    if (depth > kExprMaxDepth) return Stop();
    std::string read;      // the statement with each group's mark in its place
    size_t wordStart = 0;  // where the last word of `read` starts
    const auto copy = [&](size_t at, size_t end) {
      for (size_t i = end; i > at; --i)
        if (m_Text[i - 1] == ' ') {
          wordStart = read.size() + (i - at);
          break;
        }
      read.append(m_Text, at, end - at);
    };
    for (size_t at = from; at < to;) {
      const void* found = std::memchr(m_Text.data() + at, '(', to - at);
      if (!found) {
        copy(at, to);
        break;
      }
      const size_t open = static_cast<size_t>(static_cast<const char*>(found) - m_Text.data());
      copy(at, open);
      const size_t close = m_Close[open];
      if (close == kNone || ++m_Groups > kExprMaxGroups) return Stop();
      // The word in front of the group, as the text now reads.
      const bool call = read.compare(wordStart, kNone, "rand") == 0;
      std::vector<std::pair<size_t, size_t>> parts;
      if (call) {
        // The arguments split at the commas outside nested groups.
        size_t part = open + 1;
        for (size_t i = open + 1; i < close; ++i) {
          if (m_Text[i] == '(' && m_Close[i] != kNone) {
            i = m_Close[i];
          } else if (m_Text[i] == ',') {
            parts.emplace_back(part, i);
            part = i + 1;
          }
        }
        parts.emplace_back(part, close);
        if (parts.size() != 2) return Stop();
        read.resize(read.size() - 4);
      } else {
        parts.emplace_back(open + 1, close);
      }
      for (const auto& [partFrom, partTo] : parts)
        if (std::string finding = Statement(partFrom, partTo, depth + 1); !finding.empty() || m_Stopped) return finding;
      read += kGroupMark;
      at = close + 1;
    }
    return m_Check(read);
  }
  // The game stops here with an error: nothing after is read.
  std::string Stop() {
    m_Stopped = true;
    return {};
  }

  const std::string& m_Text;
  Check m_Check;
  std::vector<size_t> m_Close;  // for each "(", the ")" that closes it (kNone: none)
  int m_Groups = 0;             // groups met, across every depth, as the game counts them
  bool m_Stopped = false;
};

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
                   tool::Shown(pair).c_str());
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
                   tool::Shown(pair).c_str());
      return 2;
    }
  }
  const cToolHost before = host;
  const std::string code = plat::Utf8ToCp932(args[0]);
  cExprResult result = RunCode(code, host);
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
  // runs it. A text longer than the game reads is refused whole, unread:
  // there is nothing to warn of.
  if (code.size() <= kExprMaxTextBytes)
    for (const auto check : {GluedWordOf, UnreadWordOf, ValuesSideBySideOf})
      if (const std::string finding = cFindingScan(code, check).First(); !finding.empty())
        std::fprintf(stderr, "pelmora-tool expr: %s\n", tool::ShownText(plat::Cp932ToUtf8(finding)).c_str());
  if (!result.ok) {
    std::printf("error: %s\n", tool::ShownText(plat::Cp932ToUtf8(result.error.text)).c_str());
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

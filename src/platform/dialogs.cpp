#include "platform/dialogs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/message_box_view.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace plat {
namespace {

// The answer script and the transcript's file name, read from the
// environment on first use and again on ResetDialogScript. Never destroyed:
// a message box may come up while static objects are being torn down.
struct DialogScript {
  std::mutex mutex;
  bool loaded = false;
  bool active = false;               // PELMORA_DIALOG_ANSWERS is set
  std::vector<std::string> entries;  // in order, the used ones included
  size_t next = 0;
  std::string logPath;               // empty: no transcript
};

DialogScript& Script() {
  static DialogScript* script = new DialogScript;
  return *script;
}

std::mutex& LogMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(std::string s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
  size_t start = 0;
  while (start < s.size() && IsBlank(s[start])) ++start;
  return s.substr(start);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Caller holds script.mutex.
void LoadLocked(DialogScript& script) {
  if (script.loaded) return;
  script.loaded = true;
  script.entries.clear();
  script.next = 0;
  const char* answers = std::getenv("PELMORA_DIALOG_ANSWERS");
  script.active = answers != nullptr;
  if (answers) {
    const std::string all(answers);
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(';', start);
      if (end == std::string::npos) end = all.size();
      std::string entry = all.substr(start, end - start);
      // Empty entries ("ok;;yes", a trailing ';') are not answers.
      if (!Trim(entry).empty()) script.entries.push_back(std::move(entry));
      start = end + 1;
    }
  }
  const char* log = std::getenv("PELMORA_DIALOG_LOG");
  script.logPath = log ? log : "";
}

int ResultOfWord(const std::string& word) {
  if (word == "ok") return IDOK;
  if (word == "yes") return IDYES;
  if (word == "no") return IDNO;
  if (word == "cancel") return IDCANCEL;
  return 0;
}

const char* WordOfResult(int result) {
  switch (result) {
    case IDOK: return "ok";
    case IDYES: return "yes";
    case IDNO: return "no";
    case IDCANCEL: return "cancel";
    default: return "?";
  }
}

// One transcript line holds three tab-separated fields, so line breaks and
// tabs inside a field are written as the escapes \n, \r and \t.
std::string EscapeField(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;  // CR LF is one break
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

}  // namespace

ScriptedAnswer TakeScriptedAnswer() {
  DialogScript& script = Script();
  std::lock_guard<std::mutex> lock(script.mutex);
  LoadLocked(script);
  ScriptedAnswer answer;
  if (script.next >= script.entries.size()) return answer;
  const std::string& entry = script.entries[script.next++];
  answer.present = true;
  answer.entry = Trim(entry);
  // "text:" and "file:" keep everything after the colon as typed (spaces
  // included); the plain words are read without case or surrounding blanks.
  const std::string head = Lower(Trim(entry));
  for (const char* kind : {"text", "file"}) {
    const std::string prefix = std::string(kind) + ":";
    if (head.compare(0, prefix.size(), prefix) == 0) {
      answer.word = kind;
      const size_t colon = entry.find(':');
      answer.value = entry.substr(colon + 1);
      return answer;
    }
  }
  answer.word = head;
  return answer;
}

namespace {
std::atomic<uint32_t> g_answeredWithoutDisplay{0};
std::atomic<RefusedAnswerHandler> g_refusedAnswerHandler{nullptr};
std::atomic<const char*> g_refusalConsequence{nullptr};
}  // namespace

void SetRefusedAnswerHandler(RefusedAnswerHandler handler, const char* consequence) {
  g_refusalConsequence.store(handler ? consequence : nullptr);
  g_refusedAnswerHandler.store(handler);
}

void RefuseScriptedAnswer(const std::string& utf8Dialog, const ScriptedAnswer& answer, const std::string& accepted) {
  const RefusedAnswerHandler handler = g_refusedAnswerHandler.load();
  const char* consequence = g_refusalConsequence.load();
  std::fprintf(stderr, "%s: PELMORA_DIALOG_ANSWERS: \"%s\" is not an answer to %s, which takes %s: refused%s%s\n",
               ProgramName(), ShownOnTerminal(answer.entry, false).c_str(), ShownOnTerminal(utf8Dialog, false).c_str(),
               accepted.c_str(), consequence ? "; " : "",
               consequence ? consequence : "");
  if (handler) handler();
}

uint32_t DialogsAnsweredWithoutDisplay() { return g_answeredWithoutDisplay.load(); }
void NoteAnsweredWithoutDisplay() { g_answeredWithoutDisplay.fetch_add(1); }

bool DialogScriptActive() {
  DialogScript& script = Script();
  std::lock_guard<std::mutex> lock(script.mutex);
  LoadLocked(script);
  return script.active;
}

namespace {
std::atomic<bool> g_lostLineTold{false};  // a transcript that cannot be written has been named
}  // namespace

void ResetDialogScript() {
  g_lostLineTold.store(false);
  DialogScript& script = Script();
  std::lock_guard<std::mutex> lock(script.mutex);
  script.loaded = false;
  LoadLocked(script);
}

void LogDialog(const std::string& cp932Title, const std::string& cp932Text, const std::string& answer) {
  std::string path;
  {
    DialogScript& script = Script();
    std::lock_guard<std::mutex> lock(script.mutex);
    LoadLocked(script);
    path = script.logPath;
  }
  if (path.empty()) return;
  const std::string line = EscapeField(Cp932ToUtf8(cp932Title)) + '\t' +
                           EscapeField(Cp932ToUtf8(cp932Text)) + '\t' + EscapeField(answer) + '\n';
  // Opened and closed per line: the transcript is complete even when the
  // process is killed, and tests may delete the file between boxes.
  std::lock_guard<std::mutex> lock(LogMutex());
  int error = 0;
  if (std::FILE* file = OpenForWriting(path, WriteOpen::kAppend)) {
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
  } else {
    error = errno;
  }
  // A lost line is said once, where the run's caller sees it, unless the
  // transcript was already named as one that cannot be written.
  if (error != 0 && !g_lostLineTold.exchange(true))
    std::fprintf(stderr, "%s: PELMORA_DIALOG_LOG : %s cannot be written: %s (a box's line is lost)\n", ProgramName(),
                 ShownOnTerminal(path, true).c_str(), WriteFailureText(path, error).c_str());
}

std::string DialogLogProblem() {
  std::string path;
  {
    DialogScript& script = Script();
    std::lock_guard<std::mutex> lock(script.mutex);
    LoadLocked(script);
    path = script.logPath;
  }
  if (path.empty()) return {};
  // The file is appended to when it exists (opened here as each box opens
  // it); otherwise it is made in its folder at the first box.
  struct stat info {};
  int error = 0;
  if (::stat(path.c_str(), &info) == 0 || errno != ENOENT) {
    if (std::FILE* file = OpenForWriting(path, WriteOpen::kAppendExisting)) std::fclose(file);
    else error = errno;
  } else {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) error = errno;
  }
  if (error == 0) return {};
  g_lostLineTold.store(true);
  return ShownOnTerminal(path, true) + " cannot be written: " + WriteFailureText(path, error);
}

namespace {
std::atomic<bool> g_englishDialogs{false};
}  // namespace

void SetEnglishDialogs(bool on) { g_englishDialogs.store(on); }
bool EnglishDialogs() { return g_englishDialogs.load(); }

int MessageBox(const std::string& cp932Text, const std::string& cp932Title, uint32_t type) {
  MessageBoxSpec spec;
  spec.english = EnglishDialogs();
  spec.utf8Title = Cp932ToUtf8(cp932Title);
  spec.utf8Text = Cp932ToUtf8(cp932Text);
  spec.type = type;
  // The view knows the box's buttons and default; it needs no window.
  const MessageBoxView view(spec);
  const std::vector<int>& buttons = view.Buttons();
  auto offered = [&](int id) { return std::find(buttons.begin(), buttons.end(), id) != buttons.end(); };

  int result = 0;
  std::string suffix;
  bool refused = false;
  const ScriptedAnswer scripted = TakeScriptedAnswer();
  if (scripted.present) {
    // Only the box's own buttons answer it ("text:" and "file:" never do).
    result = ResultOfWord(scripted.word);
    if (!offered(result)) {
      refused = true;
      result = view.CancelAnswer();
    }
  } else {
    result = static_cast<int>(
        RunOnMainThread([&]() -> int64_t { return GetWindowHost().RunMessageBox(spec); }));
    if (result == 0) {
      suffix = " (default, no display)";
      NoteAnsweredWithoutDisplay();
    }
    if (!offered(result)) result = view.DefaultAnswer();
  }
  if (refused) {
    std::string accepted;
    for (int id : buttons) accepted += (accepted.empty() ? "" : ", ") + std::string(WordOfResult(id));
    LogDialog(cp932Title, cp932Text,
              WordOfResult(result) + std::string(" (refused \"") + scripted.entry + "\": the box takes " + accepted + ")");
    RefuseScriptedAnswer("the box \"" + spec.utf8Title + "\" (\"" + EscapeField(spec.utf8Text) + "\")", scripted,
                         accepted);
    return result;
  }
  LogDialog(cp932Title, cp932Text, WordOfResult(result) + suffix);
  return result;
}

}  // namespace plat

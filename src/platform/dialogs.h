// Message boxes, drawn by our own code: over the game window when it is up
// (on top of the last presented frame), in a small window of their own before
// that. For headless runs and tests the environment can answer them:
//   PELMORA_DIALOG_ANSWERS  answers in order, separated by ';':
//                           ok, yes, no, cancel, text:..., file:...
//   PELMORA_DIALOG_LOG      a file that gets one UTF-8 line per dialog shown:
//                           "<title>\t<text with \n escaped>\t<answer>"
// A box with no scripted answer left and no display to show it on takes its
// default button (and says so in the log line).
// A scripted answer that is not one of the dialog's (a word for a button it
// lacks, "text:" for a box without an edit box, a misspelt word) is refused:
// the dialog is closed as Escape closes it, the log line says "refused",
// standard error names the answer and the dialog, and the refusal handler
// (the game installs its fault ending) runs.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Box types and results (the values callers pass and compare).
enum : uint32_t { MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
                  MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
                  MB_ICONINFORMATION = 0x40, MB_DEFBUTTON2 = 0x100 };
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The game's language for the standard buttons of the boxes (OK, Cancel,
// Yes, No): Japanese until the game says it is set to English.
void SetEnglishDialogs(bool on);
bool EnglishDialogs();

// Shows a box (texts in CP932) and returns the button pressed. Any thread:
// the box itself always runs on the main thread (as a sent request), and
// serves sent messages while it waits.
int MessageBox(const std::string& cp932Text, const std::string& cp932Title, uint32_t type);

// The next scripted answer of the given kind ("text", "file") for the
// toolkit's other dialogs: true and the value (UTF-8) when the script holds
// one; `answer` receives ok/cancel as well.
struct ScriptedAnswer {
  bool present = false;  // a script entry was consumed
  std::string word;      // ok, yes, no, cancel, text, file (else the entry, lower case)
  std::string value;     // the text after "text:" or "file:"
  std::string entry;     // the entry as the script spells it, for messages
};
ScriptedAnswer TakeScriptedAnswer();
bool DialogScriptActive();  // PELMORA_DIALOG_ANSWERS is set (even when used up)

// Says on standard error that the dialog `utf8Dialog` (its title, and a
// box's text) does not take `answer`, which `accepted` lists the answers it
// does take, then runs the refusal handler. Any thread.
void RefuseScriptedAnswer(const std::string& utf8Dialog, const ScriptedAnswer& answer, const std::string& accepted);
// Run on every refusal (the game's fault ending); none: a refusal only says
// so. `consequence` ("the game ends"), when not null, is added to the
// message: what the handler makes of the refusal.
using RefusedAnswerHandler = void (*)();
void SetRefusedAnswerHandler(RefusedAnswerHandler handler, const char* consequence = nullptr);

// Appends one transcript line to PELMORA_DIALOG_LOG (when set).
void LogDialog(const std::string& cp932Title, const std::string& cp932Text, const std::string& answer);
// Why the transcript PELMORA_DIALOG_LOG names cannot be written (UTF-8: its
// path, shown as ShownOnTerminal shows a name, and the reason, e.g.
// "/x/y.log cannot be written: No such file or directory"); empty when it
// can, or when none is named. Makes no file.
std::string DialogLogProblem();

// Re-reads the environment (tests change it between cases).
void ResetDialogScript();

// The dialogs and boxes of this process that took their default answer
// because no display could show them (their transcript lines say "default,
// no display"); the toolkit counts each with NoteAnsweredWithoutDisplay.
uint32_t DialogsAnsweredWithoutDisplay();
void NoteAnsweredWithoutDisplay();

}  // namespace plat

// pelmora-tool dialog KIND: runs one of the game's dialogs in a window of
// its own, in the working folder (a game project), and prints what it
// returned. For trying the dialogs by hand and for the display check in
// tests/scripts/. Without a display the dialogs would only take their
// default answers: the command says so and exits 1, unless the run asks for
// answers without one (PELMORA_DIALOG_ANSWERS, or SDL_VIDEODRIVER=dummy for
// the defaults). A scripted answer the dialog does not take is refused, as
// the game refuses it: the dialog closes as Escape closes it, its answer is
// printed and the command exits 1, as the game ends.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_window.h"
#include "data/settings.h"
#include "data/user_records.h"
#include "front/file_select_dialog.h"
#include "front/start_dialog.h"
#include "front/text_entry_dialog.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "tool.h"

namespace {

constexpr const char* kUsage =
    "usage: pelmora-tool dialog KIND [english]   KIND: start, text, open, replay, save, box or quit\n";

// The run asks for dialogs answered without a display: by a script, or by
// the dummy video driver, whose dialogs take their default answers.
bool AnswersWithoutDisplayAsked() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return plat::DialogScriptActive() || (driver != nullptr && std::strcmp(driver, "dummy") == 0);
}

// The dialogs refused a scripted answer during this run.
std::atomic<bool> g_refused{false};
void NoteRefusal() { g_refused.store(true); }

// Runs the dialog of `kind`; the line that tells what it returned, or
// empty for a kind that is not one.
std::string RunKind(const std::string& kind) {
  char line[1024];
  if (kind == "start") {
    cBootRecord boot;
    boot.LoadFromFile("user_data\\Boot.dat");
    // Shown even when the record asks not to be asked.
    cStartDialog dialog(&boot, "user_data\\Boot.dat");
    const bool started = dialog.RunModal() == 1;
    std::snprintf(line, sizeof line, "start %d mode %d dont-ask %d\n", started ? 1 : 0, boot.m_nMode, boot.m_bDontAsk);
    return line;
  }
  if (kind == "text") {
    std::string name;
    cTextEntryDialog dialog(&name);
    const int result = dialog.RunModal();
    std::snprintf(line, sizeof line, "result %d name %s\n", result, plat::Cp932ToUtf8(name).c_str());
    return line;
  }
  if (kind == "open" || kind == "replay" || kind == "save") {
    std::string path = kind == "save" ? "user_data\\rpl4\\rpl4_test" : "";
    cFileSelectDialog dialog(kind == "open" ? kFileSelectStage : kind == "replay" ? kFileSelectReplay : kFileSelectSaveReplay,
                             &path);
    const int result = dialog.RunModal();
    std::snprintf(line, sizeof line, "result %d path %s\n", result, plat::Cp932ToUtf8(path).c_str());
    return line;
  }
  if (kind == "box") {
    const int result = plat::MessageBox(plat::Sjis("メッセージの確認です。"), plat::Sjis("確認"), plat::MB_OKCANCEL);
    std::snprintf(line, sizeof line, "result %d\n", result);
    return line;
  }
  if (kind == "quit") {
    std::snprintf(line, sizeof line, "quit %d\n", ConfirmQuit(0, GameSettings.nEnglish) ? 1 : 0);
    return line;
  }
  return {};
}

int RunDialogCommand(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "english")) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& kind = args[0];
  for (const char* known : {"start", "text", "open", "replay", "save", "box", "quit"}) {
    if (kind != known) continue;
    if (args.size() > 1 && args[1] == "english") {
      GameSettings.nEnglish = 1;
      plat::SetEnglishDialogs(true);  // the boxes' standard buttons too
    }
    const uint32_t before = plat::DialogsAnsweredWithoutDisplay();
    plat::SetRefusedAnswerHandler(NoteRefusal);
    const std::string answer = RunKind(kind);
    plat::SetRefusedAnswerHandler(nullptr);
    if (plat::DialogsAnsweredWithoutDisplay() != before && !AnswersWithoutDisplayAsked()) {
      std::fprintf(stderr,
                   "dialog: no display to show the %s dialog on (PELMORA_DIALOG_ANSWERS answers dialogs without one, "
                   "SDL_VIDEODRIVER=dummy takes their default answers)\n",
                   kind.c_str());
      return 1;
    }
    std::fputs(answer.c_str(), stdout);
    if (g_refused.load()) {
      std::fprintf(stderr, "dialog: the %s dialog refused its scripted answer\n", kind.c_str());
      return 1;
    }
    return 0;
  }
  std::fprintf(stderr, "dialog: unknown kind %s\n%s", tool::Shown(kind).c_str(), kUsage);
  return 2;
}

tool::Registrar dialogCommand(tool::Command{
    "dialog", "dialog KIND [english]     runs a dialog (start, text, open, replay, save, box, quit) in a window",
    RunDialogCommand, [] {
      return std::string(
          "KIND: start (the drawing mode), text (the ranking name), open (a stage file), replay (a replay file),\n"
          "      save (a replay's name), box (a message box), quit (the quit question); english: English texts\n"
          "Without a display it exits 1, unless PELMORA_DIALOG_ANSWERS answers the dialog or SDL_VIDEODRIVER=dummy\n"
          "takes its default answer. A scripted answer the dialog does not take is refused (exit 1).\n");
    }});

}  // namespace

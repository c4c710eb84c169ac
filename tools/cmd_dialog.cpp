// pelmora-tool dialog KIND: runs one of the game's dialogs in a window of
// its own, in the working folder (a game project), and prints what it
// returned. For trying the dialogs by hand and for the display check in
// tests/scripts/.
#include <cstdio>

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

int RunDialogCommand(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "english")) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& kind = args[0];
  if (args.size() > 1 && args[1] == "english") {
    GameSettings.nEnglish = 1;
    plat::SetEnglishDialogs(true);  // the boxes' standard buttons too
  }
  if (kind == "start") {
    cBootRecord boot;
    boot.LoadFromFile("user_data\\Boot.dat");
    // Shown even when the record asks not to be asked.
    cStartDialog dialog(&boot, "user_data\\Boot.dat");
    const bool started = dialog.RunModal() == 1;
    std::printf("start %d mode %d dont-ask %d\n", started ? 1 : 0, boot.m_nMode, boot.m_bDontAsk);
    return 0;
  }
  if (kind == "text") {
    std::string name;
    cTextEntryDialog dialog(&name);
    const int result = dialog.RunModal();
    std::printf("result %d name %s\n", result, plat::Cp932ToUtf8(name).c_str());
    return 0;
  }
  if (kind == "open" || kind == "replay" || kind == "save") {
    std::string path = kind == "save" ? "user_data\\rpl4\\rpl4_test" : "";
    cFileSelectDialog dialog(kind == "open" ? kFileSelectStage : kind == "replay" ? kFileSelectReplay : kFileSelectSaveReplay,
                             &path);
    const int result = dialog.RunModal();
    std::printf("result %d path %s\n", result, plat::Cp932ToUtf8(path).c_str());
    return 0;
  }
  if (kind == "box") {
    const int result = plat::MessageBox(plat::Sjis("メッセージの確認です。"), plat::Sjis("確認"), plat::MB_OKCANCEL);
    std::printf("result %d\n", result);
    return 0;
  }
  if (kind == "quit") {
    std::printf("quit %d\n", ConfirmQuit(0, GameSettings.nEnglish) ? 1 : 0);
    return 0;
  }
  std::fprintf(stderr, "dialog: unknown kind %s\n%s", kind.c_str(), kUsage);
  return 2;
}

tool::Registrar dialogCommand(tool::Command{
    "dialog", "dialog KIND [english]     runs a dialog (start, text, open, replay, save, box, quit) in a window",
    RunDialogCommand, [] {
      return std::string(
          "KIND: start (the drawing mode), text (the ranking name), open (a stage file), replay (a replay file),\n"
          "      save (a replay's name), box (a message box), quit (the quit question); english: English texts\n");
    }});

}  // namespace

// Scripted answers (PELMORA_DIALOG_ANSWERS) that are not the dialog's own
// are refused: nothing of them is taken, the transcript and standard error
// say so, and the game ends through its fault ending.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialog_view.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

std::atomic<int> g_refusals{0};
void CountRefusal() { ++g_refusals; }

class DialogAnswerRefusalTest : public testing::Test {
 protected:
  void SetUp() override {
    env_.Set("PELMORA_DIALOG_LOG", folder_ / "dialogs.log");
    plat::SetWindowHost(plat::MakeHeadlessWindowHost());
    g_refusals = 0;
    plat::SetRefusedAnswerHandler(CountRefusal, "the game ends");
  }
  void TearDown() override {
    plat::SetRefusedAnswerHandler(nullptr);
    plat::SetWindowHost(nullptr);
  }
  // The transcript's last line, and forgets the transcript.
  std::string LastLogLine() {
    std::istringstream in(folder_.Read("dialogs.log"));
    std::string line, last;
    while (std::getline(in, line)) last = line;
    std::remove((folder_ / "dialogs.log").c_str());
    return last;
  }
  TempFolder folder_{"refusal"};
  ScopedEnv env_;
};

TEST_F(DialogAnswerRefusalTest, AMessageBoxTakesOnlyItsOwnButtonsAndClosesAsEscapeWouldOnAnyOther) {
  const struct {
    uint32_t type;
    const char* answer;
    int result;
    const char* logged;  // the transcript's answer field
  } rows[] = {
      {plat::MB_YESNO, " YES ", plat::IDYES, "yes"},
      {plat::MB_YESNOCANCEL, "cancel", plat::IDCANCEL, "cancel"},
      {plat::MB_OKCANCEL | plat::MB_DEFBUTTON2, "OK", plat::IDOK, "ok"},
      {plat::MB_OK, "ok", plat::IDOK, "ok"},
      // A misspelt word, a button the box lacks, an answer of another kind.
      {plat::MB_YESNO, "noo", plat::IDNO, "no (refused \"noo\": the box takes yes, no)"},
      {plat::MB_YESNO, "ok", plat::IDNO, "no (refused \"ok\": the box takes yes, no)"},
      {plat::MB_YESNO, "text:x", plat::IDNO, "no (refused \"text:x\": the box takes yes, no)"},
      {plat::MB_YESNOCANCEL, "file:a.stg4_1", plat::IDCANCEL,
       "cancel (refused \"file:a.stg4_1\": the box takes yes, no, cancel)"},
      {plat::MB_OKCANCEL, "yes", plat::IDCANCEL, "cancel (refused \"yes\": the box takes ok, cancel)"},
      {plat::MB_OK, "yes", plat::IDOK, "ok (refused \"yes\": the box takes ok)"},
      {plat::MB_OK, "click:1", plat::IDOK, "ok (refused \"click:1\": the box takes ok)"},
  };
  int refused = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    env_.Set("PELMORA_DIALOG_ANSWERS", row.answer);
    testing::internal::CaptureStderr();
    const int result = plat::MessageBox(plat::Sjis("終了しますか？"), plat::Sjis("終了確認"), row.type);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(LastLogLine(), std::string("終了確認\t終了しますか？\t") + row.logged);
    const bool refusal = std::string(row.logged).find("refused") != std::string::npos;
    refused += refusal ? 1 : 0;
    EXPECT_EQ(g_refusals.load(), refused);
    if (refusal) {
      EXPECT_NE(err.find(std::string("\"") + row.answer + "\" is not an answer to the box \"終了確認\" (\"終了しますか？\")"),
                std::string::npos)
          << err;
      EXPECT_NE(err.find("refused; the game ends"), std::string::npos) << err;
    } else {
      EXPECT_EQ(err, "");
    }
  }
}

// A dialog of the toolkit: ok (its default button) and cancel (Escape)
// always; "text:" only into an edit box that has the focus; "file:" into a
// file chooser or such an edit box; "click:" only on its own controls. Yes
// and no belong to message boxes.
TEST_F(DialogAnswerRefusalTest, ADialogTakesOnlyTheAnswersItsControlsCanTake) {
  enum Kind { kEdit, kButtons, kChooser };
  const struct {
    Kind kind;
    const char* answer;
    int result;
    const char* text;  // the edit box's text afterwards; the chosen file for the chooser
    bool refused;
  } rows[] = {
      {kEdit, "text:abc", 1, "abc", false},
      {kEdit, "file:x.stg4_1", 1, "x.stg4_1", false},
      {kEdit, "ok", 1, "", false},
      {kEdit, "cancel", 0, "", false},
      {kEdit, "click:2", 2, "", false},
      {kEdit, "yes", 0, "", true},
      {kEdit, "no", 0, "", true},
      {kEdit, "noo", 0, "", true},
      {kEdit, "click:1,99", 0, "", true},
      {kEdit, "click:x", 0, "", true},
      {kButtons, "text:abc", 0, "", true},
      {kButtons, "file:a.stg4_1", 0, "", true},
      {kButtons, "ok", 1, "", false},
      {kChooser, "file:a.stg4_1", 1, "a.stg4_1", false},
      {kChooser, "text:a", 0, "", true},
  };
  int refused = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    plat::DialogTemplate t;
    t.title = "Choose";
    t.width = 200;
    t.height = 80;
    if (row.kind == kEdit) t.controls.push_back({10, plat::ControlKind::Edit, "", 5, 5, 150, 14});
    t.controls.push_back({1, plat::ControlKind::Button, "OK", 5, 50, 50, 14, plat::kDefaultButton});
    t.controls.push_back({2, plat::ControlKind::Button, "Cancel", 60, 50, 50, 14});
    plat::DialogView view(t);
    std::string chosen;
    view.SetCommandHandler([&](int id, int code) {
      if (code == plat::kClicked && (id == 1 || id == 2)) view.EndDialog(id);
    });
    if (row.kind == kChooser)
      view.SetFileAnswerHandler([&](const std::string& utf8) {
        chosen = utf8;
        view.EndDialog(1);
      });
    env_.Set("PELMORA_DIALOG_ANSWERS", row.answer);
    testing::internal::CaptureStderr();
    const int result = plat::RunDialog(view, "log text");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(row.kind == kChooser ? chosen : view.ItemText(10), row.text);
    const std::string line = LastLogLine();
    const std::string refusal = std::string("(refused \"") + row.answer + "\": the dialog takes ok, cancel";
    EXPECT_EQ(line.find(refusal) != std::string::npos, row.refused) << line;
    refused += row.refused ? 1 : 0;
    EXPECT_EQ(g_refusals.load(), refused);
    if (row.refused)
      EXPECT_NE(err.find(std::string("\"") + row.answer + "\" is not an answer to the dialog \"Choose\""),
                std::string::npos)
          << err;
    else
      EXPECT_EQ(err, "");
  }
}

// The game as `pelmora-tool play` runs it: free play chosen on the title
// opens the stage file chooser, which takes a file or Cancel. An answer it
// refuses ends the running game through its fault ending (status 1), with
// the reason on standard error; its own answers play on (status 0).
TEST(DialogAnswerRefusalProcessTest, ARefusedAnswerEndsTheGameWithStatusOne) {
  TempFolder root("refusal-run");
  const std::string input = root.Write("free-play.txt", "100 DOWN\n104 DOWN\n108 DOWN\n112 B1\n");
  const std::string kChooser = "ステージファイルの読み込み";
  const std::string kTakes = "the dialog takes ok, cancel, file:..., click:ID,...";
  const struct {
    std::string answers;  // the start dialog's, then the chooser's
    int status;
    std::string out;       // in the standard output ("" not looked at: when the close lands varies)
    std::string err;       // in the standard error ("" nothing from the dialogs)
    std::string logged;    // the chooser's transcript line ends so
  } rows[] = {
      {"ok;yes", 1, "",
       "\"yes\" is not an answer to the dialog \"" + kChooser +
           "\", which takes ok, cancel, file:..., click:ID,...: refused; the game ends\nplay: a fault ended the game",
       "result 0 (refused \"yes\": " + kTakes + ")"},
      {"ok;text:abc", 1, "",
       "\"text:abc\" is not an answer to the dialog \"" + kChooser + "\"",
       "result 0 (refused \"text:abc\": " + kTakes + ")"},
      {"ok;cancel", 0, "play: 300 frame(s)\n", "", "result 0 (cancel)"},
      {"ok;file:data\\stg4\\demo.stg4_1", 0, "play: 300 frame(s)\n", "",
       "result 1 (file:data\\stg4\\demo.stg4_1)"},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answers);
    const std::string project = root / ("p" + std::to_string(n++));
    WriteMinimalProject(project, "WindowMode=1\n");
    const std::string command = "cd '" + project + "' && env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " +
                                "PELMORA_DIALOG_LOG='" + (root / "dialogs.log") + "' PELMORA_DIALOG_ANSWERS='" +
                                row.answers + "' '" + PELMORA_TOOL + "' play . --frames 300 --input '" + input +
                                "' > '" + (root / "out.txt") + "' 2> '" + (root / "err.txt") + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
    const std::string out = root.Read("out.txt"), err = root.Read("err.txt"), transcript = root.Read("dialogs.log");
    if (!row.out.empty()) {
      EXPECT_NE(out.find(row.out), std::string::npos) << out;
    }
    if (!row.err.empty()) {
      EXPECT_NE(err.find(row.err), std::string::npos) << err;
    } else {
      EXPECT_EQ(err.find("PELMORA_DIALOG_ANSWERS"), std::string::npos) << err;
    }
    EXPECT_NE(transcript.find(kChooser + "\t" + kChooser + "\t" + row.logged + "\n"), std::string::npos)
        << transcript;
    std::remove((root / "dialogs.log").c_str());
  }
}

// The program itself: a start dialog that refuses its answer ends the start
// as a fault (status 1), where the player's own Cancel ends it with 0.
TEST(DialogAnswerRefusalProcessTest, ARefusedAnswerToTheStartDialogEndsTheProgramWithStatusOne) {
  TempFolder root("refusal-start");
  const std::string project = root / "project";
  WriteMinimalProject(project, "WindowMode=1\n");
  const struct {
    const char* answers;
    int status;
    const char* err;
  } rows[] = {
      {"cancel", 0, ""},
      {"yes", 1, "\"yes\" is not an answer to the dialog \"Pelmora Demo\", which takes ok, cancel"},
      {"text:x", 1, "\"text:x\" is not an answer to the dialog \"Pelmora Demo\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answers);
    const std::string command = "cd '" + project + "' && env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " +
                                "PELMORA_RUNTIME_DIR='" + root.Path() + "' PELMORA_DIALOG_ANSWERS='" + row.answers +
                                "' '" + PELMORA_EXE + "' > /dev/null 2> '" + (root / "err.txt") + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
    const std::string err = root.Read("err.txt");
    if (row.err[0] != '\0')
      EXPECT_NE(err.find(row.err), std::string::npos) << err;
    else
      EXPECT_EQ(err.find("PELMORA_DIALOG_ANSWERS"), std::string::npos) << err;
  }
}

}  // namespace

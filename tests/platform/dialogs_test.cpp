#include "platform/dialogs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "support/sandbox.h"

namespace {

// Boxes answered by a script and written to a transcript in a fresh folder;
// no box can be shown (headless host).
class DialogsTest : public testing::Test {
 protected:
  void SetUp() override {
    env_.Set("PELMORA_DIALOG_LOG", folder_ / "dialogs.log").Unset("PELMORA_DIALOG_ANSWERS");
    plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  }
  void TearDown() override {
    plat::SetWindowHost(nullptr);
    plat::ClearMainThread();
  }
  std::vector<std::string> LogLines() const {
    std::istringstream in(folder_.Read("dialogs.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  TempFolder folder_{"dialogs"};
  ScopedEnv env_;
};

TEST_F(DialogsTest, ScriptEntriesAreTakenInOrderOnceAndTheEnvironmentIsReadOnReset) {
  EXPECT_FALSE(plat::DialogScriptActive());
  EXPECT_FALSE(plat::TakeScriptedAnswer().present);

  env_.Set("PELMORA_DIALOG_ANSWERS", "ok; YES ;;text: two words ;file:data\\a b.txt;Cancel;text:;no;");
  EXPECT_TRUE(plat::DialogScriptActive());
  const struct { const char* word; const char* value; } expected[] = {
      {"ok", ""}, {"yes", ""}, {"text", " two words "}, {"file", "data\\a b.txt"},
      {"cancel", ""}, {"text", ""}, {"no", ""}};
  for (const auto& e : expected) {
    const plat::ScriptedAnswer a = plat::TakeScriptedAnswer();
    ASSERT_TRUE(a.present) << e.word;
    EXPECT_EQ(a.word, e.word);
    EXPECT_EQ(a.value, e.value);
  }
  EXPECT_FALSE(plat::TakeScriptedAnswer().present);
  EXPECT_TRUE(plat::DialogScriptActive());  // used up, still set

  setenv("PELMORA_DIALOG_ANSWERS", "yes", 1);  // env_ puts it back
  EXPECT_FALSE(plat::TakeScriptedAnswer().present);
  plat::ResetDialogScript();
  EXPECT_EQ(plat::TakeScriptedAnswer().word, "yes");
}

TEST_F(DialogsTest, ConcurrentTakersShareTheScriptWithoutLosingEntries) {
  std::string script;
  for (int i = 0; i < 400; ++i) script += "text:" + std::to_string(i) + ";";
  env_.Set("PELMORA_DIALOG_ANSWERS", script);
  std::vector<std::vector<int>> taken(4);
  std::vector<std::thread> threads;
  for (auto& mine : taken)
    threads.emplace_back([&mine] {
      for (plat::ScriptedAnswer a; (a = plat::TakeScriptedAnswer()).present;) mine.push_back(std::stoi(a.value));
    });
  for (auto& t : threads) t.join();
  std::vector<int> all, want(400);
  for (const auto& mine : taken) {
    EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));  // each thread sees script order
    all.insert(all.end(), mine.begin(), mine.end());
  }
  std::sort(all.begin(), all.end());
  std::iota(want.begin(), want.end(), 0);
  EXPECT_EQ(all, want);
}

TEST_F(DialogsTest, ScriptedThenDefaultAnswersAndTheirTranscript) {
  env_.Set("PELMORA_DIALOG_ANSWERS", "yes;no;cancel;yes;ok;cancel;yes");
  const std::string title = plat::Sjis("確認");
  const std::string question = plat::Sjis("ゲームが二重起動されています。\n終了しますか？");
  const std::string error = plat::Sjis("エラー");
  const struct { std::string text, title; uint32_t type; int answer; } boxes[] = {
      {question, title, plat::MB_YESNO | plat::MB_ICONQUESTION, plat::IDYES},
      {question, title, plat::MB_YESNO, plat::IDNO},
      {"Save?", "Quit", plat::MB_YESNOCANCEL, plat::IDCANCEL},
      // An answer the box does not offer is refused: the box closes as
      // Escape closes it.
      {plat::Sjis("data\\stg4\\a.stg が読めません"), error, plat::MB_OK, plat::IDOK},
      {"a\r\nb\tc", "T", plat::MB_OKCANCEL | plat::MB_DEFBUTTON2, plat::IDOK},
      {"x", "T", plat::MB_OKCANCEL | plat::MB_DEFBUTTON2, plat::IDCANCEL},
      {"first", "T", plat::MB_YESNO | plat::MB_DEFBUTTON2, plat::IDYES},
      // The script is used up and no box can be shown: the default button.
      {"second", "T", plat::MB_YESNO | plat::MB_DEFBUTTON2, plat::IDNO},
  };
  for (const auto& b : boxes) EXPECT_EQ(plat::MessageBox(b.text, b.title, b.type), b.answer) << b.text;
  env_.Unset("PELMORA_DIALOG_ANSWERS");
  EXPECT_EQ(plat::MessageBox("third", "T", plat::MB_OKCANCEL), plat::IDOK);

  // From a worker thread the box runs on the main thread, which serves the
  // request while it waits for messages.
  plat::SetMainThread();
  std::atomic<int> fromWorker{-1};
  std::thread worker([&] { fromWorker = plat::MessageBox("fourth", "T", plat::MB_YESNOCANCEL | plat::MB_DEFBUTTON2); });
  while (fromWorker == -1) plat::WaitMessageTimeout(10);
  worker.join();
  EXPECT_EQ(fromWorker, plat::IDNO);

  // The other dialogs write their own lines through the same transcript.
  plat::LogDialog(plat::Sjis("ファイル"), "", "file:data\\x.stg");
  const std::vector<std::string> expected = {
      "確認\tゲームが二重起動されています。\\n終了しますか？\tyes",
      "確認\tゲームが二重起動されています。\\n終了しますか？\tno",
      "Quit\tSave?\tcancel",
      "エラー\tdata\\stg4\\a.stg が読めません\tok (refused \"yes\": the box takes ok)",
      "T\ta\\nb\\tc\tok",
      "T\tx\tcancel",
      "T\tfirst\tyes",
      "T\tsecond\tno (default, no display)",
      "T\tthird\tok (default, no display)",
      "T\tfourth\tno (default, no display)",
      "ファイル\t\tfile:data\\x.stg",
  };
  EXPECT_EQ(LogLines(), expected);
}

// The boxes go on; the first line lost says so on the standard error, once,
// unless the start already named the transcript. Its path is shown with its
// control characters escaped.
TEST_F(DialogsTest, TranscriptToAnUnwritablePlaceIsSkippedAndSaidOnce) {
  const std::string pipe = folder_ / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string shown;
    const char* why;
  } rows[] = {{"/nonexistent-dir/deeper/log.txt", "/nonexistent-dir/deeper/log.txt", "No such file or directory"},
              {"/nonexistent-\x1b[31m\\/log.txt", "/nonexistent-\\x1b[31m\\\\/log.txt", "No such file or directory"},
              {pipe, pipe, "a named pipe that nobody reads"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shown);
    env_.Set("PELMORA_DIALOG_LOG", row.path).Set("PELMORA_DIALOG_ANSWERS", "no");
    plat::ResetDialogScript();
    testing::internal::CaptureStderr();
    EXPECT_EQ(plat::MessageBox("q", "T", plat::MB_YESNO), plat::IDNO);
    plat::LogDialog("T", "nothing to write to", "ok");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(plat::ProgramName()) + ": PELMORA_DIALOG_LOG : " +
                                                          row.shown + " cannot be written: " + row.why +
                                                          " (a box's line is lost)\n");
    plat::ResetDialogScript();
    EXPECT_EQ(plat::DialogLogProblem(), row.shown + " cannot be written: " + row.why);
    testing::internal::CaptureStderr();
    plat::LogDialog("T", "named at the start", "ok");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  EXPECT_TRUE(LogLines().empty());
}

}  // namespace

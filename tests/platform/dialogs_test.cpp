#include "platform/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

class DialogsTest : public testing::Test {
 protected:
  void SetUp() override {
    // Unique per test and per run: the Release and sanitizer builds may run
    // the same test at the same time.
    logPath_ = testing::TempDir() + "dialogs_test_" +
               testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               std::to_string(std::random_device{}()) + ".log";
    std::remove(logPath_.c_str());
    setenv("PELMORA_DIALOG_LOG", logPath_.c_str(), 1);
    unsetenv("PELMORA_DIALOG_ANSWERS");
    plat::ResetDialogScript();
  }
  void TearDown() override {
    unsetenv("PELMORA_DIALOG_LOG");
    unsetenv("PELMORA_DIALOG_ANSWERS");
    plat::ResetDialogScript();
    std::remove(logPath_.c_str());
  }
  void Script(const char* answers) {
    setenv("PELMORA_DIALOG_ANSWERS", answers, 1);
    plat::ResetDialogScript();
  }
  std::vector<std::string> LogLines() const {
    std::ifstream in(logPath_, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string logPath_;
};

TEST_F(DialogsTest, ScriptEntriesAreTakenInOrderOnce) {
  EXPECT_FALSE(plat::DialogScriptActive());
  EXPECT_FALSE(plat::TakeScriptedAnswer().present);

  Script("ok; YES ;;text: two words ;file:data\\a b.txt;Cancel;text:;no;");
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

  // The environment is read once: a change shows only after a reset.
  setenv("PELMORA_DIALOG_ANSWERS", "yes", 1);
  EXPECT_FALSE(plat::TakeScriptedAnswer().present);
  plat::ResetDialogScript();
  EXPECT_EQ(plat::TakeScriptedAnswer().word, "yes");

  unsetenv("PELMORA_DIALOG_ANSWERS");
  plat::ResetDialogScript();
  EXPECT_FALSE(plat::DialogScriptActive());
}

TEST_F(DialogsTest, ConcurrentTakersShareTheScriptWithoutLosingEntries) {
  std::string script;
  for (int i = 0; i < 400; ++i) script += "text:" + std::to_string(i) + ";";
  Script(script.c_str());
  std::vector<std::vector<int>> taken(4);
  std::vector<std::thread> threads;
  for (auto& mine : taken)
    threads.emplace_back([&mine] {
      for (plat::ScriptedAnswer a; (a = plat::TakeScriptedAnswer()).present;) mine.push_back(std::stoi(a.value));
    });
  for (auto& t : threads) t.join();
  std::vector<int> all;
  for (const auto& mine : taken) {
    EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));  // each thread sees script order
    all.insert(all.end(), mine.begin(), mine.end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), 400u);
  for (int i = 0; i < 400; ++i) EXPECT_EQ(all[i], i);
}

TEST_F(DialogsTest, ScriptedAnswersAndTranscript) {
  Script("yes;no;cancel;yes;ok;yes;cancel");
  const std::string title = plat::Sjis("確認");
  const std::string question = plat::Sjis("ゲームが二重起動されています。\n終了しますか？");
  EXPECT_EQ(plat::MessageBox(question, title, plat::MB_YESNO | plat::MB_ICONQUESTION), plat::IDYES);
  EXPECT_EQ(plat::MessageBox(question, title, plat::MB_YESNO), plat::IDNO);
  EXPECT_EQ(plat::MessageBox("Save?", "Quit", plat::MB_YESNOCANCEL), plat::IDCANCEL);
  // Answers the box does not offer give its default button.
  const std::string error = plat::Sjis("エラー");
  EXPECT_EQ(plat::MessageBox(plat::Sjis("data\\stg4\\a.stg が読めません"), error, plat::MB_OK), plat::IDOK);
  EXPECT_EQ(plat::MessageBox("a\r\nb\tc", "T", plat::MB_OKCANCEL | plat::MB_DEFBUTTON2), plat::IDOK);
  EXPECT_EQ(plat::MessageBox("x", "T", plat::MB_OKCANCEL | plat::MB_DEFBUTTON2), plat::IDCANCEL);
  EXPECT_EQ(plat::MessageBox("y", "T", plat::MB_OK), plat::IDOK);

  const std::vector<std::string> expected = {
      "確認\tゲームが二重起動されています。\\n終了しますか？\tyes",
      "確認\tゲームが二重起動されています。\\n終了しますか？\tno",
      "Quit\tSave?\tcancel",
      "エラー\tdata\\stg4\\a.stg が読めません\tok",
      "T\ta\\nb\\tc\tok",
      "T\tx\tcancel",
      "T\ty\tok",
  };
  EXPECT_EQ(LogLines(), expected);

  // The other dialogs write their own lines through the same transcript.
  plat::LogDialog(plat::Sjis("ファイル"), "", "file:data\\x.stg");
  EXPECT_EQ(LogLines().back(), "ファイル\t\tfile:data\\x.stg");
}

TEST_F(DialogsTest, UnansweredBoxWithoutDisplayTakesItsDefault) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  Script("yes");  // one answer, then the script is used up
  EXPECT_EQ(plat::MessageBox("first", "T", plat::MB_YESNO | plat::MB_DEFBUTTON2), plat::IDYES);
  EXPECT_EQ(plat::MessageBox("second", "T", plat::MB_YESNO | plat::MB_DEFBUTTON2), plat::IDNO);
  unsetenv("PELMORA_DIALOG_ANSWERS");
  plat::ResetDialogScript();
  EXPECT_EQ(plat::MessageBox("third", "T", plat::MB_OKCANCEL), plat::IDOK);

  // From a worker thread the box runs on the main thread, which serves the
  // request while it waits for messages.
  plat::SetMainThread();
  plat::EnsureQueue();
  std::atomic<int> fromWorker{-1};
  std::thread worker([&] {
    fromWorker = plat::MessageBox("fourth", "T", plat::MB_YESNOCANCEL | plat::MB_DEFBUTTON2);
  });
  for (int i = 0; i < 500 && fromWorker == -1; ++i) plat::WaitMessageTimeout(10);
  worker.join();
  EXPECT_EQ(fromWorker, plat::IDNO);

  const std::vector<std::string> expected = {
      "T\tfirst\tyes",
      "T\tsecond\tno (default, no display)",
      "T\tthird\tok (default, no display)",
      "T\tfourth\tno (default, no display)",
  };
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(DialogsTest, TranscriptToAnUnwritablePlaceIsSkipped) {
  setenv("PELMORA_DIALOG_LOG", "/nonexistent-dir/deeper/log.txt", 1);
  Script("no");
  EXPECT_EQ(plat::MessageBox("q", "T", plat::MB_YESNO), plat::IDNO);
  unsetenv("PELMORA_DIALOG_LOG");
  plat::ResetDialogScript();
  plat::LogDialog("T", "nothing to write to", "ok");
  EXPECT_TRUE(LogLines().empty());
}

}  // namespace

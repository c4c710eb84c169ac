#include "base/logs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "platform/text.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

class LogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogsForTest();
    env_.Set("PELMORA_DIALOG_LOG", dir_ + "/dialogs.log").Set("PELMORA_DIALOG_ANSWERS", "ok;ok;ok");
  }
  void TearDown() override { ResetLogsForTest(); }
  TempFolder folder_{"logs"};
  std::string dir_ = folder_.Path(), report_ = dir_ + "/Report_Game.txt", ec_ = dir_ + "/EC_Game.txt";
  ScopedEnv env_;  // put back after TearDown
};

TEST_F(LogsTest, ReportLinesHaveNoPrefixAndSurviveAChangeOfFolder) {
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  EXPECT_EQ(WriteReportLog("App : ver %s", "873"), 1);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(WriteReportLog("second %d", 2), 1);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(Slurp(report_), "App : ver 873\nsecond 2\n");
  // A new run truncates.
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  EXPECT_EQ(Slurp(report_), "");
}

TEST_F(LogsTest, ErrorCheckLogIsUntouchedWhileOffAndTruncatedByTheFirstLineOfARun) {
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  { std::ofstream(ec_) << "old run\n"; }
  SetECLog(0, ec_.c_str());
  WriteECLog("nothing %d", 1);
  WriteReportAndECLog("both");
  EXPECT_EQ(Slurp(ec_), "old run\n");
  SetECLog(1, ec_.c_str());
  WriteECLog("first %d", 1);
  WriteECLogText("second");
  WriteReportAndECLog("third");
  EXPECT_EQ(Slurp(ec_), "first 1\nsecond\nthird\n");
  EXPECT_EQ(Slurp(report_), "both\nthird\n");
}

// The program hands the logs CP932; people read them as UTF-8.
TEST_F(LogsTest, JapaneseLinesAreWrittenInUtf8) {
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  SetECLog(1, ec_.c_str());
  const std::string sjis = plat::Utf8ToCp932("「表」の読み込みに失敗！");  // 0x5C second bytes ("表")
  WriteReportLog("%s", sjis.c_str());
  WriteReportAndECLog("%s %d", sjis.c_str(), 2);
  WriteECLog("%s", (sjis + "\x82").c_str());  // a lead byte with nothing after it
  EXPECT_EQ(Slurp(report_), "「表」の読み込みに失敗！\n「表」の読み込みに失敗！ 2\n");
  EXPECT_EQ(Slurp(ec_), "「表」の読み込みに失敗！ 2\n「表」の読み込みに失敗！?\n");
}

TEST_F(LogsTest, DeletedReportLogLosesLinesAndShowsNoBox) {
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  std::filesystem::remove(report_);
  EXPECT_EQ(WriteReportLog("lost"), 0);
  EXPECT_EQ(WriteReportAndShowError("lost too"), 0);
  EXPECT_FALSE(std::filesystem::exists(report_));
  EXPECT_EQ(Slurp(dir_ + "/dialogs.log"), "");
}

TEST_F(LogsTest, CombinedWriteShowsTheBoxAndCutsLongTexts) {
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  std::string longText(3000, 'x');
  EXPECT_EQ(WriteReportAndShowError("%s", longText.c_str()), 1);
  std::string report = Slurp(report_);
  EXPECT_EQ(report, std::string(1023, 'x') + "\n");
  std::string transcript = Slurp(dir_ + "/dialogs.log");
  EXPECT_NE(transcript.find(std::string(1023, 'x')), std::string::npos);
  EXPECT_EQ(transcript.find(std::string(1024, 'x')), std::string::npos);
}

TEST_F(LogsTest, ConcurrentWritersKeepEveryLineWhole) {
  ASSERT_EQ(OpenReportLog(report_.c_str()), 1);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 250; ++i) WriteReportLog("writer %d line %03d ----------", t, i);
    });
  for (auto& w : writers) w.join();
  std::istringstream lines(Slurp(report_));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.size(), std::string("writer 0 line 000 ----------").size()) << line;
  }
  EXPECT_EQ(count, 1000);
}

}  // namespace

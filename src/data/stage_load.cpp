#include "data/stage_load.h"

#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/text_path.h"
#include "base/thread.h"
#include "data/data_paths.h"
#include "data/stage_data.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace {

// The reading of the stage is over; the thread that waits for it is woken
// then instead of looking again a millisecond later. The wake leaves nothing
// in that thread's queue (a message would be left there whenever the waiter
// saw the end before it took the message).
std::atomic<bool> g_stageRead{false};
std::atomic<plat::ThreadId> g_stageWaiter{0};
std::atomic<StageReadHook> g_readHook{nullptr};
std::atomic<StageSetUpCheck> g_setUpCheck{nullptr};
// Why the set-up check refused the stage the loader read last (written by
// the loader thread before g_stageRead, read after it).
std::string g_refusal;

}  // namespace

void SetStageReadHookForTest(StageReadHook hook) { g_readHook.store(hook); }

StageSetUpCheck SetStageSetUpCheck(StageSetUpCheck check) { return g_setUpCheck.exchange(check); }

std::string StageSetUpRefusal(const cStageData& stage) {
  const StageSetUpCheck check = g_setUpCheck.load();
  return check ? check(stage) : std::string();
}

void ReportStageRefused(const std::string& where, const std::string& why) {
  WriteReportLog("%s : the stage cannot be played: %s", where.c_str(), why.c_str());
}

uint32_t LoadStageThread(void* argument) {
  if (StageReadHook hook = g_readHook.load()) hook();
  try {
    // Read into a copy: a stage that the set-up would refuse is not taken.
    std::unique_ptr<cRecord> copy = StageData.CloneForReading();
    cStageData& read = static_cast<cStageData&>(*copy);
    if (read.LoadFromFile(StageData.m_strLoadedPath)) {
      g_refusal = StageSetUpRefusal(read);
      if (g_refusal.empty()) {
        StageData.TakeContents(read);
        StageData.m_bLoaded = 1;
      }
    }
  } catch (const std::bad_alloc&) {
    ReportLoadOutOfMemory(0);
  }
  g_stageRead.store(true);
  if (const plat::ThreadId waiter = g_stageWaiter.load()) plat::WakeThread(waiter);
  return 0;
}

int StartStage(const std::string& path, int32_t numbered, cStageData* master, cEdCharacter* hero) {
  cStageData& stage = StageData;
  stage.m_nStartArgument = static_cast<uint32_t>(numbered);
  std::string current = path;
  if (numbered) {
    std::string found;
    if (!FindLastNumberedFileString(found, path, DataExtensions.At(kExtStage).c_str())) return 0;
    current = found;
  }
  MakeRelativePathString(current);
  stage.m_strLoadedPath = current;

  if (!CheckStageFileTrailer(current)) return 0;

  stage.m_bLoaded = 0;
  g_refusal.clear();
  g_stageRead.store(false);
  g_stageWaiter.store(plat::CurrentThreadId());
  if (thStageLoad.Create(LoadStageThread, nullptr)) {
    // Keep this thread's windows answering while the stage is read.
    while (!g_stageRead.load() && !thStageLoad.Finished()) {
      plat::Message msg;
      if (plat::PeekMessage(msg, true)) {
        if (msg.message == plat::WM_QUIT) {
          WriteECLog("msg.message == WM_QUIT");
          thStageLoad.Exit();
          // The quit is for this thread's own loop as well.
          plat::PostQuitMessage(static_cast<int>(msg.wParam));
          return 0;
        }
        plat::DispatchMessage(msg);
      } else {
        plat::WaitMessageTimeout(1);
      }
    }
    thStageLoad.Exit();
    // The window's close ended the loader before it had read the file: the
    // program is ending, and the file is not to blame.
    if (!g_stageRead.load() && g_bClosing.load()) return 0;
  }

  auto failed = [&] {
    std::string text;
    FormatString(text, plat::Sjis("ステージファイル %s の読み込みに失敗しました！").c_str(), current.c_str());
    ReportStageFailure(text);
    return 0;
  };
  if (!stage.m_bLoaded) {
    if (!g_refusal.empty()) ReportStageRefused(current, g_refusal);
    return failed();
  }
  const int32_t heroIndex = stage.FindHeroIndex();
  if (heroIndex == -1) {
    ReportStageFailure(plat::Sjis("主人公が配置されていないのでプレイできません！"));
    RequestQuit();
    return 0;
  }
  try {
    // The master copy holds the stage's texts and backgrounds once more.
    if (master) master->CopySettingsFrom(stage);
    if (hero) *hero = stage.m_PlacedCharacters.At(heroIndex);
  } catch (const std::bad_alloc&) {
    ReportLoadOutOfMemory(0);
    return failed();
  }
  return 1;
}

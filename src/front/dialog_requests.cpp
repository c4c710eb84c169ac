#include "front/dialog_requests.h"

#include <cctype>

#include "audio/bgm.h"
#include "audio/sound.h"
#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/text_path.h"
#include "base/thread.h"
#include "data/replay_file.h"
#include "data/save_slots.h"
#include "data/settings.h"
#include "data/stage_data.h"
#include "data/user_records.h"
#include "front/file_select_dialog.h"
#include "front/front_scenes.h"
#include "front/text_entry_dialog.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/replay_recorder.h"

std::atomic<int32_t> g_bTextEntryDone{0};
std::atomic<int32_t> g_bFileRequestDone{0};
std::atomic<int32_t> g_nFileRequestResult{0};
std::string g_strStageRankingName;
ReplayFileOps g_ReplayFileOps;

namespace {

// Sends `message` and polls `done`. SendMessage returns once the handler
// has run, so the flag is normally set by then; when the window has gone
// (the game is closing) nothing will set it, and the request ends here.
void SendAndWait(uint32_t message, uint64_t wParam, std::atomic<int32_t>& done) {
  done.store(0);
  const plat::WindowHandle window = g_hMainWnd.load();
  plat::SendMessage(window, message, wParam, 0);
  while (done.load() == 0) {
    if (!plat::IsWindowEntry(window)) {
      done.store(1);
      break;
    }
    plat::Sleep(1);
  }
}

int32_t AskFile(uint32_t message, uint64_t wParam) {
  g_nFileRequestResult.store(0);
  SendAndWait(message, wParam, g_bFileRequestDone);
  return g_nFileRequestResult.load();
}

// Dialog mode and suspended workers for as long as it lives; the done flag
// is set when it ends, whichever way the handler leaves.
class DialogBracket {
 public:
  explicit DialogBracket(std::atomic<int32_t>& done) : done_(done) {
    DDSetDialogMode(1);
    SuspendWorkerThreads();
  }
  ~DialogBracket() {
    DDSetDialogMode(0);
    ResumeWorkerThreads();
    done_.store(1);
  }

 private:
  std::atomic<int32_t>& done_;
};

void ServeFileRequest(uint32_t message, uint64_t wParam) {
  g_nFileRequestResult.store(0);
  std::string path;
  if (message == kSaveReplayRequest) {
    // No free name: nothing is saved, and the request is done.
    if (!g_ReplayFileOps.makeName || !g_ReplayFileOps.makeName(path)) {
      g_bFileRequestDone.store(1);
      return;
    }
  }
  int32_t chosen = 0;
  {
    DialogBracket bracket(g_bFileRequestDone);
    const int32_t mode = message == kLoadStageRequest ? kFileSelectStage
                         : message == kLoadReplayRequest ? kFileSelectReplay
                                                         : kFileSelectSaveReplay;
    cFileSelectDialog dialog(mode, &path);
    chosen = dialog.RunModal();
    if (chosen == 1) {
      int32_t result = 0;
      // The stage list offers replay files beside the stage files: one
      // chosen there is played as a replay, as from the replay list.
      const bool replay = message == kLoadReplayRequest || (message == kLoadStageRequest && IsReplayFileName(path));
      if (replay) {
        if (g_ReplayFileOps.load && g_ReplayFileOps.load(path)) {
          // The stage a replay holds counts as loaded from the replay's file.
          StageData.m_strLoadedPath = path;
          result = message == kLoadStageRequest ? kFileRequestReplayLoaded : 1;
        }
      } else if (message == kLoadStageRequest) {
        result = BeginSingleStagePlay(path, 0, false) != 0 ? 1 : 0;
      } else {
        result = g_ReplayFileOps.save && g_ReplayFileOps.save(path, wParam != 0 ? 1 : 0) ? 1 : 0;
      }
      // A file that cannot be read or written costs that file only: the
      // load or save has shown its message, and the title's menu or the
      // stage goes on.
      g_nFileRequestResult.store(result);
    }
  }
}

const char* ReplayLoadMessage(ReplayLoad result) {
  switch (result) {
    case ReplayLoad::kMissing: return "リプレイファイル %s が見つかりません！";
    case ReplayLoad::kTooNew: return "リプレイファイル %s は新しいバージョンで作られています！";
    default: return "リプレイファイル %s を読み込めませんでした！";
  }
}

}  // namespace

bool IsReplayFileName(const std::string& path) {
  // The extension: after the last "." of the file name.
  size_t nameStart = 0;
  for (size_t i = 0; i < path.size(); i += IsDoubleByteChar(path.c_str() + i) ? 2 : 1)
    if (path[i] == '\\' || path[i] == '/') nameStart = i + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return false;
  static constexpr char kReplayExtension[] = "rpl4_";
  for (size_t k = 0; k + 1 < sizeof kReplayExtension; ++k) {
    const size_t at = dot + 1 + k;
    if (at >= path.size() || std::tolower(static_cast<unsigned char>(path[at])) != kReplayExtension[k]) return false;
  }
  return true;
}

void InstallReplayFileOps() {
  g_ReplayFileOps.load = [](const std::string& path) {
    const ReplayLoad result = LoadReplay(KeyLogRecord, path, StageData, StageMasterData, SaveData);
    if (result != ReplayLoad::kOk) {
      ShowError(plat::Sjis(ReplayLoadMessage(result)).c_str(), path.c_str());
      return false;
    }
    // The replay's hero as placed, as a stage file gives it when loaded.
    if (StageData.HasHero())
      cStageScene::KeptHeroRecord = StageData.m_PlacedCharacters.At(StageData.FindHeroIndex());
    ReplayRecorder.BeginPlayback(SaveData);
    return true;
  };
  g_ReplayFileOps.save = [](const std::string& path, int32_t previousAttempt) {
    return ReplayRecorder.SaveAttempt(previousAttempt != 0, path, StageData, StageMasterData);
  };
  g_ReplayFileOps.makeName = [](std::string& name) {
    if (MakeReplayFileName(name, StageData.m_strLoadedPath, SaveData.m_nStageNumber[0], SaveData.m_nStageNumber[1],
                           SaveData.m_nStageNumber[2], GetLocalSaveTime()))
      return true;
    // No free name: nothing is written over, and the player is told.
    if (!StageData.m_strLoadedPath.empty()) {
      std::atomic<int32_t> shown{0};
      DialogBracket bracket(shown);
      ShowError("%s", plat::Sjis("リプレイファイルの名前がこれ以上作れません！").c_str());
    }
    return false;
  };
  ReplayRecorder.m_AskSave = [](int32_t previousAttempt) { return AskSaveReplay(previousAttempt); };
}

void AskTextEntry() { SendAndWait(kTextEntryRequest, 0, g_bTextEntryDone); }
int32_t AskFreePlayStage() { return AskFile(kLoadStageRequest, 0); }
int32_t AskReplayFile() { return AskFile(kLoadReplayRequest, 0); }
int32_t AskSaveReplay(int32_t previousAttempt) { return AskFile(kSaveReplayRequest, previousAttempt ? 1 : 0); }

void AskMusicOption() { plat::SendMessage(g_hMainWnd.load(), kOptionApplyRequest, 0, 0); }
void AskSoundVolumeOption() { plat::SendMessage(g_hMainWnd.load(), kOptionApplyRequest, 1, 0); }

void ServeDialogRequest(uint32_t message, uint64_t wParam) {
  if (message == kOptionApplyRequest && wParam == 1) {
    const int volume = DSVolumeFromOption(OptionData.m_nSoundVolume);
    for (cSound& sound : g_SoundList)
      for (int buffer = 0; buffer < sound.Count(); ++buffer) sound.SetVolume(buffer, volume, 0);
  } else if (message == kOptionApplyRequest) {
    // Set up again it starts nothing by itself: the next screen's music
    // request does.
    if (g_BGMPlayer.Initialised() && OptionData.m_bMusic == 0) {
      g_BGMPlayer.Release();
    } else if (!g_BGMPlayer.Initialised() && OptionData.m_bMusic != 0) {
      g_BGMPlayer.Stop();
      g_BGMPlayer.Init(1, g_OggTrackTable, g_MidiTrackTable, kBGMTrackCount, GameSettings.nMidiDirectMusic);
    }
  } else if (message == kTextEntryRequest) {
    DialogBracket bracket(g_bTextEntryDone);
    cTextEntryDialog dialog;
    dialog.RunModal();
  } else if (message >= kLoadStageRequest && message <= kSaveReplayRequest) {
    ServeFileRequest(message, wParam);
  }
}

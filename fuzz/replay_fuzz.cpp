// Replay files through their reader: a file of any length and content loads
// whole or changes nothing; a key log that loads plays to its end without
// reading past its lists, and the replay written back loads again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/replay_file.h"
#include "data/stage_data.h"
#include "data/user_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cKeyLog log;
  cStageData stage, running;
  cOptionData record;  // stands in for the play record
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (LoadReplayBytes(bytes, log, stage, running, record) != ReplayLoad::kOk) {
    if (!log.Empty() || record.m_strRankingName != "aaa") __builtin_trap();
    return 0;
  }
  const uint64_t frames = log.FrameCount();
  // A run may be a few billion frames long: such a log is played in part.
  if (frames > (uint64_t{1} << 20)) return 0;
  uint64_t played = 0;
  uint16_t direction = 0, buttons = 0;
  while (log.GetFrame(direction, buttons) == 0) ++played;
  if (played != frames) __builtin_trap();
  const std::string again = MakeReplayBytes(log, stage, running, record);
  cKeyLog log2;
  cStageData stage2, running2;
  cOptionData record2;
  if (LoadReplayBytes(again, log2, stage2, running2, record2) != ReplayLoad::kOk) __builtin_trap();
  return 0;
}

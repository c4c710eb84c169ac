// Ranking files through their reader: whatever a file holds, a ranking that
// loads has five lists of twenty entries, registers a score, and writes
// back what loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/rankings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cRankingFile ranking;
  if (ranking.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) {
    if (ranking.m_Lists.size() != kRankingGenreCount) __builtin_trap();
    for (int genre = 0; genre < kRankingGenreCount; ++genre) {
      cRankingList& list = ranking.List(genre);
      if (list.m_Entries.size() != cRankingList::kEntryCount) __builtin_trap();
      list.InsertScore("fz", static_cast<int32_t>(size));
      if (list.m_Entries.size() != cRankingList::kEntryCount) __builtin_trap();
    }
    const std::string again = ranking.SaveToBytes();
    cRankingFile back;
    if (!back.LoadFromBytes(again) || back.SaveToBytes() != again) __builtin_trap();
  }
  return 0;
}

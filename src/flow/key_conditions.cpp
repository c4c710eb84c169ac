// Key sequences: a flow may require a short series of input states, entered
// like a fighting-game command, before it starts. The input record keeps,
// for each of the ten direction codes and the nine buttons, its last 32 runs
// (held or not, for how many frames), newest first. A sequence is matched
// from its last step backwards through those runs.
#include <algorithm>
#include <array>
#include <cstdint>

#include "flow/conditions.h"
#include "data/labels.h"
#include "flow/flow_state.h"
#include "scene/input.h"

namespace {

constexpr int kInputCount = kDirectionPressRecords + kButtonPressRecords;  // 19

// The fields of a key step by role. The two bytes after the hold times are
// the relative-to-facing byte, then the any-hold byte.
int32_t CombineMode(const cFlowKey& step) { return step.m_nMode; }
int32_t MinimumHold(const cFlowKey& step) { return step.m_nWord1; }
int32_t MaximumHold(const cFlowKey& step) { return step.m_nWord2; }
bool RelativeToFacing(const cFlowKey& step) { return step.m_nByte1 != 0; }
bool AnyHold(const cFlowKey& step) { return step.m_nByte2 != 0; }
int32_t Required(const cFlowKey& step, int input) {
  return static_cast<size_t>(input) < step.m_vKeys.size() ? step.m_vKeys[static_cast<size_t>(input)] : 0;
}

// A direction code seen from a character facing left.
int MirrorDirection(int code) {
  switch (code) {
    case 1: return 2;
    case 2: return 1;
    case 5: return 7;
    case 7: return 5;
    case 6: return 8;
    case 8: return 6;
    default: return code;
  }
}

const PressRecord& Record(const cInput& input, int i) {
  return i < kDirectionPressRecords ? input.m_DirectionPresses[static_cast<size_t>(i)]
                                    : input.m_ButtonPresses[static_cast<size_t>(i - kDirectionPressRecords)];
}

// Read positions in the 19 records: the run looked at and how many frames
// of it lie at or before the point in time being tested.
struct cHistoryCursor {
  const cInput* input = nullptr;
  std::array<int32_t, kInputCount> run{};
  std::array<int64_t, kInputCount> frames{};

  explicit cHistoryCursor(const cInput& in) : input(&in) {
    for (int i = 0; i < kInputCount; ++i) frames[static_cast<size_t>(i)] = Record(in, i)[0].m_nFrames;
  }
  // Moves every record by `delta` frames (negative: into the past), held
  // within the 32 runs a record keeps. Frame by frame, a step within a run
  // moves one frame and a step across a run's end moves to the next run;
  // the steps within a run are taken together (a key left alone for minutes
  // makes runs thousands of frames long).
  void Shift(int64_t delta) {
    for (int i = 0; i < kInputCount; ++i) {
      const PressRecord& record = Record(*input, i);
      int32_t& r = run[static_cast<size_t>(i)];
      int64_t& f = frames[static_cast<size_t>(i)];
      for (int64_t n = -delta; n > 0;) {  // back
        if (f > 1) {
          const int64_t step = std::min(n, f - 1);
          f -= step;
          n -= step;
        } else if (r + 1 < kPressRuns) {
          ++r;
          f = record[static_cast<size_t>(r)].m_nFrames;
          --n;
        } else {
          break;
        }
      }
      for (int64_t n = delta; n > 0;) {  // forward
        const int64_t length = record[static_cast<size_t>(r)].m_nFrames;
        if (f < length) {
          const int64_t step = std::min(n, length - f);
          f += step;
          n -= step;
        } else if (r > 0) {
          --r;
          f = 1;
          --n;
        } else {
          break;
        }
      }
    }
  }
  bool Held(int i) const { return Record(*input, i)[static_cast<size_t>(run[static_cast<size_t>(i)])].m_bHeld != 0; }
  int64_t Frames(int i) const { return frames[static_cast<size_t>(i)]; }
};

bool KeyStateMatches(bool held, int64_t frames, const cFlowKey& step, int32_t required) {
  if (required == 1)
    return held && ((AnyHold(step) && frames >= 1) || (MinimumHold(step) <= frames && frames <= MaximumHold(step)));
  if (required == 2) return !held && frames >= 1;
  return false;
}

// Whether `step` holds at the cursor; `frames` receives the run length the
// step consumed (the shortest, the longest or the last matched input, by
// combine mode).
bool KeyStepMatches(const cFlowKey& step, const cHistoryCursor& cursor, bool facingLeft, int64_t& frames) {
  const int32_t mode = CombineMode(step);
  int matches = 0;
  bool miss = false;
  int64_t result = 0;
  for (int i = 0; i < kInputCount; ++i) {
    const int32_t required = Required(step, i);
    if (required == 0) continue;
    int read = i;
    if (i < kDirectionPressRecords && facingLeft && RelativeToFacing(step)) read = MirrorDirection(i);
    const int64_t runFrames = cursor.Frames(read);
    if (!KeyStateMatches(cursor.Held(read), runFrames, step, required)) {
      miss = true;
      continue;
    }
    if (mode == 0)
      result = matches == 0 ? runFrames : std::min(result, runFrames);
    else if (mode == 1)
      result = std::max(result, runFrames);
    else
      result = runFrames;
    ++matches;
  }
  frames = result;
  if (mode == 0) return !miss;
  if (mode == 1) return matches >= 1;
  if (mode == 2) return matches == 1;
  return false;
}

// 1 when the key steps of `flow` were entered, in order, ending now.
int MatchKeySequence(const cFlowState& flow, const cInput& input, bool facingLeft, bool strict) {
  const std::vector<const cFlowKey*>& keys = flow.m_Keys;
  const int64_t window = flow.Definition().m_nKeyTolerance;
  const bool holdMatch = flow.Definition().m_nKeyOption != 0;
  cHistoryCursor cursor(input);
  const int last = static_cast<int>(keys.size()) - 1;
  int64_t consumed = 0;
  if (!KeyStepMatches(*keys[static_cast<size_t>(last)], cursor, facingLeft, consumed)) return 0;
  if (holdMatch && flow.m_bMatchedLastFrame) return 1;
  for (int s = last - 1; s >= 0; --s) {
    cursor.Shift(-consumed);
    const cFlowKey& step = *keys[static_cast<size_t>(s)];
    if (!KeyStepMatches(step, cursor, facingLeft, consumed)) {
      if (window == 0) return 0;
      bool found = false;
      int64_t moved = 0;
      while (moved < window) {
        cursor.Shift(-1);
        ++moved;
        if (KeyStepMatches(step, cursor, facingLeft, consumed)) {
          found = true;
          break;
        }
      }
      if (!found) {
        // One frame later than where the later step ended.
        cursor.Shift(moved + 1);
        if (!KeyStepMatches(step, cursor, facingLeft, consumed)) return 0;
        int64_t unused = 0;
        if (!strict && KeyStepMatches(*keys[static_cast<size_t>(s + 1)], cursor, facingLeft, unused)) return 0;
      }
    }
  }
  return 1;
}

}  // namespace

int32_t FirstHeldDirection(const cInput& input) {
  for (int i = 0; i < kDirectionPressRecords; ++i)
    if (input.m_DirectionPresses[static_cast<size_t>(i)][0].m_bHeld) return i;
  return 0;
}

bool KeyStepHeldNow(const cInput& input, const cFlowKey& step) {
  const int32_t mode = CombineMode(step);
  int matches = 0;
  bool miss = false;
  for (int i = 0; i < kInputCount; ++i) {
    const int32_t required = Required(step, i);
    if (required == 0) continue;
    const bool held = Record(input, i)[0].m_bHeld != 0;
    const bool ok = (required == 1 && held) || (required == 2 && !held);
    if (!ok) {
      miss = true;
      continue;
    }
    ++matches;
    if (mode == 1) return true;
  }
  if (mode == 0) return !miss;
  if (mode == 2) return matches == 1;
  return false;
}

int CheckFlowKeyConditions(cActorFlows& flows, cFlowState& flow) {
  if (flow.m_Keys.empty()) return 1;
  cFlowHost* host = FlowHost();
  if (!host) return 0;
  // Sequences are always read from the first hero's input.
  cFlowActor* hero = host->Hero();
  const cInput* input = host->Input(hero ? host->PlayerNumber(hero) : 0);
  if (!input) return 0;
  bool facingLeft = false;
  if (cFlowActor* current = CurrentCharacter()) {
    int32_t facing = 0;
    if (host->Facing(current, facing)) facingLeft = facing == 0;
  }
  const bool strict = host->Switches().strictKeySequence != 0;
  const int result = MatchKeySequence(flow, *input, facingLeft, strict);
  if (flow.Definition().m_nKeyOption != 0) {
    flow.m_bMatchedLastFrame = result > 0 ? 1 : 0;
    return result;
  }
  flow.m_bMatchedLastFrame = 0;
  if (result <= 0) {
    flow.m_bKeyConditionMet = 0;
    return result;
  }
  if (!flow.m_bKeyConditionMet) {
    flow.m_bKeyConditionMet = 1;
    return 1;
  }
  // The same entry still held: no new start, and the flow's exclusive
  // number counts as taken for this frame.
  if (flow.Trigger() == kTriggerAlways && flow.Exclusive() != 0) {
    flows.m_ExclusiveBusy[flow.Exclusive()] = 1;
    flows.m_ExclusiveEnded[flow.Exclusive()] = 1;
    flows.m_bExclusiveEndedSummary = 1;
  }
  return 0;
}

// Prepared runs of the graphic effects of characters and of the screen
// effects: one per database definition in a forward table and a reversed
// table, built once after the database is loaded. A character's or the
// screen's effect slot starts by copying a run, so the step sizes are not
// recomputed at every start. Game thread only, after start-up.
#pragma once

#include <cstdint>
#include <vector>

#include "data/database_records.h"

struct cGraphicEffectRun {
  int16_t nNumber = 0;
  cCharaEffectRecord* pDef = nullptr;  // an entry of Database's first or second list
  int32_t nMode = 0;       // slot: 0 forward, 1 reversed, 2 forward then back
  int32_t bLoop = 0;       // slot
  int32_t nDirection = 0;  // slot: 0 forward table, 1 reversed table
  int32_t nFrame = 0;      // slot: frames since the start
  int32_t nStart = 0;
  int32_t nEnd = 0;
  double dValue = 0;    // current value, from start toward end
  double dStep = 0;     // change per frame
  double dElapsed = 0;  // tenths counted when start equals end
  int32_t nTime = 0;    // parameter 1, tenths of a second
  int32_t nCounter = 0;  // wave phase, blink counter
  int32_t nToggle = 0;   // blink and translucency state

  // Run of definition n of the loaded list (reversed 0) or of the second list
  // (reversed 1, whose parameters 2 and 3 are exchanged in place first).
  void Setup(int16_t n, int32_t reversed);
};

struct cScreenEffectRun {
  int16_t nNumber = 0;
  cScrEffectRecord* pDef = nullptr;
  int32_t nMode = 0;
  int32_t bLoop = 0;
  int32_t nDirection = 0;
  int32_t nFrame = 0;
  double dValue = 0;
  int32_t nWork1 = 0;  // vibration work words
  int32_t nWork2 = 0;
  double dStep = 0;
  // Start x and y of a move; the phase counter of the waves; the frame
  // counter and toggle of the blink.
  int32_t nWord1 = 0;
  int32_t nWord2 = 0;
  int32_t bTimeOnly = 0;  // start equals end: the run lasts its time
  double dElapsed = 0;
  int32_t nTime = 0;

  void Setup(int16_t n, int32_t reversed);
};

// Forward and reversed runs, one per definition (built by the functions below).
extern std::vector<cGraphicEffectRun> GraphicEffectRuns;
extern std::vector<cGraphicEffectRun> GraphicEffectRunsReversed;
extern std::vector<cScreenEffectRun> ScreenEffectRuns;
extern std::vector<cScreenEffectRun> ScreenEffectRunsReversed;

// Both tables emptied and sized to the number of definitions; run i of
// `forward` set up from definition i, run i of `reversed` from entry i of the
// second list.
void BuildCharaEffectTable(std::vector<cGraphicEffectRun>& forward, std::vector<cGraphicEffectRun>& reversed);
void BuildScrEffectTable(std::vector<cScreenEffectRun>& forward, std::vector<cScreenEffectRun>& reversed);

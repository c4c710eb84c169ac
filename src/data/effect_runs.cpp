#include "data/effect_runs.h"

#include <cmath>
#include <utility>

#include "data/database.h"

std::vector<cGraphicEffectRun> GraphicEffectRuns;
std::vector<cGraphicEffectRun> GraphicEffectRunsReversed;
std::vector<cScreenEffectRun> ScreenEffectRuns;
std::vector<cScreenEffectRun> ScreenEffectRunsReversed;

namespace {

// The frames a run takes: its time in tenths × 6. Definitions are made with a
// time of 1..9999; a file holding 0 or less would give an infinite or negative
// step (an effect that never ends), so such a time counts as one tenth.
double FramesOf(int32_t tenths) { return (tenths > 0 ? tenths : 1) * 6.0; }

double Distance(int32_t a, int32_t b) { return std::fabs(static_cast<double>(b) - static_cast<double>(a)); }

}  // namespace

void cGraphicEffectRun::Setup(int16_t n, int32_t reversed) {
  nNumber = n;
  cCharaEffectRecord& def = (reversed ? Database.m_CharaEffects2 : Database.m_CharaEffects).At(n);
  pDef = &def;
  int32_t* p = def.m_nParams;  // p[0] is parameter 1
  switch (def.m_nKind) {
    case 1: case 2: case 3: case 4: case 5: case 7: case 8: case 9:
    case 10: case 11: case 12: case 13: case 15: case 16:
      nTime = p[0];
      if (reversed) std::swap(p[1], p[2]);
      nStart = p[1];
      nEnd = p[2];
      dValue = nStart;
      dStep = Distance(nStart, nEnd) / FramesOf(nTime);
      if (def.m_nKind == 4 || def.m_nKind == 5) nCounter = 0;
      break;
    case 6:
    case 14:  // blink, translucency: counted in frames up to the time
      nTime = p[0];
      nStart = 0;
      nEnd = nTime;
      dValue = 0.0;
      dStep = 1.0 / 6.0;
      nCounter = 0;
      nToggle = 0;
      break;
    default:
      break;
  }
  if (def.m_nKind != 0 && nStart == nEnd) {
    dStep = 1.0 / 6.0;
    dElapsed = 0.0;
  }
}

void cScreenEffectRun::Setup(int16_t n, int32_t reversed) {
  nNumber = n;
  bTimeOnly = 0;
  cScrEffectRecord& def = (reversed ? Database.m_ScrEffects2 : Database.m_ScrEffects).At(n);
  pDef = &def;
  int32_t* p = def.m_nParams;
  const int32_t kind = def.m_nKind;
  switch (kind) {
    case 1:  // move: from (p2, p3) to (p4, p5)
      if (reversed) {
        std::swap(p[1], p[3]);
        std::swap(p[2], p[4]);
      }
      dValue = 0.0;
      dStep = 1.0 / 6.0;
      nWord1 = p[1];
      nWord2 = p[2];
      break;
    case 2:
    case 3:  // vibration
      dValue = 0.0;
      dStep = 1.0 / 6.0;
      nWork1 = 0;
      nWork2 = 0;
      nWord1 = 0;
      break;
    case 8:  // blink
      dValue = 0.0;
      dStep = 1.0 / 6.0;
      nWord1 = 0;
      nWord2 = 0;
      break;
    case 4: case 5: case 6: case 7: case 9: case 10: case 11: case 12: case 13:
      if (reversed) std::swap(p[1], p[2]);
      dValue = p[1];
      dStep = Distance(p[1], p[2]) / FramesOf(p[0]);
      if (kind == 6 || kind == 7) nWord1 = 0;  // wave phase
      if (p[1] == p[2]) {
        bTimeOnly = 1;
        nTime = p[0];
        dElapsed = 0.0;
        dStep = 1.0 / 6.0;
      }
      break;
    default:
      break;
  }
}

void BuildCharaEffectTable(std::vector<cGraphicEffectRun>& forward, std::vector<cGraphicEffectRun>& reversed) {
  const size_t count = Database.m_CharaEffects.size();
  forward.assign(count, cGraphicEffectRun());
  reversed.assign(count, cGraphicEffectRun());
  for (size_t i = 0; i < count; ++i) {
    // Definition numbers are 16-bit; a list longer than that reports the
    // numbers it cannot reach through the checked access.
    forward[i].Setup(static_cast<int16_t>(i), 0);
    reversed[i].Setup(static_cast<int16_t>(i), 1);
  }
}

void BuildScrEffectTable(std::vector<cScreenEffectRun>& forward, std::vector<cScreenEffectRun>& reversed) {
  const size_t count = Database.m_ScrEffects.size();
  forward.assign(count, cScreenEffectRun());
  reversed.assign(count, cScreenEffectRun());
  for (size_t i = 0; i < count; ++i) {
    forward[i].Setup(static_cast<int16_t>(i), 0);
    reversed[i].Setup(static_cast<int16_t>(i), 1);
  }
}

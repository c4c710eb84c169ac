// The flow commands and flows the stage tests give their characters, built
// as the editor stores them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "data/flow.h"
#include "data/labels.h"

namespace flowcmd {

// "コード実行": runs `text` in the code language, with the command after it
// in the same step.
inline cEdCmd Code(const std::string& text) {
  cEdCmd c;
  c.m_nKind = kCmdRunCode;
  c.m_nTogether = 1;
  c.m_strText = text;
  return c;
}

// "ウェイト" of `tenths` tenths of a second.
inline cEdCmd Wait(uint16_t tenths) {
  cEdCmd c;
  c.m_nKind = kCmdWait;
  c.m_nDuration = tenths;
  return c;
}

// A flow of `trigger` running `commands`, of exclusive number `exclusive`
// (0: none).
inline cEdFlow Flow(uint8_t trigger, std::vector<cEdCmd> commands, uint8_t exclusive = 0) {
  cEdFlow f;
  f.m_nTrigger = trigger;
  f.m_nExclusive = exclusive;
  f.m_vCmds = std::move(commands);
  return f;
}

}  // namespace flowcmd

#include "app/play_script.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "data/key_config.h"
#include "platform/keys.h"

namespace {

constexpr std::string_view kKeyNames[kPlayKeyCount] = {
    "LEFT", "RIGHT", "UP", "DOWN", "B1", "B2", "B3", "B4", "B5", "B6", "B7", "B8",
    "SPACE", "ESC", "ENTER", "F1", "F2", "F3",
};

// The keys the game polls when its key configuration's own mode is off.
constexpr int kFixedKeys[kPlayKeyCount] = {
    plat::VK_LEFT, plat::VK_RIGHT, plat::VK_UP, plat::VK_DOWN,
    'Z', 'X', 'C', 'V', 'A', 'S', 'D', 'F',
    plat::VK_SPACE, plat::VK_ESCAPE, plat::VK_RETURN, plat::VK_F1, plat::VK_F2, plat::VK_F3,
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ParseFrame(std::string_view s, uint32_t& out) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && end == s.data() + s.size();
}

bool ParseLine(std::string_view line, PlayKeySpan& span, std::string& why) {
  const size_t gap = line.find_first_of(" \t");
  const std::string_view range = line.substr(0, gap);
  const std::string_view keys = gap == std::string_view::npos ? std::string_view() : Trim(line.substr(gap));
  const size_t dash = range.find('-');
  if (!ParseFrame(range.substr(0, dash), span.first) ||
      !ParseFrame(dash == std::string_view::npos ? range : range.substr(dash + 1), span.last)) {
    why = "bad frame range";
    return false;
  }
  if (span.first == 0 || span.last < span.first) {
    why = "frames count from 1 and LAST may not come before FIRST";
    return false;
  }
  if (keys.empty()) {
    why = "no keys";
    return false;
  }
  span.keys = 0;
  std::string_view rest = keys;
  for (;;) {
    const size_t plus = rest.find('+');
    const std::string_view name = Trim(rest.substr(0, plus));
    const int key = PlayKeyByName(name);
    if (key < 0) {
      why = "unknown key \"" + std::string(name) + "\"";
      return false;
    }
    span.keys |= PlayKeySet{1} << key;
    if (plus == std::string_view::npos) break;
    rest.remove_prefix(plus + 1);
  }
  return true;
}

}  // namespace

int PlayKeyByName(std::string_view name) {
  for (int k = 0; k < kPlayKeyCount; ++k)
    if (kKeyNames[k] == name) return k;
  return -1;
}

int PlayKeyCode(int key, const cKeyConfig& config) {
  if (key < 0 || key >= kPlayKeyCount) return 0;
  // Directions and buttons are the configuration's first twelve bindings.
  if (config.m_nMode != 0 && key < kKeyBindingCount && key < config.BindingCount()) {
    const KeyBinding& binding = config.m_Bindings[static_cast<size_t>(key)];
    if (binding.m_nDevice == kKeyboardDevice && binding.m_wCode > 0 && binding.m_wCode <= 255) return binding.m_wCode;
  }
  return kFixedKeys[key];
}

bool PlayScript::Parse(std::string_view text, std::string& error) {
  std::vector<PlayKeySpan> spans;
  uint32_t number = 0, length = 0, lengthLine = 0, last = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    constexpr std::string_view kLength = "length ";
    if (line.substr(0, kLength.size()) == kLength) {
      if (lengthLine != 0 || !ParseFrame(Trim(line.substr(kLength.size())), length)) {
        error = "line " + std::to_string(number) + ": one \"length N\" a script, N a number of frames";
        return false;
      }
      lengthLine = number;
      continue;
    }
    PlayKeySpan span;
    std::string why;
    if (!ParseLine(line, span, why)) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
    last = std::max(last, span.last);
    spans.push_back(span);
  }
  if (lengthLine != 0 && last > length) {
    error = "line " + std::to_string(lengthLine) + ": a span ends at frame " + std::to_string(last) +
            ", after the script's length";
    return false;
  }
  spans_ = std::move(spans);
  length_ = lengthLine != 0 ? length : last;
  return true;
}

bool PlayScript::Append(const PlayScript& next) {
  const uint32_t offset = length_;
  if (next.length_ > UINT32_MAX - offset) return false;
  for (PlayKeySpan span : next.spans_) {
    span.first += offset;
    span.last += offset;
    spans_.push_back(span);
  }
  length_ += next.length_;
  return true;
}

PlayKeySet PlayScript::KeysAt(uint32_t frame) const {
  PlayKeySet keys = 0;
  for (const PlayKeySpan& span : spans_)
    if (frame >= span.first && frame <= span.last) keys |= span.keys;
  return keys;
}

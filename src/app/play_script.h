// Scripted keys of a headless play: which keys are held through which
// frames. The text has one span a line, "FIRST[-LAST] KEYS": the keys held
// from frame FIRST through frame LAST (FIRST alone: that frame), KEYS joined
// by "+" from LEFT RIGHT UP DOWN, B1 to B8 (the key configuration's eight
// buttons in its order), SPACE ESC ENTER F1 F2 F3. "#" starts a comment;
// blank lines are skipped. Frames count from 1, the first presented frame.
// A line "length N" says the script covers frames 1..N (no span may end
// after it); without one a script ends with the last frame of its spans.
// Scripts appended one after another make one: each counts its frames on
// from the end of the one before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class cKeyConfig;

// The keys a script can hold, as bits of a key set.
enum PlayKey : int {
  kPlayLeft = 0, kPlayRight, kPlayUp, kPlayDown,
  kPlayB1, kPlayB2, kPlayB3, kPlayB4, kPlayB5, kPlayB6, kPlayB7, kPlayB8,
  kPlaySpace, kPlayEsc, kPlayEnter, kPlayF1, kPlayF2, kPlayF3,
  kPlayKeyCount,
};
using PlayKeySet = uint32_t;  // bit k: PlayKey k held

struct PlayKeySpan {
  uint32_t first = 0;
  uint32_t last = 0;
  PlayKeySet keys = 0;
};

class PlayScript {
 public:
  // Parses the whole text; false with `error` naming the line and the
  // problem (nothing is kept then).
  bool Parse(std::string_view text, std::string& error);
  // The keys held in `frame` (the union of every span that covers it).
  PlayKeySet KeysAt(uint32_t frame) const;
  const std::vector<PlayKeySpan>& Spans() const { return spans_; }
  // The frames the script covers.
  uint32_t Length() const { return length_; }
  // Adds `next` after this script's last frame; false (nothing added) when
  // the frames would not fit in 32 bits.
  bool Append(const PlayScript& next);

 private:
  std::vector<PlayKeySpan> spans_;
  uint32_t length_ = 0;
};

// The name of a key as scripts write it ("LEFT", "B3" ...); -1 for none.
int PlayKeyByName(std::string_view name);
// The virtual-key code that gives `key` to the game under `config`: the
// configuration's keyboard binding when its own mode is on and the binding is
// a key, else the fixed key the game polls (arrows; Z X C V A S D F).
int PlayKeyCode(int key, const cKeyConfig& config);

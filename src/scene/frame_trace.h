// The frame trace: one record of the game's observable state per presented
// frame, written as one JSON object per line. Scripted runs (`pelmora-tool
// play`, tests) compare traces byte for byte, so every field is printed the
// same way every time: doubles with the digits that read back exactly, lists
// in the order the game keeps its objects, variables by ascending index.
//
// The scene layer fills what it knows (frame number, scene id, sound and
// music requests); stage play installs a filler for its own fields (mode,
// hero, characters, items, shots, variables, lives, score, time,
// messages, effect objects, pictures, the screen effect, stage-end request).
// Later kinds of objects add themselves to the same fields. The result
// screen notes the values of its play-record box as it draws them, and the
// stage's drawing the hint line it writes at the foot of the screen.
//
// Threads: the trace is taken on the thread that presents the frame (the
// game thread, or a frame-keeping thread of stage play while the game thread
// waits for it), so the filler reads the stage while nothing changes it.
// Sound and music requests are noted on the main thread while the game
// thread waits for them (they are sent, not posted), so they land in the
// frame that asked for them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Positions and speeds are the runtime's own doubles (left and top edge).
// `id` is the object's id on the stage (what flows and followers find it by).
struct FrameTraceHero {
  int32_t id = 0;
  double x = 0, y = 0;
  double vx = 0, vy = 0;
  int32_t hp = 0;
  int32_t sp = 0;
  int32_t facing = 0;  // the character's direction value as it keeps it
  int32_t dying = 0;   // non-zero while the death sequence runs
  int32_t effect = 0;  // kind of the running graphic effect (0: none)
};

struct FrameTraceCharacter {
  int32_t id = 0;
  // The type the object was made from, as its definition's palette
  // reference: 100000 x palette (1 common, 2 stage) + index in that
  // palette's list; a definition with no palette reference is its bare 0.
  int32_t def = 0;
  double x = 0, y = 0;
  int32_t hp = 0;
  int32_t present = 0;  // 1: active on the stage
  int32_t effect = 0;   // as FrameTraceHero::effect
};

struct FrameTraceItem {
  int32_t id = 0;
  int32_t def = 0;  // as FrameTraceCharacter::def
  double x = 0, y = 0;
};

struct FrameTraceShot {
  double x = 0, y = 0;
  int32_t owner = 0;  // the owner's group or number as the shot keeps it
};

// An effect object: its Effect list entry, its top-left on the stage and the
// frame of its animation it stands on.
struct FrameTraceEffect {
  int32_t number = 0;
  double x = 0, y = 0;
  int32_t frame = 0;
};

// A picture: its Picture list entry, where it stood on the screen in the
// last frame that placed it and whether that frame drew it (0: it has no
// bitmap or no size, or no frame has placed it yet).
struct FrameTracePicture {
  int32_t number = 0;
  int32_t x = 0, y = 0;
  int32_t shown = 0;
};

// The running screen effect: its ScrEffect list entry, its kind and how far
// its run is (the value it moves from start to end, or the time passed for a
// run whose start and end are equal).
struct FrameTraceScreen {
  int32_t number = 0;
  int32_t kind = 0;
  double value = 0;
};

struct FrameTrace {
  uint32_t frame = 0;            // presented frames so far, this one included (1 = the first)
  int32_t scene = 0;             // SceneId of the current scene
  std::optional<int32_t> mode;   // the stage scene's mode; none outside stage play
  std::vector<FrameTraceHero> hero;
  std::vector<FrameTraceCharacter> chars;  // in list order
  std::vector<FrameTraceItem> items;
  std::vector<FrameTraceShot> shots;
  // Flow commands: the non-zero variables by the code language's names, in
  // this order: common ("C3") and stage ("S0") variables by ascending
  // number, then the character variables of the hero ("pl.v1") and of the
  // characters by their place in "chars" ("ch2.v8").
  std::vector<std::pair<std::string, int32_t>> vars;
  int64_t lives = 0;
  int64_t score = 0;
  int64_t time = 0;                 // the stage's time left
  std::optional<int32_t> music;     // the music track playing (by number); none when stopped
  std::vector<int32_t> sounds;      // sound effects started in this frame, in request order
  std::vector<std::string> messages;  // CP932 texts of the open message windows
  std::vector<FrameTraceEffect> effects;    // in list order
  std::vector<FrameTracePicture> pictures;  // in list order, both layers
  std::optional<FrameTraceScreen> screen;   // none while no screen effect runs
  std::optional<int32_t> end;       // the stage-end request; none while the stage goes on
  // The play-record box of the result screen as drawn in this frame: stage
  // points, time-left sum, clear-time sum (hundredths of a second), HP-left
  // sum, SP-left sum; none in a frame that does not draw the box.
  std::optional<std::array<int32_t, 5>> result;
  // The system text drawn as the hint line at the foot of the screen in
  // this frame (the key hint of a test play or of a game the editor
  // started, the result screen's ranking hint); none when none is drawn.
  std::optional<int32_t> hint;
};

// One JSON line for the record, without the final line feed. Field order is
// fixed; texts are converted from CP932 to UTF-8 and escaped; doubles use the
// shortest form that reads back to the same value (non-finite ones, which the
// game should never hold, are written as null so the line stays JSON).
std::string FrameTraceJson(const FrameTrace& trace);
// The double as the trace writes it ("0", "1.5", "-0.30000000000000004").
std::string FrameTraceNumber(double value);

// Stage play's part of the record: installed once by stage play; called on
// the presenting thread with `trace` holding the scene layer's fields. It
// leaves the stage fields as they are when no stage scene is running.
using FrameTraceFiller = std::function<void(FrameTrace& trace)>;
void SetFrameTraceFiller(FrameTraceFiller filler);

// Builds the record of the frame just presented: the scene layer's fields,
// the sounds noted since the last capture (which this takes), the result box
// and hint line noted for this frame, then the installed filler.
FrameTrace CaptureFrameTrace(uint32_t frame);

// Sound and music requests, noted where the main window serves them.
void NoteTraceSound(int32_t number);
// The track now playing; nullopt when music stops.
void NoteTraceMusic(std::optional<int32_t> track);
// The five values of the play-record box, noted where the box is drawn; the
// note belongs to the frame being drawn and is dropped once it is presented.
void NoteTraceResult(const std::array<int32_t, 5>& values);
// The system text drawn as the hint line, noted where it is drawn; like the
// box, it belongs to the frame being drawn.
void NoteTraceHint(int32_t text);

// Called after every presented frame (by PresentFrame). A scripted run
// installs an observer to take the trace, screenshots and the next frame's
// keys; the observer runs on the presenting thread.
using FramePresentedObserver = std::function<void()>;
void SetFramePresentedObserver(FramePresentedObserver observer);
// True while an observer is installed (a scripted run watches the frames).
bool FramePresentedObserverInstalled();
void NotifyFramePresented();

// Forgets the noted sounds, music and result and the observer, so that
// nothing is noted until an observer is set again (tests and the end of a
// scripted run). The filler stays: stage play installs it once.
void ResetFrameTraceForTest();

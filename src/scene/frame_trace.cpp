#include "scene/frame_trace.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "platform/text.h"
#include "scene/scene.h"

namespace {

// Sounds and music are noted on the main thread and taken on the presenting
// thread; the filler and observer are installed before frames run.
std::mutex g_noteMutex;
std::vector<int32_t> g_sounds;
std::optional<int32_t> g_music;
std::optional<std::array<int32_t, 5>> g_result;  // the box drawn in the frame being made
std::optional<int32_t> g_hint;                    // the hint line drawn in the frame being made

std::mutex g_hookMutex;
FrameTraceFiller g_filler;
FramePresentedObserver g_observer;
// Sounds are noted only while someone watches the frames: a run without a
// trace takes no notes, so nothing piles up for the length of a game.
std::atomic<bool> g_watched{false};

void AppendString(std::string& out, const std::string& cp932) {
  const std::string utf8 = plat::Cp932ToUtf8(cp932);
  out += '"';
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void AppendInt(std::string& out, int64_t value) { out += std::to_string(value); }

void AppendKey(std::string& out, const char* key) {
  out += '"';
  out += key;
  out += "\":";
}

// `"key":value` pairs of one object, comma-separated.
class ObjectWriter {
 public:
  explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
  ~ObjectWriter() { out_ += '}'; }
  std::string& Key(const char* key) {
    if (!first_) out_ += ',';
    first_ = false;
    AppendKey(out_, key);
    return out_;
  }
  void Int(const char* key, int64_t v) { AppendInt(Key(key), v); }
  void Double(const char* key, double v) { Key(key) += FrameTraceNumber(v); }
  void OptionalInt(const char* key, const std::optional<int32_t>& v) {
    if (v)
      Int(key, *v);
    else
      Key(key) += "null";
  }

 private:
  std::string& out_;
  bool first_ = true;
};

template <class List, class Each>
void AppendList(std::string& out, const List& list, Each each) {
  out += '[';
  bool first = true;
  for (const auto& element : list) {
    if (!first) out += ',';
    first = false;
    each(element);
  }
  out += ']';
}

}  // namespace

std::string FrameTraceNumber(double value) {
  if (!std::isfinite(value)) return "null";
  // Shortest digits that read back to the same double.
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

std::string FrameTraceJson(const FrameTrace& t) {
  std::string out;
  out.reserve(320 + 96 * (t.hero.size() + t.chars.size() + t.items.size() + t.shots.size() + t.effects.size() +
                          t.pictures.size()));
  ObjectWriter w(out);
  w.Int("frame", t.frame);
  w.Int("scene", t.scene);
  w.OptionalInt("mode", t.mode);
  AppendList(w.Key("hero"), t.hero, [&](const FrameTraceHero& h) {
    ObjectWriter o(out);
    o.Int("id", h.id);
    o.Double("x", h.x);
    o.Double("y", h.y);
    o.Double("vx", h.vx);
    o.Double("vy", h.vy);
    o.Int("hp", h.hp);
    o.Int("sp", h.sp);
    o.Int("facing", h.facing);
    o.Int("dying", h.dying);
    o.Int("effect", h.effect);
  });
  AppendList(w.Key("chars"), t.chars, [&](const FrameTraceCharacter& c) {
    ObjectWriter o(out);
    o.Int("id", c.id);
    o.Int("def", c.def);
    o.Double("x", c.x);
    o.Double("y", c.y);
    o.Int("hp", c.hp);
    o.Int("present", c.present);
    o.Int("effect", c.effect);
  });
  AppendList(w.Key("items"), t.items, [&](const FrameTraceItem& i) {
    ObjectWriter o(out);
    o.Int("id", i.id);
    o.Int("def", i.def);
    o.Double("x", i.x);
    o.Double("y", i.y);
  });
  AppendList(w.Key("shots"), t.shots, [&](const FrameTraceShot& s) {
    ObjectWriter o(out);
    o.Double("x", s.x);
    o.Double("y", s.y);
    o.Int("owner", s.owner);
  });
  {
    ObjectWriter vars(w.Key("vars"));
    for (const auto& [name, value] : t.vars) vars.Int(name.c_str(), value);
  }
  w.Int("lives", t.lives);
  w.Int("score", t.score);
  w.Int("time", t.time);
  w.OptionalInt("music", t.music);
  AppendList(w.Key("sounds"), t.sounds, [&](int32_t n) { AppendInt(out, n); });
  AppendList(w.Key("messages"), t.messages, [&](const std::string& m) { AppendString(out, m); });
  AppendList(w.Key("effects"), t.effects, [&](const FrameTraceEffect& e) {
    ObjectWriter o(out);
    o.Int("number", e.number);
    o.Double("x", e.x);
    o.Double("y", e.y);
    o.Int("frame", e.frame);
  });
  AppendList(w.Key("pictures"), t.pictures, [&](const FrameTracePicture& p) {
    ObjectWriter o(out);
    o.Int("number", p.number);
    o.Int("x", p.x);
    o.Int("y", p.y);
    o.Int("shown", p.shown);
  });
  if (t.screen) {
    ObjectWriter o(w.Key("screen"));
    o.Int("number", t.screen->number);
    o.Int("kind", t.screen->kind);
    o.Double("value", t.screen->value);
  } else {
    w.Key("screen") += "null";
  }
  w.OptionalInt("end", t.end);
  if (t.result)
    AppendList(w.Key("result"), *t.result, [&](int32_t n) { AppendInt(out, n); });
  else
    w.Key("result") += "null";
  w.OptionalInt("hint", t.hint);
  return out;
}

void SetFrameTraceFiller(FrameTraceFiller filler) {
  std::lock_guard lock(g_hookMutex);
  g_filler = std::move(filler);
}

FrameTrace CaptureFrameTrace(uint32_t frame) {
  FrameTrace trace;
  trace.frame = frame;
  trace.scene = SceneManager.m_nCurrent.load();
  {
    std::lock_guard lock(g_noteMutex);
    trace.sounds.swap(g_sounds);
    trace.music = g_music;
    trace.result = g_result;
    trace.hint = g_hint;
  }
  FrameTraceFiller filler;
  {
    std::lock_guard lock(g_hookMutex);
    filler = g_filler;
  }
  if (filler) filler(trace);
  return trace;
}

void NoteTraceSound(int32_t number) {
  if (!g_watched.load()) return;
  std::lock_guard lock(g_noteMutex);
  g_sounds.push_back(number);
}

void NoteTraceMusic(std::optional<int32_t> track) {
  std::lock_guard lock(g_noteMutex);
  g_music = track;
}

void NoteTraceResult(const std::array<int32_t, 5>& values) {
  if (!g_watched.load()) return;
  std::lock_guard lock(g_noteMutex);
  g_result = values;
}

void NoteTraceHint(int32_t text) {
  if (!g_watched.load()) return;
  std::lock_guard lock(g_noteMutex);
  g_hint = text;
}

void SetFramePresentedObserver(FramePresentedObserver observer) {
  std::lock_guard lock(g_hookMutex);
  g_watched = static_cast<bool>(observer);
  g_observer = std::move(observer);
  if (!g_watched) {
    std::lock_guard notes(g_noteMutex);
    g_sounds.clear();
    g_result.reset();
    g_hint.reset();
  }
}

bool FramePresentedObserverInstalled() {
  std::lock_guard lock(g_hookMutex);
  return static_cast<bool>(g_observer);
}

void NotifyFramePresented() {
  FramePresentedObserver observer;
  {
    std::lock_guard lock(g_hookMutex);
    observer = g_observer;
  }
  if (!observer) return;  // nothing is noted while no run watches
  observer();
  {
    // What the frame showed is the frame's own: the next one notes afresh.
    std::lock_guard lock(g_noteMutex);
    g_result.reset();
    g_hint.reset();
  }
  // A scripted run's driver may be waiting for this frame.
  if (plat::VirtualClockActive()) plat::WakeVirtualClockDriver();
}

void ResetFrameTraceForTest() {
  {
    std::lock_guard lock(g_noteMutex);
    g_sounds.clear();
    g_music.reset();
    g_result.reset();
    g_hint.reset();
  }
  std::lock_guard lock(g_hookMutex);
  g_observer = nullptr;
  g_watched = false;  // no run watches: sounds and results are no longer noted
}

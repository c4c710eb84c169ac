#include "platform/window_host.h"

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/keys.h"
#include "platform/messages.h"
#include "support/sandbox.h"

namespace plat {
namespace {

// Waits that only a hang would end (ctest's timeout reports it).
constexpr uint32_t kForever = 0x7FFFFFFF;

Frame PatternFrame(uint32_t seed, uint32_t alpha = 0xFF000000u) {
  Frame f;
  f.pixels.resize(static_cast<size_t>(f.width) * static_cast<size_t>(f.height));
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      const uint32_t r = static_cast<uint32_t>(x * 7 + seed) & 0xFF;
      const uint32_t g = static_cast<uint32_t>(y * 3 + seed * 5) & 0xFF;
      const uint32_t b = static_cast<uint32_t>(x ^ y) & 0xFF;
      f.pixels[static_cast<size_t>(y) * f.width + x] = alpha | (r << 16) | (g << 8) | b;
    }
  }
  return f;
}

// A window entry on the test thread that records what reaches its procedure.
class MessageRecorder {
 public:
  MessageRecorder() {
    SetMainThread();
    window_ = CreateWindowEntry([this](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
      received_.push_back(Message{w, m, wp, lp});
      return 0;
    });
  }
  ~MessageRecorder() {
    DestroyWindowEntry(window_);
    SetMainQueueWaker({});
    DropQueue();
    ClearMainThread();
  }

  WindowHandle window() const { return window_; }

  // Dispatches everything queued and returns the messages of the given kind.
  std::vector<Message> Take(uint32_t message) {
    Message msg;
    while (PeekMessage(msg)) DispatchMessage(msg);
    std::vector<Message> out;
    for (const Message& m : received_) {
      if (m.message == message) out.push_back(m);
    }
    return out;
  }

 private:
  WindowHandle window_ = 0;
  std::vector<Message> received_;
};

// ---------------------------------------------------------------- headless

class HeadlessHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearKeyStates();
    host_ = MakeHeadlessWindowHost();
  }
  void TearDown() override { ClearKeyStates(); }

  std::unique_ptr<HeadlessWindowHost> host_;
};

TEST_F(HeadlessHostTest, KeepsTheNewestFramePresentedFromAnotherThread) {
  Frame out;
  EXPECT_FALSE(host_->LastFrame(out));
  EXPECT_EQ(host_->FramesPresented(), 0u);

  std::thread drawer([&] {
    for (uint32_t i = 1; i <= 3; ++i) host_->Present(PatternFrame(i));
  });
  drawer.join();
  EXPECT_EQ(host_->FramesPresented(), 3u);
  ASSERT_TRUE(host_->LastFrame(out));
  EXPECT_EQ(out.width, kScreenWidth);
  EXPECT_EQ(out.height, kScreenHeight);
  EXPECT_EQ(out.pixels, PatternFrame(3).pixels);

  // A frame whose pixels do not match its size is refused, not counted.
  Frame bad = PatternFrame(9);
  bad.pixels.pop_back();
  host_->Present(bad);
  EXPECT_EQ(host_->FramesPresented(), 3u);
  ASSERT_TRUE(host_->LastFrame(out));
  EXPECT_EQ(out.pixels, PatternFrame(3).pixels);
}

TEST_F(HeadlessHostTest, InjectedKeysReachTheWindowProcedure) {
  MessageRecorder rec;
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));

  host_->InjectKey('A', true);
  EXPECT_TRUE(IsKeyDown('A'));  // the table changes before any pump
  host_->InjectKey(VK_LSHIFT, true);
  host_->InjectKey(VK_LSHIFT, false);
  host_->InjectKey('A', false);
  EXPECT_TRUE(rec.Take(WM_KEYDOWN).empty());  // messages travel through PumpEvents

  host_->PumpEvents(0);
  const std::vector<Message> downs = rec.Take(WM_KEYDOWN);
  const std::vector<Message> ups = rec.Take(WM_KEYUP);
  ASSERT_EQ(downs.size(), 2u);
  ASSERT_EQ(ups.size(), 2u);
  EXPECT_EQ(downs[0].window, rec.window());
  EXPECT_EQ(downs[0].wParam, uint64_t{'A'});
  EXPECT_EQ(downs[0].lParam & (int64_t{1} << 30), 0);
  // Shift messages carry the generic code, as the games expect.
  EXPECT_EQ(downs[1].wParam, uint64_t{VK_SHIFT});
  EXPECT_EQ(ups[0].wParam, uint64_t{VK_SHIFT});
  EXPECT_EQ(ups[1].wParam, uint64_t{'A'});
  EXPECT_NE(ups[1].lParam & (int64_t{1} << 31), 0);
  EXPECT_FALSE(IsKeyDown('A'));
  EXPECT_FALSE(IsKeyDown(VK_SHIFT));

  host_->InjectMessage(WM_CLOSE, 0, 0);
  host_->PumpEvents(0);
  EXPECT_EQ(rec.Take(WM_CLOSE).size(), 1u);
}

TEST_F(HeadlessHostTest, FirstShowActivatesOnce) {
  MessageRecorder rec;
  host_->Show(SW_SHOW);  // no window yet: nothing to activate
  ASSERT_TRUE(host_->Create(rec.window(), 10, 20, kScreenWidth, kScreenHeight));
  EXPECT_FALSE(host_->Shown());
  host_->Show(SW_SHOWNORMAL);
  host_->Show(SW_SHOW);
  host_->Show(SW_HIDE);
  EXPECT_FALSE(host_->Shown());
  host_->Show(SW_SHOW);
  EXPECT_TRUE(host_->Shown());
  const std::vector<Message> activations = rec.Take(WM_ACTIVATEAPP);
  ASSERT_EQ(activations.size(), 1u);
  EXPECT_EQ(activations[0].wParam, 1u);

  // A new window is activated anew.
  host_->Destroy();
  EXPECT_FALSE(host_->Exists());
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));
  host_->Show(SW_SHOW);
  EXPECT_EQ(rec.Take(WM_ACTIVATEAPP).size(), 2u);
}

TEST_F(HeadlessHostTest, PumpWaitsUntilWokenOrTimedOut) {
  MessageRecorder rec;
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));
  host_->PumpEvents(30);  // nothing comes: it times out

  // A wake from another thread ends an endless wait, and so does a message
  // posted to the main thread's queue by another thread.
  std::thread waker([&] { host_->Wake(); });
  host_->PumpEvents(kForever);
  waker.join();
  std::thread poster([&] { PostMessage(rec.window(), WM_USER + 7, 0, 0); });
  host_->PumpEvents(kForever);
  poster.join();
  EXPECT_EQ(rec.Take(WM_USER + 7).size(), 1u);

  // An injection wakes it as well and is delivered by that pump.
  std::thread injector([&] { host_->InjectMessage(WM_USER + 8, 5, 6); });
  host_->PumpEvents(kForever);
  injector.join();
  const std::vector<Message> injected = rec.Take(WM_USER + 8);
  ASSERT_EQ(injected.size(), 1u);
  EXPECT_EQ(injected[0].wParam, 5u);
  EXPECT_EQ(injected[0].lParam, 6);
}

TEST(WindowHostChoiceTest, InstalledHostWinsThenEnvironmentChooses) {
  auto installed = MakeHeadlessWindowHost();
  WindowHost* raw = installed.get();
  SetWindowHost(std::move(installed));
  EXPECT_EQ(&GetWindowHost(), raw);

  ScopedEnv env;
  env.Set("PELMORA_HEADLESS", "1");
  SetWindowHost(nullptr);
  EXPECT_NE(dynamic_cast<HeadlessWindowHost*>(&GetWindowHost()), nullptr);
  EXPECT_EQ(&GetWindowHost(), &GetWindowHost());  // made once, then kept

  env.Unset("PELMORA_HEADLESS").Set("SDL_VIDEODRIVER", "dummy");
  SetWindowHost(nullptr);
  EXPECT_EQ(dynamic_cast<HeadlessWindowHost*>(&GetWindowHost()), nullptr);
  SetWindowHost(nullptr);
}

// ------------------------------------------------------------------- PNG

// Reads a PNG back as 0xAARRGGBB pixels.
bool LoadPng(const std::string& path, Frame& out) {
  SDL_Surface* loaded = IMG_Load(path.c_str());
  if (loaded == nullptr) return false;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  if (argb == nullptr) return false;
  out.width = argb->w;
  out.height = argb->h;
  out.pixels.resize(static_cast<size_t>(argb->w) * static_cast<size_t>(argb->h));
  for (int y = 0; y < argb->h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) + y * argb->pitch);
    std::copy(row, row + argb->w, out.pixels.begin() + static_cast<ptrdiff_t>(y) * argb->w);
  }
  SDL_FreeSurface(argb);
  return true;
}

TEST(SaveFramePngTest, WritesWhatTheScreenShows) {
  TempFolder dir("png");
  const Frame frame = PatternFrame(42);
  const std::string path = dir / "frame ü.png";  // UTF-8 names work
  ASSERT_TRUE(SaveFramePng(frame, path));
  Frame back;
  ASSERT_TRUE(LoadPng(path, back));
  EXPECT_EQ(back.width, frame.width);
  EXPECT_EQ(back.height, frame.height);
  EXPECT_EQ(back.pixels, frame.pixels);

  // The alpha byte is not shown on screen, so it does not reach the file.
  Frame clear = PatternFrame(7, 0x00000000u);
  ASSERT_TRUE(SaveFramePng(clear, dir / "clear.png"));
  ASSERT_TRUE(LoadPng(dir / "clear.png", back));
  EXPECT_EQ(back.pixels, PatternFrame(7).pixels);

  // Other sizes are kept as they are.
  Frame small;
  small.width = 3;
  small.height = 2;
  small.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu, 0xFF000000u, 0xFF123456u};
  ASSERT_TRUE(SaveFramePng(small, dir / "small.png"));
  ASSERT_TRUE(LoadPng(dir / "small.png", back));
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, small.pixels);
}

TEST(SaveFramePngTest, RefusesBadFramesAndReportsWriteFailures) {
  TempFolder dir("png");
  Frame bad = PatternFrame(1);
  bad.pixels.resize(10);
  EXPECT_FALSE(SaveFramePng(bad, dir / "bad.png"));
  EXPECT_NE(access((dir / "bad.png").c_str(), F_OK), 0);
  Frame negative;
  negative.width = -640;
  negative.height = -1;
  negative.pixels.resize(640);
  EXPECT_FALSE(SaveFramePng(negative, dir / "negative.png"));
  EXPECT_FALSE(SaveFramePng(PatternFrame(1), dir / "missing/folder/x.png"));
}

// ------------------------------------------------------- SDL, dummy driver

class SdlHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("SDL_VIDEODRIVER", "dummy");
    ClearKeyStates();
    host_ = MakeSdlWindowHost();
  }
  void TearDown() override {
    host_.reset();
    ClearKeyStates();
  }

  // The id of the only SDL window there is (the host's).
  static uint32_t HostWindowId() {
    for (uint32_t id = 1; id < 1000; ++id) {
      if (SDL_GetWindowFromID(id) != nullptr) return id;
    }
    return 0;
  }

  static void PushKey(uint32_t type, SDL_Scancode sc, bool repeat, uint32_t windowId) {
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    e.key.windowID = windowId;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.scancode = sc;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }

  ScopedEnv env_;
  std::unique_ptr<WindowHost> host_;
};

TEST_F(SdlHostTest, RunsWithoutADisplayAndActivatesOnShow) {
  MessageRecorder rec;
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));
  EXPECT_TRUE(host_->Exists());
  EXPECT_FALSE(host_->Shown());
  host_->PumpEvents(0);
  EXPECT_TRUE(rec.Take(WM_ACTIVATEAPP).empty());  // hidden windows are not active

  host_->SetTitle("\x83\x51\x81\x5B\x83\x80");  // "ゲーム" in CP932
  host_->Show(SW_SHOW);
  EXPECT_TRUE(host_->Shown());
  const Frame frame = PatternFrame(5);
  host_->Present(frame);
  host_->PumpEvents(0);
  host_->PumpEvents(0);
  const std::vector<Message> activations = rec.Take(WM_ACTIVATEAPP);
  ASSERT_EQ(activations.size(), 1u);
  EXPECT_EQ(activations[0].wParam, 1u);
  EXPECT_EQ(host_->FramesPresented(), 1u);
  Frame last;
  ASSERT_TRUE(host_->LastFrame(last));
  EXPECT_EQ(last.pixels, frame.pixels);

  const uint32_t id = HostWindowId();
  ASSERT_NE(id, 0u);
  EXPECT_STREQ(SDL_GetWindowTitle(SDL_GetWindowFromID(id)), "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0");

  // Nobody could answer a message box on this driver.
  EXPECT_EQ(host_->RunMessageBox(MessageBoxSpec{"t", "x", 0}), 0);

  const DesktopInfo desk = host_->Desktop();
  EXPECT_GT(desk.width, 0);
  EXPECT_GT(desk.height, 0);
  EXPECT_EQ(desk.bitsPerPixel, 32);  // SDL reports the dummy's RGB888 as 24 bits
  EXPECT_GT(desk.workArea.Width(), 0);

  host_->Destroy();
  EXPECT_FALSE(host_->Exists());
  EXPECT_EQ(HostWindowId(), 0u);
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));
  EXPECT_TRUE(host_->Exists());
}

TEST_F(SdlHostTest, TranslatesEventsIntoMessages) {
  MessageRecorder rec;
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));
  host_->Show(SW_SHOW);
  host_->PumpEvents(0);
  const uint32_t id = HostWindowId();
  ASSERT_NE(id, 0u);

  PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, false, id);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, true, id);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_RSHIFT, false, id);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_KP_HEXADECIMAL, false, id);  // no code: ignored
  host_->PumpEvents(0);
  EXPECT_TRUE(IsKeyDown('A'));
  EXPECT_TRUE(IsKeyDown(VK_RSHIFT));
  EXPECT_TRUE(IsKeyDown(VK_SHIFT));
  const std::vector<Message> downs = rec.Take(WM_KEYDOWN);
  ASSERT_EQ(downs.size(), 3u);
  EXPECT_EQ(downs[0].wParam, uint64_t{'A'});
  EXPECT_EQ(downs[0].lParam & (int64_t{1} << 30), 0);
  EXPECT_NE(downs[1].lParam & (int64_t{1} << 30), 0);  // the repeat
  EXPECT_EQ(downs[2].wParam, uint64_t{VK_SHIFT});

  PushKey(SDL_KEYUP, SDL_SCANCODE_A, false, id);
  host_->PumpEvents(0);
  EXPECT_FALSE(IsKeyDown('A'));
  const std::vector<Message> ups = rec.Take(WM_KEYUP);
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(ups[0].wParam, uint64_t{'A'});

  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.windowID = id;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = SDL_PRESSED;
  e.button.x = 100;
  e.button.y = 50;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  SDL_zero(e);
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = id;
  e.motion.x = 700;  // beyond the picture: clamped to its edge
  e.motion.y = 20;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = id;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  host_->PumpEvents(0);
  const std::vector<Message> clicks = rec.Take(WM_LBUTTONDOWN);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].lParam, (50 << 16) | 100);
  const std::vector<Message> moves = rec.Take(WM_MOUSEMOVE);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].lParam, (20 << 16) | 639);
  const std::vector<Message> closes = rec.Take(WM_CLOSE);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].wParam, 0u);
}

TEST_F(SdlHostTest, PresentFromAnotherThreadEndsTheWait) {
  MessageRecorder rec;
  ASSERT_TRUE(host_->Create(rec.window(), 0, 0, kScreenWidth, kScreenHeight));
  host_->Show(SW_SHOW);
  host_->PumpEvents(0);

  const Frame frame = PatternFrame(11);
  std::thread drawer([&] { host_->Present(frame); });
  host_->PumpEvents(kForever);
  drawer.join();
  EXPECT_EQ(host_->FramesPresented(), 1u);

  // A message posted to the main thread by another thread does too.
  std::thread poster([&] { PostMessage(rec.window(), WM_USER + 1, 0, 0); });
  host_->PumpEvents(kForever);
  poster.join();
  EXPECT_EQ(rec.Take(WM_USER + 1).size(), 1u);
}

}  // namespace
}  // namespace plat

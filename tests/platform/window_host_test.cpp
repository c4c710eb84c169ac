#include "platform/window_host.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/keys.h"
#include "platform/messages.h"
#include "platform/soft_draw.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"

namespace plat {
namespace {

// Waits that only a hang would end (ctest's timeout reports it).
constexpr uint32_t kForever = 0x7FFFFFFF;

Frame PatternFrame(uint32_t seed, uint32_t alpha = 0xFF000000u, int w = kScreenWidth, int h = kScreenHeight) {
  Frame f;
  f.width = w;
  f.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      f.pixels.push_back(alpha | ((x * 7 + seed) & 0xFF) << 16 | ((y * 3 + seed * 5) & 0xFF) << 8 | ((x ^ y) & 0xFF));
  return f;
}

// A window entry of the test thread (marked as the main one) that records
// what reaches its procedure.
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
    for (const Message& m : received_)
      if (m.message == message) out.push_back(m);
    return out;
  }

 private:
  WindowHandle window_ = 0;
  std::vector<Message> received_;
};

// Pumps without a time limit while `other` runs on a thread of its own: what
// it does must end the wait.
template <typename F>
void PumpWhile(WindowHost& host, F other) {
  std::thread t(other);
  host.PumpEvents(kForever);
  t.join();
}

// The wParam of each message, and whether lParam's bit `bit` is set.
std::vector<std::pair<uint64_t, bool>> Keys(const std::vector<Message>& messages, int bit) {
  std::vector<std::pair<uint64_t, bool>> out;
  for (const Message& m : messages) out.emplace_back(m.wParam, (m.lParam >> bit) & 1);
  return out;
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearKeyStates(); }
  void TearDown() override { ClearKeyStates(); }
  MessageRecorder rec_;
};

TEST_F(HostTest, HeadlessKeepsTheNewestWholeFrameAndActivatesOnFirstShow) {
  auto host = MakeHeadlessWindowHost();
  Frame out;
  EXPECT_FALSE(host->LastFrame(out));
  std::thread drawer([&] {
    for (uint32_t i = 1; i <= 3; ++i) {
      Frame frame = PatternFrame(i);  // Present may take the pixels: one each time
      host->Present(frame);
    }
  });
  drawer.join();
  Frame bad = PatternFrame(9);
  bad.pixels.pop_back();
  host->Present(bad);  // pixels that do not match the size: refused, not counted
  EXPECT_EQ(bad.pixels.size(), size_t{kScreenWidth} * kScreenHeight - 1);  // left with the caller
  EXPECT_EQ(host->FramesPresented(), 3u);
  ASSERT_TRUE(host->LastFrame(out));
  EXPECT_EQ(out.pixels, PatternFrame(3).pixels);

  host->Show(SW_SHOW);  // no window yet: nothing to activate
  ASSERT_TRUE(host->Create(rec_.window(), 10, 20, kScreenWidth, kScreenHeight));
  EXPECT_FALSE(host->Shown());
  for (int command : {SW_SHOWNORMAL, SW_SHOW, SW_HIDE}) host->Show(command);
  EXPECT_FALSE(host->Shown());
  host->Show(SW_SHOW);
  EXPECT_TRUE(host->Shown());
  EXPECT_EQ(rec_.Take(WM_ACTIVATEAPP).size(), 1u);
}

TEST_F(HostTest, HeadlessInjectedKeysTravelThroughThePumpWhichWakesOnAnyEvent) {
  auto host = MakeHeadlessWindowHost();
  ASSERT_TRUE(host->Create(rec_.window(), 0, 0, kScreenWidth, kScreenHeight));
  host->InjectKey('A', true);
  EXPECT_TRUE(IsKeyDown('A'));  // the table changes before any pump
  host->InjectKey(VK_LSHIFT, true);
  host->InjectKey(VK_LSHIFT, false);
  host->InjectKey('A', false);
  EXPECT_TRUE(rec_.Take(WM_KEYDOWN).empty());  // messages travel through PumpEvents
  host->PumpEvents(0);
  // Bit 30 of a press: held before; bit 31 of a release: going up. Shift
  // comes as the generic code, as the games expect.
  using Keys_ = std::vector<std::pair<uint64_t, bool>>;
  EXPECT_EQ(Keys(rec_.Take(WM_KEYDOWN), 30), (Keys_{{'A', false}, {VK_SHIFT, false}}));
  EXPECT_EQ(Keys(rec_.Take(WM_KEYUP), 31), (Keys_{{VK_SHIFT, true}, {'A', true}}));
  EXPECT_FALSE(IsKeyDown('A'));

  host->PumpEvents(30);  // nothing comes: it times out
  // A wake, a message posted to the main thread and an injection from
  // another thread each end an endless wait; the injection is delivered.
  PumpWhile(*host, [&] { host->Wake(); });
  PumpWhile(*host, [&] { PostMessage(rec_.window(), WM_USER + 7, 0, 0); });
  EXPECT_EQ(rec_.Take(WM_USER + 7).size(), 1u);
  PumpWhile(*host, [&] { host->InjectMessage(WM_USER + 8, 5, 6); });
  const std::vector<Message> injected = rec_.Take(WM_USER + 8);
  ASSERT_EQ(injected.size(), 1u);
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

// Reads a PNG back (an empty frame when it cannot).
Frame LoadPng(const std::string& path) {
  Frame out;
  std::vector<uint32_t> pixels;
  if (!LoadSdlPixels(path, out.width, out.height, pixels)) out.width = out.height = 0;
  out.pixels.assign(pixels.begin(), pixels.end());
  return out;
}

TEST(SaveFramePngTest, WritesWhatTheScreenShowsAndRefusesWhatItCannot) {
  TempFolder dir("png");
  // The alpha byte is not shown on screen, so it does not reach the file;
  // other sizes are kept as they are; UTF-8 names work.
  struct Case {
    uint32_t seed, alpha;
    int w, h;
  } cases[] = {{42, 0xFF000000u, kScreenWidth, kScreenHeight}, {7, 0, kScreenWidth, kScreenHeight}, {3, 0xFF000000u, 3, 2}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SaveFramePng(PatternFrame(c.seed, c.alpha, c.w, c.h), dir / "frame ü.png"));
    const Frame back = LoadPng(dir / "frame ü.png"), want = PatternFrame(c.seed, 0xFF000000u, c.w, c.h);
    EXPECT_EQ(std::tie(back.width, back.height, back.pixels), std::tie(want.width, want.height, want.pixels));
  }
  Frame negative = PatternFrame(1, 0xFF000000u, 640, 1);
  negative.width = -640, negative.height = -1;
  EXPECT_FALSE(SaveFramePng(negative, dir / "negative.png"));
  EXPECT_NE(access((dir / "negative.png").c_str(), F_OK), 0);
  EXPECT_FALSE(SaveFramePng(PatternFrame(1), dir / "missing/folder/x.png"));
}

// The SDL host on SDL's dummy driver: no display is needed.
class SdlHostTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    env_.Set("SDL_VIDEODRIVER", "dummy");
    host_ = MakeSdlWindowHost();
    ASSERT_TRUE(host_->Create(rec_.window(), 0, 0, kScreenWidth, kScreenHeight));
  }
  void TearDown() override {
    host_.reset();
    HostTest::TearDown();
  }
  // The id of the only SDL window there is (the host's).
  static uint32_t HostWindowId() {
    for (uint32_t id = 1; id < 1000; ++id)
      if (SDL_GetWindowFromID(id) != nullptr) return id;
    return 0;
  }
  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); }
  static void PushKey(uint32_t type, SDL_Scancode sc, bool repeat, uint32_t windowId) {
    SDL_Event e{};
    e.key = {type, 0, windowId, uint8_t(type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED), uint8_t(repeat), 0, 0, {}};
    e.key.keysym.scancode = sc;
    Push(e);
  }
  ScopedEnv env_;
  std::unique_ptr<WindowHost> host_;
};

TEST_F(SdlHostTest, ShowsFramesFromAnyThreadActivatesOnShowAndHasNoBoxToOffer) {
  EXPECT_TRUE(host_->Exists());
  host_->PumpEvents(0);
  EXPECT_TRUE(rec_.Take(WM_ACTIVATEAPP).empty());  // hidden windows are not active
  host_->SetTitle("\x83\x51\x81\x5B\x83\x80");     // "ゲーム" in CP932
  host_->Show(SW_SHOW);
  // A frame presented from another thread ends the wait, and so does a
  // message posted to the main thread.
  const Frame frame = PatternFrame(5);
  Frame handedOver = frame;
  PumpWhile(*host_, [&] { host_->Present(handedOver); });
  PumpWhile(*host_, [&] { PostMessage(rec_.window(), WM_USER + 1, 0, 0); });
  host_->PumpEvents(0);
  EXPECT_EQ(rec_.Take(WM_USER + 1).size(), 1u);
  ASSERT_EQ(rec_.Take(WM_ACTIVATEAPP).size(), 1u);
  EXPECT_EQ(host_->FramesPresented(), 1u);
  Frame last;
  ASSERT_TRUE(host_->LastFrame(last));
  EXPECT_EQ(last.pixels, frame.pixels);
  ASSERT_NE(HostWindowId(), 0u);
  EXPECT_STREQ(SDL_GetWindowTitle(SDL_GetWindowFromID(HostWindowId())), "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0");
  EXPECT_EQ(host_->RunMessageBox(MessageBoxSpec{"t", "x", 0}), 0);  // nobody could answer it
  EXPECT_EQ(host_->Desktop().bitsPerPixel, 32);  // SDL reports the dummy's RGB888 as 24 bits
  host_->Destroy();
  EXPECT_FALSE(host_->Exists());
  EXPECT_EQ(HostWindowId(), 0u);
}

TEST_F(SdlHostTest, TranslatesEventsIntoMessages) {
  host_->Show(SW_SHOW);
  host_->PumpEvents(0);
  const uint32_t id = HostWindowId();
  ASSERT_NE(id, 0u);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, false, id);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, true, id);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_RSHIFT, false, id);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_KP_HEXADECIMAL, false, id);  // no code: ignored
  PushKey(SDL_KEYUP, SDL_SCANCODE_A, false, id);
  SDL_Event e{};
  e.button = {SDL_MOUSEBUTTONDOWN, 0, id, 0, SDL_BUTTON_LEFT, SDL_PRESSED, 1, 0, 100, 50};
  Push(e);
  e = {};
  e.motion = {SDL_MOUSEMOTION, 0, id, 0, 0, 700, 20, 0, 0};  // x beyond the picture: clamped to its edge
  Push(e);
  e = {};
  e.window = {SDL_WINDOWEVENT, 0, id, SDL_WINDOWEVENT_CLOSE, 0, 0, 0, 0, 0};
  Push(e);
  host_->PumpEvents(0);
  EXPECT_FALSE(IsKeyDown('A'));
  EXPECT_TRUE(IsKeyDown(VK_RSHIFT) && IsKeyDown(VK_SHIFT));
  using Keys_ = std::vector<std::pair<uint64_t, bool>>;  // the repeat has bit 30 set
  EXPECT_EQ(Keys(rec_.Take(WM_KEYDOWN), 30), (Keys_{{'A', false}, {'A', true}, {VK_SHIFT, false}}));
  EXPECT_EQ(rec_.Take(WM_KEYUP).size(), 1u);
  const std::vector<Message> clicks = rec_.Take(WM_LBUTTONDOWN), moves = rec_.Take(WM_MOUSEMOVE);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_TRUE(IsKeyDown(VK_LBUTTON));  // the button's level, for the game's mouse reads
  EXPECT_EQ(clicks[0].lParam, (50 << 16) | 100);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].lParam, (20 << 16) | 639);
  const std::vector<Message> closes = rec_.Take(WM_CLOSE);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].wParam, 0u);
}

// What the window shows: the renderer's output read back as 0xAARRGGBB.
decltype(Frame::pixels) ShownPixels(uint32_t windowId) {
  SDL_Renderer* renderer = SDL_GetRenderer(SDL_GetWindowFromID(windowId));
  decltype(Frame::pixels) pixels(size_t{kScreenWidth} * kScreenHeight);
  if (renderer == nullptr ||
      SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), kScreenWidth * 4) != 0)
    pixels.clear();
  return pixels;
}

// Frames change hands by swaps among three buffers, and a frame equal to the
// last is counted but not taken. The drawer below converts as ImageToFrame
// does (it tells whether its buffer changed). Whatever the order of presents
// (P a new picture, S the same again, O the one before the newest), pumps
// (U) and scribbles over the drawer's own buffer (X), the newest picture is
// what LastFrame gives and what the window shows.
TEST_F(SdlHostTest, TheNewestFrameIsShownWhateverTheOrderOfPresentsAndPumps) {
  host_->Destroy();
  Frame drawn;
  uint32_t newest = 0, older = 0;
  uint64_t presents = 0;
  auto present = [&](uint32_t seed) {
    const Frame want = PatternFrame(seed);
    const bool changed = drawn.pixels != want.pixels;
    if (changed) drawn.pixels = want.pixels;
    host_->Present(drawn, changed);
    if (seed != newest) older = newest;
    newest = seed;
    ++presents;
  };
  present(1);  // before the window exists: shown once it is
  ASSERT_TRUE(host_->Create(rec_.window(), 0, 0, kScreenWidth, kScreenHeight));
  host_->Show(SW_SHOW);
  host_->PumpEvents(0);
  ASSERT_EQ(ShownPixels(HostWindowId()), PatternFrame(1).pixels);

  const char* const orders[] = {"PU",   "PPU",   "PUU",    "PPPUPU",    "UPPUUPU", "PSU",
                                "PSSU", "PUSXSU", "PPOU", "PSPOSU", "PSPPOOUSU", "UPXPOSOU"};
  uint32_t seed = 2;
  for (const char* order : orders) {
    for (const char* op = order; *op; ++op) {
      SCOPED_TRACE(testing::Message() << order << " at " << (op - order));
      switch (*op) {
        case 'P': present(seed++); break;
        case 'S': present(newest); break;
        case 'O': present(older); break;
        case 'X': std::fill(drawn.pixels.begin(), drawn.pixels.end(), 0xFFDEADBEu); break;
        default:
          host_->PumpEvents(0);
          EXPECT_EQ(ShownPixels(HostWindowId()), PatternFrame(newest).pixels);
          break;
      }
      Frame last;
      ASSERT_TRUE(host_->LastFrame(last));
      EXPECT_EQ(last.pixels, PatternFrame(newest).pixels);
    }
  }
  EXPECT_EQ(host_->FramesPresented(), presents);

  // A window made again gets the newest frame without a new present.
  host_->Destroy();
  ASSERT_TRUE(host_->Create(rec_.window(), 0, 0, kScreenWidth, kScreenHeight));
  host_->Show(SW_SHOW);
  host_->PumpEvents(0);
  EXPECT_EQ(ShownPixels(HostWindowId()), PatternFrame(newest).pixels);
}

// Presents compared by the caller with the pixels the host shows: equal
// pictures are counted and not taken, new ones are taken without another
// comparison, and the pixels given for the comparison are always the newest
// picture's, in both hosts.
void PresentComparedSequence(WindowHost& host, const std::function<void(uint32_t)>& check) {
  Frame drawn;
  uint64_t presents = host.FramesPresented();
  for (uint32_t seed : {1u, 1u, 2u, 2u, 2u, 1u, 3u, 3u, 4u}) {
    SCOPED_TRACE(testing::Message() << "picture " << seed << " after " << presents << " presents");
    const Frame want = PatternFrame(seed);
    const uint32_t* shown = host.LastPresentedPixels();
    const bool differs = shown == nullptr || !std::equal(want.pixels.begin(), want.pixels.end(), shown);
    if (differs) {
      drawn = want;
    } else {
      drawn.pixels.assign(want.pixels.size(), 0xFFDEADBEu);  // what the caller's buffer holds does not matter
      drawn.width = want.width, drawn.height = want.height;
    }
    const uint32_t* handed = drawn.pixels.data();
    host.PresentCompared(drawn, differs);
    EXPECT_EQ(drawn.pixels.data() == handed, !differs) << "taken only when it differs";
    EXPECT_EQ(host.FramesPresented(), ++presents);
    ASSERT_NE(host.LastPresentedPixels(), nullptr);
    EXPECT_TRUE(std::equal(want.pixels.begin(), want.pixels.end(), host.LastPresentedPixels()));
    Frame last;
    ASSERT_TRUE(host.LastFrame(last));
    EXPECT_EQ(last.pixels, want.pixels);
    check(seed);
  }
}

TEST_F(HostTest, HeadlessPresentsComparedWithTheShownFrame) {
  auto host = MakeHeadlessWindowHost();
  EXPECT_EQ(host->LastPresentedPixels(), nullptr);
  PresentComparedSequence(*host, [](uint32_t) {});
}

TEST_F(SdlHostTest, PresentsComparedWithTheShownFrame) {
  host_->Show(SW_SHOW);
  PresentComparedSequence(*host_, [&](uint32_t seed) {
    host_->PumpEvents(0);
    EXPECT_EQ(ShownPixels(HostWindowId()), PatternFrame(seed).pixels);
  });
}

// A drawing thread's presenter over either host: pictures that repeat, that
// change in a few rows, and that come back, presented in any order with the
// main thread's pumps between them; the newest picture is always what the
// host holds and what the window shows, while equal pictures are counted
// and not handed over.
void PresenterSequence(WindowHost& host, const std::function<void(const Frame&)>& pumpAndCheck) {
  auto picture = [](int variant) {
    PixelImage image;
    image.Allocate(kScreenWidth, kScreenHeight, FormatX8R8G8B8());
    for (int y = 0; y < kScreenHeight; ++y)
      for (int x = 0; x < kScreenWidth; ++x) image.Set(x, y, uint32_t(x * 7 + y * 13));
    const int rows[] = {-1, 100, 300, 0, 479};  // the row each variant changes
    if (variant > 0)
      for (int x = 0; x < kScreenWidth; x += 3) image.Set(x, rows[variant], uint32_t(variant * 0x10101));
    if (variant == 2)  // 2 also keeps 1's change
      for (int x = 0; x < kScreenWidth; x += 3) image.Set(x, 100, 0x10101);
    return image;
  };
  FramePresenter presenter;
  uint64_t presents = host.FramesPresented();
  int newest = -1;
  for (const char* op = "0011U12U22304U1234UU0U4433U"; *op; ++op) {
    SCOPED_TRACE(testing::Message() << "step " << (op - "0011U12U22304U1234UU0U4433U") << " '" << *op << "'");
    Frame want;
    if (*op == 'U') {
      ImageToFrame(picture(newest), nullptr, want);
      pumpAndCheck(want);
      continue;
    }
    newest = *op - '0';
    presenter.Present(picture(newest), nullptr, host);
    EXPECT_EQ(host.FramesPresented(), ++presents);
    ImageToFrame(picture(newest), nullptr, want);
    Frame last;
    ASSERT_TRUE(host.LastFrame(last));
    EXPECT_EQ(last.pixels, want.pixels);
  }
}

TEST_F(HostTest, HeadlessShowsEveryPictureOfAPresenter) {
  auto host = MakeHeadlessWindowHost();
  PresenterSequence(*host, [](const Frame&) {});
}

TEST_F(SdlHostTest, ShowsEveryPictureOfAPresenterWhateverThePumps) {
  host_->Show(SW_SHOW);
  PresenterSequence(*host_, [&](const Frame& want) {
    host_->PumpEvents(0);
    EXPECT_EQ(ShownPixels(HostWindowId()), want.pixels);
  });
}

// Frames handed over with the set of rows that changed: the window copies
// only those rows, in runs, and keeps the rest. Scattered rows, runs at
// both edges, sets that add up over frames shown together (no pump between
// them), and a frame that changes nothing: the window always shows the
// newest frame whole.
TEST_F(SdlHostTest, ShowsTheChangedRowsOfComparedFrames) {
  host_->Show(SW_SHOW);
  Frame shown = PatternFrame(1);
  Frame drawn = shown;
  host_->PresentCompared(drawn, true);
  host_->PumpEvents(0);
  ASSERT_EQ(ShownPixels(HostWindowId()), shown.pixels);
  struct Step {
    std::vector<std::pair<int, int>> runs;  // first and last row of each changed run
    bool pump;                              // the window shows the frame before the next comes
  };
  const Step steps[] = {
      {{{0, 0}, {2, 2}, {479, 479}}, true}, {{{1, 1}}, false},           {{{200, 210}, {300, 300}}, true},
      {{{0, 479}}, true},                   {{{5, 5}}, false},           {{{6, 6}, {470, 479}}, false},
      {{}, true},                           {{{100, 101}, {103, 103}}, true},
  };
  uint32_t seed = 2;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    FrameRows changed;
    const Frame pattern = PatternFrame(seed++);
    int first = kScreenHeight, last = -1;
    for (auto [top, bottom] : step.runs)
      for (int y = top; y <= bottom; ++y) {
        changed.set(static_cast<size_t>(y));
        first = std::min(first, y), last = std::max(last, y);
        std::copy_n(pattern.pixels.begin() + y * kScreenWidth, kScreenWidth, shown.pixels.begin() + y * kScreenWidth);
      }
    drawn = shown;
    host_->PresentCompared(drawn, changed.any(), first, last, &changed);
    if (step.pump) {
      host_->PumpEvents(0);
      EXPECT_EQ(ShownPixels(HostWindowId()), shown.pixels);
    }
  }
}

// The game hides the cursor in full screen by its display counter (from its
// own thread); the host makes SDL follow it and shows it again when the
// window goes.
TEST_F(SdlHostTest, MouseCursorFollowsTheDisplayCounter) {
  const int before = CursorDisplayCount();
  host_->Show(SW_SHOW);
  for (int count : {0, -1, -2, -1, 0, 1, -1}) {
    RestoreCursorCount(count);
    host_->PumpEvents(0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), count >= 0 ? SDL_ENABLE : SDL_DISABLE) << count;
  }
  host_->Destroy();  // the count is still -1
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  RestoreCursorCount(before);
}

// A window the player may resize takes the largest whole scale of the
// picture that fits whatever size it is given; one that may not keeps the
// size; full screen covers the whole display from its corner (also where no
// window manager takes the window into its full-screen state).
TEST_F(SdlHostTest, AResizedWindowKeepsWholeScalesAndFullScreenCoversTheDisplay) {
  host_->SetResizable(true);
  host_->Show(SW_SHOW);
  host_->PumpEvents(0);
  SDL_Window* window = SDL_GetWindowFromID(HostWindowId());
  ASSERT_NE(window, nullptr);
  struct Row {
    int width, height, keptWidth, keptHeight;
  };
  for (const Row& row : {Row{1000, 800, 640, 480}, Row{1300, 990, 1280, 960}, Row{1920, 1400, 1280, 960},
                         Row{1920, 1440, 1920, 1440}, Row{500, 400, 640, 480}}) {
    SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
    SDL_SetWindowSize(window, row.width, row.height);  // as the window manager would
    for (int i = 0; i < 3; ++i) host_->PumpEvents(0);
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, row.keptWidth);
    EXPECT_EQ(h, row.keptHeight);
    EXPECT_EQ(host_->ClientRectOnScreen().Width(), row.keptWidth);
  }
  rec_.Take(WM_SIZE);
  host_->SetResizable(false);
  SDL_SetWindowSize(window, 1000, 800);
  for (int i = 0; i < 3; ++i) host_->PumpEvents(0);
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(1000, 800));
  EXPECT_FALSE(rec_.Take(WM_SIZE).empty());  // the game still hears of it

  SDL_Rect display{};
  ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
  host_->SetFullScreen(true);
  host_->Show(SW_MAXIMIZE);  // a full-screen window is not maximised over
  for (int i = 0; i < 3; ++i) host_->PumpEvents(0);
  const Rect client = host_->ClientRectOnScreen();
  EXPECT_EQ(client.left, display.x);
  EXPECT_EQ(client.top, display.y);
  EXPECT_EQ(client.Width(), display.w);
  EXPECT_EQ(client.Height(), display.h);
  EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
}

}  // namespace
}  // namespace plat

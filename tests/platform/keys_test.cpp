#include "platform/keys.h"

#include <SDL_scancode.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace plat {
namespace {

// Key codes as the games store them in their key configurations.
TEST(KeysTest, ScancodesGiveTheStoredKeyCodesAndBackAgain) {
  // One or two of every kind of key: letters, digits, function keys, the
  // number pad, punctuation, the Japanese keys, editing and modifiers.
  const struct { int scancode, vk; } cases[] = {
      {SDL_SCANCODE_A, 0x41}, {SDL_SCANCODE_Z, 0x5A}, {SDL_SCANCODE_0, 0x30}, {SDL_SCANCODE_9, 0x39},
      {SDL_SCANCODE_F1, 0x70}, {SDL_SCANCODE_F24, 0x87}, {SDL_SCANCODE_KP_0, 0x60}, {SDL_SCANCODE_KP_DIVIDE, 0x6F},
      {SDL_SCANCODE_KP_ENTER, 0x0D}, {SDL_SCANCODE_NUMLOCKCLEAR, 0x90}, {SDL_SCANCODE_SEMICOLON, 0xBA},
      {SDL_SCANCODE_GRAVE, 0xC0}, {SDL_SCANCODE_APOSTROPHE, 0xDE}, {SDL_SCANCODE_INTERNATIONAL1, 0xE2},
      {SDL_SCANCODE_INTERNATIONAL3, 0xDC}, {SDL_SCANCODE_INTERNATIONAL4, 0x1C}, {SDL_SCANCODE_INTERNATIONAL2, 0xF2},
      {SDL_SCANCODE_ESCAPE, 0x1B}, {SDL_SCANCODE_PAUSE, 0x13}, {SDL_SCANCODE_PAGEUP, 0x21},
      {SDL_SCANCODE_DOWN, 0x28}, {SDL_SCANCODE_DELETE, 0x2E}, {SDL_SCANCODE_LSHIFT, 0xA0}, {SDL_SCANCODE_RALT, 0xA5},
      {SDL_SCANCODE_CANCEL, 0x03}, {SDL_SCANCODE_COMPUTER, 0xB6}, {SDL_SCANCODE_CALCULATOR, 0xB7},
      {SDL_SCANCODE_CRSEL, 0xF7}, {SDL_SCANCODE_EXSEL, 0xF8},
  };
  for (const auto& c : cases) EXPECT_EQ(VirtualKeyFromScancode(c.scancode), c.vk) << "scancode " << c.scancode;
  // Codes outside the table and outside SDL's range have no key; generic
  // modifiers are states, not keys.
  for (int sc : {int{SDL_SCANCODE_UNKNOWN}, int{SDL_SCANCODE_KP_HEXADECIMAL}, -1, int{SDL_NUM_SCANCODES}})
    EXPECT_EQ(VirtualKeyFromScancode(sc), 0) << sc;
  for (int vk : {0, 256, -5, int{VK_SHIFT}}) EXPECT_EQ(ScancodeFromVirtualKey(vk), 0) << vk;
  // Keys sharing one code answer with the main keyboard's key.
  EXPECT_EQ(ScancodeFromVirtualKey(VK_RETURN), SDL_SCANCODE_RETURN);
  EXPECT_EQ(ScancodeFromVirtualKey(0xDC), SDL_SCANCODE_BACKSLASH);

  // Every key reached from a scancode leads back to a scancode of itself,
  // and the whole keyboard is there, not a few keys.
  int keys = 0;
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    const int vk = VirtualKeyFromScancode(sc);
    if (vk == 0) continue;
    ASSERT_TRUE(vk > 0 && vk < 256) << sc;
    keys += ScancodeFromVirtualKey(vk) == sc;
    EXPECT_EQ(VirtualKeyFromScancode(ScancodeFromVirtualKey(vk)), vk) << "vk " << vk;
  }
  EXPECT_GE(keys, 140);
  for (int vk = 1; vk < 256; ++vk)
    if (const int sc = ScancodeFromVirtualKey(vk)) {
      EXPECT_EQ(VirtualKeyFromScancode(sc), vk) << "vk " << vk;
    }
}

class KeyStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearKeyStates(); }
  void TearDown() override { ClearKeyStates(); }
  static uint16_t Query(int vk) { return static_cast<uint16_t>(GetAsyncKeyState(vk)); }
};

TEST_F(KeyStateTest, EitherSideHoldsTheGenericModifier) {
  const int sides[][3] = {{VK_LSHIFT, VK_RSHIFT, VK_SHIFT},
                          {VK_LCONTROL, VK_RCONTROL, VK_CONTROL},
                          {VK_LMENU, VK_RMENU, VK_MENU}};
  for (const auto& s : sides) {
    const int left = s[0], right = s[1], generic = s[2];
    SetKeyState(left, true);
    EXPECT_TRUE(IsKeyDown(generic));
    EXPECT_FALSE(IsKeyDown(right));
    EXPECT_EQ(Query(generic), 0x8001u);
    SetKeyState(right, true);
    // Still held from before: no new press of the generic key.
    EXPECT_EQ(Query(generic), 0x8000u);
    SetKeyState(left, false);
    EXPECT_TRUE(IsKeyDown(generic)) << generic;
    SetKeyState(right, false);
    EXPECT_FALSE(IsKeyDown(generic)) << generic;
    EXPECT_EQ(Query(generic), 0u);
  }
  // Other keys leave the modifiers alone.
  SetKeyState('A', true);
  EXPECT_FALSE(IsKeyDown(VK_SHIFT) || IsKeyDown(VK_CONTROL) || IsKeyDown(VK_MENU));
}

TEST_F(KeyStateTest, KeysWithSeveralCodesHoldThemAll) {
  // A configuration may hold any code the key ever reported.
  const int twins[][3] = {{0xF3, 0xF4, 0x19}, {0xF2, 0xF5, 0xF5}};
  for (const auto& t : twins) {
    SetKeyState(VirtualKeyFromScancode(ScancodeFromVirtualKey(t[0])), true);
    EXPECT_TRUE(IsKeyDown(t[1]) && IsKeyDown(t[2])) << t[0];
    SetKeyState(t[0], false);
    EXPECT_FALSE(IsKeyDown(t[1]) || IsKeyDown(t[2])) << t[0];
  }
  EXPECT_FALSE(IsKeyDown(0xF0));
}

TEST_F(KeyStateTest, AsyncQueryReportsPressesSinceThePreviousQuery) {
  EXPECT_EQ(Query(VK_SPACE), 0u);
  SetKeyState(VK_SPACE, true);
  EXPECT_EQ(Query(VK_SPACE), 0x8001u);
  EXPECT_EQ(Query(VK_SPACE), 0x8000u);
  SetKeyState(VK_SPACE, true);  // a key repeat is no new press
  EXPECT_EQ(Query(VK_SPACE), 0x8000u);
  SetKeyState(VK_SPACE, false);
  EXPECT_EQ(Query(VK_SPACE), 0u);

  // A tap between two queries is not lost.
  SetKeyState(VK_RETURN, true);
  SetKeyState(VK_RETURN, false);
  EXPECT_FALSE(IsKeyDown(VK_RETURN));
  EXPECT_EQ(Query(VK_RETURN), 0x0001u);
  EXPECT_EQ(Query(VK_RETURN), 0u);
  SetKeyState('X', true);
  EXPECT_LT(GetAsyncKeyState('X'), 0);  // bit 15 makes the signed value negative
  // Codes outside the table are ignored.
  SetKeyState(300, true), SetKeyState(-1, true);
  EXPECT_EQ(Query(300), 0u);
  EXPECT_FALSE(IsKeyDown(-1));
}

TEST_F(KeyStateTest, APressIsReportedToOneQueryOnly) {
  // Two threads poll the same key; the press bit must go to exactly one.
  for (int round = 0; round < 200; ++round) {
    SetKeyState(VK_UP, true);
    std::atomic<int> seen{0};
    auto poll = [&] { seen += GetAsyncKeyState(VK_UP) & 1; };
    std::thread a(poll), b(poll);
    a.join(), b.join();
    ASSERT_EQ(seen.load(), 1) << "round " << round;
    SetKeyState(VK_UP, false);
  }
}

}  // namespace
}  // namespace plat

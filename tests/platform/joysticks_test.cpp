#include "platform/joysticks.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <tuple>

namespace plat {
namespace {

TEST(JoystickPositionTest, StickAndHatGiveOnePosition) {
  struct Case {
    int32_t x, y;
    uint8_t hat;
    uint32_t wantX, wantY;
  };
  const Case cases[] = {
      {0, 0, 0, 32768, 32768},           {-32768, 32767, 0, 0, 65535},
      {32767, -32768, 0, 65535, 0},      {-100000, 100000, 0, 0, 65535},  // out of range: the ends
      {0, 0, kHatLeft | kHatUp, 0, 0},   {0, 0, kHatRight | kHatDown, 65535, 65535},
      {32767, 0, kHatLeft, 0, 32768},    // a pressed hat outranks the stick on its axis
      {-32768, 20000, kHatUp, 0, 0},     {0, 0, kHatLeft | kHatRight, 0, 32768},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " hat " << int{c.hat});
    JoystickState s;
    s.axisX = c.x, s.axisY = c.y, s.hat = c.hat, s.buttons = 0x80000001u;
    const JoystickPosition p = PositionOf(s);
    EXPECT_EQ(p.x, c.wantX);
    EXPECT_EQ(p.y, c.wantY);
    EXPECT_EQ(p.buttons, 0x80000001u);
  }
}

// SDL's own virtual devices stand in for pads: the SDL implementation is
// tested as the game uses it, through slots, updates and hot plugging.
class SdlJoysticksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    devices_ = MakeSdlJoysticks();
    devices_->Update();  // brings SDL's joystick support up
    ASSERT_NE(SDL_WasInit(SDL_INIT_GAMECONTROLLER), 0u);
    SDL_JoystickUpdate();
    base_ = SDL_NumJoysticks();
  }
  void TearDown() override {
    for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
      if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
    devices_.reset();
  }
  // Attaches a pad: a game controller (with SDL's standard layout) or a plain
  // joystick of 2 axes, 12 buttons and a hat. Returns its SDL device index.
  static int Attach(bool controller, const char* name) {
    SDL_VirtualJoystickDesc d{};
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
    d.naxes = controller ? SDL_CONTROLLER_AXIS_MAX : 2;
    d.nbuttons = controller ? SDL_CONTROLLER_BUTTON_MAX : 12;
    d.nhats = controller ? 0 : 1;
    d.name = name;
    return SDL_JoystickAttachVirtualEx(&d);
  }
  static SDL_Joystick* Opened(const char* name) {
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      SDL_Joystick* j = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(i));
      if (j && SDL_strcmp(SDL_JoystickName(j), name) == 0) return j;
    }
    return nullptr;
  }
  static void Detach(const char* name) {
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_strcmp(SDL_JoystickNameForIndex(i), name) == 0) SDL_JoystickDetachVirtual(i);
  }

  std::unique_ptr<JoystickDevices> devices_;
  int base_ = 0;
};

TEST_F(SdlJoysticksTest, PadsAreReadThroughTheirSlotsAndComeAndGo) {
  if (base_ != 0) GTEST_SKIP() << "a real joystick is connected";
  JoystickPosition p;
  EXPECT_FALSE(devices_->Read(0, p));

  ASSERT_GE(Attach(false, "stick"), 0);
  ASSERT_GE(Attach(true, "pad"), 0);
  devices_->Update();
  ASSERT_EQ(devices_->Count(), 2);
  JoystickInfo stickInfo, padInfo;
  ASSERT_TRUE(devices_->Info(0, stickInfo));
  ASSERT_TRUE(devices_->Info(1, padInfo));
  EXPECT_EQ(stickInfo.name, "stick");
  EXPECT_FALSE(stickInfo.controller);
  EXPECT_TRUE(padInfo.controller);

  // A plain joystick: first two axes, buttons in order, the hat.
  SDL_Joystick* stick = Opened("stick");
  ASSERT_NE(stick, nullptr);
  SDL_JoystickSetVirtualAxis(stick, 0, -32768);
  SDL_JoystickSetVirtualButton(stick, 0, 1);
  SDL_JoystickSetVirtualButton(stick, 9, 1);
  SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_DOWN);
  // A controller: left stick, face buttons first, triggers as buttons 12 and
  // 13, the direction pad as a hat.
  SDL_Joystick* pad = Opened("pad");
  ASSERT_NE(pad, nullptr);
  SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 32767);
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_B, 1);
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_START, 1);
  SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
  devices_->Update();
  auto read = [&](int slot) {
    JoystickPosition q;
    return devices_->Read(slot, q) ? std::tuple(q.x, q.y, q.buttons) : std::tuple(~0u, ~0u, ~0u);
  };
  EXPECT_EQ(read(0), std::tuple(0u, 65535u, (1u << 0) | (1u << 9)));
  EXPECT_EQ(read(1), std::tuple(65535u, 0u, (1u << 1) | (1u << 7) | (1u << 12)));

  // Pulled out: its slot reads nothing and the other keeps its own; plugged
  // in again it takes the lowest free slot.
  Detach("stick");
  devices_->Update();
  EXPECT_FALSE(devices_->Read(0, p));
  EXPECT_TRUE(devices_->Read(1, p));
  EXPECT_EQ(devices_->Count(), 1);
  ASSERT_GE(Attach(false, "stick again"), 0);
  devices_->Update();
  ASSERT_TRUE(devices_->Info(0, stickInfo));
  EXPECT_EQ(stickInfo.name, "stick again");
  EXPECT_EQ(read(0), std::tuple(32768u, 32768u, 0u));  // centred, nothing pressed
}

}  // namespace
}  // namespace plat

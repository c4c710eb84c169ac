#include "platform/keys.h"

#include <SDL_scancode.h>

#include <array>
#include <atomic>
#include <cstddef>

namespace plat {
namespace {

// The codes of the key table that keys.h does not name. Stored key
// configurations hold these values, so they must not change.
enum : int {
  VK_CANCEL = 0x03, VK_CLEAR = 0x0C, VK_CAPITAL = 0x14, VK_KANA = 0x15, VK_CONVERT = 0x1C, VK_NONCONVERT = 0x1D,
  VK_SELECT = 0x29, VK_EXECUTE = 0x2B, VK_SNAPSHOT = 0x2C, VK_HELP = 0x2F,
  VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_SLEEP = 0x5F,
  VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C,
  VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F13 = 0x7C,
  VK_NUMLOCK = 0x90, VK_SCROLL = 0x91, VK_OEM_NEC_EQUAL = 0x92,
  VK_BROWSER_BACK = 0xA6, VK_BROWSER_FORWARD = 0xA7, VK_BROWSER_REFRESH = 0xA8,
  VK_BROWSER_STOP = 0xA9, VK_BROWSER_SEARCH = 0xAA, VK_BROWSER_FAVORITES = 0xAB,
  VK_BROWSER_HOME = 0xAC, VK_VOLUME_MUTE = 0xAD, VK_VOLUME_DOWN = 0xAE, VK_VOLUME_UP = 0xAF,
  VK_MEDIA_NEXT_TRACK = 0xB0, VK_MEDIA_PREV_TRACK = 0xB1, VK_MEDIA_STOP = 0xB2,
  VK_MEDIA_PLAY_PAUSE = 0xB3, VK_LAUNCH_MAIL = 0xB4, VK_LAUNCH_MEDIA_SELECT = 0xB5,
  VK_LAUNCH_APP1 = 0xB6, VK_LAUNCH_APP2 = 0xB7,
  VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD,
  VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC,
  VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE, VK_OEM_102 = 0xE2,
  // Keys of Japanese keyboards (eisu, katakana, hiragana, hankaku/zenkaku).
  VK_DBE_ALPHANUMERIC = 0xF0, VK_DBE_KATAKANA = 0xF1, VK_DBE_HIRAGANA = 0xF2,
  VK_DBE_SBCSCHAR = 0xF3, VK_DBE_DBCSCHAR = 0xF4, VK_DBE_ROMAN = 0xF5, VK_KANJI = 0x19,
  VK_CRSEL = 0xF7, VK_EXSEL = 0xF8,
};

struct KeyPair {
  int vk;
  int scancode;
};

// Key positions follow the US layout, as the stored codes assume. Where several keys share a code, the first pair is the one
// ScancodeFromVirtualKey answers with.
constexpr KeyPair kFixedPairs[] = {
    {VK_CANCEL, SDL_SCANCODE_CANCEL},
    {VK_BACK, SDL_SCANCODE_BACKSPACE},
    {VK_TAB, SDL_SCANCODE_TAB},
    {VK_CLEAR, SDL_SCANCODE_CLEAR},
    {VK_RETURN, SDL_SCANCODE_RETURN},
    {VK_RETURN, SDL_SCANCODE_KP_ENTER},  // both Enters are one key to a game
    {VK_PAUSE, SDL_SCANCODE_PAUSE},
    {VK_CAPITAL, SDL_SCANCODE_CAPSLOCK},
    {VK_ESCAPE, SDL_SCANCODE_ESCAPE},
    {VK_SPACE, SDL_SCANCODE_SPACE},
    {VK_PRIOR, SDL_SCANCODE_PAGEUP},
    {VK_NEXT, SDL_SCANCODE_PAGEDOWN},
    {VK_END, SDL_SCANCODE_END},
    {VK_HOME, SDL_SCANCODE_HOME},
    {VK_LEFT, SDL_SCANCODE_LEFT},
    {VK_UP, SDL_SCANCODE_UP},
    {VK_RIGHT, SDL_SCANCODE_RIGHT},
    {VK_DOWN, SDL_SCANCODE_DOWN},
    {VK_SELECT, SDL_SCANCODE_SELECT},
    {VK_EXECUTE, SDL_SCANCODE_EXECUTE},
    {VK_SNAPSHOT, SDL_SCANCODE_PRINTSCREEN},
    {VK_INSERT, SDL_SCANCODE_INSERT},
    {VK_DELETE, SDL_SCANCODE_DELETE},
    {VK_HELP, SDL_SCANCODE_HELP},
    {VK_LWIN, SDL_SCANCODE_LGUI},
    {VK_RWIN, SDL_SCANCODE_RGUI},
    {VK_APPS, SDL_SCANCODE_APPLICATION},
    {VK_SLEEP, SDL_SCANCODE_SLEEP},
    {VK_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY},
    {VK_ADD, SDL_SCANCODE_KP_PLUS},
    {VK_SEPARATOR, SDL_SCANCODE_KP_COMMA},
    {VK_SUBTRACT, SDL_SCANCODE_KP_MINUS},
    {VK_DECIMAL, SDL_SCANCODE_KP_PERIOD},
    {VK_DIVIDE, SDL_SCANCODE_KP_DIVIDE},
    {VK_NUMLOCK, SDL_SCANCODE_NUMLOCKCLEAR},
    {VK_SCROLL, SDL_SCANCODE_SCROLLLOCK},
    {VK_OEM_NEC_EQUAL, SDL_SCANCODE_KP_EQUALS},
    {VK_LSHIFT, SDL_SCANCODE_LSHIFT},
    {VK_RSHIFT, SDL_SCANCODE_RSHIFT},
    {VK_LCONTROL, SDL_SCANCODE_LCTRL},
    {VK_RCONTROL, SDL_SCANCODE_RCTRL},
    {VK_LMENU, SDL_SCANCODE_LALT},
    {VK_RMENU, SDL_SCANCODE_RALT},
    {VK_BROWSER_BACK, SDL_SCANCODE_AC_BACK},
    {VK_BROWSER_FORWARD, SDL_SCANCODE_AC_FORWARD},
    {VK_BROWSER_REFRESH, SDL_SCANCODE_AC_REFRESH},
    {VK_BROWSER_STOP, SDL_SCANCODE_AC_STOP},
    {VK_BROWSER_SEARCH, SDL_SCANCODE_AC_SEARCH},
    {VK_BROWSER_FAVORITES, SDL_SCANCODE_AC_BOOKMARKS},
    {VK_BROWSER_HOME, SDL_SCANCODE_AC_HOME},
    {VK_VOLUME_MUTE, SDL_SCANCODE_MUTE},
    {VK_VOLUME_MUTE, SDL_SCANCODE_AUDIOMUTE},  // keyboards report either
    {VK_VOLUME_DOWN, SDL_SCANCODE_VOLUMEDOWN},
    {VK_VOLUME_UP, SDL_SCANCODE_VOLUMEUP},
    {VK_MEDIA_NEXT_TRACK, SDL_SCANCODE_AUDIONEXT},
    {VK_MEDIA_PREV_TRACK, SDL_SCANCODE_AUDIOPREV},
    {VK_MEDIA_STOP, SDL_SCANCODE_AUDIOSTOP},
    {VK_MEDIA_PLAY_PAUSE, SDL_SCANCODE_AUDIOPLAY},
    {VK_LAUNCH_MAIL, SDL_SCANCODE_MAIL},
    {VK_LAUNCH_MEDIA_SELECT, SDL_SCANCODE_MEDIASELECT},
    // The launch keys are "My Computer" and "Calculator" on PC keyboards.
    {VK_LAUNCH_APP1, SDL_SCANCODE_COMPUTER},
    {VK_LAUNCH_APP2, SDL_SCANCODE_CALCULATOR},
    {VK_CRSEL, SDL_SCANCODE_CRSEL},
    {VK_EXSEL, SDL_SCANCODE_EXSEL},
    {VK_OEM_1, SDL_SCANCODE_SEMICOLON},
    {VK_OEM_PLUS, SDL_SCANCODE_EQUALS},
    {VK_OEM_COMMA, SDL_SCANCODE_COMMA},
    {VK_OEM_MINUS, SDL_SCANCODE_MINUS},
    {VK_OEM_PERIOD, SDL_SCANCODE_PERIOD},
    {VK_OEM_2, SDL_SCANCODE_SLASH},
    {VK_OEM_3, SDL_SCANCODE_GRAVE},
    {VK_OEM_4, SDL_SCANCODE_LEFTBRACKET},
    {VK_OEM_5, SDL_SCANCODE_BACKSLASH},
    // The ISO '#' key sits where the US backslash is and sends its scan code;
    // the Japanese yen key reports the backslash code as well.
    {VK_OEM_5, SDL_SCANCODE_NONUSHASH},
    {VK_OEM_5, SDL_SCANCODE_INTERNATIONAL3},
    {VK_OEM_6, SDL_SCANCODE_RIGHTBRACKET},
    {VK_OEM_7, SDL_SCANCODE_APOSTROPHE},
    // The Japanese "ro" key (backslash/underscore) and the ISO key left of Z
    // share one code.
    {VK_OEM_102, SDL_SCANCODE_INTERNATIONAL1},
    {VK_OEM_102, SDL_SCANCODE_NONUSBACKSLASH},
    {VK_DBE_HIRAGANA, SDL_SCANCODE_INTERNATIONAL2},  // katakana/hiragana key
    {VK_CONVERT, SDL_SCANCODE_INTERNATIONAL4},       // henkan
    {VK_NONCONVERT, SDL_SCANCODE_INTERNATIONAL5},    // muhenkan
    {VK_KANA, SDL_SCANCODE_LANG1},                   // kana (Apple JIS), hangul
    {VK_DBE_ALPHANUMERIC, SDL_SCANCODE_LANG2},       // eisu (Apple JIS)
    {VK_DBE_KATAKANA, SDL_SCANCODE_LANG3},
    {VK_DBE_HIRAGANA, SDL_SCANCODE_LANG4},
    {VK_DBE_SBCSCHAR, SDL_SCANCODE_LANG5},           // hankaku/zenkaku
};

struct KeyTables {
  std::array<uint8_t, SDL_NUM_SCANCODES> vkOfScancode{};
  std::array<uint16_t, 256> scancodeOfVk{};

  constexpr void Add(int vk, int scancode) {
    if (vkOfScancode[static_cast<size_t>(scancode)] == 0) {
      vkOfScancode[static_cast<size_t>(scancode)] = static_cast<uint8_t>(vk);
    }
    if (scancodeOfVk[static_cast<size_t>(vk)] == 0) {
      scancodeOfVk[static_cast<size_t>(vk)] = static_cast<uint16_t>(scancode);
    }
  }
};

constexpr KeyTables BuildTables() {
  KeyTables t;
  for (int i = 0; i < 26; ++i) t.Add('A' + i, SDL_SCANCODE_A + i);
  // SDL orders the digit row 1..9, 0.
  for (int i = 1; i <= 9; ++i) t.Add('0' + i, SDL_SCANCODE_1 + (i - 1));
  t.Add('0', SDL_SCANCODE_0);
  for (int i = 0; i < 12; ++i) t.Add(VK_F1 + i, SDL_SCANCODE_F1 + i);
  for (int i = 0; i < 12; ++i) t.Add(VK_F13 + i, SDL_SCANCODE_F13 + i);
  // Keypad digits: SDL orders them 1..9, 0 as well.
  for (int i = 1; i <= 9; ++i) t.Add(VK_NUMPAD0 + i, SDL_SCANCODE_KP_1 + (i - 1));
  t.Add(VK_NUMPAD0, SDL_SCANCODE_KP_0);
  for (const KeyPair& p : kFixedPairs) t.Add(p.vk, p.scancode);
  return t;
}

constexpr KeyTables kTables = BuildTables();

// One entry per code: bit 0 down, bit 1 pressed since the last query, bit 2
// pressed since the last poll (TakeKeyPoll).
constexpr uint8_t kDown = 0x01;
constexpr uint8_t kPressed = 0x02;
constexpr uint8_t kPressedSincePoll = 0x04;
std::atomic<uint8_t> g_keyState[256];

bool ValidCode(int virtualKey) { return virtualKey > 0 && virtualKey < 256; }

void StoreKey(int virtualKey, bool down) {
  std::atomic<uint8_t>& entry = g_keyState[virtualKey];
  if (!down) {
    entry.fetch_and(static_cast<uint8_t>(~kDown));
    return;
  }
  // Only the transition from up to down counts as a press; key repeats do not.
  uint8_t old = entry.load();
  uint8_t next;
  do {
    next = static_cast<uint8_t>(old | kDown | ((old & kDown) ? 0 : kPressed | kPressedSincePoll));
  } while (!entry.compare_exchange_weak(old, next));
}

// Keys of Japanese keyboards that report other codes by input mode or with
// Alt: hankaku/zenkaku (also the kanji code), katakana/hiragana (romaji).
struct KeyTwins {
  int vk;
  int twins[2];
};
constexpr KeyTwins kTwins[] = {
    {VK_DBE_SBCSCHAR, {VK_DBE_DBCSCHAR, VK_KANJI}},
    {VK_DBE_HIRAGANA, {VK_DBE_ROMAN, 0}},
};

int GenericOf(int virtualKey, int* left, int* right) {
  switch (virtualKey) {
    case VK_LSHIFT: case VK_RSHIFT:
      *left = VK_LSHIFT; *right = VK_RSHIFT; return VK_SHIFT;
    case VK_LCONTROL: case VK_RCONTROL:
      *left = VK_LCONTROL; *right = VK_RCONTROL; return VK_CONTROL;
    case VK_LMENU: case VK_RMENU:
      *left = VK_LMENU; *right = VK_RMENU; return VK_MENU;
    default:
      return 0;
  }
}

}  // namespace

int VirtualKeyFromScancode(int sdlScancode) {
  if (sdlScancode <= 0 || sdlScancode >= SDL_NUM_SCANCODES) return 0;
  return kTables.vkOfScancode[static_cast<size_t>(sdlScancode)];
}

int ScancodeFromVirtualKey(int virtualKey) {
  if (!ValidCode(virtualKey)) return SDL_SCANCODE_UNKNOWN;
  return kTables.scancodeOfVk[static_cast<size_t>(virtualKey)];
}

void SetKeyState(int virtualKey, bool down) {
  if (!ValidCode(virtualKey)) return;
  StoreKey(virtualKey, down);
  for (const KeyTwins& t : kTwins)
    if (t.vk == virtualKey)
      for (int twin : t.twins)
        if (twin != 0) StoreKey(twin, down);
  int left = 0, right = 0;
  if (int generic = GenericOf(virtualKey, &left, &right)) {
    StoreKey(generic, IsKeyDown(left) || IsKeyDown(right));
  }
}

bool IsKeyDown(int virtualKey) {
  if (!ValidCode(virtualKey)) return false;
  return (g_keyState[virtualKey].load() & kDown) != 0;
}

int16_t GetAsyncKeyState(int virtualKey) {
  if (!ValidCode(virtualKey)) return 0;
  uint8_t state = g_keyState[virtualKey].fetch_and(static_cast<uint8_t>(~kPressed));
  uint16_t bits = static_cast<uint16_t>(((state & kDown) ? 0x8000u : 0u) | ((state & kPressed) ? 1u : 0u));
  return static_cast<int16_t>(bits);
}

KeyPoll TakeKeyPoll() {
  KeyPoll poll;
  for (int vk = 1; vk < 256; ++vk) {
    const uint8_t state = g_keyState[vk].fetch_and(static_cast<uint8_t>(~kPressedSincePoll));
    if (state & (kDown | kPressedSincePoll)) poll.Set(vk);
  }
  return poll;
}

void ClearKeyStates() {
  for (std::atomic<uint8_t>& entry : g_keyState) entry.store(0);
}

}  // namespace plat

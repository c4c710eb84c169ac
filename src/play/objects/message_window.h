// Message windows of stage play: a text window opened by the message
// command (or an invisible timed entry), kept in the stage's window list and
// stepped once per drawn frame by the stage drawing.
//
// A text window's text may name game variables ("#C12", "#S3_Z4"); they are
// expanded when the window opens and, with refresh on, every few frames
// while it is up. The window sits at a screen position, on a block of the
// screen or the stage, or follows a character; with keep-on-screen it is
// pushed back inside the 640 x 480 screen (below the 20-dot status line).
//
// A text window draws its text once into a surface of its own (filled with
// palette colour 0 first, so the text has that colour behind it wherever it
// is not the colour key) and copies that surface with its colour key onto
// the screen every frame; the text is drawn again only when it changes or
// the surface lost its contents.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "gfx/dd.h"

// The text surfaces of the stage's text windows and their settings records,
// one pair per window, in the order the windows made them (a window that
// must grow or shrink makes its new surface at the place of the old one).
extern cSafeList<DDSURFACEDATA> MessageSurfaces;
extern cSafeList<DDSURFACEINFO> MessageSurfaceInfos;

// Styles: an invisible timed entry, a text window, a small icon (a graphic
// at half size) and the extra-life picture; the two pop-ups rise one dot
// every 4 of their 30 frames.
enum MessageStyle : int32_t { kMessageInvisible = 0, kMessageText = 1, kMessageIcon = 2, kMessageExtraLife = 3 };
inline constexpr int32_t kMessagePopUpFrames = 30;
enum MessageDisplay : int32_t { kMessageUntilDecide = 0, kMessageUntilStageEnd = 1, kMessageTimed = 2 };

// Expanded texts are cut (at a character boundary) at this many bytes, and
// a window is never measured larger than kMaxMessageSize dots either way.
inline constexpr size_t kMaxMessageTextBytes = 4096;
inline constexpr int32_t kMaxMessageSize = 4096;
// Frames of the opening animation of the frame box.
inline constexpr int32_t kMessageOpeningFrames = 10;

// How a window is made, in the message command's terms.
struct cMessageSettings {
  int32_t style = kMessageText;
  std::string text;
  int32_t iconKind = 0, iconNumber = 0, iconRow = 0;  // kMessageIcon: the graphic drawn small
  int32_t positionMode = 0;  // 0 centre, 1-3 self, 4-6 hero (above/below/centred), 7 screen block, 8 stage block
  int32_t column = 0, row = 0;
  int32_t offsetX = 0, offsetY = 0;
  int32_t keepOnScreen = 0;
  int32_t fixPosition = 0;
  int32_t displayMode = kMessageUntilDecide;
  int32_t remainingFrames = 0;
  int32_t keepCounting = 0;  // a timed window counts on still frames too
  int32_t followedId = 0;
  int32_t noOpening = 0;
  int32_t expand = 0;
  int32_t refresh = 0;
  int32_t refreshInterval = 0;
  int32_t frame = 0;  // text inside the font's frame box
  int32_t idFlag = 0;
  int32_t windowId = 0;
};

// Reads variable n (1..1000) of the common (true) or stage (false) set;
// false when there is no such variable.
using MessageVariableReader = std::function<bool(bool common, int32_t n, int32_t& value)>;

// "#", then C/S and digits, then optionally "_" with Z (leading zeros), P
// (plus sign) and one width digit; a closing "." belongs to the reference.
// References that name no variable in 1..1000 stay as typed. Two-byte
// characters are copied whole, so a "#" as their second byte starts nothing.
std::string ExpandMessageText(std::string_view text, const MessageVariableReader& read);

// The text as typed, cut at kMaxMessageTextBytes on a character boundary.
std::string BoundMessageText(std::string_view text);

// What a window's placement depends on this frame.
struct cMessageView {
  double scrollX = 0, scrollY = 0;
  int32_t columnOffset = 0, rowOffset = 0;  // stage block (0, 0) in map cells
};
// A followed object: screen position of its body, body size and margins.
struct cMessageAnchor {
  int32_t x = 0, y = 0, width = 0, height = 0, marginX = 0, marginY = 0;
};

// Pushes a w x h window at (x, y) back onto the screen.
void KeepMessageOnScreen(int32_t& x, int32_t& y, int32_t w, int32_t h);

class cMessageWindow {
 public:
  explicit cMessageWindow(const cMessageSettings& settings) { Set(settings); }
  // Deletes the text surface if the window still has one.
  ~cMessageWindow();
  cMessageWindow(const cMessageWindow&) = delete;
  cMessageWindow& operator=(const cMessageWindow&) = delete;
  // (Re)sets the window: expands and measures its text, restarts the opening.
  // A text window then draws its text into its surface: the one it has when
  // `keepSurface` is set and the size is unchanged, else a new one (made at
  // the old one's place in the list). A surface that cannot be made closes
  // the game (WM_CLOSE); the window then shows nothing.
  void Set(const cMessageSettings& settings, int32_t keepSurface = 0);
  // The window's top-left corner this frame (pinning and keep-on-screen
  // applied). Modes 1-6 need the followed object (`anchor`, null when gone).
  void Place(const cMessageView& view, const cMessageAnchor* anchor, int32_t& x, int32_t& y);
  // One drawn frame on the running stage; true when the window is finished
  // (its time ran out or its followed object is gone).
  bool Update(DDSURFACEDATA* dst, int32_t still);
  // Draws the window at (x, y), stepping the opening animation.
  void Draw(DDSURFACEDATA* dst, int32_t x, int32_t y);
  // The text surface: palette colour 0 all over, then the shown text at
  // (1, 1), inside the font's frame box with the frame flag.
  void DrawTextSurface();
  // The size the game font gives `text` (2 dots of border each way).
  static void MeasureText(const std::string& text, int32_t& width, int32_t& height);

  cMessageSettings m_Settings;
  std::string m_strShown;  // after expansion
  int32_t m_nWidth = 0, m_nHeight = 0;
  int32_t m_bOpening = 0;
  double m_dOpening = 0;
  int32_t m_bPositionTaken = 0, m_nTakenX = 0, m_nTakenY = 0;
  // Where the last frame drew it, a pop-up's rise included (tests read it:
  // a window updated without a surface to draw on draws nothing).
  int32_t m_nDrawnX = 0, m_nDrawnY = 0;
  // The text window's surface in MessageSurfaces (its settings record goes
  // with it in MessageSurfaceInfos); null for the other styles.
  DDSURFACEDATA* m_lpSurface = nullptr;

 private:
  // Makes the text surface (width x height) at `index` of the lists, or at
  // their end for an index past it; false (WM_CLOSE posted) when it cannot.
  bool CreateTextSurface(int32_t index);
  // Deletes the text surface; its place in the lists, or -1 when it had none.
  int32_t DeleteTextSurface();
};

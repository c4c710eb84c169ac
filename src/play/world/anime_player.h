// The cell-animation player of everything that moves on a stage (stage
// objects, a character's running animations, effect objects). It turns a set
// of animations and a tick count into a cell number of the owner's graphic;
// the owner draws that cell itself. Game thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/safe_containers.h"

// One frame of an animation. A cell of 0 or more is shown for `duration`
// Steps; a negative cell is a code that ends the animation:
//   -1 hold the last cell frame for good, -2 loop to frame 0,
//   -3 jump to animation `duration` (forced), any other negative value is an
//   end code that Step and GetCell hand back (-4: a running animation is over).
struct cAnimeFrameEntry {
  int32_t cell = 0;
  int32_t duration = 0;  // Steps for a cell; the target animation for -3
  int32_t uninterruptible = 0;  // set: SetAnime/ChangeAnime without force refuse
  bool operator==(const cAnimeFrameEntry&) const = default;
};

// Codes of the cell field.
enum : int32_t {
  kAnimeHold = -1,
  kAnimeLoop = -2,
  kAnimeJump = -3,
  kAnimeEnd = -4,
};

// Element size written in the "err V" line of a bad frame or animation index.
template <>
struct LegacyElementSize<cAnimeFrameEntry> {
  static constexpr int value = 12;
};

class cAnimePlayer {
 public:
  using Anime = cSafeVector<cAnimeFrameEntry>;
  using AnimeSet = cSafeVector<Anime>;

  // Takes a zero-terminated array of frame arrays, one per animation; each
  // array runs up to and including its first frame with a negative cell.
  // A null list changes nothing. Animation, frame and tick start at 0.
  void SetAnimeSet(const cAnimeFrameEntry* const* list);
  // The same from frame vectors (as the characters build them from their
  // animation definitions): each animation keeps its leading cell frames and
  // the code frame that ends them; one that has no code frame gets a hold.
  void SetAnimeSet(const std::vector<std::vector<cAnimeFrameEntry>>& animes);

  // 1 when animation n starts (frame 0, tick 0); 0 when refused because the
  // current frame is uninterruptible and force is 0.
  int SetAnime(int32_t n, int force);
  // As SetAnime, except that asking for the current animation answers 1 and
  // lets it run on.
  int ChangeAnime(int32_t n, int force);
  // Advances one tick and returns the cell (or code) current afterwards.
  // An empty player returns 0.
  int32_t Step();
  // The cell (or code) of the current frame, without advancing.
  int32_t GetCell() const;

  bool Empty() const { return Animes().empty(); }
  // The animations. Players given equal ones share a single copy (a stage's
  // thousands of characters of one kind read one set, which stays in the
  // caches); a set never changes once made, a new one replaces it.
  const AnimeSet& Animes() const { return m_pAnimes ? *m_pAnimes : NoAnimes(); }
  // No animations any more (the indices stay).
  void ClearAnimes() { m_pAnimes.reset(); }

  int32_t m_nAnime = 0;  // current animation index
  int32_t m_nFrame = 0;  // current frame index within it
  int32_t m_nTick = 0;   // Steps made since the current frame became current

 private:
  static const AnimeSet& NoAnimes();
  // Starts `set` at animation 0 (through the shared copies).
  void Take(AnimeSet set);
  // The current frame, or null when the indices point at nothing.
  const cAnimeFrameEntry* Current() const;

  std::shared_ptr<const AnimeSet> m_pAnimes;
};

// The frame lists of the objects that have no animation definition of their
// own (zero-terminated, for SetAnimeSet).
// Stage item: cell 0 for 15, cell 1 for 15, loop; every frame uninterruptible.
extern const cAnimeFrameEntry* const kItemAnimeSet[];
// Shot: animation 0 cells 0, 1, 2 for 7 each then the end code -4;
// animation 1 cells 0, 1 for 8 each then loop.
extern const cAnimeFrameEntry* const kShotAnimeSet[];

#include "play/anime_player.h"

#include "base/logs.h"

namespace {

// Appends to `anime` the leading cell frames of a frame array and the code
// frame that ends them.
template <class Frames>
void TakeFrames(cAnimePlayer::Anime& anime, const Frames& frames, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    anime.push_back(frames[i]);
    if (frames[i].cell < 0) return;
  }
  // A list that ran out without a code frame holds its last cell.
  anime.push_back({kAnimeHold, 0, anime.empty() ? 0 : anime.back().uninterruptible});
}

// The value a code frame shows when it is current itself: end codes are
// handed back for the owner to act on; hold, loop and jump frames are only
// current when an animation has no cell to show, which draws cell 0.
int32_t ShownCell(int32_t cell) {
  return (cell == kAnimeHold || cell == kAnimeLoop || cell == kAnimeJump) ? 0 : cell;
}

}  // namespace

void cAnimePlayer::SetAnimeSet(const cAnimeFrameEntry* const* list) {
  if (!list) return;
  m_Animes.clear();
  m_nAnime = m_nFrame = m_nTick = 0;
  for (; *list; ++list) {
    Anime anime;
    const cAnimeFrameEntry* frames = *list;
    for (size_t i = 0;; ++i) {
      anime.push_back(frames[i]);
      if (frames[i].cell < 0) break;
    }
    m_Animes.push_back(std::move(anime));
  }
}

void cAnimePlayer::SetAnimeSet(const std::vector<std::vector<cAnimeFrameEntry>>& animes) {
  m_Animes.clear();
  m_nAnime = m_nFrame = m_nTick = 0;
  for (const auto& frames : animes) {
    Anime anime;
    TakeFrames(anime, frames, frames.size());
    m_Animes.push_back(std::move(anime));
  }
}

const cAnimeFrameEntry* cAnimePlayer::Current() const {
  if (m_nAnime < 0 || static_cast<size_t>(m_nAnime) >= m_Animes.size()) return nullptr;
  const Anime& anime = m_Animes[m_nAnime];
  if (m_nFrame < 0 || static_cast<size_t>(m_nFrame) >= anime.size()) return nullptr;
  return &anime[m_nFrame];
}

int cAnimePlayer::SetAnime(int32_t n, int force) {
  if (!force) {
    const cAnimeFrameEntry* frame = Current();
    if (frame && frame->uninterruptible) return 0;
  }
  m_nAnime = n;
  m_nFrame = 0;
  m_nTick = 0;
  // An animation number outside the set is reported (and closes the game)
  // by the checked access; the player then shows nothing until restarted.
  if (!m_Animes.empty()) m_Animes.At(n);
  return 1;
}

int cAnimePlayer::ChangeAnime(int32_t n, int force) {
  if (n == m_nAnime) return 1;
  return SetAnime(n, force);
}

int32_t cAnimePlayer::GetCell() const {
  const cAnimeFrameEntry* frame = Current();
  return frame ? ShownCell(frame->cell) : 0;
}

int32_t cAnimePlayer::Step() {
  if (m_Animes.empty()) return 0;
  const cAnimeFrameEntry* frame = Current();
  // A code frame that is current stays so: stepping on past an end code or a
  // bare hold would leave the animation.
  if (!frame || frame->cell < 0) return frame ? ShownCell(frame->cell) : 0;

  if (++m_nTick >= frame->duration) {
    m_nTick = 0;
    ++m_nFrame;
    const Anime& anime = m_Animes[m_nAnime];
    if (static_cast<size_t>(m_nFrame) >= anime.size()) m_nFrame = static_cast<int32_t>(anime.size()) - 1;
    const cAnimeFrameEntry& next = anime[m_nFrame];
    switch (next.cell) {
      case kAnimeJump:
        if (next.duration >= 0 && static_cast<size_t>(next.duration) < m_Animes.size()) {
          SetAnime(next.duration, 1);
        } else {
          // A jump to an animation the set does not have holds the last cell;
          // the fault is logged once a run, not on every pass of the hold.
          static bool logged = false;
          if (!logged) {
            logged = true;
            WriteReportAndECLog("anime jump target %d outside %d animes", next.duration,
                                static_cast<int>(m_Animes.size()));
          }
          --m_nFrame;
        }
        break;
      case kAnimeLoop:
        m_nFrame = 0;
        break;
      case kAnimeHold:
        --m_nFrame;
        break;
      default:
        break;
    }
  }
  return GetCell();
}

namespace {
constexpr cAnimeFrameEntry kItemFrames[] = {{0, 15, 1}, {1, 15, 1}, {kAnimeLoop, 0, 1}};
constexpr cAnimeFrameEntry kShotFrames0[] = {{0, 7, 0}, {1, 7, 0}, {2, 7, 0}, {kAnimeEnd, 0, 0}};
constexpr cAnimeFrameEntry kShotFrames1[] = {{0, 8, 0}, {1, 8, 0}, {kAnimeLoop, 0, 0}};
}  // namespace

const cAnimeFrameEntry* const kItemAnimeSet[] = {kItemFrames, nullptr};
const cAnimeFrameEntry* const kShotAnimeSet[] = {kShotFrames0, kShotFrames1, nullptr};

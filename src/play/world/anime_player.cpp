#include "play/world/anime_player.h"

#include <functional>
#include <mutex>
#include <unordered_map>

#include "base/logs.h"

namespace {

// The sets in use, by a hash of their frames: a set equal to one of them is
// handed out as that one. Entries of sets no player holds any more are
// dropped as their hash comes round again.
struct cSharedSets {
  std::mutex mutex;
  std::unordered_multimap<size_t, std::weak_ptr<const cAnimePlayer::AnimeSet>> sets;

  static size_t Hash(const cAnimePlayer::AnimeSet& set) {
    size_t h = set.size();
    const auto mix = [&h](int32_t v) { h = (h ^ std::hash<int32_t>()(v)) * 0x100000001b3ULL; };
    for (const cAnimePlayer::Anime& anime : set) {
      mix(static_cast<int32_t>(anime.size()));
      for (const cAnimeFrameEntry& f : anime) {
        mix(f.cell);
        mix(f.duration);
        mix(f.uninterruptible);
      }
    }
    return h;
  }

  std::shared_ptr<const cAnimePlayer::AnimeSet> Share(cAnimePlayer::AnimeSet set) {
    const size_t h = Hash(set);
    std::lock_guard<std::mutex> lock(mutex);
    auto [first, last] = sets.equal_range(h);
    for (auto it = first; it != last;) {
      std::shared_ptr<const cAnimePlayer::AnimeSet> held = it->second.lock();
      if (!held) {
        it = sets.erase(it);
        continue;
      }
      if (*held == set) return held;
      ++it;
    }
    auto made = std::make_shared<const cAnimePlayer::AnimeSet>(std::move(set));
    sets.emplace(h, made);
    return made;
  }
};

cSharedSets& SharedSets() {
  static cSharedSets* shared = new cSharedSets();  // outlives every player
  return *shared;
}

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

const cAnimePlayer::AnimeSet& cAnimePlayer::NoAnimes() {
  static const AnimeSet none;
  return none;
}

void cAnimePlayer::Take(AnimeSet set) {
  m_pAnimes = SharedSets().Share(std::move(set));
  m_nAnime = m_nFrame = m_nTick = 0;
}

void cAnimePlayer::SetAnimeSet(const cAnimeFrameEntry* const* list) {
  if (!list) return;
  AnimeSet set;
  for (; *list; ++list) {
    Anime anime;
    const cAnimeFrameEntry* frames = *list;
    for (size_t i = 0;; ++i) {
      anime.push_back(frames[i]);
      if (frames[i].cell < 0) break;
    }
    set.push_back(std::move(anime));
  }
  Take(std::move(set));
}

void cAnimePlayer::SetAnimeSet(const std::vector<std::vector<cAnimeFrameEntry>>& animes) {
  AnimeSet set;
  for (const auto& frames : animes) {
    Anime anime;
    TakeFrames(anime, frames, frames.size());
    set.push_back(std::move(anime));
  }
  Take(std::move(set));
}

const cAnimeFrameEntry* cAnimePlayer::Current() const {
  const AnimeSet& animes = Animes();
  if (m_nAnime < 0 || static_cast<size_t>(m_nAnime) >= animes.size()) return nullptr;
  const Anime& anime = animes[m_nAnime];
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
  if (!Animes().empty()) Animes().At(n);
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
  const AnimeSet& animes = Animes();
  if (animes.empty()) return 0;
  const cAnimeFrameEntry* frame = Current();
  // A code frame that is current stays so: stepping on past an end code or a
  // bare hold would leave the animation.
  if (!frame || frame->cell < 0) return frame ? ShownCell(frame->cell) : 0;

  if (++m_nTick >= frame->duration) {
    m_nTick = 0;
    ++m_nFrame;
    const Anime& anime = animes[m_nAnime];
    if (static_cast<size_t>(m_nFrame) >= anime.size()) m_nFrame = static_cast<int32_t>(anime.size()) - 1;
    const cAnimeFrameEntry& next = anime[m_nFrame];
    switch (next.cell) {
      case kAnimeJump:
        if (next.duration >= 0 && static_cast<size_t>(next.duration) < animes.size()) {
          SetAnime(next.duration, 1);
        } else {
          // A jump to an animation the set does not have holds the last cell;
          // the fault is logged once a run, not on every pass of the hold.
          static bool logged = false;
          if (!logged) {
            logged = true;
            WriteReportAndECLog("anime jump target %d outside %d animes", next.duration,
                                static_cast<int>(animes.size()));
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

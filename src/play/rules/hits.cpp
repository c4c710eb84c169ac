// The hit checks of a sub-step: shots against the characters of other
// groups, characters of different groups touching each other, shots
// cancelling shots, and the hero taking items.
//
// Candidates are found through a grid of cells built once per check for
// each group that something is tested against, so the cost follows the objects that are near each other, not
// every pair. A query returns exactly the members whose rectangle overlaps
// the asked one, in the order of their group's list, so the result is that
// of testing every pair in list order. Objects removed during the checks are
// only marked (shots by their removal flag, characters by the scene's
// removal marks) and leave the lists after the walk.
//
// The rectangles are read once, when a check takes its snapshot of a
// group's characters (the grid is built from that snapshot): nothing the
// checks do (triggers start flows, damage sets knockback speeds, defeats
// mark removals) moves an object, so they are still those of the walk.
#include <algorithm>
#include <cmath>
#include <memory>

#include "base/logs.h"
#include "base/prefetch.h"
#include "data/item.h"
#include "data/labels.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"

namespace {

struct cBox {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// The overlap of hits and contacts: the right and bottom edges count, the
// left and top ones of the other box do not (A's left must lie before B's
// right).
bool Overlaps(const cBox& a, const cBox& b) {
  return a.left < b.right && a.right >= b.left && a.top < b.bottom && a.bottom >= b.top;
}

// Two bodies touch when either overlaps the other. The overlap leaves the
// second box's left and top edges open, so bodies that share only one
// column (row) overlap one way round only: met once per pair of groups,
// they touch whichever of the two groups comes first.
bool Touch(const cBox& a, const cBox& b) { return Overlaps(a, b) || Overlaps(b, a); }

cBox BoxOf(const cHitRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// A character without a body rectangle (a whole-cell body at scale 1, or a
// hit-size mode that leaves it empty) takes part in no contacts.
bool NoContact(const cCharacter& c) { return c.m_Hit1.width <= 0 || c.m_Hit1.height <= 0; }

// Rectangles indexed by the cell of their top-left corner in a dense grid
// (one entry each, so a query never meets a member twice). The cells are at
// least as large as every indexed rectangle, so the members that can meet a
// box lie in the cells from one cell before the box's corner to the cell of
// its far corner. Rectangles larger than a cell, or with edges the grid
// cannot place, go to a list that every query tests. The grid grows its
// cells while the stage area the members cover would need too many.
class cGrid {
 public:
  void Build(const std::vector<cBox>& boxes) {
    boxes_ = &boxes;
    wide_.clear();
    cells_.clear();
    entries_.clear();
    size_ = 64;
    const size_t n = boxes.size();
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    bool any = false;
    for (const cBox& b : boxes) {
      if (!Placeable(b)) continue;
      minX = any ? std::min(minX, b.left) : b.left;
      minY = any ? std::min(minY, b.top) : b.top;
      maxX = any ? std::max(maxX, b.left) : b.left;
      maxY = any ? std::max(maxY, b.top) : b.top;
      any = true;
    }
    const double limit = 4.0 * static_cast<double>(n) + 4096.0;
    while (any && ((maxX - minX) / size_ + 2) * ((maxY - minY) / size_ + 2) > limit) size_ *= 2;
    // The cell size is a power of two, so multiplying by its inverse is
    // exact: the same cells as a division, without its latency.
    inverse_ = 1.0 / size_;
    originX_ = any ? std::floor(minX * inverse_) : 0;
    originY_ = any ? std::floor(minY * inverse_) : 0;
    columns_ = any ? static_cast<int64_t>(std::floor(maxX * inverse_) - originX_) + 1 : 0;
    rows_ = any ? static_cast<int64_t>(std::floor(maxY * inverse_) - originY_) + 1 : 0;

    // Counting sort by cell: every cell's members stay in list order.
    std::vector<int64_t>& cellOf = cellOf_;
    cellOf.assign(n, -1);
    cells_.assign(static_cast<size_t>(columns_ * rows_) + 1, 0);
    for (size_t k = 0; k < n; ++k) {
      const cBox& b = boxes[k];
      if (!Placeable(b) || b.right - b.left >= size_ || b.bottom - b.top >= size_) {
        wide_.push_back(static_cast<int32_t>(k));
        continue;
      }
      const int64_t cx = static_cast<int64_t>(std::floor(b.left * inverse_) - originX_);
      const int64_t cy = static_cast<int64_t>(std::floor(b.top * inverse_) - originY_);
      cellOf[k] = cy * columns_ + cx;
      ++cells_[static_cast<size_t>(cellOf[k]) + 1];
    }
    for (size_t c = 1; c < cells_.size(); ++c) cells_[c] += cells_[c - 1];
    entries_.resize(static_cast<size_t>(cells_.back()));
    std::vector<int32_t>& fill = fill_;
    fill.assign(cells_.begin(), cells_.end() - 1);
    for (size_t k = 0; k < n; ++k) {
      if (cellOf[k] < 0) continue;
      int32_t& next = fill[static_cast<size_t>(cellOf[k])];
      entries_[static_cast<size_t>(next++)] = static_cast<int32_t>(k);
    }
  }

  // The members whose rectangle `box` overlaps (Overlaps(box, member)), or
  // with kTouch those that touch it (Touch(box, member)), in ascending
  // order. A member that overlaps the box lies in the same cells as one the
  // box overlaps.
  template <bool kTouch = false>
  void Query(const cBox& box, std::vector<int32_t>& out) const {
    out.clear();
    const std::vector<cBox>& boxes = *boxes_;
    const auto meets = [&box](const cBox& member) { return kTouch ? Touch(box, member) : Overlaps(box, member); };
    for (int32_t k : wide_)
      if (meets(boxes[static_cast<size_t>(k)])) out.push_back(k);
    if (columns_ > 0 && Placeable(box)) {
      // One dot of slack on each side covers the open edges of the overlap.
      // A placeable box's cells lie well within 64 bits: whole numbers from
      // here on.
      const int64_t originX = static_cast<int64_t>(originX_), originY = static_cast<int64_t>(originY_);
      const int64_t x0 = Clamp(FloorToInt((box.left - size_ - 1) * inverse_) - originX, columns_);
      const int64_t x1 = Clamp(FloorToInt((box.right + 1) * inverse_) - originX, columns_);
      const int64_t y0 = Clamp(FloorToInt((box.top - size_ - 1) * inverse_) - originY, rows_);
      const int64_t y1 = Clamp(FloorToInt((box.bottom + 1) * inverse_) - originY, rows_);
      for (int64_t y = y0; y <= y1; ++y) {
        // The cells x0..x1 of a row are one run of entries.
        const size_t first = static_cast<size_t>(cells_[static_cast<size_t>(y * columns_ + x0)]);
        const size_t last = static_cast<size_t>(cells_[static_cast<size_t>(y * columns_ + x1) + 1]);
        for (size_t e = first; e < last; ++e) {
          const int32_t k = entries_[e];
          if (meets(boxes[static_cast<size_t>(k)])) out.push_back(k);
        }
      }
    } else if (columns_ > 0) {
      // A box the grid cannot place (not finite, or beyond any stage) is
      // tested against every member.
      for (int32_t k : entries_)
        if (meets(boxes[static_cast<size_t>(k)])) out.push_back(k);
    }
    if (out.size() > 1) std::sort(out.begin(), out.end());
  }

 private:
  static constexpr double kFar = 1e12;
  static bool Placeable(const cBox& b) {
    return std::fabs(b.left) < kFar && std::fabs(b.top) < kFar && std::fabs(b.right) < kFar &&
           std::fabs(b.bottom) < kFar;
  }
  static int64_t Clamp(int64_t cell, int64_t count) { return std::clamp<int64_t>(cell, 0, count - 1); }
  // std::floor as a whole number, for values well within 64 bits (the
  // conversion truncates toward zero; a negative fraction goes one lower).
  static int64_t FloorToInt(double v) {
    const int64_t t = static_cast<int64_t>(v);
    return t - (static_cast<double>(t) > v ? 1 : 0);
  }

  const std::vector<cBox>* boxes_ = nullptr;
  double size_ = 64, inverse_ = 1.0 / 64, originX_ = 0, originY_ = 0;
  int64_t columns_ = 0, rows_ = 0;
  std::vector<int32_t> cells_;    // the first entry of every cell, and the end
  std::vector<int32_t> entries_;  // member indices by cell
  std::vector<int32_t> wide_;
  std::vector<int64_t> cellOf_;  // working lists of Build, kept for their capacity
  std::vector<int32_t> fill_;
};

// A group's characters as an indexed snapshot with their grid. The grid is
// built from the snapshot at its first query (Grid): a group that no other
// group's objects are tested against needs none.
struct cGroupIndex {
  std::vector<cCharacter*> members;
  std::vector<cBox> boxes;
  cGrid grid;
  bool built = false;
  const cGrid& Grid() {
    if (!built) grid.Build(boxes);
    built = true;
    return grid;
  }
  // The box is written field by field straight from the rectangle: a box
  // made on the stack and copied whole would be read back before its
  // halves were stored, which stalls.
  void Add(cCharacter* c, const cHitRect& r) {
    members.push_back(c);
    cBox& box = boxes.emplace_back();
    box.left = r.left;
    box.top = r.top;
    box.right = r.right;
    box.bottom = r.bottom;
  }
  void Clear() {
    members.clear();
    boxes.clear();
    built = false;
  }
};

// What the checks of one sub-step build, kept from check to check so that
// a frame allocates nothing once the lists have grown. A check raised while
// another runs (through the triggers and commands it starts) takes a set of
// its own.
struct cHitScratch {
  std::vector<cGroupIndex> attack, body;
  std::vector<int32_t> candidates;
  std::vector<cCharacter*> gathered;
  std::vector<cShot*> cancellers, cancellable;
  std::vector<cBox> cancellableBoxes;
  cGrid cancelGrid;
  bool busy = false;
};

cHitScratch g_HitScratch;

// The shared scratch while free, else a fresh one.
class cHitScratchLease {
 public:
  cHitScratchLease() {
    if (!g_HitScratch.busy) {
      scratch_ = &g_HitScratch;
    } else {
      own_ = std::make_unique<cHitScratch>();
      scratch_ = own_.get();
    }
    scratch_->busy = true;
  }
  ~cHitScratchLease() { scratch_->busy = false; }
  cHitScratch& operator*() { return *scratch_; }

 private:
  std::unique_ptr<cHitScratch> own_;
  cHitScratch* scratch_;
};

// How far ahead the walk of a shot group brings shots into the caches, and
// what of a shot it reads first: the hit rectangle (the removal and screen
// flags only when the rectangle meets a character).
constexpr size_t kHitLookAhead = 8;
void PrefetchHitFields(const cShot* shot) {
  PrefetchLine(&shot->m_Hit.left);
  PrefetchLine(&shot->m_Hit.bottom);
}

// The same for the characters the group indexes are built from: what
// live() and the rectangles read.
constexpr size_t kCharacterLookAhead = 8;
void PrefetchCharacterHits(const cCharacter* c) {
  PrefetchLines(&c->m_bPresent, &c->m_RemovalMark, &c->m_bDying, &c->m_Hit1.left, &c->m_Hit1.height, &c->m_Hit2.bottom);
}

// Calls `visit` for every character of `list` in order. The characters are
// gathered first (into `gathered`), so that the visits can bring those a
// few places ahead into the caches: with thousands of characters they are
// no longer cached from one sub-step to the next. `visit` must not change
// the list.
template <class Visit>
void VisitGroup(const std::list<cCharacter*>& list, std::vector<cCharacter*>& gathered, Visit&& visit) {
  gathered.assign(list.begin(), list.end());
  const size_t n = gathered.size();
  for (size_t i = 0; i < n && i < kCharacterLookAhead; ++i) PrefetchCharacterHits(gathered[i]);
  for (size_t i = 0; i < n; ++i) {
    if (i + kCharacterLookAhead < n) PrefetchCharacterHits(gathered[i + kCharacterLookAhead]);
    visit(gathered[i]);
  }
}

// The groups of `scratch` reset for `groups` character groups.
void ResetGroups(std::vector<cGroupIndex>& indexes, size_t groups) {
  if (indexes.size() < groups) indexes.resize(groups);
  for (cGroupIndex& g : indexes) g.Clear();
}

}  // namespace

int cStageScene::RunReactionRecord(const cEdItem* item, cHero& hero, int32_t on) {
  if (item == nullptr || !on || item->TakeMode() == kItemCannotBeTaken || item->m_vCmds.empty()) return kCheckGoOn;
  if (item->ReactionPopUp())
    hero.ShowReactionMessage(item->GraphicKind(), item->GraphicNumber(), item->GraphicSubNumber());
  RequestSoundEffectById(item->m_nSound);
  return hero.RunItemCommands(item->m_vCmds.Get());
}

int cStageScene::CheckHits() {
  const bool onScreenOnly = g_CombatSwitches.onScreenOnlyCollisions != 0;
  const size_t groups = m_CharacterGroups.size();
  m_ShotGroups.resize(kGroupCount);

  auto live = [this, onScreenOnly](const cCharacter& c) {
    if (!c.m_bPresent || c.m_bDying) return false;
    if (onScreenOnly && !c.m_bOnScreen) return false;
    return !IsDoomed(c);
  };

  // 1. Shots against the attack rectangles of the characters of other groups.
  // Without shots the walk below visits nothing, so no group is indexed.
  const bool anyShot =
      std::any_of(m_ShotGroups.begin(), m_ShotGroups.end(), [](const std::list<cShot*>& g) { return !g.empty(); });
  cHitScratchLease lease;
  cHitScratch& scratch = *lease;
  std::vector<cGroupIndex>& attack = scratch.attack;
  ResetGroups(attack, groups);
  for (size_t b = 0; b < groups && anyShot; ++b) {
    VisitGroup(m_CharacterGroups[b], scratch.gathered, [&](cCharacter* c) { attack[b].Add(c, c->m_Hit2); });
  }
  std::vector<int32_t>& candidates = scratch.candidates;
  for (size_t a = 0; a < m_ShotGroups.size(); ++a) {
    for (size_t b = 0; b < groups; ++b) {
      if (b == a || attack[b].members.empty() || m_ShotGroups[a].empty()) continue;
      // The group's shots in its list's order: the shot order's entries of
      // group a (shots are grouped as they join the list). Shots that join
      // during the walk (through item reactions) are visited, as the list
      // walk would visit them.
      const int32_t group = static_cast<int32_t>(a);
      for (size_t at = 0; at < m_ShotOrder.size(); ++at) {
        if (at + kHitLookAhead < m_ShotOrder.size() && m_ShotOrder[at + kHitLookAhead].group == group)
          PrefetchHitFields(m_ShotOrder[at + kHitLookAhead].shot);
        if (m_ShotOrder[at].group != group) continue;
        cShot* const shot = m_ShotOrder[at].shot;
        // The query changes nothing, so it comes first: a shot that meets
        // no character (most of them) is not asked whether it goes.
        const cBox shotBox = BoxOf(shot->m_Hit);
        attack[b].Grid().Query(shotBox, candidates);
        if (candidates.empty()) continue;
        if (shot->m_bRemove) continue;
        if (onScreenOnly && !shot->m_bOnScreen) continue;
        for (int32_t k : candidates) {
          cCharacter& c = *attack[b].members[static_cast<size_t>(k)];
          if (!live(c) || c.Definition().Invincibility() == 2) continue;
          if (shot->HasHit(c.m_nId)) continue;
          const bool harmful = shot->IsHarmful();
          if (harmful && c.IsInvincible()) continue;
          c.TriggerFlows(kTriggerHitByShot, shot->m_pOwner, 0);
          if (shot->m_pOwner && shot->m_Definition.ReportToOwner())
            shot->m_pOwner->TriggerFlows(kTriggerAttackHit, &c, shot->m_nFlowGroup);
          if (!harmful && g_CombatSwitches.skipHarmlessShots) continue;
          const int out = c.TakeAttackHit(*shot);
          c.RaiseAttackHitTriggers(*shot);
          if (out != 0) {
            if (c.m_nKind == 1) RequestSoundEffect(kSoundEnemyDeath);
            const int r = CheckCharacterDefeat(c);
            if (r != kCheckGoOn) return r;
          } else {
            RequestSoundEffect(kSoundHit);
            if (harmful) c.StartInvincibility();
          }
          bool hit = true;
          if (shot->m_Definition.VanishOnHit() == 0) {
            hit = false;
          } else {
            const int32_t pass = NoContact(c) ? shot->m_Definition.PassThrough2() : shot->m_Definition.PassThrough1();
            hit = pass != 1;
          }
          if (!hit) shot->AddHit(c.m_nId);
          if (shot->m_Definition.m_nItemPalette != 0 && HasHero()) {
            if (const cEdItem* item = GetPaletteItem(shot->m_Definition.m_nItemPalette, shot->m_Definition.m_nItemIndex)) {
              const int r = RunReactionRecord(item, Hero());
              if (r != 0) return r;
            }
          }
          if (hit) {
            MarkShotForRemoval(*this, *shot);
            break;
          }
        }
      }
    }
  }

  // 2. Shots flagged for removal go.
  FlushShots(*this);

  // 3. Body contacts between characters of different groups. Each pair of
  // groups is visited once (a < b) and a touching pair is resolved both
  // ways at once below, so a touch raises its triggers once per pair and
  // sub-step. Visiting (b, a) as well would hurt no one twice (a side that
  // took the hit is defeated or invincible to the other by then), but it
  // would raise the touch triggers again on a side that was touched
  // without taking a hit (its toucher has neither contact power nor
  // knock-back). A pair is met when the bodies touch either way round
  // (Touch): the visit (b, a) would find the pair whose bodies share only
  // the column or row that leaves the overlap of a's body open.
  const bool immediate = g_CombatSwitches.immediateBodyTriggers != 0;
  std::vector<cGroupIndex>& body = scratch.body;
  ResetGroups(body, groups);
  for (size_t b = 0; b < groups; ++b) {
    VisitGroup(m_CharacterGroups[b], scratch.gathered, [&](cCharacter* c) {
      if (live(*c) && !NoContact(*c)) body[b].Add(c, c->m_Hit1);
    });
  }
  for (size_t a = 0; a < groups; ++a) {
    for (size_t b = a + 1; b < groups; ++b) {
      if (body[a].members.empty() || body[b].members.empty()) continue;
      for (size_t i = 0; i < body[a].members.size(); ++i) {
        body[b].Grid().Query<true>(body[a].boxes[i], candidates);
        for (int32_t k : candidates) {
          cCharacter& x = *body[a].members[i];
          cCharacter& y = *body[b].members[static_cast<size_t>(k)];
          if (!live(x) || !live(y)) continue;
          const bool hitX = !x.IsInvincibleTo(y.m_nId);
          const bool hitY = !y.IsInvincibleTo(x.m_nId);
          auto touch = [](cCharacter& victim, cCharacter& other) {
            cCharacter* parent = other.m_pParent;
            if (parent && other.m_bReportToParent) {
              victim.TriggerFlows(kTriggerTouchedCharacter, parent, 0);
              if (other.m_pParent == parent) parent->TriggerFlows(kTriggerAttackHit, &victim, other.m_byParentFlowGroup);
            } else {
              victim.TriggerFlows(kTriggerTouchedCharacter, &other, 0);
            }
          };
          if (hitX) touch(x, y);
          if (hitY) touch(y, x);
          auto hurts = [](const cCharacter& attacker) {
            return attacker.Definition().ContactPower() != 0 || attacker.Definition().KnockbackStrength() != 0;
          };
          const bool takeX = hitX && hurts(y);
          const bool takeY = hitY && hurts(x);
          int outX = 0, outY = 0;
          if (takeX) {
            outX = x.TakeBodyHit(y);
            if (immediate) x.RaiseBodyHitTriggers(y);
          }
          if (takeY) {
            outY = y.TakeBodyHit(x);
            if (immediate) y.RaiseBodyHitTriggers(x);
          }
          if (!immediate) {
            if (takeX) x.RaiseBodyHitTriggers(y);
            if (takeY) y.RaiseBodyHitTriggers(x);
          }
          if (!takeX && !takeY) continue;
          RequestSoundEffect(kSoundHit);
          auto settle = [this](cCharacter& victim, cCharacter& attacker, int out) {
            if (out != 0) {
              if (victim.m_nKind == 1) RequestSoundEffect(kSoundEnemyDeath);
              return CheckCharacterDefeat(victim);
            }
            victim.StartInvincibilityFrom(attacker.m_nId);
            return static_cast<int>(kCheckGoOn);
          };
          if (takeX) {
            const int r = settle(x, y, outX);
            if (r != kCheckGoOn) return r;
          }
          if (takeY) {
            const int r = settle(y, x, outY);
            if (r != kCheckGoOn) return r;
          }
        }
      }
    }
  }

  // 4. Shots that cancel shots of other groups.
  // A shot cancels those it overlaps either way round; marking is all a
  // cancel does, so only which cancellers are still there matters, and they
  // are taken in list order. Without a cancelling shot on the stage the
  // list is not walked.
  std::vector<cShot*>& cancellers = scratch.cancellers;
  std::vector<cShot*>& cancellable = scratch.cancellable;
  std::vector<cBox>& cancellableBoxes = scratch.cancellableBoxes;
  cancellers.clear();
  cancellable.clear();
  cancellableBoxes.clear();
  for (auto it = m_ShotList.begin(); m_nCancellerShots != 0 && it != m_ShotList.end(); ++it) {
    cShot* s = it->get();
    if (s->m_bRemove) continue;
    if (s->m_Definition.CancelsShots()) cancellers.push_back(s);
    if (s->m_Definition.CancelledByShots()) {
      cancellable.push_back(s);
      cancellableBoxes.push_back(BoxOf(s->m_Hit));
    }
  }
  if (!cancellers.empty() && !cancellable.empty()) {
    cGrid& grid = scratch.cancelGrid;
    grid.Build(cancellableBoxes);
    for (cShot* s : cancellers) {
      if (s->m_bRemove) continue;
      const cBox box = BoxOf(s->m_Hit);
      // The box widened by a dot up and left meets every shot that overlaps
      // it either way round; the test decides.
      grid.Query({box.left - 1, box.top - 1, box.right, box.bottom}, candidates);
      for (int32_t k : candidates) {
        cShot* o = cancellable[static_cast<size_t>(k)];
        if (o == s || o->m_bRemove || o->m_nGroup == s->m_nGroup) continue;
        const cBox& other = cancellableBoxes[static_cast<size_t>(k)];
        if (Overlaps(box, other) || Overlaps(other, box)) MarkShotForRemoval(*this, *o);
      }
    }
  }
  FlushShots(*this);
  return kCheckGoOn;
}

int cStageScene::TakeItems(cHero& hero) {
  const cBox third = BoxOf(hero.m_Hit3);
  for (cStageItem& item : m_ItemList) {
    if (!item.m_bPresent || IsDoomed(item)) continue;
    const int32_t mode = item.m_Definition.TakeMode();
    if (mode == kItemCannotBeTaken) continue;
    const cBox box{item.m_dX, item.m_dY, item.m_dRight, item.m_dBottom};
    if (!Overlaps(third, box)) {
      if (mode == kItemTakenPerTouch) hero.RemoveFromTouchedList(item.m_nId);
      continue;
    }
    hero.TriggerFlows(kTriggerTouchedItem, nullptr, 0);
    if (mode == kItemTakenPerTouch) {
      if (!hero.IsNotInTouchedList(item.m_nId)) continue;
      hero.m_TouchedIds.push_back(item.m_nId);
    }
    const int r = RunReactionRecord(&item.m_Definition, hero);
    if (mode == kItemTakenOnce) RemoveItem(item);
    if (r != 0) return r;
  }
  return kCheckGoOn;
}

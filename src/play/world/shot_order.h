// The stage's shots in the order of its shot list, as one array that the
// walks of every sub-step (moves, hits, drawing) read instead of following
// the list's nodes. The list owns the shots; this array only names them.
//
// Each entry keeps the shot, the serial number it was given when it joined
// (serials only grow, so the array is sorted by them) and its group once
// grouped. A shot that leaves the list leaves a hole (a null shot) that the
// walks step over; the holes are squeezed out when they become many, never
// during a walk. Game thread only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class cShot;

struct cShotOrderEntry {
  cShot* shot = nullptr;  // null once the shot left the list
  uint64_t serial = 0;
  int32_t group = -1;     // the shot's group, -1 until it is grouped
};

class cShotOrder {
 public:
  // A new shot at the end; answers its serial, which the shot keeps.
  uint64_t Push(cShot* shot) {
    const uint64_t serial = next_++;
    entries_.push_back({shot, serial, -1});
    return serial;
  }
  // The entry of the shot with `serial` (null when none).
  cShotOrderEntry* Find(uint64_t serial) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), serial,
                               [](const cShotOrderEntry& e, uint64_t s) { return e.serial < s; });
    return it != entries_.end() && it->serial == serial && it->shot ? &*it : nullptr;
  }
  // The shot with `serial` leaves: its entry becomes a hole.
  void Drop(uint64_t serial) {
    if (cShotOrderEntry* e = Find(serial)) {
      e->shot = nullptr;
      e->group = -1;
      ++holes_;
    }
  }
  // Squeezes the holes out once they are an eighth of the array (and at
  // least 64), keeping the order. Not while a walk runs over the array.
  void Compact() {
    if (holes_ < 64 || holes_ * 8 < entries_.size()) return;
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const cShotOrderEntry& e) { return !e.shot; }),
                   entries_.end());
    holes_ = 0;
  }
  void Clear() {
    entries_.clear();
    holes_ = 0;
  }
  // Entries, holes included; a walk reads size() afresh when shots may join
  // during it.
  size_t size() const { return entries_.size(); }
  const cShotOrderEntry& operator[](size_t i) const { return entries_[i]; }
  size_t Holes() const { return holes_; }

 private:
  std::vector<cShotOrderEntry> entries_;
  uint64_t next_ = 0;
  size_t holes_ = 0;
};

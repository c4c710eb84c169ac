// Checked element access, used for (almost) every element access of the game.
// A bad index never stops the program on the spot: the access writes
// "err V[%d] ( %d , %d )" (or "err L[...]") with the index, the size and the
// element's size to both logs, posts WM_CLOSE to the game window so the
// program ends through its ordinary shutdown, and hands back a usable element
// so the current frame can finish.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

// The element size written in the error lines. These are the records'
// 32-bit sizes, which people compare log lines against; an element type whose size differs here specialises this.
template <class T>
struct LegacyElementSize {
  static constexpr int value = static_cast<int>(sizeof(T));
};
template <>
struct LegacyElementSize<std::string> {
  static constexpr int value = 16;
};

// Writes the error line of a bad access to both logs and posts WM_CLOSE.
// kind is 'V' or 'L'.
void ReportBadIndex(char kind, int index, int size, int elementSize);

template <class T>
class cSafeVector : public std::vector<T> {
 public:
  using std::vector<T>::vector;

  T& At(int index) {
    if (index >= 0 && static_cast<size_t>(index) < this->size()) return (*this)[index];
    ReportBadIndex('V', index, static_cast<int>(this->size()), LegacyElementSize<T>::value);
    if (!this->empty()) return (*this)[0];
    // No element 0 to hand back: a default element, fresh for each bad
    // access, so nothing written into it carries over.
    static thread_local T dummy{};
    dummy = T{};
    return dummy;
  }
  const T& At(int index) const { return const_cast<cSafeVector*>(this)->At(index); }

  void Fill(const T& value) {
    for (int i = 0; i < static_cast<int>(this->size()); ++i) At(i) = value;
  }
};

template <class T>
class cSafeList : public std::list<T> {
 public:
  using std::list<T>::list;

  // Walks from the first node. A bad index returns the list type's dummy:
  // default (zero) filled on first use and the same object every time.
  T& At(int index) {
    if (index >= 0 && static_cast<size_t>(index) < this->size()) {
      auto it = this->begin();
      for (int i = 0; i < index; ++i) ++it;
      return *it;
    }
    ReportBadIndex('L', index, static_cast<int>(this->size()), LegacyElementSize<T>::value);
    static T dummy{};
    return dummy;
  }
  const T& At(int index) const { return const_cast<cSafeList*>(this)->At(index); }
};

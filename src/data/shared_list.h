// Lists that records share until one of them changes (copy on write).
//
// A type that inherits its flows, commands or conditions from a base type
// holds the base's list itself, not a copy: four hundred types taking the
// same twenty thousand flows cost one list. Reading a list never copies it;
// the first change through a record's list makes that list the record's own
// (a copy, when others still share it), so what each record sees is what a
// deep copy would have given it.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

template <class T>
class cSharedList {
 public:
  using value_type = T;
  using const_iterator = typename std::vector<T>::const_iterator;
  using iterator = typename std::vector<T>::iterator;

  cSharedList() = default;
  cSharedList(std::vector<T> list) { *this = std::move(list); }
  cSharedList(std::initializer_list<T> list) { *this = std::vector<T>(list); }
  cSharedList& operator=(std::vector<T> list) {
    p_ = list.empty() ? nullptr : std::make_shared<std::vector<T>>(std::move(list));
    return *this;
  }
  cSharedList& operator=(std::initializer_list<T> list) { return *this = std::vector<T>(list); }

  // ---- reading: never copies ----
  const std::vector<T>& Get() const { return p_ ? *p_ : Empty(); }
  operator const std::vector<T>&() const { return Get(); }
  size_t size() const { return p_ ? p_->size() : 0; }
  bool empty() const { return !p_ || p_->empty(); }
  const T& operator[](size_t i) const { return (*p_)[i]; }
  const T& at(size_t i) const { return Get().at(i); }
  const_iterator begin() const { return Get().begin(); }
  const_iterator end() const { return Get().end(); }
  const T& front() const { return p_->front(); }
  const T& back() const { return p_->back(); }

  // ---- changing: the list becomes this record's own first ----
  std::vector<T>& Mutable() {
    if (!p_)
      p_ = std::make_shared<std::vector<T>>();
    else if (p_.use_count() > 1)
      p_ = std::make_shared<std::vector<T>>(*p_);
    return *p_;
  }
  T& operator[](size_t i) { return Mutable()[i]; }
  T& at(size_t i) { return Mutable().at(i); }
  iterator begin() { return Mutable().begin(); }
  iterator end() { return Mutable().end(); }
  T& front() { return Mutable().front(); }
  T& back() { return Mutable().back(); }
  void clear() { p_.reset(); }
  void resize(size_t n) { Mutable().resize(n); }
  void resize(size_t n, const T& value) { Mutable().resize(n, value); }
  void assign(size_t n, const T& value) { Mutable().assign(n, value); }
  void push_back(const T& value) { Mutable().push_back(value); }
  void push_back(T&& value) { Mutable().push_back(std::move(value)); }
  template <class... A>
  T& emplace_back(A&&... args) {
    return Mutable().emplace_back(std::forward<A>(args)...);
  }

  // ---- sharing ----
  bool IsSharedWith(const cSharedList& other) const { return p_ && p_ == other.p_; }
  // Another record holds this list too.
  bool IsShared() const { return p_ && p_.use_count() > 1; }
  const std::shared_ptr<std::vector<T>>& Holder() const { return p_; }
  void Adopt(std::shared_ptr<std::vector<T>> holder) { p_ = std::move(holder); }

  friend bool operator==(const cSharedList& a, const cSharedList& b) { return a.Get() == b.Get(); }

 private:
  static const std::vector<T>& Empty() {
    static const std::vector<T> empty;
    return empty;
  }
  std::shared_ptr<std::vector<T>> p_;
};

// While a pass of checks runs over many records (a stage's or a palette's
// reference checks), a list that several records share is checked once: the
// first record that needs a change gets a changed copy, and every other
// record sharing the old list takes the same copy. The checks of one pass
// depend on the list and on what stays fixed during the pass (the database,
// the complete palettes), never on the record holding the list. Per thread;
// an inner scope leaves the outer one in force.
class cSharedCheckScope {
 public:
  cSharedCheckScope();
  ~cSharedCheckScope();
  cSharedCheckScope(const cSharedCheckScope&) = delete;
  cSharedCheckScope& operator=(const cSharedCheckScope&) = delete;

  // The checks a pass runs over lists; a list's result is kept per check.
  enum Check : int { kDatabase, kBlankFlows, kPalette };

  // The result of check `check` on the list `old`, when the pass had it.
  static std::shared_ptr<void> Find(const void* old, Check check);
  // Keeps `result` (the old list itself when it needed no change).
  static void Keep(std::shared_ptr<void> old, Check check, std::shared_ptr<void> result);

 struct Entry;

 private:
  bool outer_ = false;
};

// Runs the check `check` over `list`: `needsChange(list)` tells, without
// changing anything, whether `change(list)` would change it. A list only this
// record holds is changed in place; a shared one is copied first, once per
// pass (see cSharedCheckScope), and only when the check changes it.
template <class T, class Needs, class Change>
void CheckSharedList(cSharedList<T>& list, cSharedCheckScope::Check check, Needs needsChange, Change change) {
  if (list.empty()) return;
  if (!list.IsShared()) {
    change(list.Mutable());
    return;
  }
  const std::shared_ptr<std::vector<T>> old = list.Holder();
  if (std::shared_ptr<void> done = cSharedCheckScope::Find(old.get(), check)) {
    list.Adopt(std::static_pointer_cast<std::vector<T>>(done));
    return;
  }
  if (needsChange(list.Get())) change(list.Mutable());
  cSharedCheckScope::Keep(old, check, list.Holder());
}

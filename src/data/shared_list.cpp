#include "data/shared_list.h"

#include <unordered_map>

struct cSharedCheckScope::Entry {
  std::shared_ptr<void> old;  // held, so that its address names nothing else meanwhile
  std::shared_ptr<void> result;
};

namespace {

struct Key {
  const void* old;
  int check;
  bool operator==(const Key&) const = default;
};
struct KeyHash {
  size_t operator()(const Key& k) const { return std::hash<const void*>()(k.old) * 3 + static_cast<size_t>(k.check); }
};
using Entries = std::unordered_map<Key, cSharedCheckScope::Entry, KeyHash>;
thread_local Entries* t_entries = nullptr;

}  // namespace

cSharedCheckScope::cSharedCheckScope() {
  if (t_entries) return;
  t_entries = new Entries();
  outer_ = true;
}

cSharedCheckScope::~cSharedCheckScope() {
  if (!outer_) return;
  delete t_entries;
  t_entries = nullptr;
}

std::shared_ptr<void> cSharedCheckScope::Find(const void* old, Check check) {
  if (!t_entries) return nullptr;
  auto it = t_entries->find({old, check});
  return it == t_entries->end() ? nullptr : it->second.result;
}

void cSharedCheckScope::Keep(std::shared_ptr<void> old, Check check, std::shared_ptr<void> result) {
  if (!t_entries) return;
  const void* key = old.get();
  t_entries->insert_or_assign({key, check}, Entry{std::move(old), std::move(result)});
}

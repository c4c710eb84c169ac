#include "platform/modules.h"

#include <list>
#include <mutex>

#include "platform/ogg_player.h"

namespace plat {

struct Module {
  std::string name;  // lower case, no folder
  std::map<std::string, void*> entries;
  bool available = true;
};

namespace {

std::string Key(std::string_view fileName) {
  size_t slash = fileName.find_last_of("\\/");
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  std::string key(fileName);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

std::mutex g_mutex;

// Nodes never move, so handles stay valid while the process lives.
std::list<Module>& Modules() {
  static std::list<Module>* modules = [] {
    auto* list = new std::list<Module>();
    list->push_back(Module{"vox.dll", {{"CreateVox", reinterpret_cast<void*>(&CreateOggPlayerObject)}}, true});
    return list;
  }();
  return *modules;
}

Module* Find(const std::string& key) {
  for (Module& m : Modules())
    if (m.name == key) return &m;
  return nullptr;
}

}  // namespace

ModuleHandle LoadModule(std::string_view fileName) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Module* m = Find(Key(fileName));
  return m && m->available ? m : nullptr;
}

void* GetModuleEntry(ModuleHandle module, std::string_view name) {
  if (!module) return nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = module->entries.find(std::string(name));
  return it == module->entries.end() ? nullptr : it->second;
}

void FreeModule(ModuleHandle) {}

void SetModuleAvailable(std::string_view fileName, bool available) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (Module* m = Find(Key(fileName))) m->available = available;
}

void RegisterModule(std::string_view fileName, std::map<std::string, void*> entries) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::string key = Key(fileName);
  if (Module* m = Find(key)) {
    m->entries = std::move(entries);
    m->available = true;
  } else {
    Modules().push_back(Module{key, std::move(entries), true});
  }
}

void UnregisterModule(std::string_view fileName) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (Module* m = Find(Key(fileName))) m->available = false;
}

}  // namespace plat

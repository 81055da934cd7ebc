// The module-wide cache of loaded companion libraries.
#include "net/NCompanionCache.h"

#include <map>
#include <memory>
#include <mutex>

namespace {

std::mutex g_mutex;
// Allocated on first use and freed by releaseAll, so that the module's unload leaves nothing.
std::map<std::string, std::unique_ptr<plat::Library>>* g_loaded = nullptr;

}  // namespace

plat::Library* NCompanionCache::get(const std::string& path, std::string& error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_loaded == nullptr) g_loaded = new std::map<std::string, std::unique_ptr<plat::Library>>;
  auto found = g_loaded->find(path);
  if (found != g_loaded->end()) return found->second.get();
  auto library = std::make_unique<plat::Library>();
  if (!library->load(path)) {
    error = library->error();
    return nullptr;
  }
  plat::Library* loaded = library.get();
  g_loaded->emplace(path, std::move(library));
  return loaded;
}

void NCompanionCache::drop(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_loaded != nullptr) g_loaded->erase(path);
}

void NCompanionCache::releaseAll() {
  std::lock_guard<std::mutex> lock(g_mutex);
  delete g_loaded;
  g_loaded = nullptr;
}

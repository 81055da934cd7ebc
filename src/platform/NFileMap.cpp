// NFileMap: keeps the first record of each name; std::string orders names as unsigned bytes.
#include "platform/NFileMap.h"

NFileMap::~NFileMap() = default;

NFileData* NFileMap::add(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount) {
  return add(name, size, type, digest, partCount, "A");
}

NFileData* NFileMap::add(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount,
                         const char* state) {
  if (!name) return nullptr;
  auto [it, inserted] = m_mapFiles.try_emplace(name);
  if (inserted) it->second = std::make_unique<NFileData>(name, size, type, digest, partCount, state);
  return it->second.get();
}

NFileData* NFileMap::find(const char* name) const {
  if (!name) return nullptr;
  auto it = m_mapFiles.find(name);
  return it == m_mapFiles.end() ? nullptr : it->second.get();
}

// NFileMap: the index entries of one package, owned and ordered by name byte by byte.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/NFileData.h"

class NFileMap {
 public:
  // Name (case-sensitive, unsigned byte order) to its record.
  using Map = std::map<std::string, std::unique_ptr<NFileData>>;

  NFileMap() = default;
  NFileMap(const NFileMap&) = delete;
  NFileMap& operator=(const NFileMap&) = delete;
  virtual ~NFileMap();

  // Creates the record when no record of that name exists; otherwise the first record stays as
  // it is. Returns the record that the name now maps to (null only when name is null).
  NFileData* add(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount);
  NFileData* add(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount,
                 const char* state);
  // The record of that name, or null.
  NFileData* find(const char* name) const;
  int getCount() const { return static_cast<int>(m_mapFiles.size()); }
  void clear() { m_mapFiles.clear(); }

  // Iteration in ascending byte order of the names.
  Map::const_iterator begin() const { return m_mapFiles.begin(); }
  Map::const_iterator end() const { return m_mapFiles.end(); }

 private:
  Map m_mapFiles;
};

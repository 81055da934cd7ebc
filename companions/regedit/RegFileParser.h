// The changes a .reg file asks for, read whole before any is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatformRegistry.h"
#include "platform/Status.h"

struct RegChange {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = Kind::CreateKey;
  plat::RegRoot root = plat::RegRoot::LocalMachine;
  std::string path;  // below the root, never empty
  std::string name;  // the value's name; empty: the key's default value
  uint32_t type = 0;
  std::vector<uint8_t> data;
  size_t line = 0;  // where the file asks for it
};

class RegFileParser {
 public:
  // Reads a decoded .reg file: the header line "REGEDIT4" or "Windows Registry Editor Version
  // 5.00", then key lines "[ROOT\path]" and "[-ROOT\path]", value lines under a key, blank lines
  // and ";" comments. A failure says "line N: reason" for the first line that is none of these;
  // changes is then unchanged.
  static plat::Status parse(const std::string& text, std::vector<RegChange>& changes);

 private:
  plat::Status parseLine(size_t number, const std::string& line);
  plat::Status parseKey(size_t number, const std::string& line);
  plat::Status parseValue(size_t number, const std::string& line);

  bool m_bUnicode = false;
  bool m_bInKey = false;  // a key line that opens a key came last
  RegChange m_currentKey;
  std::vector<RegChange> m_changes;
};

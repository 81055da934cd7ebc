// Makes the changes of a .reg file in the machine's registry.
#pragma once

#include <string>
#include <vector>

#include "RegFileParser.h"
#include "platform/Status.h"

class RegImporter {
 public:
  // Applies the changes in order, in the process's own registry view. Deleting a key or value
  // that does not exist is no error. Stops at the first change the registry refuses: a failure
  // whose reason names its line; the changes before it stay made.
  static plat::Status apply(const std::vector<RegChange>& changes);

 private:
  uint32_t applyOne(const RegChange& change);
  // Opens (creating it when missing) the key that a change names, unless it is open already.
  uint32_t openKeyOf(const RegChange& change);

  plat::RegKey m_key;
  plat::RegRoot m_root = plat::RegRoot::LocalMachine;
  std::string m_path;
};

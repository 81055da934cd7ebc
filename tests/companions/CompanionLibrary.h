// CompanionLibrary: a companion library loaded for real from a test machine's module folder, with
// its entry points resolved through the types the module uses.
#pragma once

#include <string>

#include "platform/PlatformLibrary.h"
#include "support/TestMachine.h"

namespace cvdt::test {

class CompanionLibrary {
 public:
  // Loads "<module folder>\<fileName>"; false (see error()) when it cannot.
  bool load(const TestMachine& machine, const char* fileName) {
    return m_library.load(machine.config().moduleFolder + "\\" + fileName);
  }
  const std::string& error() const { return m_library.error(); }

  template <typename Fn>
  Fn entry(const char* name) const {
    return reinterpret_cast<Fn>(m_library.symbol(name));
  }

 private:
  plat::Library m_library;
};

}  // namespace cvdt::test

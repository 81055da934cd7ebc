// HostModule: the module as the host loads it: the library from the machine's module folder
// and its seven exports, called with the host environment block.
#pragma once

#include <cstdint>
#include <string>

#include "entry/HostEnvironment.h"
#include "platform/PlatformLibrary.h"
#include "platform/Status.h"

namespace cvdt::host {

class HostModule {
 public:
  using CommonFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                           const char*, int);
  using FuncFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                         const char*, int, int, const char*);
  using BlockFn = int (*)(int, uint32_t, const void*, const char*, const char*, const char*,
                          const void*, int);

  // Loads the library (a Windows path); a failure names the library or the missing export.
  plat::Status load(const std::string& windowsPath);
  void unload() { m_library.unload(); }

  CommonFn aDistFunc = nullptr;
  CommonFn aDistCmd = nullptr;
  CommonFn aDistNow = nullptr;
  FuncFn nDistFunc = nullptr;
  CommonFn nDistCmd = nullptr;
  BlockFn nDistCmdOuterRequest = nullptr;
  BlockFn nDistUrgentTopCancelForceCmd = nullptr;

 private:
  plat::Library m_library;
};

}  // namespace cvdt::host

// NModule: the library's life in the host process: attach creates the automatic and then the
// commanded manager, detach destroys them in the same order.
#pragma once

#include "platform/PlatformSystem.h"

class NDistMgr;
class NGenDistMgr;

class NModule {
 public:
  // Library load: remembers the module handle and creates the managers.
  static void attach(plat::ModuleHandle module);
  // Library unload: destroys the managers (each stops its thread first).
  static void detach();
  // The commanded manager, or null when none was created.
  static NGenDistMgr* commandedManager();
  // The automatic manager, or null when none was created.
  static NDistMgr* automaticManager();
};

// NCompanionCache: the companion libraries (cvftc.dll, cvlgz.dll) stay loaded from their first
// use until the module unloads. A worker then never loads or unloads a library itself, so a
// worker that is still ending while the host unloads the module cannot wait on the loader.
#pragma once

#include <string>

#include "platform/PlatformLibrary.h"

class NCompanionCache {
 public:
  // The loaded library at the Windows path, loading it on first use; null when it cannot be
  // loaded (then error receives the loader's message and nothing is kept).
  static plat::Library* get(const std::string& path, std::string& error);
  // Unloads one library (one that lacks an entry point) so that a fixed file loads next time.
  static void drop(const std::string& path);
  // Unloads every library; the module's unload calls it last.
  static void releaseAll();
};

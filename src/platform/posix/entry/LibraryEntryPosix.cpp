// The library entry of the shared module on Linux: load and unload run the module's attach and
// detach, as process attach and detach do on Windows.
#include "entry/NModule.h"
#include "platform/PlatformSystem.h"

namespace {

__attribute__((constructor)) void onLibraryLoad() { NModule::attach(plat::thisModule()); }

__attribute__((destructor)) void onLibraryUnload() { NModule::detach(); }

}  // namespace

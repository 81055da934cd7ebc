// The library entry of the shared module on Linux: loading runs the module's attach, as process
// attach does on Windows. The detach is registered right after the attach, with this library's
// own exit handlers, so that it runs before the destructors of everything the module built
// while loading, both when the host unloads the library and when the process exits with it loaded.
#include "entry/NModule.h"
#include "platform/PlatformSystem.h"

extern "C" int __cxa_atexit(void (*handler)(void*), void* argument, void* dso);
extern "C" void* __dso_handle;

namespace {

void onLibraryUnload(void*) { NModule::detach(); }

__attribute__((constructor)) void onLibraryLoad() {
  NModule::attach(plat::thisModule());
  __cxa_atexit(onLibraryUnload, nullptr, &__dso_handle);
}

}  // namespace

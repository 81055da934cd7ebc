// Creation and destruction of the module-wide managers.
#include "entry/NModule.h"

#include <atomic>
#include <new>

#include "gendist/NGenDistMgr.h"
#include "platform/NMisc.h"

namespace {
std::atomic<NGenDistMgr*> g_commandedManager{nullptr};
}

void NModule::attach(plat::ModuleHandle module) {
  NMisc::setThisModule(module);
  NMisc::getModuleFolder(module);  // learnt now, while loading: unloading must not look it up
  g_commandedManager = new (std::nothrow) NGenDistMgr();
}

void NModule::detach() {
  delete g_commandedManager.exchange(nullptr);
}

NGenDistMgr* NModule::commandedManager() { return g_commandedManager.load(); }

// Creation and destruction of the module-wide managers.
#include "entry/NModule.h"

#include <atomic>
#include <new>

#include "autodist/NDistMgr.h"
#include "entry/NModuleState.h"
#include "gendist/CurrentDist.h"
#include "net/NCompanionCache.h"
#include "gendist/NGenDist.h"
#include "gendist/NGenDistMgr.h"
#include "platform/PlatformRegistry.h"
#include "platform/NMisc.h"

namespace {
std::atomic<NDistMgr*> g_automaticManager{nullptr};
std::atomic<NGenDistMgr*> g_commandedManager{nullptr};
}

void NModule::attach(plat::ModuleHandle module) {
  NMisc::setThisModule(module);
  NMisc::getModuleFolder(module);  // learnt now, while loading: unloading must not look it up
  // The module-wide state is built now, before the detach is registered, so that it is torn
  // down only after the detach.
  NModuleState::dialogParameter();
  CurrentDist::runningDistId();
  NGenDist::indexLock();
  g_automaticManager = new (std::nothrow) NDistMgr();
  g_commandedManager = new (std::nothrow) NGenDistMgr();
}

void NModule::detach() {
  delete g_automaticManager.exchange(nullptr);
  delete g_commandedManager.exchange(nullptr);
  // What the module keeps for the process goes with it, so an unload leaves nothing behind.
  NModuleState::release();
  NCompanionCache::releaseAll();
  plat::closeRegistryConnections();
  plat::forgetModuleFileNames();
}

NGenDistMgr* NModule::commandedManager() { return g_commandedManager.load(); }

NDistMgr* NModule::automaticManager() { return g_automaticManager.load(); }

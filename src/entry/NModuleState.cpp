// The module-wide host environment copy and dialog parameter text.
#include "entry/NModuleState.h"

#include <cstring>

plat::CriticalSection& NModuleState::lock() {
  static plat::CriticalSection section;
  return section;
}

namespace {
HostEnvironment* g_environment = nullptr;  // allocated on first use, freed by release()
}

HostEnvironment& NModuleState::environment() {
  if (g_environment == nullptr) {
    g_environment = new HostEnvironment;
    std::memset(g_environment, 0, sizeof *g_environment);
  }
  return *g_environment;
}

void NModuleState::release() {
  plat::CriticalSectionLock guard(lock());
  delete g_environment;
  g_environment = nullptr;
}

NString& NModuleState::dialogText() {
  static NString text;
  return text;
}

void NModuleState::setHostEnvironment(const HostEnvironment& env) {
  plat::CriticalSectionLock guard(lock());
  std::memcpy(&environment(), &env, sizeof env);
}

std::unique_ptr<HostEnvironment> NModuleState::hostEnvironment() {
  auto copy = std::make_unique<HostEnvironment>();
  plat::CriticalSectionLock guard(lock());
  std::memcpy(copy.get(), &environment(), sizeof(HostEnvironment));
  return copy;
}

void NModuleState::setDialogParameter(const char* text) {
  plat::CriticalSectionLock guard(lock());
  dialogText() = NString(text ? text : "").left(kMaxDialogParameter);
}

NString NModuleState::dialogParameter() {
  plat::CriticalSectionLock guard(lock());
  return dialogText();
}

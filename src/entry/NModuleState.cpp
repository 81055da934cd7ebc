// The module-wide host environment copy and dialog parameter text.
#include "entry/NModuleState.h"

#include <cstring>

plat::CriticalSection& NModuleState::lock() {
  static plat::CriticalSection section;
  return section;
}

HostEnvironment& NModuleState::environment() {
  static HostEnvironment* env = [] {
    auto* block = new HostEnvironment;  // lives for the process; too large for a static zero
    std::memset(block, 0, sizeof *block);
    return block;
  }();
  return *env;
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

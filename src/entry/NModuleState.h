// NModuleState: the process-wide state that the exports write and the workers read: the last
// host environment block and the commanded progress dialog's parameter text.
#pragma once

#include <memory>

#include "entry/HostEnvironment.h"
#include "platform/NString.h"
#include "platform/PlatformSync.h"

class NModuleState {
 public:
  static constexpr int kMaxDialogParameter = 1023;

  // Replaces the module's copy of the host block wholesale (under a lock, so a worker never
  // reads a half-replaced block).
  static void setHostEnvironment(const HostEnvironment& env);
  // A copy of the last block received; zeros before the first export call.
  static std::unique_ptr<HostEnvironment> hostEnvironment();
  static void setDialogParameter(const char* text);
  static NString dialogParameter();
  // Frees the host block copy (the library is being unloaded); a later call starts from zeros.
  static void release();

 private:
  static plat::CriticalSection& lock();
  static HostEnvironment& environment();
  static NString& dialogText();
};

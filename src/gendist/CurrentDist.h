// CurrentDist and StopReason: the module-wide view of the running commanded job, shared by
// the manager thread, the post and the worker.
#pragma once

#include <atomic>
#include <cstdint>

#include "gendist/DistContent.h"
#include "platform/PlatformSync.h"

// Why the running job is asked to stop.
enum StopReasonCode : int32_t {
  kStopNone = 0,
  kStopBanPeriod = 1,
  kStopManager = 2,
  kStopCancelByActor = 3,
  kStopCancelByDistId = 4,
};

class CurrentDist {
 public:
  // The running job's content; its distribution id is -1 or 0 when nothing runs.
  static void set(const DistContent& content);
  static void clear();
  static DistContent get();
  // The running job's distribution id (> 0), or a value <= 0 when nothing runs.
  static int32_t runningDistId();

  static int32_t stopReason() { return s_stopReason.load(); }
  static void setStopReason(int32_t reason) { s_stopReason.store(reason); }

 private:
  static plat::CriticalSection& lock();
  static DistContent& content();
  static std::atomic<int32_t> s_stopReason;
};

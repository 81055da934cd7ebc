// The running commanded job's content under its own lock.
#include "gendist/CurrentDist.h"

#include <cstring>

std::atomic<int32_t> CurrentDist::s_stopReason{kStopNone};

plat::CriticalSection& CurrentDist::lock() {
  static plat::CriticalSection section;
  return section;
}

DistContent& CurrentDist::content() {
  static DistContent running = [] {
    DistContent empty{};
    empty.m_nDistId = -1;
    return empty;
  }();
  return running;
}

void CurrentDist::set(const DistContent& running) {
  plat::CriticalSectionLock guard(lock());
  content() = running;
}

void CurrentDist::clear() {
  plat::CriticalSectionLock guard(lock());
  std::memset(&content(), 0, sizeof(DistContent));
  content().m_nDistId = -1;
}

DistContent CurrentDist::get() {
  plat::CriticalSectionLock guard(lock());
  return content();
}

int32_t CurrentDist::runningDistId() {
  plat::CriticalSectionLock guard(lock());
  return content().m_nDistId;
}

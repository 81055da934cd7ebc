// NReportDataImpl: hands command results to the host's reporting component, through its
// shared-memory queue or, when the queue cannot take them, as result files in "\dataV2".
#pragma once

#include <cstdint>

#include "entry/HostEnvironment.h"
#include "entry/ReportData.h"
#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSharedMemory.h"

class NReportDataImpl {
 public:
  NReportDataImpl() = default;
  NReportDataImpl(const NReportDataImpl&) = delete;
  NReportDataImpl& operator=(const NReportDataImpl&) = delete;

  // The reporting entry of commanded distribution: queues the result and, when the queue does
  // not take it and fileFallback is set, writes it as a result file keyed by the equipment id.
  // Returns the queue's result (1 or 0); the file does not change it. May take 2 s.
  static int reportCmdResult(const HostEnvironment& env, int msgCode, uint32_t cmdId,
                             const char* textA, const char* textB, const char* dateTime,
                             const char* resultCode, const char* detail, int fileFallback);

  // Drops one message into the queue, waiting up to 2 s at a time for a free slot. Returns 1
  // when it was queued, 0 otherwise. Opens and closes the queue objects itself. Null texts are
  // empty; longer texts are cut to their fields.
  int SendReportDataRequest(int msgCode, uint32_t cmdId, const char* textA, const char* textB,
                            const char* dateTime, const char* resultCode, const char* detail);
  // Writes the record as a result file in the host's "\dataV2" folder (created when missing);
  // only command results (4386) with a non-zero command id are written.
  static void SaveToFFDR(int msgCode, const char* unitKey, const report::ReportRecord& record);

  // Fills a zeroed record; each text is cut to its field less one byte.
  static void buildRecord(report::ReportRecord& record, uint32_t cmdId, const char* textA,
                          const char* textB, const char* dateTime, const char* resultCode,
                          const char* detail);

 private:
  void openQueue();
  void closeQueue();
  bool writeMessage(const report::ReportMessage& message);
  bool takeFreeSlot(uint32_t& slot);
  void pushFilled(uint32_t slot);

  plat::SharedMemory m_shmQueue;
  plat::NamedEvent m_evtFilled;
  plat::NamedEvent m_evtAvail;
  report::ReportQueue* m_pQueue = nullptr;
};

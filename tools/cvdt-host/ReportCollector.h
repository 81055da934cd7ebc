// ReportCollector: the host's reporting component. It owns the report-data queue that the
// module writes into, takes the command results queued there and the result files the module
// left in "<agent folder>\dataV2" when the queue could not take them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entry/ReportData.h"
#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSharedMemory.h"

namespace cvdt::host {

struct CommandResult {
  std::string source;  // "queue" or "file"
  uint32_t cmdId = 0;
  std::string dateTime;
  std::string code;
  std::string detail;
  std::string unitKey;  // files only
};

class ReportCollector {
 public:
  ReportCollector() = default;
  ReportCollector(const ReportCollector&) = delete;
  ReportCollector& operator=(const ReportCollector&) = delete;

  // Creates the queue (mapping and both events) and links every slot into the free list. A
  // queue left behind by a collector that died is taken over; what it still held is kept for
  // the first takeQueued. False with a message when the queue cannot be created.
  bool open(std::string& error);
  void close();

  // True when a writer signalled "filled" within the time-out.
  bool waitFilled(uint32_t timeoutMs);
  // Takes every filled slot, in the order they arrived, gives the slots back to the free list
  // and sets "avail". Messages other than command results are skipped.
  void takeQueued(std::vector<CommandResult>& out);
  // Reads and removes every complete result file of the result folder. A file that a writer
  // has not finished yet stays for a later call.
  void takeFiles(std::vector<CommandResult>& out);

  const std::string& resultFolder() const { return m_strFolder; }
  // One JSON object on one line, without the line break.
  static std::string toJson(const CommandResult& result);
  // Parses a result file's name and bytes; false when they are not a complete result file.
  static bool parseResultFile(const std::string& name, const std::string& bytes,
                              CommandResult& result);

 private:
  // Detaches the filled list; returns its slots in arrival order.
  std::vector<uint32_t> detachFilled();
  void readSlots(const std::vector<uint32_t>& slots, std::vector<CommandResult>& out);
  void giveBack(const std::vector<uint32_t>& slots);
  void linkAllFree();

  plat::SharedMemory m_shmQueue;
  plat::NamedEvent m_evtFilled;
  plat::NamedEvent m_evtAvail;
  report::ReportQueue* m_pQueue = nullptr;
  std::string m_strFolder;
  std::vector<CommandResult> m_vecLeftover;
};

}  // namespace cvdt::host

// ReportCollector: the host's reporting component. It owns the report-data queue that the
// module writes into, takes the command results queued there and the result files the module
// left in "<agent folder>\dataV2" when the queue could not take them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "entry/ReportData.h"
#include "platform/PlatformNamedEvent.h"
#include "platform/PlatformSharedMemory.h"
#include "platform/Status.h"

namespace cvdt::host {

// text as the host prints it inside JSON: through the module's text conversion, so bytes that
// are not UTF-8 become U+FFFD and every line the host prints stays JSON.
std::string jsonText(const std::string& text);

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
  // How long a taken slot rests before it goes back on the free list. Writers take slots by
  // exchanging the free list's head for the next slot they read from the head; a writer that
  // read the head just before another writer took that slot must have made its exchange by
  // then, or the slot could come back as the head and be handed out while in use.
  static constexpr uint32_t kRestMs = 100;

  ReportCollector() = default;
  ReportCollector(const ReportCollector&) = delete;
  ReportCollector& operator=(const ReportCollector&) = delete;

  // Creates the queue (mapping and both events) and links every slot into the free list. A
  // queue left behind by a collector that died is taken over; what it still held is kept for
  // the first takeQueued. A failure says which part of the queue could not be made.
  plat::Status open();
  void close();

  // True when a writer signalled "filled" within the time-out.
  bool waitFilled(uint32_t timeoutMs);
  // Takes every filled slot, in the order they arrived, and lets it rest; slots that have
  // rested are given back to the free list and "avail" is set. Messages other than command
  // results are skipped.
  void takeQueued(std::vector<CommandResult>& out);
  // Milliseconds until the next resting slot is due (at most limit).
  uint32_t msUntilRested(uint32_t limit) const;
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
  void giveBackRested();
  void linkAllFree();

  using Clock = std::chrono::steady_clock;

  plat::SharedMemory m_shmQueue;
  plat::NamedEvent m_evtFilled;
  plat::NamedEvent m_evtAvail;
  report::ReportQueue* m_pQueue = nullptr;
  std::string m_strFolder;
  std::vector<CommandResult> m_vecLeftover;
  std::vector<std::pair<uint32_t, Clock::time_point>> m_vecResting;  // slot, due, oldest first
};

}  // namespace cvdt::host

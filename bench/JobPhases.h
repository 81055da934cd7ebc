// JobPhases: splits a running commanded job's wall time into transfers, digests and extraction
// by watching, with inotify, the files the job creates: a part's temporary file appears when its
// transfer starts and is renamed into place when it ends; the next one appears once the job has
// taken the part (while the previous part's digest is checked), so the time between two
// transfers is the digest time not hidden behind a transfer; the first entry created in the
// extraction's folder (its staging folder) marks the extraction's start.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

class JobPhases {
 public:
  using Clock = std::chrono::steady_clock;

  struct Seconds {
    double index = 0;     // from the start to the first part's transfer (index, disk check)
    double transfer = 0;  // every part's transfer
    double digest = 0;    // between a part's arrival and the next step: digests not hidden
    double extract = 0;   // from the first extracted file to the end
    int parts = 0;
  };

  JobPhases() = default;
  ~JobPhases();
  JobPhases(const JobPhases&) = delete;
  JobPhases& operator=(const JobPhases&) = delete;

  // Watches the folder the parts arrive in and the folder the extraction creates its staging
  // folder in (host paths; both must exist). False when inotify refuses.
  bool watch(const std::string& partFolder, const std::string& targetFolder);
  // Ends the watch at end and returns the phases measured from start.
  Seconds finish(Clock::time_point start, Clock::time_point end);

 private:
  void run();
  void onEvent(int wd, uint32_t mask, const char* name, Clock::time_point at);

  int m_fd = -1;
  int m_nPartWatch = -1;
  int m_nTargetWatch = -1;
  std::atomic<bool> m_bStop{false};
  std::thread m_thread;
  // Written by the watching thread only, read after it has been joined.
  bool m_bInTransfer = false;
  bool m_bExtracting = false;
  Clock::time_point m_firstTransfer{};
  Clock::time_point m_lastMark{};
  Clock::time_point m_extractStart{};
  Seconds m_seconds;
};

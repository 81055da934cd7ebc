// RecordFollower: when the commanded progress dialog shows a new state and when it ends. The
// record is read at each poll; the dialog ends once the job has ended and the linger time has
// passed, once a record it has seen goes away, or when no record appears within the wait time.
// The terminal view and the Windows window both follow a job through it.
#pragma once

#include <chrono>

#include "DialogCommandLine.h"
#include "DialogFrame.h"
#include "DialogRecordReader.h"

class RecordFollower {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Outcome { Running, Ended, NoRecord };
  struct Poll {
    bool changed = false;  // frame() shows something new: draw it
    Outcome outcome = Outcome::Running;
  };

  RecordFollower(const DialogCommandLine& line, const DialogRecordReader& reader,
                 Clock::time_point started);

  // Reads the record once, at time now.
  Poll poll(Clock::time_point now);
  // The frame read last.
  const DialogFrame& frame() const { return m_shown; }

 private:
  const DialogCommandLine& m_line;
  const DialogRecordReader& m_reader;
  const Clock::time_point m_started;
  DialogFrame m_shown;
  bool m_bSeen = false;
  bool m_bEnded = false;
  Clock::time_point m_endedAt;
};

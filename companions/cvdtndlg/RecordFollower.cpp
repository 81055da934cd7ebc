// Following a commanded job's progress record.
#include "RecordFollower.h"

RecordFollower::RecordFollower(const DialogCommandLine& line, const DialogRecordReader& reader,
                               Clock::time_point started)
    : m_line(line), m_reader(reader), m_started(started), m_endedAt(started) {}

RecordFollower::Poll RecordFollower::poll(Clock::time_point now) {
  Poll result;
  DialogFrame frame;
  if (m_reader.read(frame)) {
    result.changed = !m_bSeen || !m_shown.showsSameAs(frame);
    m_shown = frame;
    m_bSeen = true;
    if (frame.isFinal() && !m_bEnded) m_endedAt = now;
    m_bEnded = frame.isFinal();  // a frame that is not final: the distribution runs (again)
  } else if (m_bSeen) {
    result.outcome = Outcome::Ended;
    return result;
  } else if (now - m_started >= std::chrono::milliseconds(m_line.waitMs())) {
    result.outcome = Outcome::NoRecord;
    return result;
  }
  if (m_bEnded && now - m_endedAt >= std::chrono::milliseconds(m_line.lingerMs()))
    result.outcome = Outcome::Ended;
  return result;
}

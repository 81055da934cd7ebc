// The inotify watch behind JobPhases.
#include "JobPhases.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace {

double between(JobPhases::Clock::time_point from, JobPhases::Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

JobPhases::~JobPhases() {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_fd >= 0) close(m_fd);
}

bool JobPhases::watch(const std::string& partFolder, const std::string& targetFolder) {
  m_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (m_fd < 0) return false;
  m_nPartWatch = inotify_add_watch(m_fd, partFolder.c_str(), IN_CREATE | IN_MOVED_TO);
  m_nTargetWatch = inotify_add_watch(m_fd, targetFolder.c_str(), IN_CREATE);
  if (m_nPartWatch < 0 || m_nTargetWatch < 0) return false;
  m_thread = std::thread([this] { run(); });
  return true;
}

void JobPhases::run() {
  alignas(inotify_event) char buffer[16384];
  while (!m_bStop) {
    pollfd entry{m_fd, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    auto now = Clock::now();
    ssize_t length = read(m_fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      onEvent(event->wd, event->mask, event->len > 0 ? event->name : "", now);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

void JobPhases::onEvent(int wd, uint32_t mask, const char* name, Clock::time_point at) {
  if (wd == m_nTargetWatch) {
    if (!m_bExtracting) {
      m_bExtracting = true;
      m_extractStart = at;
      m_seconds.digest += between(m_lastMark, at);
    }
    return;
  }
  if ((mask & IN_CREATE) && std::strncmp(name, ".cvftc-", 7) == 0) {
    if (m_seconds.parts == 0 && !m_bInTransfer) m_firstTransfer = at;
    else m_seconds.digest += between(m_lastMark, at);
    m_bInTransfer = true;
  } else if ((mask & IN_MOVED_TO) && m_bInTransfer) {
    m_seconds.transfer += between(m_lastMark, at);
    m_bInTransfer = false;
    ++m_seconds.parts;
  } else {
    return;
  }
  m_lastMark = at;
}

JobPhases::Seconds JobPhases::finish(Clock::time_point start, Clock::time_point end) {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  m_seconds.index = between(start, m_firstTransfer);
  m_seconds.extract = m_bExtracting ? between(m_extractStart, end) : 0;
  return m_seconds;
}

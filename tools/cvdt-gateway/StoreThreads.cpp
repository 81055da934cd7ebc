// The store threads behind an event loop: a queue of request texts in, outcomes out through an
// eventfd.
#include "StoreThreads.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cvdt::gateway {

StoreThreads::StoreThreads(std::string location, SiteText site, unsigned count)
    : m_strLocation(std::move(location)), m_site(site), m_nCount(count) {}

StoreThreads::~StoreThreads() {
  {
    std::lock_guard lock(m_mutex);
    m_bStopping = true;
    m_requests.clear();
  }
  m_wake.notify_all();
  for (auto& worker : m_workers) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

plat::Status StoreThreads::start() {
  m_readyFd.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!m_readyFd) {
    return plat::Status::failure(std::string("eventfd: ") + std::strerror(errno));
  }
  for (unsigned i = 0; i < std::max(1u, m_nCount); ++i) {
    auto& worker = *m_workers.emplace_back(std::make_unique<Worker>());
    if (!worker.store.connect(m_strLocation)) {
      return plat::Status::failure(worker.store.error());
    }
    worker.procedures = std::make_unique<GatewayProcedures>(worker.store, m_site);
  }
  for (auto& worker : m_workers) {
    Worker* w = worker.get();
    if (m_nCount > 0) w->thread = std::thread([this, w] { serve(*w); });
  }
  return {};
}

void StoreThreads::submit(uint64_t key, std::string requestText) {
  if (runsInline()) {
    Outcome outcome{key, runSafely(*m_workers.front()->procedures, requestText)};
    std::lock_guard lock(m_mutex);
    m_outcomes.push_back(std::move(outcome));
    return;
  }
  {
    std::lock_guard lock(m_mutex);
    m_requests.push_back({key, std::move(requestText)});
  }
  m_wake.notify_one();
}

bool StoreThreads::withdraw(uint64_t key) {
  std::lock_guard lock(m_mutex);
  auto it = std::find_if(m_requests.begin(), m_requests.end(),
                         [key](const Request& request) { return request.key == key; });
  if (it == m_requests.end()) return false;
  m_requests.erase(it);
  return true;
}

std::vector<StoreThreads::Outcome> StoreThreads::takeOutcomes() {
  if (!runsInline()) {
    uint64_t count = 0;
    ssize_t ignored = read(m_readyFd.get(), &count, sizeof count);
    (void)ignored;
  }
  std::vector<Outcome> taken;
  std::lock_guard lock(m_mutex);
  taken.swap(m_outcomes);
  return taken;
}

void StoreThreads::serve(Worker& worker) {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_bStopping || !m_requests.empty(); });
    if (m_bStopping) return;
    Request request = std::move(m_requests.front());
    m_requests.pop_front();
    lock.unlock();
    Outcome outcome{request.key, runSafely(*worker.procedures, request.text)};
    finish(std::move(outcome));
    lock.lock();
  }
}

// Nothing may end a store thread: a failure of the gateway itself (memory) refuses the request.
GatewayOutcome StoreThreads::runSafely(GatewayProcedures& procedures, const std::string& text) {
  try {
    return procedures.run(text);
  } catch (const std::exception& error) {
    return {false, std::string("gateway error: ") + error.what()};
  }
}

// The loop is woken once for a run of outcomes: only the first one after it last took them
// writes to the eventfd.
void StoreThreads::finish(Outcome outcome) {
  bool first = false;
  {
    std::lock_guard lock(m_mutex);
    first = m_outcomes.empty();
    m_outcomes.push_back(std::move(outcome));
  }
  if (first) {
    uint64_t one = 1;
    ssize_t ignored = write(m_readyFd.get(), &one, sizeof one);
    (void)ignored;
  }
}

}  // namespace cvdt::gateway

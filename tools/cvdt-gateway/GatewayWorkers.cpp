// Running the gateway's event loops in threads on one port, and stopping them together.
#include "GatewayWorkers.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cvdt::gateway {

GatewayWorkers::GatewayWorkers(const ServerOptions& options, std::string location, SiteText site,
                               unsigned count, unsigned storeThreads)
    : m_options(options),
      m_strLocation(std::move(location)),
      m_site(site),
      m_nCount(std::max(1u, count)),
      m_nStoreThreads(storeThreads) {}

GatewayWorkers::~GatewayWorkers() {
  stopAll();
  m_workers.clear();
}

plat::Status GatewayWorkers::start() {
  // Blocked before any thread starts, so every thread inherits the mask and only the signal
  // descriptor below ever takes SIGINT and SIGTERM.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  m_signalFd.reset(signalfd(-1, &signals, SFD_CLOEXEC));
  m_stopFd.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  m_endedFd.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!m_signalFd || !m_stopFd || !m_endedFd) {
    return plat::Status::failure(std::string("signals: ") + std::strerror(errno));
  }
  ServerOptions options = m_options;
  options.reusePort = m_nCount > 1;
  options.stopFd = m_stopFd.get();
  options.descriptorShare = m_nCount;
  options.maxConnections = (m_options.maxConnections + m_nCount - 1) / m_nCount;
  for (unsigned i = 0; i < m_nCount; ++i) {
    auto& worker = *m_workers.emplace_back(std::make_unique<Worker>());
    if (plat::Status s = startWorker(worker, options); !s) return s;
    // The first loop's bind picked the port when 0 was asked for; the others join it.
    options.port = static_cast<uint16_t>(std::stoi(
        worker.server->boundAddress().substr(worker.server->boundAddress().rfind(':') + 1)));
  }
  return {};
}

plat::Status GatewayWorkers::startWorker(Worker& worker, const ServerOptions& options) {
  worker.store = std::make_unique<StoreThreads>(m_strLocation, m_site, m_nStoreThreads);
  if (plat::Status s = worker.store->start(); !s) return s;
  worker.server = std::make_unique<GatewayServer>(options, *worker.store);
  return worker.server->start();
}

std::string GatewayWorkers::boundAddress() const {
  return m_workers.front()->server->boundAddress();
}

size_t GatewayWorkers::maxConnections() const {
  return m_workers.front()->server->maxConnections() * m_workers.size();
}

uint64_t GatewayWorkers::descriptorLimit() const {
  return m_workers.front()->server->descriptorLimit();
}

void GatewayWorkers::stopAll() {
  if (!m_stopFd) return;
  uint64_t one = 1;
  ssize_t ignored = write(m_stopFd.get(), &one, sizeof one);
  (void)ignored;
  for (auto& worker : m_workers) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

int GatewayWorkers::run() {
  for (auto& worker : m_workers) {
    Worker* w = worker.get();
    int endedFd = m_endedFd.get();
    w->thread = std::thread([w, endedFd] {
      w->result = w->server->run();
      uint64_t one = 1;
      ssize_t ignored = write(endedFd, &one, sizeof one);
      (void)ignored;
    });
  }
  pollfd waits[2] = {{m_signalFd.get(), POLLIN, 0}, {m_endedFd.get(), POLLIN, 0}};
  while (poll(waits, 2, -1) < 0 && errno == EINTR) {
  }
  stopAll();
  int result = 0;
  for (auto& worker : m_workers) result = std::max(result, worker->result);
  return result;
}

}  // namespace cvdt::gateway

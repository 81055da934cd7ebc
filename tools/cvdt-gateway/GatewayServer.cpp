// The gateway's event loop on epoll: accepting, frame deadlines, the connection cap and the
// hand-over of complete frames to the procedures.
#include "GatewayServer.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace cvdt::gateway {
namespace {

constexpr uint64_t kListenKey = 0;
constexpr uint64_t kSignalKey = 1;
constexpr uint64_t kStoreKey = 2;
constexpr auto kDescriptorPause = std::chrono::milliseconds(100);
// Descriptors kept free for the listener, epoll, signals, standard streams and the database.
constexpr uint64_t kReservedDescriptors = 32;

void writeLogLine(const std::string& line) {
  std::string text = "cvdt-gateway: " + line + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
  (void)ignored;
}

}  // namespace

GatewayServer::GatewayServer(const ServerOptions& options, StoreThreads& store)
    : m_options(options), m_nMaxConnections(options.maxConnections), m_store(store) {}

GatewayServer::~GatewayServer() {
  m_entries.clear();  // the connections go before the descriptors that watch them
}

// Raises the soft descriptor limit to the hard one, so that the common soft limit of 1,024 does
// not decide how many clients can wait, and lowers the connection cap to fit what is left.
void GatewayServer::fitDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  m_nDescriptorLimit = limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : limit.rlim_cur;
  uint64_t room = m_nDescriptorLimit > 2 * kReservedDescriptors
                      ? m_nDescriptorLimit - kReservedDescriptors
                      : m_nDescriptorLimit / 2;
  room /= std::max(1u, m_options.descriptorShare);
  m_nMaxConnections = static_cast<size_t>(std::min<uint64_t>(m_options.maxConnections, room));
}

plat::Status GatewayServer::start() {
  fitDescriptorLimit();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(m_options.port);
  if (inet_pton(AF_INET, m_options.address.c_str(), &address.sin_addr) != 1) {
    return plat::Status::failure("not an IPv4 address: " + m_options.address);
  }
  m_listenFd.reset(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  int on = 1;
  setsockopt(m_listenFd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (m_options.reusePort) setsockopt(m_listenFd.get(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  // Take a connection only once its first bytes are in, so the read right after the accept
  // finds the request instead of registering the socket and waiting for it. A client that
  // sends nothing is handed over after about a second and then meets its deadline.
  setsockopt(m_listenFd.get(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &on, sizeof on);
  socklen_t length = sizeof address;
  if (!m_listenFd || bind(m_listenFd.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(m_listenFd.get(), SOMAXCONN) != 0 ||
      getsockname(m_listenFd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return plat::Status::failure("cannot listen on " + m_options.address + ":" +
                                 std::to_string(m_options.port) + ": " + std::strerror(errno));
  }
  m_nBoundPort = ntohs(address.sin_port);
  m_epollFd.reset(epoll_create1(EPOLL_CLOEXEC));
  epoll_event event{EPOLLIN, {.u64 = kListenKey}};
  epoll_event store{EPOLLIN, {.u64 = kStoreKey}};
  if (!m_epollFd || epoll_ctl(m_epollFd.get(), EPOLL_CTL_ADD, m_listenFd.get(), &event) != 0 ||
      epoll_ctl(m_epollFd.get(), EPOLL_CTL_ADD, m_store.readyFd(), &store) != 0) {
    return plat::Status::failure(std::string("epoll: ") + std::strerror(errno));
  }
  m_bAccepting = true;
  return watchSignals();
}

plat::Status GatewayServer::watchSignals() {
  signal(SIGPIPE, SIG_IGN);
  if (m_options.stopFd >= 0) {
    epoll_event event{EPOLLIN, {.u64 = kSignalKey}};
    if (epoll_ctl(m_epollFd.get(), EPOLL_CTL_ADD, m_options.stopFd, &event) == 0) return {};
    return plat::Status::failure(std::string("stop event: ") + std::strerror(errno));
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  m_signalFd.reset(signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
  epoll_event event{EPOLLIN, {.u64 = kSignalKey}};
  if (!m_signalFd || epoll_ctl(m_epollFd.get(), EPOLL_CTL_ADD, m_signalFd.get(), &event) != 0) {
    return plat::Status::failure(std::string("signals: ") + std::strerror(errno));
  }
  return {};
}

std::string GatewayServer::boundAddress() const {
  return m_options.address + ":" + std::to_string(m_nBoundPort);
}

int GatewayServer::run() {
  epoll_event events[64];
  while (!m_bStopping || m_nInStore > 0 || !m_entries.empty()) {
    int count = epoll_wait(m_epollFd.get(), events, 64, waitTimeoutMs());
    if (count < 0 && errno != EINTR) {
      writeLogLine(std::string("event loop failed: ") + std::strerror(errno));
      return 1;
    }
    for (int i = 0; i < count; ++i) dispatch(events[i].data.u64, events[i].events);
    expireConnections();
    if (!m_bAccepting && m_entries.size() < m_nMaxConnections &&
        Clock::now() >= m_resumeAcceptAt)
      setAccepting(true);
  }
  return 0;
}

void GatewayServer::dispatch(uint64_t key, uint32_t events) {
  if (key == kListenKey) {
    acceptClients();
  } else if (key == kSignalKey) {
    beginStopping();
  } else if (key == kStoreKey) {
    takeOutcomes();
  } else if (auto it = m_entries.find(key); it != m_entries.end()) {
    GatewayConnection& connection = *it->second.connection;
    bool writable = connection.replying() && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) != 0;
    advance(it, writable ? connection.writeSome() : connection.readSome());
  }
}

// One connection per wake-up: the listener stays ready while more wait, and the next wait
// returns at once, so an accept that would find nothing is never tried. At the cap the oldest
// connection still waiting for its frame makes room, so idle clients cannot keep others out.
void GatewayServer::acceptClients() {
  if (m_entries.size() >= m_nMaxConnections && !closeOldestIdle()) {
    setAccepting(false);
    return;
  }
  acceptOne();
}

// Entries are in accept order, so the first one that is not being answered is the oldest idle.
bool GatewayServer::closeOldestIdle() {
  for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
    if (it->second.connection->replying() || it->second.inStore) continue;
    log(*it->second.connection, "connection cap of " + std::to_string(m_nMaxConnections) +
                                    " reached, the oldest idle connection closed");
    closeConnection(it);
    return true;
  }
  return false;
}

// Reads at once: the request has usually arrived by the time the connection is accepted.
void GatewayServer::acceptOne() {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int fd = accept4(m_listenFd.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                   SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
      writeLogLine(std::string("accept failed, pausing: ") + std::strerror(errno));
      m_resumeAcceptAt = Clock::now() + kDescriptorPause;
      setAccepting(false);
    }
    return;
  }
  auto deadline = Clock::now() + std::chrono::milliseconds(m_options.frameTimeoutMs);
  auto connection = std::make_unique<GatewayConnection>(fd, peer, deadline);
  size_t& fromAddress = m_connectionsPerAddress[peer.sin_addr.s_addr];
  if (fromAddress >= m_options.maxPerAddress) {
    log(*connection, "refused: " + std::to_string(fromAddress) +
                         " connections from this address are open already");
    return;  // the connection closes its socket
  }
  ++fromAddress;
  auto [it, added] = m_entries.emplace(
      m_nNextKey++, Entry{std::move(connection), 0, peer.sin_addr.s_addr});
  advance(it, it->second.connection->readSome());
}

void GatewayServer::advance(Entries::iterator it, GatewayConnection::Progress progress) {
  using Progress = GatewayConnection::Progress;
  GatewayConnection& connection = *it->second.connection;
  switch (progress) {
    case Progress::NeedMore:
      watch(it, connection.replying() ? EPOLLOUT : EPOLLIN);
      return;
    case Progress::FrameReady: handOver(it); return;
    case Progress::FrameRefused:
      log(connection, "refused: " + connection.failure());
      advance(it, connection.startReply("C00440AERR|@" + connection.failure()));
      return;
    case Progress::Failed:
      log(connection, connection.failure());
      break;
    case Progress::ReplySent:
      break;
  }
  closeConnection(it);
}

// The socket is not watched while the store works: a client that closes meanwhile would
// otherwise wake the loop again and again.
void GatewayServer::handOver(Entries::iterator it) {
  Entry& entry = it->second;
  if (entry.events != 0) {
    epoll_ctl(m_epollFd.get(), EPOLL_CTL_DEL, entry.connection->fd(), nullptr);
    entry.events = 0;
  }
  entry.inStore = true;
  ++m_nInStore;
  m_store.submit(it->first, entry.connection->body());
  if (m_store.runsInline()) takeOutcomes();
}

// A connection closed meanwhile (its deadline) has its outcome dropped.
void GatewayServer::takeOutcomes() {
  for (StoreThreads::Outcome& done : m_store.takeOutcomes()) {
    auto it = m_entries.find(done.key);
    if (it == m_entries.end() || !it->second.inStore) continue;
    it->second.inStore = false;
    --m_nInStore;
    GatewayConnection& connection = *it->second.connection;
    if (done.outcome.ok) {
      advance(it, connection.startReply("C00440AOK|@" + done.outcome.text));
      continue;
    }
    log(connection, "refused: " + done.outcome.text);
    advance(it, connection.startReply("C00440AERR|@" + done.outcome.text));
  }
}

// No new clients; those still sending are closed; requests in the store get their replies.
void GatewayServer::beginStopping() {
  m_bStopping = true;
  setAccepting(false);
  // The stop stays readable (signal pending, or the event shared by every loop): unwatched.
  int stopFd = m_options.stopFd >= 0 ? m_options.stopFd : m_signalFd.get();
  epoll_ctl(m_epollFd.get(), EPOLL_CTL_DEL, stopFd, nullptr);
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    auto next = std::next(it);
    if (!it->second.inStore && !it->second.connection->replying()) closeConnection(it);
    it = next;
  }
}

void GatewayServer::watch(Entries::iterator it, uint32_t events) {
  Entry& entry = it->second;
  if (entry.events == events) return;
  epoll_event event{events, {.u64 = it->first}};
  int operation = entry.events == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
  if (epoll_ctl(m_epollFd.get(), operation, entry.connection->fd(), &event) != 0) {
    log(*entry.connection, std::string("cannot watch the socket: ") + std::strerror(errno));
    closeConnection(it);
    return;
  }
  entry.events = events;
}

void GatewayServer::closeConnection(Entries::iterator it) {
  if (it->second.inStore) {
    m_store.withdraw(it->first);  // not started: nothing of it is written
    --m_nInStore;
  }
  auto counted = m_connectionsPerAddress.find(it->second.address);
  if (counted != m_connectionsPerAddress.end() && --counted->second == 0)
    m_connectionsPerAddress.erase(counted);
  m_entries.erase(it);
  // A close frees a descriptor, so it also ends a pause for running out of them.
  setAccepting(true);
}

void GatewayServer::expireConnections() {
  auto now = Clock::now();
  while (!m_entries.empty() && m_entries.begin()->second.connection->deadline() <= now) {
    const GatewayConnection& connection = *m_entries.begin()->second.connection;
    const char* what = m_entries.begin()->second.inStore ? "no answer from the database"
                       : connection.replying()           ? "reply not taken"
                                                         : "no complete frame";
    log(connection,
        std::string(what) + " within " + std::to_string(m_options.frameTimeoutMs) + " ms, closed");
    closeConnection(m_entries.begin());
  }
}

void GatewayServer::setAccepting(bool accepting) {
  if (accepting == m_bAccepting || (accepting && m_bStopping)) return;
  if (accepting && m_entries.size() >= m_nMaxConnections) return;
  epoll_event event{accepting ? uint32_t(EPOLLIN) : 0u, {.u64 = kListenKey}};
  if (epoll_ctl(m_epollFd.get(), EPOLL_CTL_MOD, m_listenFd.get(), &event) == 0)
    m_bAccepting = accepting;
}

int GatewayServer::waitTimeoutMs() const {
  Clock::time_point wake = Clock::time_point::max();
  if (!m_entries.empty()) wake = m_entries.begin()->second.connection->deadline();
  if (!m_bAccepting && !m_bStopping && m_entries.size() < m_nMaxConnections)
    wake = std::min(wake, m_resumeAcceptAt);
  if (wake == Clock::time_point::max()) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 60000));
}

void GatewayServer::log(const GatewayConnection& connection, const std::string& what) const {
  writeLogLine(connection.peer() + ": " + what);
}

}  // namespace cvdt::gateway

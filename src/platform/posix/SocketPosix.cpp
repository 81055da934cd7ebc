// TCP client sockets of the Linux backend. Event selection is emulated with poll: FD_CONNECT
// when a connect completes, FD_WRITE while the socket takes bytes, FD_READ when bytes have come
// (or were consumed) since the last report, FD_CLOSE when the peer has closed and no new bytes
// are waiting. A wait never spins: when nothing new can be reported it polls again in short steps.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/PlatformSocket.h"
#include "platform/PlatformSync.h"

namespace plat {
namespace {

std::atomic<int> g_spuriousWakeups{0};
std::atomic<int> g_maxSendBytes{0};
// Counts receives on every socket, so a wait can tell that bytes were consumed since its last
// FD_READ report even when the readable count happens to be the same again.
std::atomic<uint64_t> g_receiveGeneration{0};
thread_local int t_lastError = 0;

constexpr int kIdlePollStepMs = 5;

int wsaFromErrno(int error) {
  switch (error) {
    case EAGAIN:
    case EINPROGRESS: return kWsaWouldBlock;
    case ECONNREFUSED: return kWsaConnRefused;
    case ETIMEDOUT: return kWsaTimedOut;
    case ECONNRESET:
    case EPIPE: return kWsaConnReset;
    case EHOSTUNREACH:
    case ENETUNREACH: return kWsaHostUnreach;
    case ECONNABORTED: return kWsaConnAborted;
    case EBADF:
    case ENOTSOCK: return kWsaNotSock;
    default: return 10000 + error;
  }
}

int fail(int error) {
  t_lastError = wsaFromErrno(error);
  return -1;
}

int socketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return wsaFromErrno(errno);
  return error == 0 ? 0 : wsaFromErrno(error);
}

}  // namespace

SocketHandle socketOpenTcp() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail(errno);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void socketClose(SocketHandle socket) {
  if (socket >= 0) close(static_cast<int>(socket));
}

bool resolveIpv4(const std::string& host, uint32_t& address) {
  in_addr_t direct = inet_addr(host.c_str());
  if (direct != INADDR_NONE) {
    address = direct;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
    return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

void socketConnect(SocketHandle socket, uint32_t address, int port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<uint16_t>(port));
  target.sin_addr.s_addr = address;
  if (connect(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
    fail(errno);
}

int socketSend(SocketHandle socket, const void* buffer, int length) {
  int limit = g_maxSendBytes.load();
  if (limit > 0 && length > limit) length = limit;
  ssize_t n;
  do {
    n = send(static_cast<int>(socket), buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? fail(errno) : static_cast<int>(n);
}

int socketRecv(SocketHandle socket, void* buffer, int length) {
  ssize_t n;
  do {
    n = recv(static_cast<int>(socket), buffer, static_cast<size_t>(length), 0);
  } while (n < 0 && errno == EINTR);
  if (n > 0) g_receiveGeneration.fetch_add(1);
  return n < 0 ? fail(errno) : static_cast<int>(n);
}

bool socketReadableBytes(SocketHandle socket, uint32_t& count) {
  int available = 0;
  if (ioctl(static_cast<int>(socket), FIONREAD, &available) != 0) {
    fail(errno);
    return false;
  }
  count = static_cast<uint32_t>(available);
  return true;
}

int socketLastError() { return t_lastError; }

void setSocketTestHooks(const SocketTestHooks& hooks) {
  g_spuriousWakeups.store(hooks.spuriousWakeups);
  g_maxSendBytes.store(hooks.maxSendBytes);
}

struct SocketEventSelect::Impl {
  int fd = -1;
  uint32_t mask = 0;
  bool connectPending = false;
  uint32_t reportedCount = 0;     // readable bytes at the last FD_READ report
  uint64_t reportedGeneration = 0;

  short pollEvents() const {
    short events = 0;
    if (mask & (kFdRead | kFdClose)) events |= POLLIN | POLLRDHUP;
    if ((mask & kFdWrite) || connectPending) events |= POLLOUT;
    return events;
  }
  uint32_t readEvents(short revents, int& closeError);
  NetworkEvents collect(short revents);
};

uint32_t SocketEventSelect::Impl::readEvents(short revents, int& closeError) {
  uint32_t count = 0;
  socketReadableBytes(fd, count);
  uint64_t generation = g_receiveGeneration.load();
  bool fresh = count > 0 && (count != reportedCount || generation != reportedGeneration);
  bool closed = (revents & (POLLRDHUP | POLLHUP | POLLERR)) || ((revents & POLLIN) && count == 0);
  uint32_t events = 0;
  if ((mask & kFdRead) && fresh) {
    events |= kFdRead;
    reportedCount = count;
    reportedGeneration = generation;
  }
  if ((mask & kFdClose) && closed && (events == 0 || (revents & POLLRDHUP))) {
    events |= kFdClose;
    closeError = socketError(fd);
  }
  return events;
}

NetworkEvents SocketEventSelect::Impl::collect(short revents) {
  NetworkEvents out;
  if (connectPending && (revents & (POLLOUT | POLLERR | POLLHUP))) {
    connectPending = false;
    out.events |= kFdConnect;
    out.connectError = socketError(fd);
    if (out.connectError == 0 && (mask & kFdWrite)) out.events |= kFdWrite;
    return out;
  }
  if ((mask & kFdWrite) && (revents & POLLOUT) && !(revents & (POLLERR | POLLHUP)))
    out.events |= kFdWrite;
  if (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) out.events |= readEvents(revents, out.closeError);
  return out;
}

SocketEventSelect::SocketEventSelect() : m_impl(std::make_unique<Impl>()) {}
SocketEventSelect::~SocketEventSelect() = default;

bool SocketEventSelect::select(SocketHandle socket, uint32_t events) {
  int fd = static_cast<int>(socket);
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    fail(errno);
    return false;
  }
  m_impl->fd = fd;
  m_impl->mask = events;
  m_impl->connectPending = (events & kFdConnect) != 0;
  m_impl->reportedCount = 0;  // bytes already waiting are reported, as on a fresh selection
  return true;
}

int SocketEventSelect::wait(uint32_t timeoutMs, NetworkEvents& events) {
  events = NetworkEvents{};
  if (g_spuriousWakeups.load() > 0 && g_spuriousWakeups.fetch_sub(1) > 0) return 0;
  if (m_impl->fd < 0 || m_impl->mask == 0) return -1;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int remaining = -1;
    if (timeoutMs != kInfinite) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      remaining = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    pollfd entry{m_impl->fd, m_impl->pollEvents(), 0};
    int rc = poll(&entry, 1, remaining);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) return fail(errno);
    if (rc == 0) return kWaitTimeout;
    events = m_impl->collect(entry.revents);
    if (events.events != 0) return 0;
    if (remaining == 0) return kWaitTimeout;
    // Nothing new to report (bytes still unread, nothing more came): look again shortly.
    std::this_thread::sleep_for(std::chrono::milliseconds(
        remaining < 0 ? kIdlePollStepMs : std::min(remaining, kIdlePollStepMs)));
  }
}

}  // namespace plat

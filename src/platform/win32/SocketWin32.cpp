// TCP client sockets of the win32 backend on Windows Sockets 2: WSAEventSelect on one event
// object, WSAWaitForMultipleEvents and WSAEnumNetworkEvents give the network events as the
// system records them.
#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/PlatformSocket.h"
#include "platform/PlatformSync.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

static_assert(kFdRead == FD_READ && kFdWrite == FD_WRITE && kFdConnect == FD_CONNECT &&
              kFdClose == FD_CLOSE);
static_assert(kWsaWouldBlock == WSAEWOULDBLOCK && kWsaConnRefused == WSAECONNREFUSED &&
              kWsaTimedOut == WSAETIMEDOUT && kWsaConnReset == WSAECONNRESET);

namespace {

std::atomic<int> g_spuriousWakeups{0};
std::atomic<int> g_maxSendBytes{0};

SOCKET native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

}  // namespace

namespace win32 {

bool startWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

}  // namespace win32

SocketHandle socketOpenTcp() {
  if (!win32::startWinsock()) return kInvalidSocket;
  SOCKET socket = WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
  if (socket == INVALID_SOCKET) return kInvalidSocket;
  BOOL one = TRUE;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return static_cast<SocketHandle>(socket);
}

void socketClose(SocketHandle socket) {
  if (socket != kInvalidSocket) closesocket(native(socket));
}

bool resolveIpv4(const std::string& host, uint32_t& address) {
  if (!win32::startWinsock()) return false;
  unsigned long direct = inet_addr(host.c_str());
  if (direct != INADDR_NONE) {
    address = direct;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

void socketConnect(SocketHandle socket, uint32_t address, int port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<u_short>(port));
  target.sin_addr.s_addr = address;
  connect(native(socket), reinterpret_cast<sockaddr*>(&target), sizeof target);
}

int socketSend(SocketHandle socket, const void* buffer, int length) {
  int limit = g_maxSendBytes.load();
  if (limit > 0 && length > limit) length = limit;
  int n = send(native(socket), static_cast<const char*>(buffer), length, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int socketRecv(SocketHandle socket, void* buffer, int length) {
  int n = recv(native(socket), static_cast<char*>(buffer), length, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool socketReadableBytes(SocketHandle socket, uint32_t& count) {
  u_long available = 0;
  if (ioctlsocket(native(socket), FIONREAD, &available) != 0) return false;
  count = static_cast<uint32_t>(available);
  return true;
}

int socketLastError() { return WSAGetLastError(); }

void setSocketTestHooks(const SocketTestHooks& hooks) {
  g_spuriousWakeups.store(hooks.spuriousWakeups);
  g_maxSendBytes.store(hooks.maxSendBytes);
}

// Winsock posts FD_READ again only after a recv: bytes that arrive after an FD_READ which no recv
// followed (a reader waiting for a whole length field) are never reported. The interface reports
// FD_READ whenever new bytes have arrived since the last report, so once FD_READ was reported the
// wait also looks at the count of unread bytes, in short slices, and reports a growth.
struct SocketEventSelect::Impl {
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT event = WSA_INVALID_EVENT;
  uint32_t mask = 0;
  bool readReported = false;
  u_long readableAtReport = 0;

  static constexpr DWORD kReadableLookMs = 10;

  u_long readable() const {
    u_long count = 0;
    return ioctlsocket(socket, FIONREAD, &count) == 0 ? count : 0;
  }
  // True when unread bytes grew since the last FD_READ report; a recv that took bytes lowers
  // the mark.
  bool readableGrew() {
    u_long now = readable();
    bool grew = now > readableAtReport;
    readableAtReport = now;
    return grew;
  }
  bool watchingReadable() const { return readReported && (mask & FD_READ) != 0; }
};

SocketEventSelect::SocketEventSelect() : m_impl(std::make_unique<Impl>()) {
  if (win32::startWinsock()) m_impl->event = WSACreateEvent();
}

SocketEventSelect::~SocketEventSelect() {
  if (m_impl->event != WSA_INVALID_EVENT) WSACloseEvent(m_impl->event);
}

bool SocketEventSelect::select(SocketHandle socket, uint32_t events) {
  if (m_impl->event == WSA_INVALID_EVENT) return false;
  if (WSAEventSelect(native(socket), m_impl->event, static_cast<long>(events)) != 0) return false;
  m_impl->socket = native(socket);
  m_impl->mask = events;
  m_impl->readReported = false;
  return true;
}

int SocketEventSelect::wait(uint32_t timeoutMs, NetworkEvents& events) {
  events = NetworkEvents{};
  if (g_spuriousWakeups.load() > 0 && g_spuriousWakeups.fetch_sub(1) > 0) return 0;
  if (m_impl->socket == INVALID_SOCKET || m_impl->mask == 0) return -1;
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    DWORD left =
        timeoutMs == kInfinite ? INFINITE : static_cast<DWORD>(deadline > now ? deadline - now : 0);
    DWORD slice = m_impl->watchingReadable() ? std::min<DWORD>(left, Impl::kReadableLookMs) : left;
    DWORD rc = WSAWaitForMultipleEvents(1, &m_impl->event, FALSE, slice, FALSE);
    if (rc == WSA_WAIT_EVENT_0) break;
    if (rc != WSA_WAIT_TIMEOUT) return -1;
    if (m_impl->watchingReadable() && m_impl->readableGrew()) {
      events.events = FD_READ;
      return 0;
    }
    if (slice == left) return kWaitTimeout;
  }
  WSANETWORKEVENTS happened{};
  if (WSAEnumNetworkEvents(m_impl->socket, m_impl->event, &happened) != 0) return -1;
  events.events = static_cast<uint32_t>(happened.lNetworkEvents);
  events.connectError = happened.iErrorCode[FD_CONNECT_BIT];
  events.closeError = happened.iErrorCode[FD_CLOSE_BIT];
  // The peer's close can wake the wait before the look at the unread bytes does.
  if ((events.events & FD_READ) == 0 && m_impl->watchingReadable() && m_impl->readableGrew())
    events.events |= FD_READ;
  if (events.events & FD_READ) {
    m_impl->readReported = true;
    m_impl->readableAtReport = m_impl->readable();
  }
  return 0;
}

}  // namespace plat

// TCP client sockets with Windows-style event selection (WSAEventSelect semantics): a socket
// selected for network events is non-blocking, and a wait reports which of FD_READ, FD_WRITE,
// FD_CONNECT and FD_CLOSE happened, with the connect and close error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace plat {

using SocketHandle = intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

inline constexpr uint32_t kFdRead = 0x01;
inline constexpr uint32_t kFdWrite = 0x02;
inline constexpr uint32_t kFdConnect = 0x10;
inline constexpr uint32_t kFdClose = 0x20;

// Winsock error codes.
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaConnAborted = 10053;
inline constexpr int kWsaConnReset = 10054;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaConnRefused = 10061;
inline constexpr int kWsaHostUnreach = 10065;
inline constexpr int kWsaNotSock = 10038;

struct NetworkEvents {
  uint32_t events = 0;   // kFd* bits
  int connectError = 0;  // Winsock error of FD_CONNECT
  int closeError = 0;    // Winsock error of FD_CLOSE (0: graceful)
};

// WSASocketA(AF_INET, SOCK_STREAM): a TCP socket, or kInvalidSocket.
SocketHandle socketOpenTcp();
void socketClose(SocketHandle socket);
// inet_addr, then the host-name lookup: the IPv4 address in network byte order.
bool resolveIpv4(const std::string& host, uint32_t& address);
// Starts a connect; on a selected (non-blocking) socket the outcome comes as FD_CONNECT.
void socketConnect(SocketHandle socket, uint32_t address, int port);
// WSASend / WSARecv of one buffer: bytes moved, or -1 with the error in socketLastError();
// recv gives 0 when the peer has closed.
int socketSend(SocketHandle socket, const void* buffer, int length);
int socketRecv(SocketHandle socket, void* buffer, int length);
// ioctlsocket(FIONREAD).
bool socketReadableBytes(SocketHandle socket, uint32_t& count);
// The calling thread's last Winsock error (WSAGetLastError).
int socketLastError();

// An event object selected on one socket (WSACreateEvent + WSAEventSelect +
// WSAWaitForMultipleEvents + WSAEnumNetworkEvents).
class SocketEventSelect {
 public:
  SocketEventSelect();
  ~SocketEventSelect();
  SocketEventSelect(const SocketEventSelect&) = delete;
  SocketEventSelect& operator=(const SocketEventSelect&) = delete;

  // Selects the events (0 deselects); the socket becomes non-blocking. False on an error.
  bool select(SocketHandle socket, uint32_t events);
  // Waits for a selected event. Returns 0 with the events that happened, kWaitTimeout (258)
  // when none came in time, or -1 when the wait failed. FD_READ is reported when new bytes have
  // arrived since the last report; FD_WRITE while the socket can take more bytes. events is
  // cleared first, so after a time-out or a failure it holds no event.
  int wait(uint32_t timeoutMs, NetworkEvents& events);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Fault injection for tests of the protocol's rare paths; all zero in production.
struct SocketTestHooks {
  int spuriousWakeups = 0;  // the next waits of this many report no event at all
  int maxSendBytes = 0;     // when positive, one send moves at most this many bytes
};
void setSocketTestHooks(const SocketTestHooks& hooks);

}  // namespace plat

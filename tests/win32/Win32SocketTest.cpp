// The win32 backend's sockets against a listening socket on 127.0.0.1: the connect reported as
// FD_CONNECT, FD_WRITE after it, FD_READ when bytes come, FD_CLOSE when the peer closes, and a
// refused connect with its Winsock error.
#include <gtest/gtest.h>

#include "platform/PlatformHost.h"
#include "platform/PlatformSocket.h"
#include "platform/PlatformSync.h"
#include "platform/win32/WindowsApi.h"

namespace {

using namespace plat;

// A listening socket on an ephemeral loopback port.
class Listener {
 public:
  Listener() {
    win32::startWinsock();
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_socket, 4);
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_nPort = ntohs(address.sin_port);
  }
  ~Listener() { closesocket(m_socket); }
  int port() const { return m_nPort; }
  SOCKET accept() { return ::accept(m_socket, nullptr, nullptr); }

 private:
  SOCKET m_socket = INVALID_SOCKET;
  int m_nPort = 0;
};

// Waits for the wanted events, passing over waits that report others first.
NetworkEvents waitFor(SocketEventSelect& select, uint32_t wanted) {
  NetworkEvents events, all;
  for (int i = 0; i < 20 && (all.events & wanted) != wanted; ++i) {
    if (select.wait(5000, events) != 0) break;
    all.events |= events.events;
    all.connectError |= events.connectError;
    all.closeError |= events.closeError;
  }
  return all;
}

TEST(Win32SocketTest, ConnectSendReceiveAndClose) {
  Listener listener;
  SocketHandle client = socketOpenTcp();
  ASSERT_NE(client, kInvalidSocket);
  uint32_t address = 0;
  ASSERT_TRUE(resolveIpv4("127.0.0.1", address));
  SocketEventSelect select;
  ASSERT_TRUE(select.select(client, kFdConnect));
  socketConnect(client, address, listener.port());
  NetworkEvents connected = waitFor(select, kFdConnect);
  EXPECT_EQ(connected.events & kFdConnect, kFdConnect);
  EXPECT_EQ(connected.connectError, 0);
  SOCKET server = listener.accept();
  ASSERT_NE(server, INVALID_SOCKET);

  ASSERT_TRUE(select.select(client, kFdRead | kFdWrite | kFdClose));
  EXPECT_EQ(waitFor(select, kFdWrite).events & kFdWrite, kFdWrite);
  EXPECT_EQ(socketSend(client, "ping", 4), 4);
  char buffer[16] = {};
  EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), 4);
  send(server, "pong!", 5, 0);
  EXPECT_EQ(waitFor(select, kFdRead).events & kFdRead, kFdRead);
  uint32_t readable = 0;
  ASSERT_TRUE(socketReadableBytes(client, readable));
  EXPECT_EQ(readable, 5u);
  EXPECT_EQ(socketRecv(client, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "pong!");
  closesocket(server);
  NetworkEvents closed = waitFor(select, kFdClose);
  EXPECT_EQ(closed.events & kFdClose, kFdClose);
  EXPECT_EQ(socketRecv(client, buffer, sizeof buffer), 0);
  socketClose(client);
}

TEST(Win32SocketTest, RefusedConnectAndTimeouts) {
  int port = 0;
  {
    Listener closedAgain;
    port = closedAgain.port();
  }
  SocketHandle client = socketOpenTcp();
  SocketEventSelect select;
  ASSERT_TRUE(select.select(client, kFdConnect));
  socketConnect(client, htonl(INADDR_LOOPBACK), port);
  NetworkEvents events = waitFor(select, kFdConnect);
  EXPECT_EQ(events.events & kFdConnect, kFdConnect);
  EXPECT_EQ(events.connectError, kWsaConnRefused);
  socketClose(client);

  Listener silent;
  client = socketOpenTcp();
  SocketEventSelect reads;
  socketConnect(client, htonl(INADDR_LOOPBACK), silent.port());
  ASSERT_TRUE(reads.select(client, kFdRead));
  NetworkEvents none;
  EXPECT_EQ(reads.wait(50, none), kWaitTimeout);
  socketClose(client);

  uint32_t address = 0;
  EXPECT_FALSE(resolveIpv4("", address));
  std::string name;
  EXPECT_TRUE(localHostName(name));
  EXPECT_FALSE(name.empty());
}

}  // namespace

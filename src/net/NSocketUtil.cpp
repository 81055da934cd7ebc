// The socket steps of a gateway request: bounded connect, non-blocking send, exact receive.
#include "net/NSocketUtil.h"

#include <chrono>
#include <cstring>

#include "platform/PlatformSync.h"
#include "platform/Trace.h"

namespace NSocketUtil {
namespace {

constexpr int kHostBufferSize = 17;
constexpr uint32_t kRecvRetryMs = 100;

void logConnectFailure(const char* step, const char* host, int port, int timeoutMs) {
  trace(3, "NSocketUtil::connectSock%s, (%s)(%d)(%d)(code: %d), failed..\n", step, host, port,
        timeoutMs, plat::socketLastError());
}

// Waits until the connect is reported, passing over wake-ups that carry no event.
int waitForConnect(plat::SocketEventSelect& events, const char* host, int port, int timeoutMs,
                   plat::NetworkEvents& happened) {
  for (;;) {
    int rc = events.wait(static_cast<uint32_t>(timeoutMs), happened);
    if (rc != 0 || happened.events != 0) return rc;
    trace(3, "NSocketUtil::connectSock<5>: lNetworkEvents == 0 IGNORE for [spurious "
             "WSAWaitForMultipleEvents] ISSUE \n");
    trace(3, "NSocketUtil::connectSock<5>: DETAIL param: (%s)(%d)(%d)(code: %d) \n", host, port,
          timeoutMs, plat::socketLastError());
    plat::sleepMs(1);
  }
}

}  // namespace

plat::SocketHandle connectSock(const char* host, int port, int timeoutMs) {
  char hostText[kHostBufferSize] = {};
  std::strncpy(hostText, host ? host : "", kHostBufferSize - 1);
  plat::SocketHandle socket = plat::socketOpenTcp();
  if (socket == plat::kInvalidSocket) {
    logConnectFailure("", hostText, port, timeoutMs);
    return plat::kInvalidSocket;
  }
  uint32_t address = 0;
  plat::SocketEventSelect events;
  if (!plat::resolveIpv4(hostText, address) || !events.select(socket, plat::kFdConnect)) {
    plat::socketClose(socket);
    return plat::kInvalidSocket;
  }
  plat::socketConnect(socket, address, port);
  plat::NetworkEvents happened;
  int rc = waitForConnect(events, hostText, port, timeoutMs, happened);
  const char* failedStep = rc == plat::kWaitTimeout                  ? "<4>"
                           : rc != 0                                 ? "<3>"
                           : happened.events != plat::kFdConnect     ? "<8>"
                           : happened.connectError != 0              ? "<6>"
                                                                     : nullptr;
  if (failedStep != nullptr) {
    logConnectFailure(failedStep, hostText, port, timeoutMs);
    plat::socketClose(socket);
    return plat::kInvalidSocket;
  }
  return socket;
}

int sendPacket(plat::SocketHandle socket, const unsigned char* buffer, int length) {
  int sent = 0;
  while (sent < length) {
    int n = plat::socketSend(socket, buffer + sent, length - sent);
    if (n < 0) return plat::socketLastError() == plat::kWsaWouldBlock ? sent : -1;
    sent += n;
  }
  return length;
}

int recvPacketExact(plat::SocketHandle socket, unsigned char* buffer, int length,
                    uint32_t maxWaitMs) {
  if (length < 1) return -1;
  int received = 0;
  uint32_t waited = 0;
  while (received < length) {
    int n = plat::socketRecv(socket, buffer + received, length - received);
    if (n > 0) {
      received += n;
      waited = 0;
    } else if (n < 0 && plat::socketLastError() == plat::kWsaWouldBlock && waited < maxWaitMs) {
      plat::sleepMs(kRecvRetryMs);
      waited += kRecvRetryMs;
    } else {
      return -1;  // an error, a peer that closed mid-frame, or one that stalled too long
    }
  }
  return length;
}

}  // namespace NSocketUtil

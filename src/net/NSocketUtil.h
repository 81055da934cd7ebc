// NSocketUtil: the socket steps of a gateway request: a connect bounded by a time-out, a send
// that stops when the socket would block, and a receive of an exact length.
#pragma once

#include <cstdint>

#include "platform/PlatformSocket.h"

namespace NSocketUtil {

// A connected, non-blocking TCP socket to host (dotted IPv4 or a name) and port, or
// plat::kInvalidSocket when the address cannot be resolved or the connection is not made within
// timeoutMs.
plat::SocketHandle connectSock(const char* host, int port, int timeoutMs);
// Sends as much of the buffer as the socket takes: the full length, the count sent before the
// socket would block (possibly 0), or -1 on an error.
int sendPacket(plat::SocketHandle socket, const unsigned char* buffer, int length);
// Receives exactly length bytes: length, or -1 on an error, a peer that closed, or when no byte
// has come for maxWaitMs of would-block retries.
int recvPacketExact(plat::SocketHandle socket, unsigned char* buffer, int length,
                    uint32_t maxWaitMs = 600000);

}  // namespace NSocketUtil

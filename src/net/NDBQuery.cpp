// The gateway client: request framing, the event-driven send and receive, the reply check.
#include "net/NDBQuery.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "net/NSocketUtil.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/Trace.h"

namespace {

constexpr const char* kRequestPrefix = "C00440A";
constexpr const char* kReplyOk = "C00440AOK";
constexpr const char* kFieldSeparator = "|@";
constexpr int kAddressBufferSize = 100;
constexpr int kHeaderSize = 4;

// Returned by readReply when too few bytes have come to hold the length field yet.
constexpr int kNeedMoreBytes = 2;

void putLength(unsigned char* at, uint32_t length) {
  for (int i = 0; i < kHeaderSize; ++i) at[i] = static_cast<unsigned char>(length >> (8 * i));
}

uint32_t getLength(const unsigned char* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

std::atomic<uint32_t> g_defaultReplyWaitMs{NDBQuery::kReplyWaitMs};

}  // namespace

void NDBQuery::setDefaultReplyWaitMs(uint32_t milliseconds) { g_defaultReplyWaitMs = milliseconds; }

uint32_t NDBQuery::defaultReplyWaitMs() { return g_defaultReplyWaitMs.load(); }

void NDBQuery::setServer(const char* address, int port) {
  m_strAddress = address ? address : "";
  m_nPort = port;
}

bool NDBQuery::execStoredProc(const char* procedureName, int parameterCount,
                              const char* parameters, NString& result) {
  NString address = m_strAddress.left(kAddressBufferSize - 1);
  NMisc::normalizeIpAddress(address);
  NString request = kRequestPrefix;
  NString body;
  body.format("%s%s%d%s%s", procedureName ? procedureName : "", kFieldSeparator, parameterCount,
              kFieldSeparator, parameters ? parameters : "");
  request += body;

  plat::SocketHandle socket = NSocketUtil::connectSock(address.text(), m_nPort, kConnectTimeoutMs);
  if (socket == plat::kInvalidSocket) {
    trace(1, "NDBQuery::execStoredProc(1): connect error (%s, %d)\n", address.text(), m_nPort);
    return false;
  }
  NString reply;
  if (!socketProc(socket, request, reply)) {
    trace(1, "NDBQuery::execStoredProc(2): socketProc error (%s, %d)\n", address.text(), m_nPort);
    return false;
  }
  trace(1, "NDBQuery::execStoredProc(2-1): socketProc suc (%s, %d) (%s)\n", address.text(),
        m_nPort, reply.text());
  // The field buffer is as long as the reply, so a long result comes back whole.
  NStrtok tokenizer;
  NStringArray& fields = tokenizer.split(reply.text(), reply.length() + 1, kFieldSeparator, true);
  if (fields.getCount() != 2) {
    trace(1, "NDBQuery::execStoredProc(3): Invalid return value (1)\n");
    return false;
  }
  NString status;
  fields.getAt(status, 0);
  if (status.compare(kReplyOk) != 0) {
    trace(1, "NDBQuery::execStoredProc(3): Invalid return value (2)\n");
    return false;
  }
  fields.getAt(result, 1);
  return true;
}

bool NDBQuery::socketProc(plat::SocketHandle socket, NString request, NString& reply) {
  // The frame buffer is sized to the request, so a long request can never overrun it.
  const int length = request.length();
  std::vector<unsigned char> frame(static_cast<size_t>(kHeaderSize + length));
  putLength(frame.data(), static_cast<uint32_t>(length));
  std::memcpy(frame.data() + kHeaderSize, request.text(), static_cast<size_t>(length));
  NMisc::scramble(kProtocolKey, frame.data(), static_cast<int>(frame.size()));

  plat::SocketEventSelect events;
  bool ok = false;
  if (!events.select(socket, plat::kFdRead | plat::kFdWrite | plat::kFdClose)) {
    trace(1, "NDBQuery::socketProc(2): WSAEventSelect\n");
  } else {
    int sent = 0;
    for (;;) {
      plat::NetworkEvents happened;
      if (events.wait(m_nReplyWaitMs, happened) != 0) {
        trace(1, "NDBQuery::socketProc(3): WSAWaitForMultipleEvents Timeout\n");
        break;
      }
      if (happened.events == 0) continue;
      if ((happened.events & plat::kFdWrite) &&
          !sendFrame(socket, events, frame.data(), static_cast<int>(frame.size()), sent))
        break;
      if (happened.events & plat::kFdRead) {
        int rc = readReply(socket, reply);
        if (rc == kNeedMoreBytes) continue;
        ok = rc == 1;
        break;
      }
      if (happened.events & plat::kFdClose) {
        trace(3, "socketProc::socketProc(9): remote socket closed\n");
        break;
      }
    }
    events.select(socket, 0);
  }
  plat::socketClose(socket);
  return ok;
}

// Sends what the socket takes of the unsent rest; once all is out, waits for the reply only.
bool NDBQuery::sendFrame(plat::SocketHandle socket, plat::SocketEventSelect& events,
                         const unsigned char* frame, int length, int& sent) {
  if (sent >= length) return true;
  int n = NSocketUtil::sendPacket(socket, frame + sent, length - sent);
  if (n < 0) {
    trace(1, "NDBQuery::socketProc(4): NSocketUtil::sendPacket error\n");
    return false;
  }
  sent += n;
  if (sent == length && !events.select(socket, plat::kFdRead | plat::kFdClose)) {
    trace(1, "NDBQuery::socketProc(5): WSAEventSelect error\n");
    return false;
  }
  return true;
}

// 1: the reply is read; 0: failure; kNeedMoreBytes: the length field has not fully come yet.
int NDBQuery::readReply(plat::SocketHandle socket, NString& reply) {
  uint32_t readable = 0;
  if (!plat::socketReadableBytes(socket, readable)) return 0;
  if (readable < static_cast<uint32_t>(kHeaderSize)) return kNeedMoreBytes;
  unsigned char header[kHeaderSize];
  if (NSocketUtil::recvPacketExact(socket, header, kHeaderSize, m_nReplyWaitMs) != kHeaderSize) {
    trace(1, "NDBQuery::socketProc(6): NSocketUtil::recvPacketExact error\n");
    return 0;
  }
  NMisc::unscramble(kProtocolKey, header, kHeaderSize);
  uint32_t length = getLength(header);
  if (length < 1 || length > kMaxReplyLength) {
    trace(1, "NDBQuery::socketProc(7): recv size error\n");
    return 0;
  }
  std::vector<unsigned char> body(length + 1, 0);
  if (NSocketUtil::recvPacketExact(socket, body.data(), static_cast<int>(length), m_nReplyWaitMs) !=
      static_cast<int>(length)) {
    trace(1, "NDBQuery::socketProc(8): NSocketUtil::recvPacketExact error\n");
    return 0;
  }
  NMisc::unscramble(kProtocolKey, body.data(), static_cast<int>(length));
  reply = reinterpret_cast<const char*>(body.data());
  return 1;
}

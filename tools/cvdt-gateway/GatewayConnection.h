// GatewayConnection: one accepted client socket: reads one request frame, then writes one reply
// frame. Frames are a 4-byte little-endian body length and the body, all scrambled.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace cvdt::gateway {

class GatewayConnection {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kProtocolKey = 21903;
  // Requests carry lists (a deletion report names up to 999 characters of ids), so a request
  // may be longer than the 1,000 bytes the module's shortest frames hold; 64 KiB bounds it.
  static constexpr uint32_t kMaxRequestLength = 0x10000;
  static constexpr uint32_t kMaxReplyLength = 0x100000;

  enum class Progress {
    NeedMore,      // the socket would block before the step is done
    FrameReady,    // body() holds the whole unscrambled request text
    FrameRefused,  // the length field is 0 or over the limit; failure() says which
    ReplySent,     // the whole reply is out; the connection is done
    Failed,        // the peer closed or the socket failed; failure() says how
  };

  // Takes ownership of the non-blocking socket fd and closes it on destruction.
  GatewayConnection(int fd, const sockaddr_in& peer, Clock::time_point deadline);
  ~GatewayConnection();
  GatewayConnection(const GatewayConnection&) = delete;
  GatewayConnection& operator=(const GatewayConnection&) = delete;

  // Reads what the socket has, up to a whole frame.
  Progress readSome();
  // Frames and scrambles text (1 to kMaxReplyLength bytes) as the reply, then writes what the
  // socket takes.
  Progress startReply(const std::string& text);
  Progress writeSome();

  int fd() const { return m_fd.get(); }
  bool replying() const { return m_bReplying; }
  Clock::time_point deadline() const { return m_deadline; }
  const std::string& body() const { return m_strBody; }
  const std::string& failure() const { return m_strFailure; }
  // "address:port" of the client, for log lines.
  std::string peer() const;

 private:
  Progress fail(const std::string& reason);
  // Decodes the length field once its 4 bytes are in.
  Progress takeLength();
  // Where the stream ended, for a failure line.
  std::string whereCut() const;
  // recv into buffer; NeedMore, or Failed on an error or end of stream.
  Progress receive(char* buffer, size_t wanted, size_t& got);

  plat::UniqueFd m_fd;
  sockaddr_in m_peer;
  Clock::time_point m_deadline;
  char m_arInput[4 + kMaxRequestLength];
  size_t m_nGot = 0;
  uint32_t m_nBodyLength = 0;
  std::string m_strBody;
  std::string m_strReply;
  size_t m_nReplySent = 0;
  bool m_bReplying = false;
  std::string m_strFailure;
};

}  // namespace cvdt::gateway

// One gateway client connection: frame reading and reply writing on a non-blocking socket.
#include "GatewayConnection.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/NCrypt.h"

namespace cvdt::gateway {
namespace {

// The frame cipher keyed once for the process: the tables never change, and building them
// for every frame would cost more than the rest of a request's work.
const NCrypt& frameCipher() {
  static const NCrypt cipher = [] {
    NCrypt keyed;
    keyed.setKey(GatewayConnection::kProtocolKey);
    return keyed;
  }();
  return cipher;
}

}  // namespace

GatewayConnection::GatewayConnection(int fd, const sockaddr_in& peer, Clock::time_point deadline)
    : m_fd(fd), m_peer(peer), m_deadline(deadline) {}

GatewayConnection::~GatewayConnection() = default;

std::string GatewayConnection::peer() const {
  char address[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &m_peer.sin_addr, address, sizeof address);
  return std::string(address) + ":" + std::to_string(ntohs(m_peer.sin_port));
}

GatewayConnection::Progress GatewayConnection::fail(const std::string& reason) {
  m_strFailure = reason;
  return Progress::Failed;
}

GatewayConnection::Progress GatewayConnection::receive(char* buffer, size_t wanted,
                                                       size_t& got) {
  for (;;) {
    ssize_t n = recv(m_fd.get(), buffer, wanted, 0);
    if (n > 0) {
      got = static_cast<size_t>(n);
      return Progress::FrameReady;
    }
    if (n == 0) return fail("closed the connection");
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Progress::NeedMore;
    return fail(std::string("receive failed: ") + std::strerror(errno));
  }
}

// One receive usually brings the length field and the whole body. Bytes a client sends past
// the end of its frame are ignored: one frame is all a connection carries.
GatewayConnection::Progress GatewayConnection::readSome() {
  for (;;) {
    size_t wanted = m_nGot < 4 ? sizeof m_arInput - m_nGot : 4 + m_nBodyLength - m_nGot;
    size_t got = 0;
    Progress progress = receive(m_arInput + m_nGot, wanted, got);
    if (progress == Progress::Failed) return fail(m_strFailure + " " + whereCut());
    if (progress != Progress::FrameReady) return progress;
    bool hadLength = m_nGot >= 4;
    m_nGot += got;
    if (!hadLength && m_nGot >= 4) {
      progress = takeLength();
      if (progress != Progress::FrameReady) return progress;
    }
    if (m_nGot >= 4 && m_nGot >= 4 + m_nBodyLength) {
      m_strBody.assign(m_arInput + 4, m_nBodyLength);
      frameCipher().decrypt(reinterpret_cast<unsigned char*>(m_strBody.data()),
                            static_cast<int>(m_strBody.size()));
      return Progress::FrameReady;
    }
  }
}

std::string GatewayConnection::whereCut() const {
  if (m_nGot == 0) return "before a frame";
  if (m_nGot < 4) return "after " + std::to_string(m_nGot) + " of 4 length bytes";
  return "after " + std::to_string(m_nGot - 4) + " of " + std::to_string(m_nBodyLength) +
         " body bytes";
}

GatewayConnection::Progress GatewayConnection::takeLength() {
  unsigned char header[4];
  std::memcpy(header, m_arInput, sizeof header);
  frameCipher().decrypt(header, sizeof header);
  m_nBodyLength = uint32_t(header[0]) | uint32_t(header[1]) << 8 | uint32_t(header[2]) << 16 |
                  uint32_t(header[3]) << 24;
  if (m_nBodyLength == 0) {
    m_strFailure = "zero-length frame";
    return Progress::FrameRefused;
  }
  if (m_nBodyLength > kMaxRequestLength) {
    m_strFailure = "frame of " + std::to_string(m_nBodyLength) + " bytes exceeds the limit of " +
                   std::to_string(kMaxRequestLength) + " bytes";
    return Progress::FrameRefused;
  }
  return Progress::FrameReady;
}

GatewayConnection::Progress GatewayConnection::startReply(const std::string& text) {
  uint32_t length = static_cast<uint32_t>(text.size());
  m_strReply.resize(4 + text.size());
  for (int i = 0; i < 4; ++i) m_strReply[i] = static_cast<char>(length >> (8 * i));
  std::memcpy(m_strReply.data() + 4, text.data(), text.size());
  frameCipher().encrypt(reinterpret_cast<unsigned char*>(m_strReply.data()),
                        static_cast<int>(m_strReply.size()));
  m_bReplying = true;
  return writeSome();
}

GatewayConnection::Progress GatewayConnection::writeSome() {
  while (m_nReplySent < m_strReply.size()) {
    ssize_t n = send(m_fd.get(), m_strReply.data() + m_nReplySent, m_strReply.size() - m_nReplySent,
                     MSG_NOSIGNAL);
    if (n >= 0) {
      m_nReplySent += static_cast<size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Progress::NeedMore;
    return fail(std::string("send failed: ") + std::strerror(errno));
  }
  return Progress::ReplySent;
}

}  // namespace cvdt::gateway

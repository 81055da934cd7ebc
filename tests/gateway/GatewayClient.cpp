// The raw test client of the gateway.
#include "GatewayClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/NMisc.h"

namespace cvdt::test {
namespace {

constexpr int kKey = 21903;

int millisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

std::string requestText(const std::string& procedure, const std::vector<std::string>& params) {
  std::string text = "C00440A" + procedure + "|@" + std::to_string(params.size()) + "|@";
  for (size_t i = 0; i < params.size(); ++i) text += (i == 0 ? "" : "|$") + params[i];
  return text;
}

std::string commandedRequest(const std::string& equip, int dist, const std::string& detail,
                             int cmd) {
  return requestText("SP_SV_DT_N_EQUIP_IU",
                     {"EQUIP_ID|#S|#" + equip, "DIST_ID|#I|#" + std::to_string(dist),
                      "PROC_TYPE|#S|#NDT", "STATUS|#S|#060", "STATUS_DETAIL|#S|#" + detail,
                      "CMD_ID|#I|#" + std::to_string(cmd), "ACTOR|#I|#1"});
}

GatewayClient::GatewayClient(int port) {
  m_nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (m_nFd >= 0 && connect(m_nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(m_nFd);
    m_nFd = -1;
  }
}

GatewayClient::~GatewayClient() {
  if (m_nFd >= 0) close(m_nFd);
}

bool GatewayClient::sendBytes(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(m_nFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void GatewayClient::finishSending() { shutdown(m_nFd, SHUT_WR); }

bool GatewayClient::readExact(char* buffer, size_t size,
                              std::chrono::steady_clock::time_point deadline) {
  size_t got = 0;
  while (got < size) {
    pollfd entry{m_nFd, POLLIN, 0};
    int ready = poll(&entry, 1, millisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = recv(m_nFd, buffer + got, size - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

std::optional<std::string> GatewayClient::readReply(std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  unsigned char header[4];
  if (!readExact(reinterpret_cast<char*>(header), sizeof header, deadline)) return std::nullopt;
  NMisc::unscramble(kKey, header, sizeof header);
  uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24;
  if (length == 0 || length > 0x100000) return std::nullopt;
  std::string body(length, '\0');
  if (!readExact(body.data(), length, deadline)) return std::nullopt;
  NMisc::unscramble(kKey, reinterpret_cast<unsigned char*>(body.data()), static_cast<int>(length));
  return body;
}

bool GatewayClient::waitClosed(std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  char byte;
  for (;;) {
    pollfd entry{m_nFd, POLLIN, 0};
    int ready = poll(&entry, 1, millisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = recv(m_nFd, &byte, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }
}

bool GatewayClient::closedNow() { return waitClosed(std::chrono::milliseconds(0)); }

std::string GatewayClient::frame(const std::string& text) {
  std::string bytes = header(static_cast<uint32_t>(text.size()));
  bytes += text;
  NMisc::scramble(kKey, reinterpret_cast<unsigned char*>(bytes.data() + 4),
                  static_cast<int>(text.size()));
  return bytes;
}

std::string GatewayClient::header(uint32_t length) {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(length >> (8 * i));
  NMisc::scramble(kKey, bytes, 4);
  return std::string(reinterpret_cast<char*>(bytes), 4);
}

std::string GatewayClient::call(int port, const std::string& requestText) {
  GatewayClient client(port);
  if (!client.connected() || !client.sendBytes(frame(requestText))) return "<no reply>";
  return client.readReply().value_or("<no reply>");
}

}  // namespace cvdt::test

// Fuzz target: the module's gateway client reading a reply. A loopback server thread takes each
// request frame whole and answers with the input, then closes; NDBQuery::execStoredProc reads
// the frame and checks the reply text. The first input byte chooses how the rest goes on the
// wire: even, framed and scrambled with a truthful length field; odd, as raw bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "net/NDBQuery.h"
#include "platform/NCrypt.h"

namespace {

class ReplyServer {
 public:
  ReplyServer() {
    m_nListen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_nListen < 0 || bind(m_nListen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_nListen, 16) != 0 ||
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      std::abort();
    m_nPort = ntohs(address.sin_port);
    m_cipher.setKey(NDBQuery::kProtocolKey);
    std::thread([this] { serve(); }).detach();
  }

  int port() const { return m_nPort; }
  void setReply(std::string wire) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strWire = std::move(wire);
  }
  const NCrypt& cipher() const { return m_cipher; }

 private:
  static bool readExact(int fd, unsigned char* buffer, size_t size) {
    for (size_t got = 0; got < size;) {
      ssize_t n = recv(fd, buffer + got, size - got, 0);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  // Reads the request frame whole, so that closing afterwards never resets the connection.
  bool readRequest(int fd) {
    unsigned char header[4];
    if (!readExact(fd, header, sizeof header)) return false;
    m_cipher.decrypt(header, sizeof header);
    uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24;
    if (length > 0x10000) return false;
    std::string body(length, '\0');
    return readExact(fd, reinterpret_cast<unsigned char*>(body.data()), length);
  }

  void serve() {
    for (;;) {
      int fd = accept(m_nListen, nullptr, nullptr);
      if (fd < 0) continue;
      timeval timeout{5, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      if (readRequest(fd)) {
        std::string wire;
        {
          std::lock_guard<std::mutex> lock(m_mutex);
          wire = m_strWire;
        }
        send(fd, wire.data(), wire.size(), MSG_NOSIGNAL);
        shutdown(fd, SHUT_WR);
      }
      close(fd);
    }
  }

  int m_nListen = -1;
  int m_nPort = 0;
  NCrypt m_cipher;
  std::mutex m_mutex;
  std::string m_strWire;
};

ReplyServer& server() {
  static ReplyServer* instance = new ReplyServer();
  return *instance;
}

std::string wireBytes(const uint8_t* data, size_t size) {
  std::string wire(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) return wire;
  uint32_t length = static_cast<uint32_t>(wire.size());
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(length >> (8 * i));
  frame += wire;
  server().cipher().encrypt(reinterpret_cast<unsigned char*>(frame.data()),
                            static_cast<int>(frame.size()));
  return frame;
}

// For a framed reply: whether the client must accept it, and the result it must hand back. The
// body counts up to its first zero byte, and must split at "|@" into "C00440AOK" and the result.
bool expectedResult(const uint8_t* data, size_t size, std::string& result) {
  size_t length = size - 1;
  if (length < 1 || length > NDBQuery::kMaxReplyLength) return false;
  std::string text(reinterpret_cast<const char*>(data + 1), length);
  text = text.c_str();
  size_t first = text.find("|@");
  if (first == std::string::npos || text.find("|@", first + 2) != std::string::npos) return false;
  if (text.substr(0, first) != "C00440AOK") return false;
  result = text.substr(first + 2);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  server().setReply(wireBytes(data, size));
  NDBQuery query;
  query.setServer("127.0.0.1", server().port());
  // The server has answered and closed before the client waits, so a wait that lasts is a hang.
  query.setReplyWaitMs(10000);
  NString result = "untouched";
  bool ok = query.execStoredProc("SP_SV_DT_N_EQUIP_IU", 1, "EQUIP_ID|#S|#000000000001", result);
  if (!ok && result.compare("untouched") != 0) std::abort();
  std::string expected;
  if ((data[0] & 1) == 0 && ok != expectedResult(data, size, expected)) std::abort();
  if ((data[0] & 1) == 0 && ok && expected != result.text()) std::abort();
  return 0;
}

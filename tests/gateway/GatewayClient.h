// GatewayClient: a raw TCP client of the gateway for tests: sends scrambled frames, or any bytes
// at all, and reads the reply frame or the close, each with a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvdt::test {

class GatewayClient {
 public:
  static constexpr std::chrono::milliseconds kDefaultWait{5000};

  // Connects to 127.0.0.1:port; connected() tells whether that worked.
  explicit GatewayClient(int port);
  ~GatewayClient();
  GatewayClient(const GatewayClient&) = delete;
  GatewayClient& operator=(const GatewayClient&) = delete;

  bool connected() const { return m_nFd >= 0; }
  bool sendBytes(const std::string& bytes);
  // No more bytes from this side; the gateway sees the end of the stream.
  void finishSending();
  // The unscrambled text of the reply frame, or nothing when the connection closed (or the wait
  // ended) before a whole frame came.
  std::optional<std::string> readReply(std::chrono::milliseconds wait = kDefaultWait);
  // True when the gateway closes the connection within the wait without sending anything.
  bool waitClosed(std::chrono::milliseconds wait = kDefaultWait);
  // True when the gateway has closed the connection already (nothing is waited for).
  bool closedNow();

  // 4-byte little-endian length and the text, scrambled as on the wire.
  static std::string frame(const std::string& text);
  // A frame whose length field says length, with no body.
  static std::string header(uint32_t length);
  // One request on a fresh connection: the reply text, or "<no reply>".
  static std::string call(int port, const std::string& requestText);

 private:
  // Reads exactly size bytes before the deadline; false on close, error or time-out.
  bool readExact(char* buffer, size_t size, std::chrono::steady_clock::time_point deadline);

  int m_nFd = -1;
};

// "C00440A" + procedure + "|@" + count + "|@" + the parameters joined by "|$".
std::string requestText(const std::string& procedure, const std::vector<std::string>& params);
// A commanded report (SP_SV_DT_N_EQUIP_IU) of equipment equip for distribution dist.
std::string commandedRequest(const std::string& equip, int dist, const std::string& detail = "",
                             int cmd = 1);

}  // namespace cvdt::test

// Fuzz target: the gateway's side of a request: one frame read from a client socket (scrambled
// 4-byte length and body) and the request text taken apart. The first input byte chooses how
// the rest goes on the wire: even, framed and scrambled as the module sends it (with the length
// field telling the truth); odd, as raw bytes, whatever their length field says.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "GatewayConnection.h"
#include "GatewayRequest.h"
#include "platform/NCrypt.h"

using cvdt::gateway::GatewayConnection;
using cvdt::gateway::GatewayRequest;

namespace {

std::string wireBytes(const uint8_t* data, size_t size) {
  std::string wire(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) return wire;
  uint32_t length = static_cast<uint32_t>(wire.size());
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(length >> (8 * i));
  frame += wire;
  NCrypt cipher;
  cipher.setKey(GatewayConnection::kProtocolKey);
  cipher.encrypt(reinterpret_cast<unsigned char*>(frame.data()), static_cast<int>(frame.size()));
  return frame;
}

// Reads from the socket until the connection has a frame, refuses one, or fails.
GatewayConnection::Progress readFrame(GatewayConnection& connection) {
  for (int rounds = 0;; ++rounds) {
    GatewayConnection::Progress progress = connection.readSome();
    if (progress != GatewayConnection::Progress::NeedMore) return progress;
    // All input is in the socket and the writer has shut down, so waiting cannot help.
    if (rounds > 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string wire = wireBytes(data, size);
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
  int sendBuffer = 1 << 20;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  if (send(fds[0], wire.data(), wire.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(wire.size()))
    std::abort();
  shutdown(fds[0], SHUT_WR);
  fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  GatewayConnection connection(fds[1], peer, GatewayConnection::Clock::now());
  if (readFrame(connection) == GatewayConnection::Progress::FrameReady) {
    GatewayRequest request;
    if (plat::Status s = request.parse(connection.body()); !s && s.message().empty()) std::abort();
  }
  close(fds[0]);
  return 0;
}

// The listener and the file sender of the loopback test servers on Winsock. Unlike Linux,
// shutting a socket down ends neither a blocked accept nor a blocked receive, and a client's
// connection pool (WinINet's) may keep an idle connection open for a minute. Under Wine even
// closing a socket does not end a receive (or a select) already waiting on it. So the listener
// and every connection wait in short rounds that look at the stop, the listener is closed once
// its thread has ended, and each connection's thread closes its own socket.
#include <algorithm>
#include <fstream>

#include "support/LoopbackServer.h"
#include "support/win32/BsdSockets.h"

namespace cvdt::test {

bool LoopbackServer::start(const std::string& loopbackAddress, int port) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  m_listener = listener == INVALID_SOCKET ? -1 : static_cast<int>(listener);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, loopbackAddress.c_str(), &address.sin_addr) != 1 ||
      (ntohl(address.sin_addr.s_addr) >> 24) != 127) {
    return false;
  }
  int length = sizeof address;
  if (m_listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  m_nPort = ntohs(address.sin_port);
  m_acceptThread = std::thread([this] { acceptLoop(); });
  return true;
}

void LoopbackServer::stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStopping.exchange(true)) return;
    m_changed.notify_all();
  }
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& connection : m_connections) connection.join();
  if (m_listener >= 0) close(m_listener);
  m_listener = -1;
}

void LoopbackServer::acceptLoop() {
  for (;;) {
    if (!waitReadable(m_listener)) return;  // stopped
    SOCKET accepted = accept(static_cast<SOCKET>(m_listener), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return;
    int fd = static_cast<int>(accepted);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStopping) {
      close(fd);
      return;
    }
    ++m_nAccepted;
    m_openSockets.insert(fd);
    m_changed.notify_all();
    m_connections.emplace_back([this, fd] {
      serve(fd);
      std::lock_guard<std::mutex> lock(m_mutex);
      m_openSockets.erase(fd);
      close(fd);
    });
  }
}

bool LoopbackServer::waitReadable(int fd) {
  SOCKET socket = static_cast<SOCKET>(fd);
  while (!stopping()) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval round{0, 100 * 1000};
    int ready = select(0, &readable, nullptr, nullptr, &round);
    if (ready != 0) return ready > 0;
  }
  return false;
}

// source is unused: a file on disk is read here, chunk by chunk.
bool LoopbackServer::sendChunk(int fd, const ServedFile& file, int, uint64_t offset, size_t size) {
  std::string bytes;
  if (file.hostPath.empty()) {
    bytes = file.content.substr(offset, size);
  } else {
    std::ifstream in(file.hostPath, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    bytes.resize(size);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (static_cast<size_t>(in.gcount()) != size) return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    int sent = send(static_cast<SOCKET>(fd), bytes.data() + done,
                    static_cast<int>(bytes.size() - done), 0);
    if (sent <= 0) return false;
    countSent(static_cast<uint64_t>(sent));
    done += static_cast<size_t>(sent);
  }
  return true;
}

bool LoopbackServer::sendBody(int fd, const ServedFile& file) {
  using Fault = ServedFile::Fault;
  uint64_t total = file.size();
  bool half = file.fault == Fault::ShortBody || file.fault == Fault::Stall;
  uint64_t limit = half ? total / 2 : total;
  size_t chunk = file.fault == Fault::Slow ? file.slowChunk : size_t{1} << 20;
  uint64_t offset = 0;
  while (offset < limit && !stopping()) {
    size_t size = static_cast<size_t>(std::min<uint64_t>(chunk, limit - offset));
    if (!sendChunk(fd, file, -1, offset, size)) break;
    offset += size;
    if (file.fault == Fault::Slow) pause(std::chrono::milliseconds(file.slowPauseMs));
  }
  if (file.fault == Fault::Stall) pause(std::chrono::hours(1));
  return offset == total;
}

}  // namespace cvdt::test

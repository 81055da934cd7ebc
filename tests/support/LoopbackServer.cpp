// The listening, connection tracking, file table and fault-injecting sender shared by the
// loopback HTTP and FTP test servers.
#include "support/LoopbackServer.h"

#ifdef _WIN32
#include "support/win32/BsdSockets.h"
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>

namespace cvdt::test {

LoopbackServer::~LoopbackServer() { stop(); }

bool LoopbackServer::start() { return start("127.0.0.1", 0); }

// The listener and the file sender on Winsock are in support/win32/LoopbackServerWin32.cpp.
#ifndef _WIN32
bool LoopbackServer::start(const std::string& loopbackAddress, int port) {
  // A client that hangs up mid-send must not end the test program.
  std::signal(SIGPIPE, SIG_IGN);
  m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, loopbackAddress.c_str(), &address.sin_addr) != 1 ||
      (ntohl(address.sin_addr.s_addr) >> 24) != 127) {
    return false;
  }
  socklen_t length = sizeof address;
  if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(m_listener, 16) != 0 ||
      getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
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
    for (int fd : m_openSockets) shutdown(fd, SHUT_RDWR);
    m_changed.notify_all();
  }
  if (m_listener >= 0) shutdown(m_listener, SHUT_RDWR);
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& connection : m_connections) connection.join();
  if (m_listener >= 0) close(m_listener);
  m_listener = -1;
}

void LoopbackServer::acceptLoop() {
  for (;;) {
    int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;  // the listener was shut down
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
      untrack(fd);
      close(fd);
    });
  }
}

#endif

void LoopbackServer::track(int fd) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_openSockets.insert(fd);
  if (m_bStopping) shutdown(fd, SHUT_RDWR);
}

void LoopbackServer::untrack(int fd) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_openSockets.erase(fd);
}

void LoopbackServer::addFile(const std::string& path, ServedFile file) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_files[path] = std::move(file);
}

bool LoopbackServer::findFile(const std::string& path, ServedFile& file) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_files.find(path);
  if (it == m_files.end()) return false;
  file = it->second;
  return true;
}

bool LoopbackServer::hasFolder(const std::string& path) const {
  std::string prefix = path.back() == '/' ? path : path + "/";
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::any_of(m_files.begin(), m_files.end(),
                     [&](const auto& entry) { return entry.first.rfind(prefix, 0) == 0; });
}

void LoopbackServer::countSent(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nBytesSent += bytes;
  m_changed.notify_all();
}

bool LoopbackServer::waitForBytesSent(uint64_t bytes, std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, deadline, [&] { return m_nBytesSent >= bytes; });
}

void LoopbackServer::pause(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  uint64_t cuts = m_nCuts;
  m_changed.wait_for(lock, timeout, [&] { return m_bStopping.load() || m_nCuts != cuts; });
}

uint64_t LoopbackServer::bytesSent() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nBytesSent;
}

void LoopbackServer::cutConnections() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (int fd : m_openSockets) shutdown(fd, SHUT_RDWR);
  ++m_nCuts;
  m_changed.notify_all();
}

bool LoopbackServer::waitForOpenConnections(int count, std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, deadline,
                            [&] { return static_cast<int>(m_openSockets.size()) >= count; });
}

#ifndef _WIN32
bool LoopbackServer::sendChunk(int fd, const ServedFile& file, int source, uint64_t offset,
                               size_t size) {
  while (size > 0) {
    ssize_t sent;
    if (source >= 0) {
      off_t position = static_cast<off_t>(offset);
      sent = sendfile(fd, source, &position, size);
    } else {
      sent = send(fd, file.content.data() + offset, size, MSG_NOSIGNAL);
    }
    if (sent <= 0) return false;
    countSent(static_cast<uint64_t>(sent));
    offset += static_cast<uint64_t>(sent);
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool LoopbackServer::sendBody(int fd, const ServedFile& file) {
  using Fault = ServedFile::Fault;
  uint64_t total = file.size();
  bool half = file.fault == Fault::ShortBody || file.fault == Fault::Stall;
  uint64_t limit = half ? total / 2 : total;
  int source = file.hostPath.empty() ? -1 : open(file.hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  size_t chunk = file.fault == Fault::Slow ? file.slowChunk : size_t{1} << 20;
  uint64_t offset = 0;
  while (offset < limit && !stopping()) {
    size_t size = static_cast<size_t>(std::min<uint64_t>(chunk, limit - offset));
    if (!sendChunk(fd, file, source, offset, size)) break;
    offset += size;
    if (file.fault == Fault::Slow) pause(std::chrono::milliseconds(file.slowPauseMs));
  }
  if (source >= 0) close(source);
  if (file.fault == Fault::Stall) pause(std::chrono::hours(1));
  return offset == total;
}

// stop() shuts the connections down, which ends a blocked receive here.
bool LoopbackServer::waitReadable(int) { return true; }

#endif

bool LoopbackServer::readUntil(int fd, std::string& buffer, const std::string& delimiter,
                               std::string& line) {
  for (;;) {
    size_t end = buffer.find(delimiter);
    if (end != std::string::npos) {
      line = buffer.substr(0, end);
      buffer.erase(0, end + delimiter.size());
      return true;
    }
    char chunk[4096];
    if (!waitReadable(fd)) return false;
    ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0 || buffer.size() > 65536) return false;
    buffer.append(chunk, static_cast<size_t>(got));
  }
}

bool LoopbackServer::sendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace cvdt::test

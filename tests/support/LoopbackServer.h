// LoopbackServer: the common part of the test servers on 127.0.0.1: the listening socket, one
// thread per connection, the files served and their faults, and a stop that cuts every open
// connection at once (a server going away in the middle of a transfer).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/ServedFile.h"

namespace cvdt::test {

class LoopbackServer {
 public:
  virtual ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Listens on an ephemeral port of 127.0.0.1; false when it cannot.
  bool start();
  // Listens on a given address of 127.0.0.0/8 and port (0: ephemeral), so that servers on
  // several loopback addresses can share one port as distribution servers do.
  bool start(const std::string& loopbackAddress, int port);
  // Closes the listener and every open connection and waits for the serving threads. Also
  // called by derived destructors; calling it twice is harmless.
  void stop();
  int port() const { return m_nPort; }

  // Serves file at path ("/"-separated, absolute).
  void addFile(const std::string& path, ServedFile file);
  // Connections accepted so far (control connections for FTP).
  int connectionsAccepted() const { return m_nAccepted.load(); }
  // Waits until at least bytes of file content have been sent in all; false at the deadline.
  bool waitForBytesSent(uint64_t bytes, std::chrono::milliseconds deadline);
  // Bytes of file content sent so far in all.
  uint64_t bytesSent() const;
  // Cuts every open connection (a network failure) and ends the stalls of their transfers; the
  // server keeps listening and serves later connections as before.
  void cutConnections();
  // Waits until at least count connections are open; false at the deadline.
  bool waitForOpenConnections(int count, std::chrono::milliseconds deadline);

 protected:
  LoopbackServer() = default;

  // Serves one accepted connection until it ends; the socket is closed afterwards.
  virtual void serve(int fd) = 0;

  bool stopping() const { return m_bStopping.load(); }
  bool findFile(const std::string& path, ServedFile& file) const;
  bool hasFolder(const std::string& path) const;
  // Sends the file's content with its fault; true when every byte was sent.
  bool sendBody(int fd, const ServedFile& file);
  // Waits up to the time-out, or less when the server stops or its connections are cut.
  void pause(std::chrono::milliseconds timeout);
  // Sockets registered here are shut down by stop() (FTP data connections).
  void track(int fd);
  void untrack(int fd);

  // Reads from fd into buffer until it holds delimiter; line gets the text before it. False
  // when the peer hangs up, the read fails or the server stops first.
  bool readUntil(int fd, std::string& buffer, const std::string& delimiter, std::string& line);
  static bool sendAll(int fd, const std::string& bytes);

 private:
  void acceptLoop();
  // Waits until fd has bytes to read (or has been hung up); false when the server stops first.
  bool waitReadable(int fd);
  void countSent(uint64_t bytes);
  bool sendChunk(int fd, const ServedFile& file, int source, uint64_t offset, size_t size);

  int m_listener = -1;
  int m_nPort = 0;
  std::atomic<bool> m_bStopping{false};
  std::atomic<int> m_nAccepted{0};
  std::thread m_acceptThread;
  std::vector<std::thread> m_connections;
  std::set<int> m_openSockets;
  std::map<std::string, ServedFile> m_files;
  uint64_t m_nBytesSent = 0;
  uint64_t m_nCuts = 0;  // cutConnections calls so far
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
};

}  // namespace cvdt::test

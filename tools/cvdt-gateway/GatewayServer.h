// GatewayServer: the gateway's event loop: accepts clients on one TCP address, reads one
// request frame from each, has its store threads run the procedure, answers and closes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "GatewayConnection.h"
#include "StoreThreads.h"
#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace cvdt::gateway {

struct ServerOptions {
  std::string address = "127.0.0.1";
  uint16_t port = 7221;  // 0 picks a free port
  size_t maxConnections = 1024;
  size_t maxPerAddress = 64;
  int frameTimeoutMs = 10000;
  // Several event loops listen on one port (SO_REUSEPORT); the kernel spreads the clients.
  bool reusePort = false;
  // When set, the loop stops once this descriptor turns readable, and leaves SIGINT and SIGTERM
  // to its owner; otherwise it takes them over.
  int stopFd = -1;
  // How many loops share the process's descriptor limit.
  unsigned descriptorShare = 1;
};

// Each connection has frameTimeoutMs from its accept to deliver its frame and take the reply.
// The server raises its descriptor limit to the hard limit and keeps the connection cap below
// it. At the cap a new client takes the place of the oldest connection that is still waiting
// for its frame; only when every open connection is being answered does accepting pause until
// one closes. A client address with maxPerAddress open connections has further ones closed at
// once. Every refused request and every connection closed for a fault is one line on stderr.
// The loop never waits for the database: a complete request goes to the store threads, and the
// socket is left alone until its outcome comes back. On SIGINT or SIGTERM the loop stops
// accepting, closes connections still sending, and ends once the requests in the store are
// answered (or their deadlines pass).
class GatewayServer {
 public:
  GatewayServer(const ServerOptions& options, StoreThreads& store);
  ~GatewayServer();
  GatewayServer(const GatewayServer&) = delete;
  GatewayServer& operator=(const GatewayServer&) = delete;

  // Binds and listens, and takes over SIGINT and SIGTERM; a failure names what could not be set up.
  plat::Status start();
  // "address:port" actually bound.
  std::string boundAddress() const;
  // The connection cap in force: the option, lowered to fit the descriptor limit.
  size_t maxConnections() const { return m_nMaxConnections; }
  // The descriptor limit after start() raised it.
  uint64_t descriptorLimit() const { return m_nDescriptorLimit; }
  // Serves until SIGINT or SIGTERM: 0, or 1 when the event loop itself failed.
  int run();

 private:
  using Clock = GatewayConnection::Clock;
  struct Entry {
    std::unique_ptr<GatewayConnection> connection;
    uint32_t events = 0;  // what the socket is registered for; 0 = not registered
    uint32_t address = 0;  // the client's IPv4 address, network order
    bool inStore = false;  // the request is with the store threads
  };
  using Entries = std::map<uint64_t, Entry>;  // keyed in accept order, so by deadline

  plat::Status watchSignals();
  void fitDescriptorLimit();
  bool closeOldestIdle();
  void acceptClients();
  void acceptOne();
  void dispatch(uint64_t key, uint32_t events);
  void advance(Entries::iterator it, GatewayConnection::Progress progress);
  void handOver(Entries::iterator it);
  void takeOutcomes();
  void beginStopping();
  void watch(Entries::iterator it, uint32_t events);
  void closeConnection(Entries::iterator it);
  void expireConnections();
  void setAccepting(bool accepting);
  int waitTimeoutMs() const;
  void log(const GatewayConnection& connection, const std::string& what) const;

  ServerOptions m_options;
  size_t m_nMaxConnections = 0;
  uint64_t m_nDescriptorLimit = 0;
  std::map<uint32_t, size_t> m_connectionsPerAddress;
  StoreThreads& m_store;
  size_t m_nInStore = 0;
  plat::UniqueFd m_listenFd;
  plat::UniqueFd m_epollFd;
  plat::UniqueFd m_signalFd;
  uint16_t m_nBoundPort = 0;
  bool m_bAccepting = false;
  bool m_bStopping = false;
  // After running out of descriptors, accepting pauses until then (or until a close).
  Clock::time_point m_resumeAcceptAt{};
  uint64_t m_nNextKey = 3;
  Entries m_entries;
};

}  // namespace cvdt::gateway

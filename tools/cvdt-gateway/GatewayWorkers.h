// GatewayWorkers: `serve`'s event loops: one or more GatewayServer loops on one port, each in a
// thread of its own with its own store threads, stopped together by SIGINT or SIGTERM.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GatewayServer.h"
#include "SiteText.h"
#include "StoreThreads.h"
#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace cvdt::gateway {

// With several loops the port is bound with SO_REUSEPORT by each, and the kernel spreads new
// connections over them; the connection cap and the descriptor limit are shared out, the limit
// per address holds per loop.
class GatewayWorkers {
 public:
  // storeThreads: the threads (and database connections) of each loop.
  GatewayWorkers(const ServerOptions& options, std::string location, SiteText site, unsigned count,
                 unsigned storeThreads);
  ~GatewayWorkers();
  GatewayWorkers(const GatewayWorkers&) = delete;
  GatewayWorkers& operator=(const GatewayWorkers&) = delete;

  // Opens the database connections and binds one listening socket per loop (port 0 picks the
  // same free port for all). A failure says what could not be opened or bound.
  plat::Status start();
  std::string boundAddress() const;
  // The connection cap of all loops together, lowered to fit the descriptor limit.
  size_t maxConnections() const;
  uint64_t descriptorLimit() const;
  // Serves until SIGINT or SIGTERM: 0, or 1 when a loop failed (the others are stopped then).
  int run();

 private:
  struct Worker {
    std::unique_ptr<StoreThreads> store;  // outlives the loop that submits to it
    std::unique_ptr<GatewayServer> server;
    std::thread thread;
    int result = 0;
  };

  plat::Status startWorker(Worker& worker, const ServerOptions& options);
  void stopAll();

  ServerOptions m_options;
  std::string m_strLocation;
  SiteText m_site;
  unsigned m_nCount;
  unsigned m_nStoreThreads;
  plat::UniqueFd m_stopFd;   // readable once every loop should stop
  plat::UniqueFd m_endedFd;  // a loop that returns on its own says so here
  plat::UniqueFd m_signalFd;
  std::vector<std::unique_ptr<Worker>> m_workers;
};

}  // namespace cvdt::gateway

// StoreThreads: runs the requests' procedures off the event loop, on threads that each hold a
// database connection of their own, and hands the outcomes back to the loop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "GatewayProcedures.h"
#include "GatewayStore.h"
#include "SiteText.h"
#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace cvdt::gateway {

// A report waits for its commit (a WAL flush on PostgreSQL) without holding up the loop, and
// several threads keep several commits in flight, which PostgreSQL flushes together. Each
// request is still one procedure run, one transaction, on one connection; its outcome comes
// back only once that transaction is over. The loop submits and takes outcomes; the threads
// only run procedures. With no threads at all, submit() runs the procedure on the loop itself
// (SQLite commits without a flush, faster than waking a thread), and its outcome is there to
// take as soon as submit() returns.
class StoreThreads {
 public:
  struct Outcome {
    uint64_t key = 0;  // the loop's name for the request
    GatewayOutcome outcome;
  };

  // count: threads, each with a connection; 0 runs requests on the caller's thread, on one
  // connection.
  StoreThreads(std::string location, SiteText site, unsigned count);
  // Requests not started yet are dropped (nothing of them is written); running ones finish.
  ~StoreThreads();
  StoreThreads(const StoreThreads&) = delete;
  StoreThreads& operator=(const StoreThreads&) = delete;

  // Opens every connection (the first brings the schema up to date) and starts the threads.
  // A failure says why when a connection cannot be opened.
  plat::Status start();
  // Readable while outcomes of the threads wait to be taken.
  int readyFd() const { return m_readyFd.get(); }
  bool runsInline() const { return m_nCount == 0; }

  void submit(uint64_t key, std::string requestText);
  // Withdraws a request that no thread has taken yet; false when one has (its outcome will
  // still come).
  bool withdraw(uint64_t key);
  // The outcomes finished since the last call, in the order they finished.
  std::vector<Outcome> takeOutcomes();

 private:
  struct Request {
    uint64_t key;
    std::string text;
  };
  struct Worker {
    GatewayStore store;
    std::unique_ptr<GatewayProcedures> procedures;
    std::thread thread;
  };

  void serve(Worker& worker);
  static GatewayOutcome runSafely(GatewayProcedures& procedures, const std::string& text);
  void finish(Outcome outcome);

  std::string m_strLocation;
  SiteText m_site;
  unsigned m_nCount;
  plat::UniqueFd m_readyFd;
  std::vector<std::unique_ptr<Worker>> m_workers;  // with no threads: one, run in submit()

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Request> m_requests;
  std::vector<Outcome> m_outcomes;
  bool m_bStopping = false;
};

}  // namespace cvdt::gateway

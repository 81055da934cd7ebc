// LoopbackHttpServer: a small HTTP/1.1 file server on 127.0.0.1 for tests and benchmarks: GET
// and HEAD of the files added to it, persistent connections, optional Basic credentials, 404
// for anything else, and the faults of ServedFile.
#pragma once

#include <string>
#include <vector>

#include "support/LoopbackServer.h"

namespace cvdt::test {

class LoopbackHttpServer : public LoopbackServer {
 public:
  LoopbackHttpServer() = default;
  ~LoopbackHttpServer() override { stop(); }

  // Requests without "Authorization: Basic" for user:password get 401 from now on.
  void requireCredentials(const std::string& userColonPassword);
  // "METHOD target" of every request so far.
  std::vector<std::string> requests() const;

 protected:
  void serve(int fd) override;

 private:
  // Answers one request; false when the connection is to be closed.
  bool answer(int fd, const std::string& head);
  bool authorized(const std::string& head) const;
  static std::string statusHead(int code, const char* reason, uint64_t length);

  std::string m_strAuthorization;  // the expected header value, empty when none is needed
  std::vector<std::string> m_requests;
  mutable std::mutex m_logMutex;
};

}  // namespace cvdt::test

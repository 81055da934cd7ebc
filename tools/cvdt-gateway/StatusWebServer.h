// StatusWebServer: the HTTP side of the status page: the embedded page and script, and the
// JSON API over StatusQueries. Only GET; every response forbids framing and foreign scripts.
#pragma once

#include <memory>
#include <string>

#include "StatusQueries.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace cvdt::gateway {

class StatusWebServer {
 public:
  explicit StatusWebServer(StatusQueries& queries);
  ~StatusWebServer();
  StatusWebServer(const StatusWebServer&) = delete;
  StatusWebServer& operator=(const StatusWebServer&) = delete;

  // Binds address:port (0 picks a free port); the port bound, or -1.
  int bind(const std::string& address, int port);
  // Serves until stop() (from another thread).
  bool serve();
  void stop();

 private:
  void routes();
  static plat::Status readFilter(const httplib::Request& request, StatusFilter& filter);
  void answer(const httplib::Request& request, httplib::Response& response,
              plat::Status (StatusQueries::*what)(const StatusFilter&, nlohmann::json&));

  StatusQueries& m_queries;
  std::unique_ptr<httplib::Server> m_pServer;
};

}  // namespace cvdt::gateway

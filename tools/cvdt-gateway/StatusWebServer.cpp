// The status page's HTTP routes on cpp-httplib.
#include "StatusWebServer.h"

#include <httplib.h>

#include <charconv>

#include "EmbeddedFiles.h"

namespace cvdt::gateway {
namespace {

constexpr size_t kMaxSearchLength = 200;

void sendJson(httplib::Response& response, const nlohmann::json& body) {
  // Bytes that are not UTF-8 cannot reach here (texts pass SiteText::toDisplay), but a JSON
  // writer that throws on them must never take the server down.
  response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                       "application/json; charset=utf-8");
}

void sendError(httplib::Response& response, int status, const std::string& message) {
  response.status = status;
  sendJson(response, {{"error", message}});
}

}  // namespace

StatusWebServer::StatusWebServer(StatusQueries& queries)
    : m_queries(queries), m_pServer(std::make_unique<httplib::Server>()) {
  m_pServer->set_default_headers(
      {{"Content-Security-Policy",
        "default-src 'none'; script-src 'self'; connect-src 'self'; style-src 'unsafe-inline';"
        " img-src 'self'; frame-ancestors 'none'"},
       {"X-Content-Type-Options", "nosniff"},
       {"Cache-Control", "no-store"},
       {"Referrer-Policy", "no-referrer"}});
  routes();
}

StatusWebServer::~StatusWebServer() = default;

int StatusWebServer::bind(const std::string& address, int port) {
  if (port == 0) return m_pServer->bind_to_any_port(address);
  return m_pServer->bind_to_port(address, port) ? port : -1;
}

bool StatusWebServer::serve() { return m_pServer->listen_after_bind(); }

void StatusWebServer::stop() { m_pServer->stop(); }

plat::Status StatusWebServer::readFilter(const httplib::Request& request, StatusFilter& filter) {
  std::string problem;
  filter.search = request.get_param_value("q");
  filter.status = request.get_param_value("status");
  if (request.get_param_value("lang") == "ko") filter.language = StatusCatalogue::Language::Korean;
  std::string dist = request.get_param_value("dist");
  if (!dist.empty()) {
    auto [end, error] = std::from_chars(dist.data(), dist.data() + dist.size(), filter.distId);
    if (error != std::errc() || end != dist.data() + dist.size() || filter.distId < 0)
      problem = "dist must be a distribution id";
  }
  if (filter.search.size() > kMaxSearchLength) problem = "the search is too long";
  if (filter.status.size() > 8) problem = "status must be a status code";
  return problem.empty() ? plat::Status() : plat::Status::failure(problem);
}

void StatusWebServer::answer(const httplib::Request& request, httplib::Response& response,
                             plat::Status (StatusQueries::*what)(const StatusFilter&,
                                                                 nlohmann::json&)) {
  StatusFilter filter;
  if (plat::Status s = readFilter(request, filter); !s)
    return sendError(response, 400, s.message());
  nlohmann::json body;
  if (plat::Status s = (m_queries.*what)(filter, body); !s)
    return sendError(response, 500, s.message());
  sendJson(response, body);
}

void StatusWebServer::routes() {
  m_pServer->Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(embedded::kIndexHtml, "text/html; charset=utf-8");
  });
  m_pServer->Get("/app.js", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(embedded::kAppJs, "text/javascript; charset=utf-8");
  });
  m_pServer->Get("/api/summary", [this](const httplib::Request& q, httplib::Response& r) {
    answer(q, r, &StatusQueries::summary);
  });
  m_pServer->Get("/api/workstations", [this](const httplib::Request& q, httplib::Response& r) {
    answer(q, r, &StatusQueries::workstations);
  });
  m_pServer->Get("/api/automatic", [this](const httplib::Request& q, httplib::Response& r) {
    answer(q, r, &StatusQueries::automaticItems);
  });
  m_pServer->Get("/api/workstation", [this](const httplib::Request& q, httplib::Response& r) {
    StatusFilter filter;
    std::string equipId = q.get_param_value("id");
    if (equipId.empty()) return sendError(r, 400, "id names the workstation");
    if (plat::Status s = readFilter(q, filter); !s) return sendError(r, 400, s.message());
    nlohmann::json body;
    if (plat::Status s = m_queries.workstation(equipId, filter, body); !s)
      return sendError(r, 500, s.message());
    sendJson(r, body);
  });
}

}  // namespace cvdt::gateway

// StatusQueries: what the operator's status page shows, read from the gateway's database as
// JSON: per distribution the workstations by outcome and status, one workstation's history, the
// automatic items by status, and the workstations matching a search.
#pragma once

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "SiteText.h"
#include "SqlSession.h"
#include "StatusCatalogue.h"
#include "platform/Status.h"

namespace cvdt::gateway {

// Filters of a page request; empty or 0 means "any". search matches part of an equipment id.
struct StatusFilter {
  std::string search;
  std::string status;
  int64_t distId = 0;
  StatusCatalogue::Language language = StatusCatalogue::Language::English;
};

// Calls may come from several threads; they take turns on the one session. Every text from the
// database goes out as JSON strings (texts that are not UTF-8 shown through site). A method
// fails with the database's message when the database refuses.
class StatusQueries {
 public:
  static constexpr int64_t kRowLimit = 500;

  StatusQueries(SqlSession& session, SiteText site) : m_session(session), m_site(site) {}

  plat::Status summary(const StatusFilter& filter, nlohmann::json& out);
  plat::Status workstations(const StatusFilter& filter, nlohmann::json& out);
  plat::Status workstation(const std::string& equipId, const StatusFilter& filter,
                           nlohmann::json& out);
  plat::Status automaticItems(const StatusFilter& filter, nlohmann::json& out);

  // search as a LIKE pattern that matches it anywhere, its own % and _ taken literally.
  static std::string likePattern(const std::string& search);

 private:
  plat::Status query(const char* sql, std::initializer_list<SqlValue> params,
                     std::vector<SqlRow>& rows);
  nlohmann::json distributions(const std::vector<SqlRow>& rows, bool automatic,
                               const StatusFilter& filter) const;
  nlohmann::json statusFields(const std::string& status, bool automatic,
                              const StatusFilter& filter) const;
  nlohmann::json text(const std::optional<std::string>& cell) const;

  SqlSession& m_session;
  SiteText m_site;
  StatusCatalogue m_catalogue;
  std::mutex m_mutex;
};

}  // namespace cvdt::gateway

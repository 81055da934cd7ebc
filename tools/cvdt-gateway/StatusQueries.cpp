// The status page's queries, portable between SQLite and PostgreSQL.
#include "StatusQueries.h"

#include <charconv>
#include <map>

namespace cvdt::gateway {
namespace {

// The latest commanded report per workstation and distribution, whatever its command id.
constexpr const char* kCommandedSummary =
    "SELECT h.dist_id, h.status, COUNT(*) FROM n_equip_history h"
    " WHERE h.history_id IN (SELECT MAX(history_id) FROM n_equip_history"
    "   GROUP BY equip_id, dist_id)"
    " AND (?1 = '' OR h.equip_id LIKE ?1 ESCAPE '\\')"
    " GROUP BY h.dist_id, h.status ORDER BY h.dist_id, h.status";
// The latest automatic status per workstation and distribution, whatever its update id.
constexpr const char* kAutomaticSummary =
    "SELECT s.dist_id, s.status, COUNT(*) FROM a_equip_status s"
    " WHERE s.history_id IN (SELECT MAX(history_id) FROM a_equip_status"
    "   GROUP BY equip_id, dist_id)"
    " AND (?1 = '' OR s.equip_id LIKE ?1 ESCAPE '\\')"
    " GROUP BY s.dist_id, s.status ORDER BY s.dist_id, s.status";
constexpr const char* kWorkstations =
    "SELECT equip_id, MAX(reported_at), COUNT(*) FROM"
    " (SELECT equip_id, reported_at FROM n_equip_history"
    "  UNION ALL SELECT equip_id, reported_at FROM a_equip_history) AS reports"
    " WHERE equip_id LIKE ?1 ESCAPE '\\' GROUP BY equip_id ORDER BY equip_id LIMIT 500";
constexpr const char* kHistory =
    "SELECT 'commanded', dist_id, cmd_id, status, status_detail, NULL, reported_at, history_id"
    " FROM n_equip_history WHERE equip_id = ?1"
    " UNION ALL SELECT 'automatic', dist_id, update_id, status, status_detail, err_detail,"
    " reported_at, history_id FROM a_equip_history WHERE equip_id = ?1"
    " ORDER BY 7 DESC, 8 DESC LIMIT 500";
constexpr const char* kDeletions =
    "SELECT dist_id, deleted_at FROM n_equip_deleted WHERE equip_id = ?1 ORDER BY dist_id";
constexpr const char* kAutomaticItems =
    "SELECT equip_id, dist_id, update_id, status, status_detail, err_detail, reported_at"
    " FROM a_equip_status WHERE (?1 = '' OR status = ?1) AND (?2 = 0 OR dist_id = ?2)"
    " AND (?3 = '' OR equip_id LIKE ?3 ESCAPE '\\')"
    " ORDER BY reported_at DESC, equip_id, dist_id LIMIT 500";

int64_t integerOf(const std::optional<std::string>& cell) {
  int64_t value = 0;
  if (cell) std::from_chars(cell->data(), cell->data() + cell->size(), value);
  return value;
}

}  // namespace

std::string StatusQueries::likePattern(const std::string& search) {
  std::string pattern = "%";
  for (char c : search) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

plat::Status StatusQueries::query(const char* sql, std::initializer_list<SqlValue> params,
                                  std::vector<SqlRow>& rows) {
  std::lock_guard lock(m_mutex);
  if (m_session.run(sql, params, &rows)) return {};
  return plat::Status::failure(m_session.error());
}

nlohmann::json StatusQueries::text(const std::optional<std::string>& cell) const {
  if (!cell) return nullptr;
  return m_site.toDisplay(*cell);
}

nlohmann::json StatusQueries::statusFields(const std::string& status, bool automatic,
                                           const StatusFilter& filter) const {
  return {{"status", m_site.toDisplay(status)},
          {"outcome", StatusCatalogue::outcomeName(StatusCatalogue::outcome(status))},
          {"text", m_catalogue.explain(status, automatic, filter.language)}};
}

nlohmann::json StatusQueries::distributions(const std::vector<SqlRow>& rows, bool automatic,
                                            const StatusFilter& filter) const {
  std::map<int64_t, nlohmann::json> byDist;
  for (const SqlRow& row : rows) {
    int64_t distId = integerOf(row[0]);
    if (filter.distId != 0 && distId != filter.distId) continue;
    nlohmann::json& dist = byDist[distId];
    if (dist.is_null())
      dist = {{"dist_id", distId}, {"workstations", 0}, {"done", 0}, {"running", 0},
              {"failed", 0}, {"statuses", nlohmann::json::array()}};
    int64_t count = integerOf(row[2]);
    nlohmann::json status = statusFields(row[1].value_or(""), automatic, filter);
    status["count"] = count;
    dist["workstations"] = dist["workstations"].get<int64_t>() + count;
    std::string outcome = status["outcome"];
    dist[outcome] = dist[outcome].get<int64_t>() + count;
    dist["statuses"].push_back(status);
  }
  nlohmann::json out = nlohmann::json::array();
  for (auto& [distId, dist] : byDist) out.push_back(std::move(dist));
  return out;
}

plat::Status StatusQueries::summary(const StatusFilter& filter, nlohmann::json& out) {
  std::string pattern = filter.search.empty() ? "" : likePattern(filter.search);
  std::vector<SqlRow> commanded, automatic;
  if (plat::Status s = query(kCommandedSummary, {pattern}, commanded); !s) return s;
  if (plat::Status s = query(kAutomaticSummary, {pattern}, automatic); !s) return s;
  out = {{"commanded", distributions(commanded, false, filter)},
         {"automatic", distributions(automatic, true, filter)}};
  return {};
}

plat::Status StatusQueries::workstations(const StatusFilter& filter, nlohmann::json& out) {
  std::vector<SqlRow> rows;
  if (plat::Status s = query(kWorkstations, {likePattern(filter.search)}, rows); !s) return s;
  out = nlohmann::json::array();
  for (const SqlRow& row : rows) {
    out.push_back({{"equip_id", text(row[0])}, {"last_report", text(row[1])},
                   {"reports", integerOf(row[2])}});
  }
  return {};
}

plat::Status StatusQueries::workstation(const std::string& equipId, const StatusFilter& filter,
                                        nlohmann::json& out) {
  std::vector<SqlRow> history, deletions;
  if (plat::Status s = query(kHistory, {equipId}, history); !s) return s;
  if (plat::Status s = query(kDeletions, {equipId}, deletions); !s) return s;
  out = {{"equip_id", m_site.toDisplay(equipId)}, {"history", nlohmann::json::array()},
         {"deletions", nlohmann::json::array()}};
  for (const SqlRow& row : history) {
    bool automatic = row[0] == "automatic";
    nlohmann::json entry = statusFields(row[3].value_or(""), automatic, filter);
    entry.update({{"kind", *row[0]}, {"dist_id", integerOf(row[1])},
                  {automatic ? "update_id" : "cmd_id", integerOf(row[2])},
                  {"detail", text(row[4])}, {"err_detail", text(row[5])},
                  {"reported_at", text(row[6])}});
    out["history"].push_back(std::move(entry));
  }
  for (const SqlRow& row : deletions)
    out["deletions"].push_back({{"dist_id", integerOf(row[0])}, {"deleted_at", text(row[1])}});
  return {};
}

plat::Status StatusQueries::automaticItems(const StatusFilter& filter, nlohmann::json& out) {
  std::vector<SqlRow> rows;
  std::string pattern = filter.search.empty() ? "" : likePattern(filter.search);
  if (plat::Status s = query(kAutomaticItems, {filter.status, filter.distId, pattern}, rows); !s)
    return s;
  out = nlohmann::json::array();
  for (const SqlRow& row : rows) {
    nlohmann::json entry = statusFields(row[3].value_or(""), true, filter);
    entry.update({{"equip_id", text(row[0])}, {"dist_id", integerOf(row[1])},
                  {"update_id", integerOf(row[2])}, {"detail", text(row[4])},
                  {"err_detail", text(row[5])}, {"reported_at", text(row[6])}});
    out.push_back(std::move(entry));
  }
  return {};
}

}  // namespace cvdt::gateway

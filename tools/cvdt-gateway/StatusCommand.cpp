// `cvdt-gateway status --db PATH [--equip ID] [--json] [--codepage N]`.
#include "StatusCommand.h"

#include <cstdio>

#include "GatewayStore.h"

namespace cvdt::gateway {
namespace {

using Kind = ResultTable::Kind;

// The latest report per equipment and distribution (whatever its command id), with the
// distribution's deletion mark; deletions with no commanded report at all follow.
constexpr const char* kCommandedSql =
    "WITH latest AS (SELECT equip_id, dist_id, cmd_id, proc_type, status, status_detail, actor,"
    "   reported_at, MAX(history_id) FROM n_equip_history WHERE ?1 IS NULL OR equip_id = ?1"
    "   GROUP BY equip_id, dist_id)"
    " SELECT l.equip_id, l.dist_id, l.cmd_id, l.proc_type, l.status, l.status_detail, l.actor,"
    " l.reported_at, d.deleted_at FROM latest l"
    " LEFT JOIN n_equip_deleted d ON d.equip_id = l.equip_id AND d.dist_id = l.dist_id"
    " UNION ALL SELECT d.equip_id, d.dist_id, NULL, NULL, NULL, NULL, NULL, NULL, d.deleted_at"
    " FROM n_equip_deleted d WHERE (?1 IS NULL OR d.equip_id = ?1) AND NOT EXISTS"
    "   (SELECT 1 FROM latest l WHERE l.equip_id = d.equip_id AND l.dist_id = d.dist_id)"
    " ORDER BY 1, 2";

// The latest report per equipment and distribution, whatever its update id.
constexpr const char* kAutomaticSql =
    "SELECT s.equip_id, s.dist_id, s.update_id, s.status, s.status_detail, s.proc_time,"
    " s.dist_server_ip, s.err_detail, s.reported_at FROM a_equip_status s"
    " WHERE s.history_id = (SELECT MAX(x.history_id) FROM a_equip_status x"
    "   WHERE x.equip_id = s.equip_id AND x.dist_id = s.dist_id)"
    " AND (?1 IS NULL OR s.equip_id = ?1)"
    " ORDER BY 1, 2";

}  // namespace

bool StatusCommand::query(sqlite3* db, const char* sql, ResultTable& table) const {
  SqlStatement statement(db, sql);
  if (!statement.ok()) return false;
  if (m_args.has("equip")) statement.bind(1, m_args.value("equip"));
  return table.fill(statement, m_site);
}

int StatusCommand::run() {
  std::string problem = m_args.problem({"db", "equip", "json", "codepage"});
  uint32_t codePage = 0;
  if (problem.empty() && m_args.has("codepage") && !SiteText::parse(m_args.value("codepage"), codePage))
    problem = "--codepage wants a code page number such as 949";
  if (!problem.empty() || !m_args.has("db") || m_args.words().size() > 1) {
    std::fprintf(stderr, "cvdt-gateway status: %s\n",
                 problem.empty() ? "usage: status --db PATH [--equip ID] [--json] [--codepage N]"
                                 : problem.c_str());
    return 2;
  }
  m_site = SiteText(codePage);
  GatewayStore store;
  if (!store.open(m_args.value("db"), false)) {
    std::fprintf(stderr, "cvdt-gateway status: %s\n", store.error().c_str());
    return 1;
  }
  ResultTable commanded({{"equip_id", Kind::Text}, {"dist_id", Kind::Integer},
                         {"cmd_id", Kind::Integer}, {"proc_type", Kind::Text},
                         {"status", Kind::Text}, {"status_detail", Kind::Text},
                         {"actor", Kind::Integer}, {"reported_at", Kind::Text},
                         {"deleted_at", Kind::Text}});
  ResultTable automatic({{"equip_id", Kind::Text}, {"dist_id", Kind::Integer},
                         {"update_id", Kind::Integer}, {"status", Kind::Text},
                         {"status_detail", Kind::Text}, {"proc_time", Kind::Integer},
                         {"dist_server_ip", Kind::Text}, {"err_detail", Kind::Text},
                         {"reported_at", Kind::Text}});
  if (!query(store.handle(), kCommandedSql, commanded) ||
      !query(store.handle(), kAutomaticSql, automatic)) {
    std::fprintf(stderr, "cvdt-gateway status: %s\n", sqlite3_errmsg(store.handle()));
    return 1;
  }
  if (m_args.has("json")) {
    std::printf("{\"commanded\":%s,\"automatic\":%s}\n", commanded.json().c_str(),
                automatic.json().c_str());
  } else {
    std::printf("Commanded distribution (%zu)\n%s\nAutomatic distribution (%zu)\n%s",
                commanded.size(), commanded.text().c_str(), automatic.size(),
                automatic.text().c_str());
  }
  return 0;
}

}  // namespace cvdt::gateway

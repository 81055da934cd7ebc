// The gateway's SQLite store: schema, the writes of the reporting procedures and the product
// target lookup.
#include "GatewayStore.h"

#include <cstdio>


namespace cvdt::gateway {
namespace {

// Commanded results: every report in the history, which is appended to and nothing else (a
// report comes once per job and only administrators read it back); the result of each
// equipment, distribution and command is its latest report, a view. The deletion mark of each
// distribution's files per equipment. Automatic status: every report in the history, and the
// latest per equipment, distribution and update id kept in a table of its own, since every
// agent pass reads it through the target query. Product targets: filled by an administrator;
// equip_id '' applies to every equipment.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS n_equip_history("
    "  history_id INTEGER PRIMARY KEY, reported_at TEXT NOT NULL,"
    "  equip_id TEXT NOT NULL, dist_id INTEGER NOT NULL, cmd_id INTEGER NOT NULL,"
    "  proc_type TEXT NOT NULL, status TEXT NOT NULL, status_detail TEXT NOT NULL,"
    "  actor INTEGER NOT NULL);"
    // With one max() aggregate, SQLite takes the other columns from the row holding the maximum.
    "CREATE VIEW IF NOT EXISTS n_equip_result AS"
    "  SELECT equip_id, dist_id, cmd_id, proc_type, status, status_detail, actor, reported_at,"
    "  MAX(history_id) AS history_id FROM n_equip_history GROUP BY equip_id, dist_id, cmd_id;"
    "CREATE TABLE IF NOT EXISTS n_equip_deleted("
    "  equip_id TEXT NOT NULL, dist_id INTEGER NOT NULL, deleted_at TEXT NOT NULL,"
    "  PRIMARY KEY(equip_id, dist_id)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS a_equip_history("
    "  history_id INTEGER PRIMARY KEY, reported_at TEXT NOT NULL,"
    "  equip_id TEXT NOT NULL, dist_id INTEGER NOT NULL, update_id INTEGER NOT NULL,"
    "  status TEXT NOT NULL, status_detail TEXT NOT NULL, proc_time INTEGER NOT NULL,"
    "  dist_server_ip TEXT NOT NULL, err_detail TEXT);"
    "CREATE TABLE IF NOT EXISTS a_equip_status("
    "  equip_id TEXT NOT NULL, dist_id INTEGER NOT NULL, update_id INTEGER NOT NULL,"
    "  status TEXT NOT NULL, status_detail TEXT NOT NULL, proc_time INTEGER NOT NULL,"
    "  dist_server_ip TEXT NOT NULL, err_detail TEXT, reported_at TEXT NOT NULL,"
    "  history_id INTEGER NOT NULL,"
    "  PRIMARY KEY(equip_id, dist_id, update_id)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS adt_product_target("
    "  target_id INTEGER PRIMARY KEY, dist_id INTEGER NOT NULL,"
    "  equip_id TEXT NOT NULL DEFAULT '', name TEXT NOT NULL, policy TEXT NOT NULL,"
    "  update_id INTEGER NOT NULL, created_at TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS adt_product_target_dist"
    "  ON adt_product_target(dist_id, equip_id);"
    "PRAGMA user_version=1;";

constexpr const char* kInsertCommandedHistory =
    "INSERT INTO n_equip_history(reported_at, equip_id, dist_id, cmd_id, proc_type, status,"
    " status_detail, actor) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
constexpr const char* kClearDeletion =
    "DELETE FROM n_equip_deleted WHERE equip_id = ?1 AND dist_id = ?2";
constexpr const char* kMarkDeletion =
    "INSERT INTO n_equip_deleted(equip_id, dist_id, deleted_at) VALUES(?1, ?2, ?3)"
    " ON CONFLICT(equip_id, dist_id) DO NOTHING";
constexpr const char* kInsertAutomaticHistory =
    "INSERT INTO a_equip_history(reported_at, equip_id, dist_id, update_id, status,"
    " status_detail, proc_time, dist_server_ip, err_detail)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";
constexpr const char* kUpsertAutomaticStatus =
    "INSERT INTO a_equip_status(equip_id, dist_id, update_id, status, status_detail, proc_time,"
    " dist_server_ip, err_detail, reported_at, history_id)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"
    " ON CONFLICT(equip_id, dist_id, update_id) DO UPDATE SET status = excluded.status,"
    " status_detail = excluded.status_detail, proc_time = excluded.proc_time,"
    " dist_server_ip = excluded.dist_server_ip, err_detail = excluded.err_detail,"
    " reported_at = excluded.reported_at, history_id = excluded.history_id";
// Targets named for this equipment replace the ones for every equipment. The install status is
// the latest automatic status the equipment reported for the target's update id.
constexpr const char* kSelectTargets =
    "SELECT t.dist_id, t.name, t.policy, t.update_id,"
    " COALESCE((SELECT s.status FROM a_equip_status s WHERE s.equip_id = ?1"
    "   AND s.dist_id = t.dist_id AND s.update_id = t.update_id), '010')"
    " FROM adt_product_target t WHERE t.dist_id = ?2 AND t.equip_id ="
    " (CASE WHEN EXISTS(SELECT 1 FROM adt_product_target WHERE dist_id = ?2 AND equip_id = ?1)"
    "  THEN ?1 ELSE '' END)"
    " ORDER BY t.target_id";

}  // namespace

GatewayStore::~GatewayStore() {
  // Statements must be finalized before the connection closes.
  m_insertCommandedHistory = {};
  m_clearDeletion = {};
  m_markDeletion = {};
  m_insertAutomaticHistory = {};
  m_upsertAutomaticStatus = {};
  m_selectTargets = {};
  m_pTransaction.reset();
  sqlite3_close(m_pDb);
}

bool GatewayStore::open(const std::string& path, bool create) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &m_pDb, flags, nullptr) != SQLITE_OK) {
    m_strError = "cannot open " + path + ": " + sqlite3_errmsg(m_pDb);
    return false;
  }
  sqlite3_busy_timeout(m_pDb, 2000);
  return applySchema() && prepareStatements();
}

bool GatewayStore::applySchema() {
  if (sqlite3_exec(m_pDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                   nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(m_pDb, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
    return fail("schema");
  return true;
}

bool GatewayStore::prepareStatements() {
  struct Entry {
    SqlStatement* statement;
    const char* sql;
  };
  const Entry entries[] = {
      {&m_insertCommandedHistory, kInsertCommandedHistory},
      {&m_clearDeletion, kClearDeletion},
      {&m_markDeletion, kMarkDeletion},
      {&m_insertAutomaticHistory, kInsertAutomaticHistory},
      {&m_upsertAutomaticStatus, kUpsertAutomaticStatus},
      {&m_selectTargets, kSelectTargets},
  };
  for (const Entry& entry : entries) {
    *entry.statement = SqlStatement(m_pDb, entry.sql);
    if (!entry.statement->ok()) return fail("prepare");
  }
  m_pTransaction = std::make_unique<TransactionStatements>(m_pDb);
  return m_pTransaction->ok() || fail("prepare");
}

bool GatewayStore::fail(const char* what) {
  m_strError = std::string(what) + ": " + sqlite3_errmsg(m_pDb);
  return false;
}

std::string GatewayStore::nowText() {
  std::time_t now = std::time(nullptr);
  if (now != m_tTextSecond) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    m_strTimeText = text;
    m_tTextSecond = now;
  }
  return m_strTimeText;
}

bool GatewayStore::recordCommandedResult(const CommandedReport& r) {
  SqlTransaction transaction(*m_pTransaction);
  if (!transaction.begun()) return fail("begin");
  std::string now = nowText();
  m_insertCommandedHistory.bind(1, now).bind(2, r.equipId).bind(3, r.distId).bind(4, r.cmdId);
  m_insertCommandedHistory.bind(5, r.procType).bind(6, r.status).bind(7, r.statusDetail);
  if (!m_insertCommandedHistory.bind(8, r.actor).run()) return fail("history");
  // A new report means the distribution's files are back on the equipment.
  if (!m_clearDeletion.bind(1, r.equipId).bind(2, r.distId).run()) return fail("deletion");
  return transaction.commit() || fail("commit");
}

bool GatewayStore::recordDeletions(const std::string& equipId,
                                   const std::vector<int64_t>& distIds) {
  SqlTransaction transaction(*m_pTransaction);
  if (!transaction.begun()) return fail("begin");
  std::string now = nowText();
  for (int64_t distId : distIds) {
    if (!m_markDeletion.bind(1, equipId).bind(2, distId).bind(3, now).run())
      return fail("deletion");
  }
  return transaction.commit() || fail("commit");
}

bool GatewayStore::recordAutomaticStatus(const AutomaticReport& r) {
  SqlTransaction transaction(*m_pTransaction);
  if (!transaction.begun()) return fail("begin");
  std::string now = nowText();
  SqlStatement& history = m_insertAutomaticHistory;
  history.bind(1, now).bind(2, r.equipId).bind(3, r.distId).bind(4, r.updateId);
  history.bind(5, r.status).bind(6, r.statusDetail).bind(7, r.procTime).bind(8, r.serverIp);
  if (r.errDetail) history.bind(9, *r.errDetail); else history.bindNull(9);
  if (!history.run()) return fail("history");
  int64_t historyId = sqlite3_last_insert_rowid(m_pDb);
  SqlStatement& status = m_upsertAutomaticStatus;
  status.bind(1, r.equipId).bind(2, r.distId).bind(3, r.updateId).bind(4, r.status);
  status.bind(5, r.statusDetail).bind(6, r.procTime).bind(7, r.serverIp);
  if (r.errDetail) status.bind(8, *r.errDetail); else status.bindNull(8);
  if (!status.bind(9, now).bind(10, historyId).run()) return fail("status");
  return transaction.commit() || fail("commit");
}

bool GatewayStore::productTargets(const std::string& equipId, int64_t distId,
                                  std::vector<ProductTargetRow>& rows) {
  SqlStatement& query = m_selectTargets;
  query.bind(1, equipId).bind(2, distId);
  int rc;
  while ((rc = query.step()) == SQLITE_ROW) {
    rows.push_back({query.integer(0), query.text(1), query.text(2), query.integer(3),
                    query.text(4)});
  }
  query.reset();
  return rc == SQLITE_DONE || fail("targets");
}

}  // namespace cvdt::gateway

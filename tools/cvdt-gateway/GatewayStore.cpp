// The gateway's store: the writes of the reporting procedures and the product target lookup, on
// whichever engine the session speaks to.
#include "GatewayStore.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "SchemaMigrations.h"

namespace cvdt::gateway {
namespace {

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
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) RETURNING history_id";
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

constexpr const char* kInsertTarget =
    "INSERT INTO adt_product_target(dist_id, equip_id, name, policy, update_id, created_at)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6) RETURNING target_id";
constexpr const char* kListTargets =
    "SELECT target_id, dist_id, NULLIF(equip_id, ''), update_id, name, policy, created_at"
    " FROM adt_product_target WHERE (?1 = 0 OR dist_id = ?1) AND (?2 = 0 OR equip_id = ?3)"
    " ORDER BY dist_id, target_id";
constexpr const char* kRemoveTarget =
    "DELETE FROM adt_product_target WHERE target_id = ?1 RETURNING target_id";

int64_t integerOf(const std::optional<std::string>& cell) {
  int64_t value = 0;
  if (cell) std::from_chars(cell->data(), cell->data() + cell->size(), value);
  return value;
}

}  // namespace

bool GatewayStore::connect(const std::string& location) { return openLocation(location, true); }

bool GatewayStore::connect(const std::string& location, bool create) {
  return openLocation(location, create);
}

bool GatewayStore::openLocation(const std::string& location, bool create) {
  m_pSession = openSqlSession(location, create, m_strError);
  if (m_pSession == nullptr) return false;
  plat::Status migrated = SchemaMigrations::apply(*m_pSession);
  if (!migrated) m_strError = migrated.message();
  return migrated.ok();
}

bool GatewayStore::fail(const char* what) {
  m_strError = std::string(what) + ": " + m_pSession->error();
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
  SqlSession& db = *m_pSession;
  SessionTransaction transaction(db);
  if (!transaction.begun()) return fail("begin");
  std::string now = nowText();
  if (!db.run(kInsertCommandedHistory, {now, r.equipId, r.distId, r.cmdId, r.procType, r.status,
                                        r.statusDetail, r.actor}))
    return fail("history");
  // A new report means the distribution's files are back on the equipment.
  if (!db.run(kClearDeletion, {r.equipId, r.distId})) return fail("deletion");
  return transaction.commit() || fail("commit");
}

bool GatewayStore::recordDeletions(const std::string& equipId,
                                   const std::vector<int64_t>& distIds) {
  SqlSession& db = *m_pSession;
  SessionTransaction transaction(db);
  if (!transaction.begun()) return fail("begin");
  std::string now = nowText();
  // Gateways sharing one server take the row locks in one order, so two reports of the same
  // equipment cannot deadlock.
  std::vector<int64_t> ordered = distIds;
  std::sort(ordered.begin(), ordered.end());
  for (int64_t distId : ordered) {
    if (!db.run(kMarkDeletion, {equipId, distId, now})) return fail("deletion");
  }
  return transaction.commit() || fail("commit");
}

bool GatewayStore::recordAutomaticStatus(const AutomaticReport& r) {
  SqlSession& db = *m_pSession;
  SessionTransaction transaction(db);
  if (!transaction.begun()) return fail("begin");
  std::string now = nowText();
  SqlValue errDetail = SqlValue::orNull(r.errDetail);
  std::vector<SqlRow> inserted;
  if (!db.run(kInsertAutomaticHistory, {now, r.equipId, r.distId, r.updateId, r.status,
                                        r.statusDetail, r.procTime, r.serverIp, errDetail},
              &inserted) ||
      inserted.size() != 1)
    return fail("history");
  int64_t historyId = integerOf(inserted[0][0]);
  if (!db.run(kUpsertAutomaticStatus, {r.equipId, r.distId, r.updateId, r.status,
                                       r.statusDetail, r.procTime, r.serverIp, errDetail, now,
                                       historyId}))
    return fail("status");
  return transaction.commit() || fail("commit");
}

bool GatewayStore::productTargets(const std::string& equipId, int64_t distId,
                                  std::vector<ProductTargetRow>& rows) {
  std::vector<SqlRow> found;
  if (!m_pSession->run(kSelectTargets, {equipId, distId}, &found)) return fail("targets");
  for (const SqlRow& row : found) {
    rows.push_back({integerOf(row[0]), row[1].value_or(""), row[2].value_or(""),
                    integerOf(row[3]), row[4].value_or("")});
  }
  return true;
}

bool GatewayStore::addTarget(int64_t distId, const std::string& equipId, const std::string& name,
                             const std::string& policy, int64_t updateId, int64_t& id) {
  std::vector<SqlRow> inserted;
  if (!m_pSession->run(kInsertTarget, {distId, equipId, name, policy, updateId, nowText()},
                       &inserted) ||
      inserted.size() != 1)
    return fail("target");
  id = integerOf(inserted[0][0]);
  return true;
}

bool GatewayStore::listTargets(int64_t distId, const std::optional<std::string>& equipId,
                               std::vector<SqlRow>& rows) {
  return m_pSession->run(kListTargets, {distId, int64_t{equipId ? 1 : 0}, equipId.value_or("")},
                         &rows) ||
         fail("targets");
}

bool GatewayStore::removeTargets(const std::vector<int64_t>& ids, std::vector<int64_t>& missing) {
  SessionTransaction transaction(*m_pSession);
  if (!transaction.begun()) return fail("begin");
  for (int64_t id : ids) {
    std::vector<SqlRow> removed;
    if (!m_pSession->run(kRemoveTarget, {id}, &removed)) return fail("target");
    if (removed.empty()) missing.push_back(id);
  }
  return transaction.commit() || fail("commit");
}

}  // namespace cvdt::gateway

// Counting the run's rows in the gateway's database against the acknowledged reports.
#include "FleetCheck.h"

#include <algorithm>
#include <map>

#include "SqlSession.h"

namespace cvdt::fleet {
namespace {

using gateway::SqlRow;

// Rows of the run per report: commanded by command id, automatic by processing time, deletions
// by distribution id.
constexpr const char* kCommandedRows =
    "SELECT equip_id, cmd_id, COUNT(*) FROM n_equip_history WHERE equip_id LIKE ?1"
    " GROUP BY equip_id, cmd_id";
constexpr const char* kAutomaticRows =
    "SELECT equip_id, proc_time, COUNT(*) FROM a_equip_history WHERE equip_id LIKE ?1"
    " GROUP BY equip_id, proc_time";
constexpr const char* kDeletionRows =
    "SELECT equip_id, dist_id, 1 FROM n_equip_deleted WHERE equip_id LIKE ?1";

std::string reportKey(ReportKind kind, const std::string& equipId, const std::string& key) {
  return std::to_string(static_cast<int>(kind)) + "|" + equipId + "|" + key;
}

}  // namespace

CheckResult FleetCheck::run(const std::string& location, const FleetPlan& plan,
                            const std::vector<int64_t>& acknowledged,
                            const std::vector<int64_t>& failed) {
  CheckResult check;
  std::unique_ptr<gateway::SqlSession> session =
      gateway::openSqlSession(location, false, check.error);
  if (!session) return check;
  std::map<std::string, int64_t> stored;
  std::string pattern = plan.tag() + "-%";
  for (auto [sql, kind] : {std::pair{kCommandedRows, ReportKind::Commanded},
                           std::pair{kAutomaticRows, ReportKind::Automatic},
                           std::pair{kDeletionRows, ReportKind::Deletion}}) {
    std::vector<SqlRow> rows;
    if (!session->run(sql, {pattern}, &rows)) {
      check.error = session->error();
      return check;
    }
    for (const SqlRow& row : rows)
      stored[reportKey(kind, row[0].value_or(""), row[1].value_or(""))] = std::stoll(*row[2]);
  }
  check.read = true;
  auto take = [&](int64_t index, bool wasAcknowledged) {
    PlannedReport report = plan.report(index);
    auto it = stored.find(reportKey(report.kind, report.equipId, std::to_string(report.key)));
    int64_t count = it == stored.end() ? 0 : it->second;
    if (count > 1) ++check.duplicated;
    if (count == 0 && wasAcknowledged) ++check.lost;
    if (count >= 1 && !wasAcknowledged) ++check.storedUnacknowledged;
    if (it != stored.end()) stored.erase(it);
  };
  for (int64_t index : acknowledged) take(index, true);
  for (int64_t index : failed) take(index, false);
  check.unexpected = static_cast<int64_t>(stored.size());
  return check;
}

}  // namespace cvdt::fleet

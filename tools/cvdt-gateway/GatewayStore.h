// GatewayStore: the gateway's database, SQLite or PostgreSQL: one operation per stored
// procedure, each write done in one transaction.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SqlSession.h"

namespace cvdt::gateway {

// One commanded job's final report (SP_SV_DT_N_EQUIP_IU).
struct CommandedReport {
  std::string equipId;
  int64_t distId = 0;
  std::string procType;
  std::string status;
  std::string statusDetail;
  int64_t cmdId = 0;
  int64_t actor = 0;
};

// One automatic item's status (SP_SV_DT_TDT_A_EQUIP_U, and _U3 with the error detail).
struct AutomaticReport {
  std::string equipId;
  int64_t distId = 0;
  int64_t updateId = 0;
  std::string status;
  std::string statusDetail;
  int64_t procTime = 0;
  std::string serverIp;
  std::optional<std::string> errDetail;
};

// One product target as the agent reads it (SP_SV_ADT_PROD_BY_EQUIP_S1).
struct ProductTargetRow {
  int64_t distId = 0;
  std::string name;
  std::string policy;
  int64_t updateId = 0;
  std::string installStatus;
};

// The stored procedures' work on the database, written once for both engines. Not shared
// between threads. Every write method is one transaction and returns false, with error() set
// and nothing written, when the database refuses the work.
class GatewayStore {
 public:
  GatewayStore() = default;

  // Opens location (an SQLite path, created if missing, or a postgresql:// address) and brings
  // the schema up to date.
  bool connect(const std::string& location);
  // The same, creating a missing SQLite file only when create is set.
  bool connect(const std::string& location, bool create);
  const std::string& error() const { return m_strError; }
  SqlSession& session() { return *m_pSession; }

  bool recordCommandedResult(const CommandedReport& report);
  // Marks each distribution of the equipment as deleted; a mark already set keeps its time.
  bool recordDeletions(const std::string& equipId, const std::vector<int64_t>& distIds);
  bool recordAutomaticStatus(const AutomaticReport& report);
  // The targets of the equipment for one distribution, in the order the agent should see them.
  bool productTargets(const std::string& equipId, int64_t distId,
                      std::vector<ProductTargetRow>& rows);

  // Administering product targets. addTarget sets id to the new target's id.
  bool addTarget(int64_t distId, const std::string& equipId, const std::string& name,
                 const std::string& policy, int64_t updateId, int64_t& id);
  // Rows: target_id, dist_id, equip_id (NULL for every equipment), update_id, name, policy,
  // created_at; distId 0 and an empty equipId select every one.
  bool listTargets(int64_t distId, const std::optional<std::string>& equipId,
                   std::vector<SqlRow>& rows);
  // Removes the targets in one transaction; missing gets the ids that were not there.
  bool removeTargets(const std::vector<int64_t>& ids, std::vector<int64_t>& missing);

  // The current local time as the 14-digit text stored in every time column.
  std::string nowText();

 private:
  bool openLocation(const std::string& location, bool create);
  bool fail(const char* what);

  std::unique_ptr<SqlSession> m_pSession;
  std::string m_strError;
  std::time_t m_tTextSecond = -1;
  std::string m_strTimeText;
};

}  // namespace cvdt::gateway

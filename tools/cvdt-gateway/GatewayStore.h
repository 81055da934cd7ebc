// GatewayStore: the gateway's SQLite database: its schema, and one operation per stored
// procedure, each write done in one transaction.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SqlStatement.h"
#include "SqlTransaction.h"

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

// Not shared between threads. Every write method returns false, with error() set and nothing
// written, when the database refuses the work.
class GatewayStore {
 public:
  GatewayStore() = default;
  ~GatewayStore();
  GatewayStore(const GatewayStore&) = delete;
  GatewayStore& operator=(const GatewayStore&) = delete;

  // Opens the database, creating the file only when create is set, and brings the schema up to
  // date (WAL journal, synchronous NORMAL). False with error() set on failure.
  bool open(const std::string& path, bool create);
  const std::string& error() const { return m_strError; }
  sqlite3* handle() const { return m_pDb; }

  bool recordCommandedResult(const CommandedReport& report);
  // Marks each distribution of the equipment as deleted; a mark already set keeps its time.
  bool recordDeletions(const std::string& equipId, const std::vector<int64_t>& distIds);
  bool recordAutomaticStatus(const AutomaticReport& report);
  // The targets of the equipment for one distribution, in the order the agent should see them.
  bool productTargets(const std::string& equipId, int64_t distId,
                      std::vector<ProductTargetRow>& rows);

  // The current local time as the 14-digit text stored in every time column.
  std::string nowText();

 private:
  bool applySchema();
  bool prepareStatements();
  bool fail(const char* what);

  sqlite3* m_pDb = nullptr;
  std::string m_strError;
  std::time_t m_tTextSecond = -1;
  std::string m_strTimeText;
  std::unique_ptr<TransactionStatements> m_pTransaction;
  SqlStatement m_insertCommandedHistory;
  SqlStatement m_clearDeletion;
  SqlStatement m_markDeletion;
  SqlStatement m_insertAutomaticHistory;
  SqlStatement m_upsertAutomaticStatus;
  SqlStatement m_selectTargets;
};

}  // namespace cvdt::gateway

// The registry of the Linux backend: one SQLite database in the machine root, shared by every
// process of the machine (WAL, busy time-out from machine.ini). Keys are rows named by their
// full path; names compare ignoring case (ASCII), as NOCASE collation does.
#include <sqlite3.h>

#include <cctype>
#include <map>
#include <vector>
#include <memory>
#include <mutex>

#include "platform/PlatformRegistry.h"
#include "platform/PlatformSystem.h"
#include "platform/WinError.h"
#include "platform/posix/MachineConfig.h"
#include "platform/posix/RegistryLocation.h"

namespace plat {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_key("
    "  id INTEGER PRIMARY KEY,"
    "  path TEXT NOT NULL UNIQUE COLLATE NOCASE,"
    "  parent TEXT NOT NULL COLLATE NOCASE,"
    "  name TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS reg_key_parent ON reg_key(parent);"
    "CREATE TABLE IF NOT EXISTS reg_value("
    "  key_id INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key_id, name));"
    "INSERT OR IGNORE INTO reg_key(path, parent, name) VALUES"
    "  ('HKEY_CLASSES_ROOT', '', 'HKEY_CLASSES_ROOT'),"
    "  ('HKEY_CURRENT_USER', '', 'HKEY_CURRENT_USER'),"
    "  ('HKEY_LOCAL_MACHINE', '', 'HKEY_LOCAL_MACHINE'),"
    "  ('HKEY_USERS', '', 'HKEY_USERS'),"
    "  ('HKEY_CURRENT_CONFIG', '', 'HKEY_CURRENT_CONFIG');"
    "PRAGMA user_version=1;";

uint32_t errorFromSqlite(int code) {
  switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return kErrorSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kErrorBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return kErrorRegistryCorrupt;
    case SQLITE_CANTOPEN: return kErrorFileNotFound;
    case SQLITE_READONLY:
    case SQLITE_PERM: return kErrorAccessDenied;
    default: return kErrorRegistryIoFailed;
  }
}

// One connection to a machine's registry, with its prepared statements. A connection is used
// by one thread at a time: operations lease one from the pool and give it back.
class Connection {
 public:
  ~Connection() {
    for (auto& [sql, statement] : m_statements) sqlite3_finalize(statement);
    sqlite3_close(m_db);
  }
  uint32_t open(const std::string& path, int busyTimeoutMs);
  sqlite3_stmt* prepare(const char* sql);
  sqlite3* db() const { return m_db; }
  const std::string& path() const { return m_path; }

 private:
  sqlite3* m_db = nullptr;
  std::string m_path;
  std::map<const char*, sqlite3_stmt*> m_statements;
};

// Idle connections, kept so that every call does not open the database anew. The pool is not a
// static object: a module unloaded at process exit still traces through the registry after the
// statics are gone, so the pool lives until closeRegistryConnections() releases it.
class ConnectionPool {
 public:
  static ConnectionPool& instance();
  static void destroy();
  std::unique_ptr<Connection> acquire(uint32_t& error);
  void release(std::unique_ptr<Connection> connection);

 private:
  static constexpr size_t kMaxIdle = 8;
  std::mutex m_mutex;
  std::vector<std::unique_ptr<Connection>> m_idle;
};

// A connection leased for one registry operation.
class ConnectionLease {
 public:
  explicit ConnectionLease(uint32_t& error) : m_connection(ConnectionPool::instance().acquire(error)) {}
  ~ConnectionLease() {
    if (m_connection) ConnectionPool::instance().release(std::move(m_connection));
  }
  ConnectionLease(const ConnectionLease&) = delete;
  ConnectionLease& operator=(const ConnectionLease&) = delete;
  Connection* get() const { return m_connection.get(); }

 private:
  std::unique_ptr<Connection> m_connection;
};

uint32_t Connection::open(const std::string& path, int busyTimeoutMs) {
  m_path = path;
  int rc = sqlite3_open_v2(path.c_str(), &m_db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) return errorFromSqlite(rc);
  sqlite3_busy_timeout(m_db, busyTimeoutMs);
  // In WAL mode a commit then reaches the log without a flush of its own; the store stays whole
  // after a crash and only the latest writes may be lost, as Windows flushes its hives lazily
  // too. A flush per commit made every write cost a disk round trip: the automatic worker's
  // progress block, published on every report, spent most of a pass waiting for them.
  sqlite3_exec(m_db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_stmt* version = prepare("PRAGMA user_version");
  rc = sqlite3_step(version);
  bool fresh = rc == SQLITE_ROW && sqlite3_column_int(version, 0) == 0;
  sqlite3_reset(version);
  if (rc != SQLITE_ROW) return errorFromSqlite(rc);
  if (!fresh) return kErrorSuccess;
  sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
  int end = sqlite3_exec(m_db, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  return errorFromSqlite(rc != SQLITE_OK ? rc : end);
}

std::mutex g_poolMutex;
ConnectionPool* g_pool = nullptr;

ConnectionPool& ConnectionPool::instance() {
  std::lock_guard<std::mutex> lock(g_poolMutex);
  if (g_pool == nullptr) g_pool = new ConnectionPool;
  return *g_pool;
}

void ConnectionPool::destroy() {
  std::lock_guard<std::mutex> lock(g_poolMutex);
  delete g_pool;
  g_pool = nullptr;
}

std::unique_ptr<Connection> ConnectionPool::acquire(uint32_t& error) {
  auto machine = posix::currentMachine();
  std::string path = machine->registryPath();
  if (path.empty()) {
    error = kErrorFileNotFound;
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
      if ((*it)->path() != path) continue;
      std::unique_ptr<Connection> found = std::move(*it);
      m_idle.erase(it);
      error = kErrorSuccess;
      return found;
    }
  }
  auto fresh = std::make_unique<Connection>();
  error = fresh->open(path, machine->registryBusyTimeoutMs);
  return error == kErrorSuccess ? std::move(fresh) : nullptr;
}

void ConnectionPool::release(std::unique_ptr<Connection> connection) {
  std::lock_guard<std::mutex> lock(m_mutex);
  // Connections to other machines' registries (tests switch machines) are closed first.
  std::string path = posix::currentMachine()->registryPath();
  std::erase_if(m_idle, [&](const auto& idle) { return idle->path() != path; });
  if (m_idle.size() < kMaxIdle) m_idle.push_back(std::move(connection));
}

sqlite3_stmt* Connection::prepare(const char* sql) {
  auto found = m_statements.find(sql);
  if (found != m_statements.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) return nullptr;
  m_statements.emplace(sql, statement);
  return statement;
}

// A cached statement, bound and stepped, reset when the object goes.
class Statement {
 public:
  Statement(Connection* connection, const char* sql) : m_statement(connection->prepare(sql)) {}
  ~Statement() {
    if (m_statement) {
      sqlite3_reset(m_statement);
      sqlite3_clear_bindings(m_statement);
    }
  }
  bool valid() const { return m_statement != nullptr; }
  Statement& text(int index, const std::string& value) {
    sqlite3_bind_text(m_statement, index, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Statement& integer(int index, int64_t value) {
    sqlite3_bind_int64(m_statement, index, value);
    return *this;
  }
  Statement& blob(int index, const void* data, size_t size) {
    sqlite3_bind_blob(m_statement, index, size ? data : "", static_cast<int>(size),
                      SQLITE_TRANSIENT);
    return *this;
  }
  int step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_ERROR; }
  sqlite3_stmt* raw() const { return m_statement; }

 private:
  sqlite3_stmt* m_statement;
};

std::string columnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

bool hasWriteAccess(uint32_t access) { return (access & 0x0006) != 0; }  // set value, create key

uint32_t exec(Connection* connection, const char* sql) {
  return errorFromSqlite(sqlite3_exec(connection->db(), sql, nullptr, nullptr, nullptr));
}

// Runs body inside a write transaction; its error rolls the transaction back.
template <typename Body>
uint32_t inTransaction(Connection* connection, Body body) {
  uint32_t error = exec(connection, "BEGIN IMMEDIATE");
  if (error != kErrorSuccess) return error;
  error = body();
  if (error == kErrorSuccess) error = exec(connection, "COMMIT");
  if (error != kErrorSuccess) exec(connection, "ROLLBACK");
  return error;
}

uint32_t keyExists(Connection* connection, const std::string& path, bool& exists) {
  Statement find(connection, "SELECT 1 FROM reg_key WHERE path = ?");
  int rc = find.text(1, path).step();
  exists = rc == SQLITE_ROW;
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? kErrorSuccess : errorFromSqlite(rc);
}

uint32_t insertKeyChain(Connection* connection, const std::string& path) {
  size_t end = path.find('\\');
  while (end != std::string::npos || !path.empty()) {
    std::string key = end == std::string::npos ? path : path.substr(0, end);
    size_t cut = key.rfind('\\');
    std::string parent = cut == std::string::npos ? "" : key.substr(0, cut);
    std::string name = cut == std::string::npos ? key : key.substr(cut + 1);
    Statement insert(connection,
                     "INSERT OR IGNORE INTO reg_key(path, parent, name) VALUES (?, ?, ?)");
    int rc = insert.text(1, key).text(2, parent).text(3, name).step();
    if (rc != SQLITE_DONE) return errorFromSqlite(rc);
    if (end == std::string::npos) break;
    end = path.find('\\', end + 1);
  }
  return kErrorSuccess;
}

// Whether the key exists in the merged view: as path, or as overlay when there is one.
uint32_t anyKeyExists(Connection* connection, const std::string& path, const std::string& overlay,
                      bool& exists) {
  uint32_t error = keyExists(connection, path, exists);
  if (error != kErrorSuccess || exists || overlay.empty()) return error;
  return keyExists(connection, overlay, exists);
}

// The key that takes value writes: the overlay when it exists (a user's classes key), else path.
uint32_t writtenKey(Connection* connection, const std::string& path, const std::string& overlay,
                    std::string& written) {
  bool overlayExists = false;
  uint32_t error = overlay.empty() ? kErrorSuccess : keyExists(connection, overlay, overlayExists);
  written = overlayExists ? overlay : path;
  return error;
}

std::string likeEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%' || c == '_' || c == '!') out.push_back('!');
    out.push_back(c);
  }
  return out;
}

// Runs body with a leased connection; the lease's error when there is none.
template <typename Body>
uint32_t withConnection(Body body) {
  uint32_t error;
  ConnectionLease lease(error);
  return lease.get() == nullptr ? error : body(lease.get());
}

// The name in the first column of the index-th row of a "... LIMIT 1 OFFSET ?2" listing of the
// key ?1 merged with the key ?3 (the same key when there is no overlay).
uint32_t nthName(Connection* connection, const char* sql, const std::string& path,
                 const std::string& overlay, uint32_t index, std::string& name) {
  Statement list(connection, sql);
  int rc = list.text(1, path).integer(2, index).text(3, overlay.empty() ? path : overlay).step();
  if (rc == SQLITE_DONE) return kErrorNoMoreItems;
  if (rc != SQLITE_ROW) return errorFromSqlite(rc);
  name = columnText(list.raw(), 0);
  return kErrorSuccess;
}

}  // namespace

void closeRegistryConnections() { ConnectionPool::destroy(); }

uint32_t RegKey::open(RegRoot root, const std::string& path, uint32_t access, RegKey& out) {
  out.close();
  return withConnection([&](Connection* connection) -> uint32_t {
    posix::RegistryLocation location = posix::locateRegistryKey(root, path, access);
    bool exists = false;
    uint32_t error = anyKeyExists(connection, location.path, location.overlayPath, exists);
    if (error != kErrorSuccess) return error;
    if (!exists && !location.isRoot) return kErrorFileNotFound;
    // A root always opens; the key it stands for (a user's hive) is made on first use.
    if (!exists) {
      error = inTransaction(connection, [&] { return insertKeyChain(connection, location.path); });
    }
    if (error != kErrorSuccess) return error;
    out.m_path = location.path;
    out.m_overlayPath = location.overlayPath;
    out.m_access = access;
    out.m_open = true;
    return kErrorSuccess;
  });
}

uint32_t RegKey::create(RegRoot root, const std::string& path, uint32_t access, RegKey& out,
                        bool* created) {
  out.close();
  return withConnection([&](Connection* connection) -> uint32_t {
    posix::RegistryLocation location = posix::locateRegistryKey(root, path, access);
    bool existed = false;
    uint32_t error = inTransaction(connection, [&] {
      uint32_t result = anyKeyExists(connection, location.path, location.overlayPath, existed);
      return result != kErrorSuccess || existed ? result : insertKeyChain(connection, location.path);
    });
    if (error != kErrorSuccess) return error;
    if (created != nullptr) *created = !existed;
    out.m_path = location.path;
    out.m_overlayPath = location.overlayPath;
    out.m_access = access;
    out.m_open = true;
    return kErrorSuccess;
  });
}

namespace {

// Deletes the key at full and everything below it; existed tells whether it was there.
uint32_t deleteStoredTree(Connection* connection, const std::string& full, bool& existed) {
  std::string below = likeEscaped(full) + "\\%";
  uint32_t result = keyExists(connection, full, existed);
  if (result != kErrorSuccess || !existed) return result;
  Statement values(connection,
                   "DELETE FROM reg_value WHERE key_id IN (SELECT id FROM reg_key"
                   " WHERE path = ?1 OR path LIKE ?2 ESCAPE '!')");
  int rc = values.text(1, full).text(2, below).step();
  if (rc != SQLITE_DONE) return errorFromSqlite(rc);
  Statement keys(connection, "DELETE FROM reg_key WHERE path = ?1 OR path LIKE ?2 ESCAPE '!'");
  rc = keys.text(1, full).text(2, below).step();
  return rc == SQLITE_DONE ? kErrorSuccess : errorFromSqlite(rc);
}

}  // namespace

// Through HKEY_CLASSES_ROOT the key goes from both the machine's and the user's classes, so
// that it is gone from the merged view.
uint32_t RegKey::deleteTree(RegRoot root, const std::string& path, uint32_t access) {
  posix::RegistryLocation location = posix::locateRegistryKey(root, path, access);
  if (location.isRoot) return kErrorAccessDenied;  // a root stays
  return withConnection([&](Connection* connection) -> uint32_t {
    return inTransaction(connection, [&] {
      bool existed = false, overlayExisted = false;
      uint32_t result = deleteStoredTree(connection, location.path, existed);
      if (result == kErrorSuccess && !location.overlayPath.empty())
        result = deleteStoredTree(connection, location.overlayPath, overlayExisted);
      if (result != kErrorSuccess) return result;
      return existed || overlayExisted ? kErrorSuccess : kErrorFileNotFound;
    });
  });
}

uint32_t RegKey::queryValue(const std::string& name, uint32_t& type,
                            std::vector<uint8_t>& data) const {
  if (!m_open) return kErrorInvalidHandle;
  return withConnection([&](Connection* connection) -> uint32_t {
    // The overlay's value wins over the key's own.
    Statement query(connection,
                    "SELECT v.type, v.data FROM reg_value v JOIN reg_key k ON v.key_id = k.id"
                    " WHERE (k.path = ?1 OR k.path = ?3) AND v.name = ?2"
                    " ORDER BY k.path = ?3 DESC LIMIT 1");
    int rc = query.text(1, m_path).text(2, name).text(3, readOverlay()).step();
    if (rc == SQLITE_DONE) return kErrorFileNotFound;
    if (rc != SQLITE_ROW) return errorFromSqlite(rc);
    type = static_cast<uint32_t>(sqlite3_column_int64(query.raw(), 0));
    auto bytes = static_cast<const uint8_t*>(sqlite3_column_blob(query.raw(), 1));
    data.assign(bytes, bytes + sqlite3_column_bytes(query.raw(), 1));
    return kErrorSuccess;
  });
}

uint32_t RegKey::setValue(const std::string& name, uint32_t type, const void* data, size_t size) {
  if (!m_open) return kErrorInvalidHandle;
  if (!hasWriteAccess(m_access)) return kErrorAccessDenied;
  return withConnection([&](Connection* connection) -> uint32_t {
    std::string written;
    uint32_t error = writtenKey(connection, m_path, m_overlayPath, written);
    if (error != kErrorSuccess) return error;
    Statement upsert(connection,
                     "INSERT INTO reg_value(key_id, name, type, data)"
                     " SELECT id, ?2, ?3, ?4 FROM reg_key WHERE path = ?1"
                     " ON CONFLICT(key_id, name) DO UPDATE SET type = excluded.type,"
                     " data = excluded.data");
    int rc = upsert.text(1, written).text(2, name).integer(3, type).blob(4, data, size).step();
    if (rc != SQLITE_DONE) return errorFromSqlite(rc);
    return sqlite3_changes(connection->db()) > 0 ? kErrorSuccess : kErrorKeyDeleted;
  });
}

uint32_t RegKey::deleteValue(const std::string& name) {
  if (!m_open) return kErrorInvalidHandle;
  if (!hasWriteAccess(m_access)) return kErrorAccessDenied;
  return withConnection([&](Connection* connection) -> uint32_t {
    // The overlay's value goes first; the key's own only when the overlay has none.
    for (const std::string* key : {&m_overlayPath, &m_path}) {
      if (key->empty()) continue;
      Statement remove(connection,
                       "DELETE FROM reg_value WHERE name = ?2 AND key_id ="
                       " (SELECT id FROM reg_key WHERE path = ?1)");
      int rc = remove.text(1, *key).text(2, name).step();
      if (rc != SQLITE_DONE) return errorFromSqlite(rc);
      if (sqlite3_changes(connection->db()) > 0) return kErrorSuccess;
    }
    return kErrorFileNotFound;
  });
}

uint32_t RegKey::enumValue(uint32_t index, std::string& name) const {
  if (!m_open) return kErrorInvalidHandle;
  return withConnection([&](Connection* connection) {
    // The overlay's values first, then the key's own that the overlay does not have.
    return nthName(connection,
                   "SELECT v.name FROM reg_value v JOIN reg_key k ON v.key_id = k.id"
                   " WHERE k.path = ?1 OR k.path = ?3 GROUP BY v.name"
                   " ORDER BY min((k.path <> ?3) * 4611686018427387904 + v.rowid)"
                   " LIMIT 1 OFFSET ?2",
                   m_path, m_overlayPath, index, name);
  });
}

uint32_t RegKey::enumSubKey(uint32_t index, std::string& name) const {
  if (!m_open) return kErrorInvalidHandle;
  return withConnection([&](Connection* connection) {
    return nthName(connection,
                   "SELECT name FROM reg_key WHERE parent = ?1 OR parent = ?3"
                   " GROUP BY name COLLATE NOCASE ORDER BY name COLLATE NOCASE LIMIT 1 OFFSET ?2",
                   m_path, m_overlayPath, index, name);
  });
}

uint32_t RegKey::queryInfo(uint32_t& maxValueNameLength, uint32_t& maxValueLength) const {
  if (!m_open) return kErrorInvalidHandle;
  return withConnection([&](Connection* connection) -> uint32_t {
    Statement info(connection,
                   "SELECT k.id, max(length(v.name)), max(length(v.data)) FROM reg_key k"
                   " LEFT JOIN reg_value v ON v.key_id = k.id WHERE k.path = ?1 OR k.path = ?2");
    int rc = info.text(1, m_path).text(2, readOverlay()).step();
    if (rc != SQLITE_ROW) return errorFromSqlite(rc);
    if (sqlite3_column_type(info.raw(), 0) == SQLITE_NULL) return kErrorKeyDeleted;
    maxValueNameLength = static_cast<uint32_t>(sqlite3_column_int64(info.raw(), 1));
    maxValueLength = static_cast<uint32_t>(sqlite3_column_int64(info.raw(), 2));
    return kErrorSuccess;
  });
}

}  // namespace plat

// LoopbackFtpServer: a small FTP server on 127.0.0.1 for tests: login (anonymous, or the one
// account it is given), PWD/CWD/TYPE/SIZE, passive (PASV) and active (PORT) data connections,
// RETR of the files added to it with the faults of ServedFile. EPSV and EPRT are refused, so
// clients fall back to PASV and PORT and the server can tell which mode a transfer used.
#pragma once

#include <string>

#include "support/LoopbackServer.h"

namespace cvdt::test {

class LoopbackFtpServer : public LoopbackServer {
 public:
  LoopbackFtpServer() = default;
  ~LoopbackFtpServer() override { stop(); }

  // Only this account may log in from now on; anonymous logins are refused.
  void requireCredentials(const std::string& user, const std::string& password);
  int passiveTransfers() const { return m_nPassive.load(); }
  int activeTransfers() const { return m_nActive.load(); }
  int logins() const { return m_nLogins.load(); }

 protected:
  void serve(int fd) override;

 private:
  struct Session;

  bool command(Session& session, const std::string& verb, const std::string& argument);
  bool login(Session& session, const std::string& verb, const std::string& argument);
  bool openPassive(Session& session);
  bool retrieve(Session& session, const std::string& name);
  int dataConnection(Session& session);
  static std::string resolve(const std::string& cwd, const std::string& name);

  std::string m_strUser;
  std::string m_strPassword;
  std::atomic<int> m_nPassive{0};
  std::atomic<int> m_nActive{0};
  std::atomic<int> m_nLogins{0};
  std::mutex m_accountMutex;
};

}  // namespace cvdt::test

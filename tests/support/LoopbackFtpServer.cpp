// Control and data connections of the loopback FTP test server.
#include "support/LoopbackFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <vector>

namespace cvdt::test {

struct LoopbackFtpServer::Session {
  int control = -1;
  std::string buffer;
  std::string user;
  bool loggedIn = false;
  std::string cwd = "/";
  int passiveListener = -1;
  bool active = false;
  sockaddr_in activeAddress{};

  ~Session() { closePassive(); }
  void closePassive() {
    if (passiveListener >= 0) close(passiveListener);
    passiveListener = -1;
  }
  bool reply(const std::string& text) const { return sendAll(control, text + "\r\n"); }
};

void LoopbackFtpServer::requireCredentials(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(m_accountMutex);
  m_strUser = user;
  m_strPassword = password;
}

void LoopbackFtpServer::serve(int fd) {
  Session session;
  session.control = fd;
  if (!session.reply("220 cvdt loopback ftp")) return;
  std::string line;
  while (!stopping() && readUntil(fd, session.buffer, "\r\n", line)) {
    size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (!command(session, verb, argument)) return;
  }
}

bool LoopbackFtpServer::login(Session& session, const std::string& verb,
                              const std::string& argument) {
  if (verb == "USER") {
    session.user = argument;
    return session.reply("331 password please");
  }
  std::lock_guard<std::mutex> lock(m_accountMutex);
  bool anonymous = m_strUser.empty();
  session.loggedIn = anonymous || (session.user == m_strUser && argument == m_strPassword);
  if (session.loggedIn) ++m_nLogins;
  return session.reply(session.loggedIn ? "230 logged in" : "530 login incorrect");
}

bool LoopbackFtpServer::command(Session& session, const std::string& verb,
                                const std::string& argument) {
  if (verb == "USER" || verb == "PASS") return login(session, verb, argument);
  if (verb == "QUIT") {
    session.reply("221 bye");
    return false;
  }
  if (!session.loggedIn) return session.reply("530 not logged in");
  if (verb == "PWD") return session.reply("257 \"" + session.cwd + "\"");
  if (verb == "CWD") {
    std::string target = resolve(session.cwd, argument);
    if (target != "/" && !hasFolder(target)) return session.reply("550 no such folder");
    session.cwd = target;
    return session.reply("250 folder changed");
  }
  if (verb == "TYPE") return session.reply("200 type set");
  if (verb == "NOOP") return session.reply("200 ok");
  if (verb == "SYST") return session.reply("215 UNIX Type: L8");
  if (verb == "SIZE") {
    ServedFile file;
    if (!findFile(resolve(session.cwd, argument), file)) return session.reply("550 no such file");
    return session.reply("213 " + std::to_string(file.size()));
  }
  if (verb == "PASV") return openPassive(session);
  if (verb == "PORT") {
    unsigned h[4], p[2];
    if (std::sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0],
                    &p[1]) != 6) {
      return session.reply("501 bad address");
    }
    session.closePassive();
    session.active = true;
    session.activeAddress = {};
    session.activeAddress.sin_family = AF_INET;
    session.activeAddress.sin_addr.s_addr = htonl((h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
    session.activeAddress.sin_port = htons(static_cast<uint16_t>((p[0] << 8) | p[1]));
    return session.reply("200 PORT ok");
  }
  if (verb == "RETR") return retrieve(session, argument);
  return session.reply("502 not implemented");
}

bool LoopbackFtpServer::openPassive(Session& session) {
  session.closePassive();
  session.active = false;
  session.passiveListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (session.passiveListener < 0 ||
      bind(session.passiveListener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(session.passiveListener, 1) != 0 ||
      getsockname(session.passiveListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return session.reply("425 cannot listen");
  }
  int port = ntohs(address.sin_port);
  return session.reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port >> 8) + "," +
                       std::to_string(port & 255) + ")");
}

// The data connection of the next transfer, or -1. A passive one is waited for for at most five
// seconds (or until the server stops).
int LoopbackFtpServer::dataConnection(Session& session) {
  if (session.active) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&session.activeAddress),
                           sizeof session.activeAddress) == 0) {
      ++m_nActive;
      return fd;
    }
    if (fd >= 0) close(fd);
    return -1;
  }
  if (session.passiveListener < 0) return -1;
  pollfd waiting{session.passiveListener, POLLIN, 0};
  for (int slice = 0; slice < 100 && !stopping(); ++slice) {
    if (poll(&waiting, 1, 50) == 1) {
      int fd = accept4(session.passiveListener, nullptr, nullptr, SOCK_CLOEXEC);
      session.closePassive();
      if (fd >= 0) ++m_nPassive;
      return fd;
    }
  }
  return -1;
}

bool LoopbackFtpServer::retrieve(Session& session, const std::string& name) {
  ServedFile file;
  if (!findFile(resolve(session.cwd, name), file)) return session.reply("550 no such file");
  int data = dataConnection(session);
  if (data < 0) return session.reply("425 no data connection");
  track(data);
  bool ok = session.reply("150 Opening BINARY mode data connection for " + name + " (" +
                          std::to_string(file.size()) + " bytes)");
  bool whole = ok && sendBody(data, file);
  untrack(data);
  close(data);
  // A short body is announced as complete: the client has to notice by itself.
  bool claimComplete = whole || file.fault == ServedFile::Fault::ShortBody;
  return ok && session.reply(claimComplete ? "226 Transfer complete" : "426 Transfer aborted");
}

std::string LoopbackFtpServer::resolve(const std::string& cwd, const std::string& name) {
  std::string joined = !name.empty() && name[0] == '/' ? name : cwd + "/" + name;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string path;
  for (const std::string& part : parts) path += "/" + part;
  return path.empty() ? "/" : path;
}

}  // namespace cvdt::test

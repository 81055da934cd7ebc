// Request parsing and responses of the loopback HTTP test server.
#include "support/LoopbackHttpServer.h"

#include <strings.h>

#include <sstream>

namespace cvdt::test {
namespace {

std::string base64(const std::string& text) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < text.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(text[i]) << 16) |
                 (static_cast<unsigned char>(text[i + 1]) << 8) |
                 static_cast<unsigned char>(text[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kDigits[(v >> shift) & 63];
  }
  if (i < text.size()) {
    unsigned v = static_cast<unsigned char>(text[i]) << 16;
    if (i + 1 < text.size()) v |= static_cast<unsigned char>(text[i + 1]) << 8;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < text.size() ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The value of a header line in the request head, or empty.
std::string headerValue(const std::string& head, const char* name) {
  std::istringstream lines(head);
  std::string line;
  size_t length = std::char_traits<char>::length(name);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > length && line[length] == ':' && strncasecmp(line.c_str(), name, length) == 0) {
      size_t start = line.find_first_not_of(' ', length + 1);
      return start == std::string::npos ? std::string() : line.substr(start);
    }
  }
  return {};
}

std::string percentDecoded(const std::string& target) {
  std::string path;
  for (size_t i = 0; i < target.size(); ++i) {
    if (target[i] == '%' && i + 2 < target.size()) {
      path += static_cast<char>(std::stoi(target.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      path += target[i];
    }
  }
  return path;
}

}  // namespace

void LoopbackHttpServer::requireCredentials(const std::string& userColonPassword) {
  std::lock_guard<std::mutex> lock(m_logMutex);
  m_strAuthorization = "Basic " + base64(userColonPassword);
}

std::vector<std::string> LoopbackHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(m_logMutex);
  return m_requests;
}

bool LoopbackHttpServer::authorized(const std::string& head) const {
  std::lock_guard<std::mutex> lock(m_logMutex);
  return m_strAuthorization.empty() || headerValue(head, "Authorization") == m_strAuthorization;
}

void LoopbackHttpServer::serve(int fd) {
  std::string buffer;
  std::string head;
  while (!stopping() && readUntil(fd, buffer, "\r\n\r\n", head)) {
    if (!answer(fd, head)) return;
  }
}

std::string LoopbackHttpServer::statusHead(int code, const char* reason, uint64_t length) {
  return "HTTP/1.1 " + std::to_string(code) + " " + reason +
         "\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

bool LoopbackHttpServer::answer(int fd, const std::string& head) {
  std::istringstream requestLine(head);
  std::string method, target;
  requestLine >> method >> target;
  {
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_requests.push_back(method + " " + target);
  }
  bool keepAlive = strcasecmp(headerValue(head, "Connection").c_str(), "close") != 0;
  if (method != "GET" && method != "HEAD") return sendAll(fd, statusHead(501, "Not Implemented", 0));
  if (!authorized(head)) {
    return sendAll(fd, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"dist\"\r\n"
                       "Content-Length: 0\r\n\r\n") && keepAlive;
  }
  ServedFile file;
  if (!findFile(percentDecoded(target), file)) {
    static const std::string kBody = "<html>not found</html>";
    std::string reply = statusHead(404, "Not Found", kBody.size());
    return sendAll(fd, method == "GET" ? reply + kBody : reply) && keepAlive;
  }
  if (!sendAll(fd, statusHead(200, "OK", file.size()))) return false;
  if (method == "HEAD") return keepAlive;
  return sendBody(fd, file) && keepAlive;
}

}  // namespace cvdt::test

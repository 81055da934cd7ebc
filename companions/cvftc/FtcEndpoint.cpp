// Parsing of the connect values and the environment settings of the file-transfer library.
#include "FtcEndpoint.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/PlatformSync.h"
#include "platform/PlatformText.h"

namespace cvftc {
namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A positive whole number of seconds from the environment, or the fallback.
long secondsFromEnvironment(const char* name, long fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  long seconds = std::strtol(value, &end, 10);
  return (*end == '\0' && seconds > 0 && seconds <= 86400) ? seconds : fallback;
}

bool isHostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ||
         c == ':';
}

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

bool FtcEndpoint::parse(const char* protocol, const char* credentials, const char* host, int port,
                        int modeFlag, void* stopEvent) {
  if (!parseProtocol(protocol ? protocol : "") || !parseHost(host ? host : "")) return false;
  if (port < 0 || port > 65535) return false;
  m_nPort = port;
  m_bPassive = modeFlag != 0;
  m_pStop = static_cast<const plat::Event*>(stopEvent);
  parseCredentials(credentials ? credentials : "");
  readEnvironment();
  return true;
}

bool FtcEndpoint::parseProtocol(const std::string& name) {
  std::string lower = lowerCase(name);
  if (lower.empty() || lower == "http") {
    m_protocol = Protocol::Http;
  } else if (lower == "https") {
    m_protocol = Protocol::Https;
  } else if (lower == "ftp") {
    m_protocol = Protocol::Ftp;
  } else {
    return false;
  }
  return true;
}

bool FtcEndpoint::parseHost(const std::string& host) {
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  if (bare.empty() || bare.size() > 255) return false;
  for (char c : bare) {
    if (!isHostCharacter(c)) return false;
  }
  // Only an IPv6 address has colons; a "host:port" text is refused rather than guessed at.
  bool ipv6 = bare.find(':') != std::string::npos;
  if (ipv6 && bare.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) {
    return false;
  }
  m_strHost = ipv6 ? "[" + bare + "]" : bare;
  return true;
}

void FtcEndpoint::parseCredentials(const std::string& text) {
  m_bCredentials = !text.empty();
  size_t colon = text.find(':');
  m_strUser = text.substr(0, colon);
  m_strPassword = colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

void FtcEndpoint::readEnvironment() {
  m_nConnectTimeout =
      secondsFromEnvironment("CVDT_FTC_CONNECT_TIMEOUT_SECONDS", kDefaultConnectTimeoutSeconds);
  m_nLowSpeedSeconds =
      secondsFromEnvironment("CVDT_FTC_LOW_SPEED_SECONDS", kDefaultLowSpeedSeconds);
  // A site can cap the bandwidth distribution takes from its network.
  const char* limit = std::getenv("CVDT_FTC_MAX_BYTES_PER_SECOND");
  m_nMaxBytesPerSecond = limit ? std::max(0LL, std::atoll(limit)) : 0;
  const char* caFile = std::getenv("CVDT_FTC_CA_FILE");
  m_strCaFile = caFile ? caFile : "";
}

bool FtcEndpoint::stopRequested() const { return m_pStop != nullptr && m_pStop->isSet(); }

std::string FtcEndpoint::urlFor(const std::string& remotePath) const {
  static const char* const kSchemes[] = {"http://", "https://", "ftp://"};
  static const int kDefaultPorts[] = {80, 443, 21};
  int index = static_cast<int>(m_protocol);
  int port = m_nPort != 0 ? m_nPort : kDefaultPorts[index];
  std::string url = kSchemes[index] + m_strHost + ":" + std::to_string(port);
  if (remotePath.empty() || (remotePath[0] != '/' && remotePath[0] != '\\')) url += '/';
  static const char kHex[] = "0123456789ABCDEF";
  // The module names files in the machine's ANSI code page; servers name them in UTF-8. The
  // conversion comes first, so that a 0x5C trail byte (code page 932) is no separator.
  for (char c : plat::ansiToUtf8(remotePath)) {
    unsigned char byte = static_cast<unsigned char>(c == '\\' ? '/' : c);
    if (isUnreserved(byte)) {
      url += static_cast<char>(byte);
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 15];
    }
  }
  return url;
}

const char* FtcEndpoint::schemeList() const {
  switch (m_protocol) {
    case Protocol::Ftp:
      return "ftp";
    case Protocol::Https:
      return "https";
    case Protocol::Http:
      break;
  }
  return "http,https";
}

}  // namespace cvftc

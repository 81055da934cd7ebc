// FtcEndpoint: the distribution server one connection talks to, read from the six connect values
// and the CVDT_FTC_* environment settings.
#pragma once

#include <string>

namespace plat {
class Event;
}

namespace cvftc {

enum class Protocol { Http, Https, Ftp };

class FtcEndpoint {
 public:
  static constexpr long kDefaultConnectTimeoutSeconds = 5;
  static constexpr long kDefaultLowSpeedSeconds = 30;

  // Reads the connect values (see README.md). False when a value cannot be used: an unknown
  // protocol name, an empty or malformed host, a port outside 0..65535.
  bool parse(const char* protocol, const char* credentials, const char* host, int port,
             int modeFlag, void* stopEvent);

  Protocol protocol() const { return m_protocol; }
  bool isFtp() const { return m_protocol == Protocol::Ftp; }
  bool passive() const { return m_bPassive; }
  bool hasCredentials() const { return m_bCredentials; }
  const std::string& user() const { return m_strUser; }
  const std::string& password() const { return m_strPassword; }
  // Null when the connection has no stop event.
  const plat::Event* stopEvent() const { return m_pStop; }
  bool stopRequested() const;

  long connectTimeoutSeconds() const { return m_nConnectTimeout; }
  long lowSpeedSeconds() const { return m_nLowSpeedSeconds; }
  // The most bytes a second a download may take (CVDT_FTC_MAX_BYTES_PER_SECOND); 0: no limit.
  long long maxBytesPerSecond() const { return m_nMaxBytesPerSecond; }
  // A CA bundle for https, or empty for the system's.
  const std::string& caFile() const { return m_strCaFile; }

  // "scheme://host:port" + the remote path (ANSI) in UTF-8, "\" turned into "/" and
  // percent-encoded.
  std::string urlFor(const std::string& remotePath) const;
  // The schemes curl may use for this endpoint, and for redirects.
  const char* schemeList() const;

 private:
  bool parseProtocol(const std::string& name);
  bool parseHost(const std::string& host);
  void parseCredentials(const std::string& text);
  void readEnvironment();

  Protocol m_protocol = Protocol::Http;
  std::string m_strHost;  // bracketed when it is an IPv6 address
  int m_nPort = 0;
  bool m_bPassive = true;
  bool m_bCredentials = false;
  std::string m_strUser;
  std::string m_strPassword;
  const plat::Event* m_pStop = nullptr;
  long m_nConnectTimeout = kDefaultConnectTimeoutSeconds;
  long m_nLowSpeedSeconds = kDefaultLowSpeedSeconds;
  long long m_nMaxBytesPerSecond = 0;
  std::string m_strCaFile;
};

}  // namespace cvftc

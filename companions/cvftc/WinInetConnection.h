// WinInetConnection: the object behind a connection handle of cvftc.dll on Windows, on WinINet.
// It opens an Internet session and a connection to the server (an FTP connection logs in
// there), checks that the server answers, then fetches files one after another over it. The
// connect values, the whole-file-or-nothing rule and the stop event mean what they mean in the
// libcurl build (README.md). One thread at a time.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "FtcEndpoint.h"

namespace cvftc {

class PartialFile;

class WinInetConnection {
 public:
  explicit WinInetConnection(const FtcEndpoint& endpoint) : m_endpoint(endpoint) {}
  ~WinInetConnection();
  WinInetConnection(const WinInetConnection&) = delete;
  WinInetConnection& operator=(const WinInetConnection&) = delete;

  // True when the server answers: any HTTP response to a HEAD of "/", or an FTP login.
  bool probe();
  // Fetches remotePath ("/"-separated) to the Windows path localPath. True only when the whole
  // file is there; otherwise nothing is left at localPath (not even an older file).
  bool get(const char* remotePath, const char* localPath);

 private:
  bool openSession();
  bool connect();
  void disconnect();
  bool probeHttp();
  bool download(const std::string& remotePath, PartialFile& file);
  // Opens the request or FTP file; its announced size (-1 when unknown) in announced.
  HINTERNET openHttp(const std::string& remotePath, const char* verb, int64_t& announced);
  HINTERNET openFtp(const std::string& remotePath, int64_t& announced);
  int64_t ftpSize(const std::string& path) const;
  bool receive(HINTERNET data, PartialFile& file);
  void throttle(uint64_t received, ULONGLONG started) const;

  FtcEndpoint m_endpoint;
  HINTERNET m_session = nullptr;
  HINTERNET m_connection = nullptr;
};

}  // namespace cvftc

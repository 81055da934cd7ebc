// FtcConnection: the object behind a connection handle of cvftc.dll. It checks that the server
// answers, then fetches files one after another over the same server connection while it stays
// usable. One thread at a time.
#pragma once

#include <string>

#include "CurlTransfer.h"
#include "FtcEndpoint.h"

namespace cvftc {

class PartialFile;

class FtcConnection {
 public:
  explicit FtcConnection(const FtcEndpoint& endpoint) : m_endpoint(endpoint) {}

  // True when the server answers: any HTTP response to a HEAD of "/", or an FTP login.
  bool probe();
  // Fetches remotePath ("/"-separated) to the Windows path localPath. True only when the whole
  // file is there; otherwise nothing is left at localPath (not even an older file).
  bool get(const char* remotePath, const char* localPath);

 private:
  bool download(const std::string& url, PartialFile& file);
  bool isComplete(CURLcode result, const PartialFile& file);

  FtcEndpoint m_endpoint;
  CurlTransfer m_transfer;
};

}  // namespace cvftc

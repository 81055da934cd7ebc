// Server checks and whole-file downloads of one file-transfer connection.
#include "FtcConnection.h"

#include <sys/stat.h>
#include <unistd.h>

#include "PartialFile.h"
#include "platform/PlatformFs.h"

namespace cvftc {
namespace {

size_t writeToFile(char* data, size_t size, size_t count, void* user) {
  size_t bytes = size * count;
  return static_cast<PartialFile*>(user)->write(data, bytes) ? bytes : 0;
}

// A failed fetch leaves nothing at the local path, so no caller mistakes an older or foreign
// file there for the one it asked for. Read-only files and folders are left alone.
void removeLeftover(const std::string& hostPath) {
  struct stat info {};
  if (lstat(hostPath.c_str(), &info) != 0) return;
  bool writableFile = S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0;
  if (writableFile || S_ISLNK(info.st_mode)) unlink(hostPath.c_str());
}

}  // namespace

bool FtcConnection::probe() {
  std::string url = m_endpoint.urlFor("/");
  CURL* easy = m_transfer.prepare(m_endpoint, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  // A server that accepts the connection but never answers must not hold the caller for long.
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, 2 * m_endpoint.connectTimeoutSeconds());
  return m_transfer.run(m_endpoint) == CURLE_OK;
}

bool FtcConnection::get(const char* remotePath, const char* localPath) {
  if (remotePath == nullptr || localPath == nullptr || *remotePath == '\0') return false;
  std::string hostPath = plat::toHostPath(localPath);
  if (hostPath.empty()) return false;
  PartialFile file;
  bool ok = file.open(hostPath) && download(m_endpoint.urlFor(remotePath), file) && file.commit();
  if (!ok) {
    file.discard();
    removeLeftover(hostPath);
  }
  return ok;
}

bool FtcConnection::download(const std::string& url, PartialFile& file) {
  CURL* easy = m_transfer.prepare(m_endpoint, url.c_str());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &writeToFile);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &file);
  // An error page is never written: the transfer ends at the status line.
  if (!m_endpoint.isFtp()) curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  return isComplete(m_transfer.run(m_endpoint), file);
}

bool FtcConnection::isComplete(CURLcode result, const PartialFile& file) {
  if (result != CURLE_OK) return false;
  CURL* easy = m_transfer.handle();
  if (!m_endpoint.isFtp()) {
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) return false;
  }
  // The announced size (Content-Length, or the size in the FTP reply) must have arrived whole.
  curl_off_t announced = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  return announced < 0 || static_cast<uint64_t>(announced) == file.size();
}

}  // namespace cvftc

// Server checks and whole-file downloads of one file-transfer connection, on WinINet.
#include "WinInetConnection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PartialFile.h"
#include "StopWatch.h"

namespace cvftc {
namespace {

constexpr const char* kAgent = "cvftc";
constexpr DWORD kHttpFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                             INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION |
                             INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
constexpr size_t kBufferSize = 256 * 1024;

void setTimeout(HINTERNET handle, DWORD option, long seconds) {
  DWORD ms = static_cast<DWORD>(seconds * 1000);
  InternetSetOptionA(handle, option, &ms, sizeof ms);
}

// A number header of an HTTP answer, or -1.
int64_t httpNumber(HINTERNET request, DWORD query) {
  char text[32] = {};
  DWORD size = sizeof text - 1;
  if (!HttpQueryInfoA(request, query, text, &size, nullptr)) return -1;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  return end != text && value >= 0 ? value : -1;
}

// A failed fetch leaves nothing at the local path, so no caller mistakes an older or foreign
// file there for the one it asked for. Read-only files and folders are left alone.
void removeLeftover(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0)
    DeleteFileA(path.c_str());
}

// An FTP path as the server takes it: "/"-separated, not encoded.
std::string ftpPath(const std::string& remotePath) {
  std::string path = remotePath;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

WinInetConnection::~WinInetConnection() {
  disconnect();
  if (m_session != nullptr) InternetCloseHandle(m_session);
}

bool WinInetConnection::openSession() {
  if (m_session != nullptr) return true;
  m_session = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (m_session == nullptr) return false;
  setTimeout(m_session, INTERNET_OPTION_CONNECT_TIMEOUT, m_endpoint.connectTimeoutSeconds());
  // A server that stays silent this long has stalled.
  setTimeout(m_session, INTERNET_OPTION_RECEIVE_TIMEOUT, m_endpoint.lowSpeedSeconds());
  setTimeout(m_session, INTERNET_OPTION_SEND_TIMEOUT, m_endpoint.lowSpeedSeconds());
  return true;
}

bool WinInetConnection::connect() {
  if (m_connection != nullptr) return true;
  if (!openSession() || m_endpoint.stopRequested()) return false;
  bool ftp = m_endpoint.isFtp();
  const char* user = m_endpoint.hasCredentials() ? m_endpoint.user().c_str() : nullptr;
  const char* password = m_endpoint.hasCredentials() ? m_endpoint.password().c_str() : nullptr;
  DWORD flags = ftp && m_endpoint.passive() ? INTERNET_FLAG_PASSIVE : 0;
  m_connection = InternetConnectA(m_session, m_endpoint.bareHost().c_str(),
                                  static_cast<INTERNET_PORT>(m_endpoint.effectivePort()), user,
                                  password, ftp ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP,
                                  flags, 0);
  return m_connection != nullptr;
}

void WinInetConnection::disconnect() {
  if (m_connection != nullptr) InternetCloseHandle(m_connection);
  m_connection = nullptr;
}

bool WinInetConnection::probe() {
  if (!connect()) return false;  // an FTP connection has logged in here
  return m_endpoint.isFtp() || probeHttp();
}

bool WinInetConnection::probeHttp() {
  int64_t announced = -1;
  HINTERNET request = openHttp("/", "HEAD", announced);
  if (request == nullptr) return false;
  InternetCloseHandle(request);
  return true;
}

HINTERNET WinInetConnection::openHttp(const std::string& remotePath, const char* verb,
                                      int64_t& announced) {
  DWORD flags = kHttpFlags;
  if (m_endpoint.protocol() == Protocol::Https) flags |= INTERNET_FLAG_SECURE;
  std::string path = FtcEndpoint::pathFor(remotePath);
  HINTERNET request = HttpOpenRequestA(m_connection, verb, path.c_str(), nullptr, nullptr,
                                       nullptr, flags, 0);
  if (request == nullptr) return nullptr;
  // The time-out holds for the whole request (WinINet takes it when the request is sent): a
  // server that accepts the connection but never answers must not hold a server check for long;
  // a download may wait as long as the stall limit.
  bool check = std::strcmp(verb, "HEAD") == 0;
  setTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT,
             check ? 2 * m_endpoint.connectTimeoutSeconds() : m_endpoint.lowSpeedSeconds());
  if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    InternetCloseHandle(request);
    return nullptr;
  }
  announced = httpNumber(request, HTTP_QUERY_CONTENT_LENGTH);
  return request;
}

// The size the server gives for a file ("SIZE", answered "213 N"), or -1. Asked before the
// transfer, while the control connection is free.
int64_t WinInetConnection::ftpSize(const std::string& path) const {
  std::string command = "SIZE " + path;
  if (!FtpCommandA(m_connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr))
    return -1;
  char reply[256] = {};
  DWORD error = 0;
  DWORD size = sizeof reply - 1;
  if (!InternetGetLastResponseInfoA(&error, reply, &size)) return -1;
  const char* code = std::strstr(reply, "213 ");
  if (code == nullptr) return -1;
  char* end = nullptr;
  long long value = std::strtoll(code + 4, &end, 10);
  return end != code + 4 && value >= 0 ? value : -1;
}

HINTERNET WinInetConnection::openFtp(const std::string& remotePath, int64_t& announced) {
  std::string path = ftpPath(remotePath);
  announced = ftpSize(path);
  HINTERNET file = FtpOpenFileA(m_connection, path.c_str(), GENERIC_READ,
                                FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0);
  if (file == nullptr || announced >= 0) return file;
  // A server without SIZE: the size in its "150" reply, as WinINet read it.
  DWORD high = 0;
  DWORD low = FtpGetFileSize(file, &high);
  bool known = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && (low != 0 || high != 0);
  announced = known ? static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low) : -1;
  return file;
}

bool WinInetConnection::get(const char* remotePath, const char* localPath) {
  if (remotePath == nullptr || localPath == nullptr || *remotePath == '\0' || *localPath == '\0')
    return false;
  PartialFile file;
  bool ok = !m_endpoint.stopRequested() && file.open(localPath) && download(remotePath, file) &&
            file.commit();
  if (!ok) {
    file.discard();
    removeLeftover(localPath);
  }
  return ok;
}

bool WinInetConnection::download(const std::string& remotePath, PartialFile& file) {
  // A connection the server closed, or one a stop cut, is made again.
  if (!connect()) return false;
  int64_t announced = -1;
  HINTERNET data = m_endpoint.isFtp() ? openFtp(remotePath, announced)
                                      : openHttp(remotePath, "GET", announced);
  if (data == nullptr) {
    disconnect();
    return false;
  }
  if (!m_endpoint.isFtp()) {
    int64_t status = httpNumber(data, HTTP_QUERY_STATUS_CODE);
    if (status < 200 || status > 299) {  // an error page is never written
      InternetCloseHandle(data);
      return false;
    }
  }
  StopWatch watch(m_endpoint, data);
  bool ok = receive(data, file);
  if (watch.release()) {
    InternetCloseHandle(data);
  } else {
    ok = false;
    disconnect();
  }
  return ok && (announced < 0 || static_cast<uint64_t>(announced) == file.size());
}

bool WinInetConnection::receive(HINTERNET data, PartialFile& file) {
  long long cap = m_endpoint.maxBytesPerSecond();
  // With a cap, small reads let the pace be kept between them (1/400 of a second's worth).
  size_t chunk = cap > 0 ? static_cast<size_t>(std::max(1024LL, std::min<long long>(cap / 400, kBufferSize)))
                         : kBufferSize;
  std::vector<char> buffer(chunk);
  ULONGLONG started = GetTickCount64();
  for (;;) {
    // InternetReadFile waits until it has all it was asked for: asking for what has arrived
    // keeps each read short, so that a stop is seen between two reads while data trickles in.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(data, &available, 0, 0)) return false;
    DWORD want = static_cast<DWORD>(buffer.size());
    if (available > 0 && available < want) want = available;
    DWORD got = 0;
    if (!InternetReadFile(data, buffer.data(), want, &got)) return false;
    if (got == 0) return true;
    if (!file.write(buffer.data(), got)) return false;
    if (cap > 0) throttle(file.size(), started);
  }
}

// Sleeps until the bytes received so far fit the cap, looking at the stop event meanwhile.
void WinInetConnection::throttle(uint64_t received, ULONGLONG started) const {
  long long cap = m_endpoint.maxBytesPerSecond();
  ULONGLONG due = started + static_cast<ULONGLONG>(received * 1000 / static_cast<uint64_t>(cap));
  while (GetTickCount64() < due && !m_endpoint.stopRequested())
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>(20, due - GetTickCount64())));
}

}  // namespace cvftc

// cvftc.dll: the file-transfer library's three exported entry points over libcurl.
#include <curl/curl.h>

#include <mutex>
#include <new>
#include <type_traits>

#include "FtcConnection.h"
#include "net/CompanionApi.h"

namespace {

// curl's global state lives as long as the library is loaded.
class CurlGlobal {
 public:
  bool ensure() {
    std::call_once(m_once, [this] { m_bReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return m_bReady;
  }
  ~CurlGlobal() {
    if (m_bReady) curl_global_cleanup();
  }

 private:
  std::once_flag m_once;
  bool m_bReady = false;
};

CurlGlobal g_curl;

cvftc::FtcConnection* openConnection(const char* protocol, const char* credentials,
                                     const char* host, int port, int modeFlag, void* stopEvent) {
  cvftc::FtcEndpoint endpoint;
  if (!g_curl.ensure() ||
      !endpoint.parse(protocol, credentials, host, port, modeFlag, stopEvent)) {
    return nullptr;
  }
  auto* connection = new (std::nothrow) cvftc::FtcConnection(endpoint);
  if (connection != nullptr && !connection->probe()) {
    delete connection;
    connection = nullptr;
  }
  return connection;
}

}  // namespace

CVDT_COMPANION_EXPORT void* FtcCreateConnection1V2(const char* server, const char* secondText,
                                                   const char* thirdText, int port, int modeFlag,
                                                   void* stopEvent) {
  try {
    return openConnection(server, secondText, thirdText, port, modeFlag, stopEvent);
  } catch (...) {
    return nullptr;
  }
}

CVDT_COMPANION_EXPORT int FtcGet1(void* connection, const char* remotePath,
                                  const char* localPath) {
  if (connection == nullptr) return 0;
  try {
    return static_cast<cvftc::FtcConnection*>(connection)->get(remotePath, localPath) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// The flag says how the caller's transfers went; either way the connection is simply closed.
CVDT_COMPANION_EXPORT int FtcEndConnection2(void* connection, int /*flag*/) {
  if (connection == nullptr) return 0;
  delete static_cast<cvftc::FtcConnection*>(connection);
  return 1;
}

static_assert(std::is_same_v<decltype(&FtcCreateConnection1V2), FtcCreateConnection1V2Fn>);
static_assert(std::is_same_v<decltype(&FtcGet1), FtcGet1Fn>);
static_assert(std::is_same_v<decltype(&FtcEndConnection2), FtcEndConnection2Fn>);

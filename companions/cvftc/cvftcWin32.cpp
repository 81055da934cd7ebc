// cvftc.dll on Windows: the file-transfer library's three exported entry points over WinINet.
#include <new>
#include <type_traits>

#include "WinInetConnection.h"
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT void* FtcCreateConnection1V2(const char* server, const char* secondText,
                                                   const char* thirdText, int port, int modeFlag,
                                                   void* stopEvent) {
  try {
    cvftc::FtcEndpoint endpoint;
    if (!endpoint.parse(server, secondText, thirdText, port, modeFlag, stopEvent)) return nullptr;
    auto* connection = new (std::nothrow) cvftc::WinInetConnection(endpoint);
    if (connection != nullptr && !connection->probe()) {
      delete connection;
      connection = nullptr;
    }
    return connection;
  } catch (...) {
    return nullptr;
  }
}

CVDT_COMPANION_EXPORT int FtcGet1(void* connection, const char* remotePath,
                                  const char* localPath) {
  if (connection == nullptr) return 0;
  try {
    return static_cast<cvftc::WinInetConnection*>(connection)->get(remotePath, localPath) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

// The flag says how the caller's transfers went; either way the connection is simply closed.
CVDT_COMPANION_EXPORT int FtcEndConnection2(void* connection, int /*flag*/) {
  if (connection == nullptr) return 0;
  delete static_cast<cvftc::WinInetConnection*>(connection);
  return 1;
}

static_assert(std::is_same_v<decltype(&FtcCreateConnection1V2), FtcCreateConnection1V2Fn>);
static_assert(std::is_same_v<decltype(&FtcGet1), FtcGet1Fn>);
static_assert(std::is_same_v<decltype(&FtcEndConnection2), FtcEndConnection2Fn>);

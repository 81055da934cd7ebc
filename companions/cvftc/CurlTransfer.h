// CurlTransfer: one curl easy handle driven through its own multi handle, so that a transfer can
// be ended between short polls when the connection's stop event is signalled. The multi handle
// keeps the server connection open from one transfer to the next.
#pragma once

#include <curl/curl.h>

namespace cvftc {

class FtcEndpoint;

class CurlTransfer {
 public:
  // How long one poll may sleep before the stop event is looked at again.
  static constexpr int kPollMs = 20;
  // The receive buffer without a rate cap: large reads for fast servers.
  static constexpr long kFastBufferSize = 256L * 1024L;
  // With a cap the buffer holds at most 1/kCapBufferDivisor of a second's worth of data, and no
  // less than libcurl's smallest buffer.
  static constexpr long long kCapBufferDivisor = 400;
  static constexpr long kMinBufferSize = 1024;

  // The receive buffer for a transfer capped at maxBytesPerSecond (0: no cap).
  static long receiveBufferSize(long long maxBytesPerSecond);

  CurlTransfer();
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  bool valid() const { return m_pMulti != nullptr && m_pEasy != nullptr; }
  // The easy handle, for the results of the last transfer.
  CURL* handle() const { return m_pEasy; }
  // Clears the previous transfer's options and sets those every transfer of the endpoint uses.
  CURL* prepare(const FtcEndpoint& endpoint, const char* url);
  // Runs the prepared transfer to its end. A signalled stop event ends it within one poll and
  // gives CURLE_ABORTED_BY_CALLBACK.
  CURLcode run(const FtcEndpoint& endpoint);

 private:
  CURLcode drive(const FtcEndpoint& endpoint);

  CURLM* m_pMulti = nullptr;
  CURL* m_pEasy = nullptr;
};

}  // namespace cvftc

// The curl transfer loop with stop-event checks, and the options common to every transfer.
#include "CurlTransfer.h"

#include <algorithm>

#include "FtcEndpoint.h"

namespace cvftc {

long CurlTransfer::receiveBufferSize(long long maxBytesPerSecond) {
  if (maxBytesPerSecond <= 0) return kFastBufferSize;
  // libcurl looks at the rate only between reads, and one wake-up may read the buffer many
  // times over while the socket has data: with a large buffer a whole file arrives before the
  // limit is looked at. A buffer of a small fraction of a second's worth keeps each burst short.
  return static_cast<long>(std::clamp(maxBytesPerSecond / kCapBufferDivisor,
                                      static_cast<long long>(kMinBufferSize),
                                      static_cast<long long>(kFastBufferSize)));
}

CurlTransfer::CurlTransfer() : m_pMulti(curl_multi_init()), m_pEasy(curl_easy_init()) {}

CurlTransfer::~CurlTransfer() {
  if (m_pEasy != nullptr) curl_easy_cleanup(m_pEasy);
  if (m_pMulti != nullptr) curl_multi_cleanup(m_pMulti);
}

CURL* CurlTransfer::prepare(const FtcEndpoint& endpoint, const char* url) {
  CURL* easy = m_pEasy;
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_URL, url);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, endpoint.schemeList());
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, endpoint.schemeList());
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, endpoint.connectTimeoutSeconds());
  // A transfer that moves less than a byte a second for this long has stalled.
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, endpoint.lowSpeedSeconds());
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, endpoint.lowSpeedSeconds());
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, receiveBufferSize(endpoint.maxBytesPerSecond()));
  curl_easy_setopt(easy, CURLOPT_MAX_RECV_SPEED_LARGE,
                   static_cast<curl_off_t>(endpoint.maxBytesPerSecond()));
  if (endpoint.hasCredentials()) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, endpoint.user().c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, endpoint.password().c_str());
  }
  if (endpoint.isFtp()) {
    // "-": the data connection comes back to the address the control connection uses.
    curl_easy_setopt(easy, CURLOPT_FTPPORT, endpoint.passive() ? static_cast<const char*>(nullptr) : "-");
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  }
  if (!endpoint.caFile().empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, endpoint.caFile().c_str());
  return easy;
}

CURLcode CurlTransfer::run(const FtcEndpoint& endpoint) {
  if (!valid()) return CURLE_FAILED_INIT;
  if (endpoint.stopRequested()) return CURLE_ABORTED_BY_CALLBACK;
  if (curl_multi_add_handle(m_pMulti, m_pEasy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = drive(endpoint);
  // Removing a transfer that has not finished closes its connection rather than reusing it.
  curl_multi_remove_handle(m_pMulti, m_pEasy);
  return result;
}

CURLcode CurlTransfer::drive(const FtcEndpoint& endpoint) {
  for (;;) {
    int running = 0;
    if (curl_multi_perform(m_pMulti, &running) != CURLM_OK) return CURLE_FAILED_INIT;
    if (running == 0) break;
    if (endpoint.stopRequested()) return CURLE_ABORTED_BY_CALLBACK;
    if (curl_multi_poll(m_pMulti, nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
      return CURLE_FAILED_INIT;
    }
    if (endpoint.stopRequested()) return CURLE_ABORTED_BY_CALLBACK;
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(m_pMulti, &queued)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == m_pEasy) {
      return message->data.result;
    }
  }
  return CURLE_FAILED_INIT;
}

}  // namespace cvftc

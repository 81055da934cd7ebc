// NDBQuery: the client of the database gateway. One execStoredProc call opens a TCP connection,
// sends one scrambled request frame naming a stored procedure and its packed parameters, reads
// one reply frame, closes the connection and hands back the result text.
//
// Request text: "C00440A" + name + "|@" + count + "|@" + parameters; each parameter is
// NAME|#T|#VALUE (T is S for text, I for integer), parameters joined by "|$". Reply text:
// "C00440AOK|@" + result. Frames: 4-byte little-endian body length, then the body; the whole
// frame scrambled with key 21903. No state is shared; one object per thread.
#pragma once

#include <cstdint>

#include "platform/NString.h"
#include "platform/PlatformSocket.h"

class NDBQuery {
 public:
  static constexpr int kDefaultPort = 7221;
  static constexpr int kConnectTimeoutMs = 5000;
  static constexpr uint32_t kReplyWaitMs = 600000;
  static constexpr uint32_t kMaxReplyLength = 0x100000;
  static constexpr int kProtocolKey = 21903;

  NDBQuery() = default;
  virtual ~NDBQuery() = default;

  void setServer(const char* address, int port);
  // Runs the procedure. True with result set to the reply's result text; false (result
  // untouched) on any failure, which is traced with the step that failed.
  bool execStoredProc(const char* procedureName, int parameterCount, const char* parameters,
                      NString& result);
  // Sends the request over a connected socket and reads the reply text. Always closes the socket.
  bool socketProc(plat::SocketHandle socket, NString request, NString& reply);

  // How long each wait on the socket may last (10 minutes unless a test shortens it).
  void setReplyWaitMs(uint32_t milliseconds) { m_nReplyWaitMs = milliseconds; }
  // The reply wait of every object made from now on, for tests of a gateway that never
  // answers, whose clients the module makes itself; kReplyWaitMs unless a test changes it.
  static void setDefaultReplyWaitMs(uint32_t milliseconds);
  static uint32_t defaultReplyWaitMs();

 private:
  bool sendFrame(plat::SocketHandle socket, plat::SocketEventSelect& events,
                 const unsigned char* frame, int length, int& sent);
  int readReply(plat::SocketHandle socket, NString& reply);

  NString m_strAddress;
  int m_nPort = kDefaultPort;
  uint32_t m_nReplyWaitMs = defaultReplyWaitMs();
};

// The gateway client against scripted peers on loopback: good replies, every refusal, peers that
// close or stall, partial sends, spurious wake-ups, and the trace lines of each step.
#include <gtest/gtest.h>
#ifdef _WIN32
#include "support/win32/BsdSockets.h"
#else
#include <sys/socket.h>
#endif

#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

#include "net/NDBQuery.h"
#include "net/NSocketUtil.h"
#include "platform/NMisc.h"
#include "support/LoopbackServer.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using Clock = std::chrono::steady_clock;

std::string scrambled(std::string bytes) {
  NMisc::scramble(NDBQuery::kProtocolKey, reinterpret_cast<unsigned char*>(bytes.data()),
                  static_cast<int>(bytes.size()));
  return bytes;
}

std::string frameOf(const std::string& body, uint32_t length) {
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(length >> (8 * i));
  return scrambled(frame + body);
}

std::string frameOf(const std::string& body) {
  return frameOf(body, static_cast<uint32_t>(body.size()));
}

void sendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// A peer on 127.0.0.1 that reads each connection's request and runs the script for it.
class ScriptedPeer : public cvdt::test::LoopbackServer {
 public:
  using Script = std::function<void(int fd, const std::string& request)>;
  explicit ScriptedPeer(Script script) : m_script(std::move(script)) { start(); }
  ~ScriptedPeer() override { stop(); }
  const std::string& request() const { return m_request; }  // valid once the client is done

 protected:
  void serve(int fd) override {
    m_request = receiveRequest(fd);
    m_script(fd, m_request);
  }

 private:
  // Reads exactly size bytes; Winsock's MSG_WAITALL may return a part of them, so loop.
  static bool receiveAll(int fd, void* buffer, size_t size) {
    auto* at = static_cast<char*>(buffer);
    for (size_t got = 0; got < size;) {
      auto n = recv(fd, at + got, static_cast<int>(size - got), 0);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }
  static std::string receiveRequest(int fd) {
    unsigned char header[4];
    if (!receiveAll(fd, header, 4)) return {};
    NMisc::unscramble(NDBQuery::kProtocolKey, header, 4);
    uint32_t length = header[0] | (header[1] << 8) | (header[2] << 16) | (header[3] << 24);
    std::string body(length, '\0');
    if (length == 0 || !receiveAll(fd, body.data(), length)) return {};
    NMisc::unscramble(NDBQuery::kProtocolKey, reinterpret_cast<unsigned char*>(body.data()),
                      static_cast<int>(length));
    return body;
  }
  Script m_script;
  std::string m_request;
};

bool call(int port, NString& result, const char* address = "127.0.0.1", uint32_t waitMs = 2000) {
  NDBQuery query;
  query.setServer(address, port);
  query.setReplyWaitMs(waitMs);
  return query.execStoredProc("SP_TEST", 2, "EQUIP_ID|#S|#EQ0001|$DIST_ID|#I|#42", result);
}

TEST(NDBQueryTest, GoodReplyCarriesTheResultAndTheRequestIsFramedExactly) {
  TestMachine machine;
  ScriptedPeer peer([](int fd, const std::string&) { sendAll(fd, frameOf("C00440AOK|@row1|&row2")); });
  NString result = "untouched";
  ASSERT_TRUE(call(peer.port(), result, "127.000.000.001"));  // leading zeros are normalised
  EXPECT_STREQ(result.text(), "row1|&row2");
  EXPECT_EQ(peer.request(), "C00440ASP_TEST|@2|@EQUIP_ID|#S|#EQ0001|$DIST_ID|#I|#42");
  EXPECT_NE(machine.traceLog().find("NDBQuery::execStoredProc(2-1): socketProc suc (127.0.0.1, " +
                                      std::to_string(peer.port()) + ") (C00440AOK|@row1|&row2)\n"),
            std::string::npos);
}

TEST(NDBQueryTest, RepliesThatFailTheCheckLeaveTheResultUntouched) {
  struct Row {
    std::string frame;
    bool ok;
    const char* result;
    const char* traceLine;
  } rows[] = {
      {frameOf("C00440AOK|@"), true, "", nullptr},
      {frameOf("C00440AOK|@a|@b"), false, nullptr, "NDBQuery::execStoredProc(3): Invalid return value (1)\n"},
      {frameOf("C00440AOKX|@a"), false, nullptr, "NDBQuery::execStoredProc(3): Invalid return value (2)\n"},
      {frameOf("C00440AERR"), false, nullptr, "NDBQuery::execStoredProc(3): Invalid return value (1)\n"},
      {frameOf(std::string("C00440AOK|@cut\0here", 19)), true, "cut", nullptr},
      {frameOf("", 0), false, nullptr, "NDBQuery::socketProc(7): recv size error\n"},
      {frameOf("", 0x100001), false, nullptr, "NDBQuery::socketProc(7): recv size error\n"},
      {frameOf("C00440AOK|@" + std::string(0x100000 - 11, 'x')), true, nullptr, nullptr},
  };
  for (const Row& row : rows) {
    TestMachine machine;
    ScriptedPeer peer([&](int fd, const std::string&) { sendAll(fd, row.frame); });
    NString result = "untouched";
    EXPECT_EQ(call(peer.port(), result), row.ok) << row.frame.size();
    if (!row.ok) {
      EXPECT_STREQ(result.text(), "untouched");
    } else if (row.result) {
      EXPECT_STREQ(result.text(), row.result);
    } else {
      EXPECT_EQ(result.length(), 0x100000 - 11);  // the longest reply comes back whole
    }
    if (row.traceLine) {
      EXPECT_NE(machine.traceLog().find(row.traceLine), std::string::npos);
    }
  }
}

TEST(NDBQueryTest, PeersThatCloseOrStallEndTheCallWithinTheWait) {
  TestMachine machine;
  {
    ScriptedPeer peer([](int, const std::string&) {});  // closes without answering
    NString result;
    EXPECT_FALSE(call(peer.port(), result));
    EXPECT_NE(machine.traceLog().find("socketProc::socketProc(9): remote socket closed\n"),
              std::string::npos);
  }
  {
    ScriptedPeer peer([](int fd, const std::string&) {
      sendAll(fd, frameOf("C00440AOK|@truncated", 100));  // says 100 bytes, sends fewer, closes
    });
    NString result;
    EXPECT_FALSE(call(peer.port(), result));
    EXPECT_NE(machine.traceLog().find("NDBQuery::socketProc(8): NSocketUtil::recvPacketExact error\n"),
              std::string::npos);
  }
  {
    ScriptedPeer peer([](int fd, const std::string&) {
      sendAll(fd, frameOf("C00440AOK|@stall", 100));  // then silence while the client waits
      char byte;
      recv(fd, &byte, 1, 0);
    });
    NString result;
    auto start = Clock::now();
    EXPECT_FALSE(call(peer.port(), result, "127.0.0.1", 500));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  }
  {
    ScriptedPeer peer([](int fd, const std::string&) {  // answers nothing, keeps the line open
      char byte;
      recv(fd, &byte, 1, 0);
    });
    NString result;
    EXPECT_FALSE(call(peer.port(), result, "127.0.0.1", 300));
    EXPECT_NE(machine.traceLog().find("NDBQuery::socketProc(3): WSAWaitForMultipleEvents Timeout\n"),
              std::string::npos);
  }
}

TEST(NDBQueryTest, ServerDownOrUnknownHostFailsAtTheConnectStep) {
  TestMachine machine;
  int port;
  {
    ScriptedPeer closed([](int, const std::string&) {});
    port = closed.port();
    NString ignored;
    call(port, ignored);
  }  // the listener is gone now
  NString result;
  EXPECT_FALSE(call(port, result));
  EXPECT_FALSE(call(port, result, "no-such-host.invalid"));
  std::string log = machine.traceLog();
  EXPECT_NE(log.find("NSocketUtil::connectSock<6>, (127.0.0.1)(" + std::to_string(port) +
                     ")(5000)(code: "),
            std::string::npos);
  EXPECT_NE(log.find("NDBQuery::execStoredProc(1): connect error (no-such-host.invalid, " +
                     std::to_string(port) + ")\n"),
            std::string::npos);
}

TEST(NDBQueryTest, SplitHeadersPartialSendsLongRequestsAndSpuriousWakeUps) {
  TestMachine machine;
  plat::setSocketTestHooks({2, 7});  // two empty wake-ups; sends of at most 7 bytes
  std::string longList(1500, '7');
  ScriptedPeer peer([](int fd, const std::string&) {
    std::string frame = frameOf("C00440AOK|@split");
    sendAll(fd, frame.substr(0, 2));  // the length field in two pieces
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sendAll(fd, frame.substr(2));
  });
  NDBQuery query;
  query.setServer("127.0.0.1", peer.port());
  NString result;
  bool ok = query.execStoredProc("SP_LONG", 1, ("LIST|#S|#" + longList).c_str(), result);
  plat::setSocketTestHooks({});
  ASSERT_TRUE(ok);
  EXPECT_STREQ(result.text(), "split");
  EXPECT_EQ(peer.request(), "C00440ASP_LONG|@1|@LIST|#S|#" + longList);  // framed whole
  EXPECT_NE(machine.traceLog().find("NSocketUtil::connectSock<5>: lNetworkEvents == 0 IGNORE"),
            std::string::npos);
}

TEST(NDBQueryTest, RecvPacketExactRefusesEmptyLengths) {
  unsigned char buffer[1];
  EXPECT_EQ(NSocketUtil::recvPacketExact(plat::kInvalidSocket, buffer, 0), -1);
  EXPECT_EQ(NSocketUtil::recvPacketExact(plat::kInvalidSocket, buffer, 1), -1);
}

}  // namespace

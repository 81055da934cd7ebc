// cvftc.dll loaded from a test machine and driven through its entry points against real HTTP and
// FTP (passive and active) servers on 127.0.0.1: whole files, refusals, broken and stalled
// transfers, the stop event, credentials, and that a failed fetch leaves nothing behind.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <ostream>
#include <set>
#include <thread>

#include "ArchiveBuilder.h"
#include "CompanionLibrary.h"
#include "net/CompanionApi.h"
#include "platform/PlatformSync.h"
#include "support/LoopbackFtpServer.h"
#include "support/LoopbackHttpServer.h"

namespace {

using cvdt::test::LoopbackFtpServer;
using cvdt::test::LoopbackHttpServer;
using cvdt::test::LoopbackServer;
using cvdt::test::randomBytes;
using cvdt::test::ServedFile;
using Clock = std::chrono::steady_clock;
using Fault = ServedFile::Fault;
using namespace std::chrono_literals;

struct Transport {
  const char* name;
  const char* protocol;
  int modeFlag;
};

void PrintTo(const Transport& transport, std::ostream* out) { *out << transport.name; }

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) { setenv(name, value, 1); }
  ~ScopedEnv() { unsetenv(m_name); }

 private:
  const char* m_name;
};

// A socket bound to an ephemeral port of 127.0.0.1 (port gets the number), listening when
// asked: the kernel then completes handshakes that nobody answers.
int loopbackSocket(int& port, bool listening) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
  if (listening) {
    EXPECT_EQ(listen(fd, 4), 0);
  }
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// A port on 127.0.0.1 that nothing listens on.
int closedPort() {
  int port = 0;
  close(loopbackSocket(port, false));
  return port;
}

class FtcTest : public ::testing::Test {
 protected:
  explicit FtcTest(uint16_t language = 1033)
      : m_machine([language](auto& config, auto&) { config.language = language; }) {}
  void SetUp() override {
    ASSERT_TRUE(m_library.load(m_machine, "cvftc.dll")) << m_library.error();
    m_connect = m_library.entry<FtcCreateConnection1V2Fn>(kFtcCreateConnectionName);
    m_get = m_library.entry<FtcGet1Fn>(kFtcGetName);
    m_end = m_library.entry<FtcEndConnection2Fn>(kFtcEndConnectionName);
    ASSERT_TRUE(m_connect && m_get && m_end);
    std::filesystem::create_directories(m_machine.host("C:\\Downloads"));
  }

  // Names in C:\Downloads: a failed or finished fetch must leave no temporary file there.
  std::set<std::string> downloads() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_machine.host("C:\\Downloads"))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  cvdt::test::TestMachine m_machine;
  cvdt::test::CompanionLibrary m_library;
  FtcCreateConnection1V2Fn m_connect = nullptr;
  FtcGet1Fn m_get = nullptr;
  FtcEndConnection2Fn m_end = nullptr;
};

class FtcTransferTest : public FtcTest, public ::testing::WithParamInterface<Transport> {
 protected:
  void SetUp() override {
    FtcTest::SetUp();
    if (isFtp()) {
      m_server = std::make_unique<LoopbackFtpServer>();
    } else {
      m_server = std::make_unique<LoopbackHttpServer>();
    }
    ASSERT_TRUE(m_server->start());
  }
  void TearDown() override { m_server.reset(); }

  bool isFtp() const { return std::string(GetParam().protocol) == "ftp"; }
  void* open(const char* credentials = "", plat::Event* stop = nullptr) {
    return m_connect(GetParam().protocol, credentials, "127.0.0.1", m_server->port(),
                     GetParam().modeFlag, stop);
  }
  void requireCredentials(const std::string& user, const std::string& password) {
    if (auto* ftp = dynamic_cast<LoopbackFtpServer*>(m_server.get())) {
      ftp->requireCredentials(user, password);
    } else {
      static_cast<LoopbackHttpServer*>(m_server.get())->requireCredentials(user + ":" + password);
    }
  }
  // Starts a fetch on another thread; the future holds its result.
  std::future<int> getAsync(void* connection, const char* remote, const char* local) {
    return std::async(std::launch::async,
                      [=, this] { return m_get(connection, remote, local); });
  }

  std::unique_ptr<LoopbackServer> m_server;
};

TEST_P(FtcTransferTest, FetchesWholeFilesOverOneServerConnection) {
  std::string part = randomBytes(3 << 20, 1);
  m_server->addFile("/Corvane/dist/normal/7/part.lgz", ServedFile::of(part));
  m_server->addFile("/Corvane/dist/normal/7/odd name%.txt", ServedFile::of("spaces, percent"));
  m_server->addFile("/Corvane/dist/normal/empty.idx", ServedFile::of(""));
  m_machine.writeFile("C:\\Downloads\\part.lgz", "an older version of the part");

  void* connection = open();
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(m_get(connection, "/Corvane/dist/normal/7/part.lgz", "C:\\Downloads\\part.lgz"), 1);
  EXPECT_EQ(m_get(connection, "/Corvane/dist/normal/7/odd name%.txt", "C:\\Downloads\\odd.txt"), 1);
  EXPECT_EQ(m_get(connection, "/Corvane/dist/normal/empty.idx", "c:\\DOWNLOADS\\empty.idx"), 1);
  EXPECT_EQ(m_end(connection, 1), 1);

  EXPECT_TRUE(m_machine.readFile("C:\\Downloads\\part.lgz") == part);
  EXPECT_EQ(m_machine.readFile("C:\\Downloads\\odd.txt"), "spaces, percent");
  EXPECT_EQ(m_machine.readFile("C:\\Downloads\\empty.idx"), "");
  EXPECT_EQ(downloads(), (std::set<std::string>{"part.lgz", "odd.txt", "empty.idx"}));
  EXPECT_EQ(m_server->connectionsAccepted(), 1);
  if (auto* ftp = dynamic_cast<LoopbackFtpServer*>(m_server.get())) {
    EXPECT_EQ(ftp->logins(), 1);
    EXPECT_EQ(ftp->passiveTransfers(), GetParam().modeFlag != 0 ? 3 : 0);
    EXPECT_EQ(ftp->activeTransfers(), GetParam().modeFlag != 0 ? 0 : 3);
  }
}

TEST_P(FtcTransferTest, FailedFetchesLeaveNothingAtTheLocalPath) {
  m_server->addFile("/d/short.bin", ServedFile::of(randomBytes(256 << 10, 2), Fault::ShortBody));
  m_server->addFile("/d/good.bin", ServedFile::of("good"));
  struct Case {
    const char* remote;
    const char* local;
  } cases[] = {
      {"/d/missing.bin", "C:\\Downloads\\missing.bin"},
      {"/d/short.bin", "C:\\Downloads\\short.bin"},
  };
  void* connection = open();
  ASSERT_NE(connection, nullptr);
  for (const Case& c : cases) {
    m_machine.writeFile(c.local, "an older file");
    EXPECT_EQ(m_get(connection, c.remote, c.local), 0) << c.remote;
    EXPECT_EQ(m_machine.readFile(c.local), "<missing>") << c.remote;
  }
  EXPECT_EQ(m_get(connection, "/d/good.bin", "C:\\No Such Folder\\good.bin"), 0);
  EXPECT_FALSE(std::filesystem::exists(m_machine.host("C:\\No Such Folder")));
  EXPECT_TRUE(downloads().empty());
  // The connection stays usable after failures.
  EXPECT_EQ(m_get(connection, "/d/good.bin", "C:\\Downloads\\good.bin"), 1);
  EXPECT_EQ(m_machine.readFile("C:\\Downloads\\good.bin"), "good");
  m_end(connection, 1);
}

TEST_P(FtcTransferTest, StopEventEndsTransferWithin100Ms) {
  m_server->addFile("/d/slow.bin", ServedFile::of(randomBytes(8 << 20, 4), Fault::Slow));
  m_server->addFile("/d/small.bin", ServedFile::of("small"));
  plat::Event stop(true);
  void* connection = open("", &stop);
  ASSERT_NE(connection, nullptr);
  auto result = getAsync(connection, "/d/slow.bin", "C:\\Downloads\\slow.bin");
  ASSERT_TRUE(m_server->waitForBytesSent(256 << 10, 10s));
  Clock::time_point signalled = Clock::now();
  stop.set();
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
  EXPECT_LT(Clock::now() - signalled, 100ms);
  EXPECT_EQ(result.get(), 0);
  // While the event stays signalled nothing more is fetched.
  EXPECT_EQ(m_get(connection, "/d/small.bin", "C:\\Downloads\\small.bin"), 0);
  EXPECT_TRUE(downloads().empty());
  m_end(connection, 0);
}

TEST_P(FtcTransferTest, StalledTransferEndsAtTheLowSpeedLimit) {
  ScopedEnv lowSpeed("CVDT_FTC_LOW_SPEED_SECONDS", "1");
  m_server->addFile("/d/stall.bin", ServedFile::of(randomBytes(1 << 20, 5), Fault::Stall));
  void* connection = open();
  ASSERT_NE(connection, nullptr);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(m_get(connection, "/d/stall.bin", "C:\\Downloads\\stall.bin"), 0);
  EXPECT_LT(Clock::now() - start, 10s);
  EXPECT_TRUE(downloads().empty());
  m_end(connection, 0);
}

TEST_P(FtcTransferTest, CredentialsDecideWhatCanBeFetched) {
  requireCredentials("dist", "s3cret:x");
  m_server->addFile("/d/a.txt", ServedFile::of("for the right account"));
  for (const char* credentials : {"dist:wrong", ""}) {
    // An HTTP server answers (401), so only the fetch fails; an FTP login fails at once.
    void* bad = open(credentials);
    if (isFtp()) {
      EXPECT_EQ(bad, nullptr) << credentials;
    }
    if (bad != nullptr) {
      EXPECT_EQ(m_get(bad, "/d/a.txt", "C:\\Downloads\\a.txt"), 0) << credentials;
      m_end(bad, 0);
    }
  }
  EXPECT_TRUE(downloads().empty());

  void* good = open("dist:s3cret:x");  // the password is everything after the first colon
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(m_get(good, "/d/a.txt", "C:\\Downloads\\a.txt"), 1);
  m_end(good, 1);
  EXPECT_EQ(m_machine.readFile("C:\\Downloads\\a.txt"), "for the right account");
}

// On a Korean machine the module names a file in 949; the server and the host name it in UTF-8.
class FtcCodePageTest : public FtcTest {
 protected:
  FtcCodePageTest() : FtcTest(1042) {}
};

TEST_F(FtcCodePageTest, FilesNamedInTheMachinesCodePageAreFetchedByTheirUtf8Names) {
  LoopbackHttpServer server;
  server.addFile("/Corvane/dist/auto/7/zip/\xED\x95\x9C\xEA\xB8\x80.txt.lgz",
                 ServedFile::of("hangul"));
  ASSERT_TRUE(server.start());
  void* connection = m_connect("http", "", "127.0.0.1", server.port(), 1, nullptr);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(m_get(connection, "/Corvane/dist/auto/7/zip/\xC7\xD1\xB1\xDB.txt.lgz",
                  "C:\\Downloads\\\xC7\xD1\xB1\xDB.txt.lgz"),
            1);
  EXPECT_EQ(m_end(connection, 1), 1);
  std::ifstream in(m_machine.root() + "/drives/c/Downloads/\xED\x95\x9C\xEA\xB8\x80.txt.lgz");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "hangul");
}

INSTANTIATE_TEST_SUITE_P(Transports, FtcTransferTest,
                         ::testing::Values(Transport{"Http", "http", 1},
                                           Transport{"FtpPassive", "ftp", 1},
                                           Transport{"FtpActive", "ftp", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FtcTest, ConnectReturnsNullWhenTheServerCannotBeUsed) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.start());
  int port = server.port();
  plat::Event signalled(true, true);
  struct Case {
    const char* protocol;
    const char* host;
    int port;
    void* stop;
  } cases[] = {
      {"http", "127.0.0.1", closedPort(), nullptr}, {"ftp", "127.0.0.1", closedPort(), nullptr},
      {"gopher", "127.0.0.1", port, nullptr},       {"http", "", port, nullptr},
      {"http", "127.0.0.1/x", port, nullptr},       {"http", "127.0.0.1", -1, nullptr},
      {"http", "127.0.0.1", 70000, nullptr},        {"http", "127.0.0.1", port, &signalled},
  };
  for (const Case& c : cases) {
    Clock::time_point start = Clock::now();
    EXPECT_EQ(m_connect(c.protocol, "", c.host, c.port, 1, c.stop), nullptr)
        << c.protocol << " " << c.host << " " << c.port;
    EXPECT_LT(Clock::now() - start, 5s);
  }
  // The protocol name ignores case, and empty means HTTP.
  for (const char* protocol : {"", "HTTP"}) {
    void* connection = m_connect(protocol, "", "127.0.0.1", port, 1, nullptr);
    EXPECT_NE(connection, nullptr) << protocol;
    if (connection != nullptr) m_end(connection, 1);
  }
  EXPECT_EQ(m_get(nullptr, "/a", "C:\\Downloads\\a"), 0);
  EXPECT_EQ(m_end(nullptr, 1), 0);
}

TEST_F(FtcTest, ServerThatNeverAnswersIsGivenUpInBoundedTime) {
  ScopedEnv connectTimeout("CVDT_FTC_CONNECT_TIMEOUT_SECONDS", "1");
  int port = 0;
  int listener = loopbackSocket(port, true);
  for (const char* protocol : {"http", "ftp"}) {
    Clock::time_point start = Clock::now();
    EXPECT_EQ(m_connect(protocol, "", "127.0.0.1", port, 1, nullptr), nullptr);
    EXPECT_LT(Clock::now() - start, 5s) << protocol;
  }
  close(listener);
}

}  // namespace

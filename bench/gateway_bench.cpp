// cvdt_gateway_bench: requests per second through cvdt-gateway (SP_SV_DT_N_EQUIP_IU on SQLite)
// against a minimal accept-read-reply-close server, one connection per request, 1 and 8
// concurrent clients, in one run on this machine.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/NCrypt.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kKey = 21903;

const NCrypt& cipher() {
  static const NCrypt keyed = [] {
    NCrypt crypt;
    crypt.setKey(kKey);
    return crypt;
  }();
  return keyed;
}

std::string frame(const std::string& text) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(text.size() >> (8 * i));
  bytes += text;
  cipher().encrypt(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  return bytes;
}

bool readExact(int fd, char* buffer, size_t size) {
  for (size_t got = 0; got < size;) {
    ssize_t n = recv(fd, buffer + got, size - got, 0);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// Reads one frame's body (scrambled) from a blocking socket; false on a short read or bad length.
bool readFrame(int fd, std::string& body) {
  unsigned char header[4];
  if (!readExact(fd, reinterpret_cast<char*>(header), 4)) return false;
  cipher().decrypt(header, 4);
  uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24;
  if (length == 0 || length > 0x100000) return false;
  body.resize(length);
  return readExact(fd, body.data(), length);
}

// The ceiling: one blocking thread that accepts, reads one frame, sends a fixed reply, closes.
int serveCeiling() {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener, SOMAXCONN) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 1;
  std::printf("listening on 127.0.0.1:%d\n", ntohs(address.sin_port));
  std::fflush(stdout);
  signal(SIGPIPE, SIG_IGN);
  const std::string reply = frame("C00440AOK|@1");
  std::string body;
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    if (readFrame(fd, body)) send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(fd);
  }
}

struct Server {
  pid_t pid = -1;
  int port = 0;
};

// Starts a server program and reads its "listening on ADDR:PORT" line.
Server startServer(std::vector<std::string> args) {
  int out[2];
  Server server;
  if (pipe(out) != 0) return server;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (posix_spawn(&server.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return {};
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string line;
  char c;
  pollfd entry{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&entry, 1, 10000) > 0 &&
         read(out[0], &c, 1) == 1)
    line += c;
  close(out[0]);
  size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos)
    server.port = std::atoi(line.c_str() + colon + 1);
  return server;
}

void stopServer(const Server& server) {
  if (server.pid <= 0) return;
  kill(server.pid, SIGTERM);
  waitpid(server.pid, nullptr, 0);
}

// One request on a fresh connection; true when the reply is a success.
bool oneRequest(int port, const std::string& request) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string body;
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size()) &&
            readFrame(fd, body);
  close(fd);
  if (!ok) return false;
  cipher().decrypt(reinterpret_cast<unsigned char*>(body.data()), static_cast<int>(body.size()));
  return body.rfind("C00440AOK|@", 0) == 0;
}

// Each client reports a fresh distribution per request, so every request inserts new rows.
std::string commandedRequest(int client, long sequence) {
  std::string text = "C00440ASP_SV_DT_N_EQUIP_IU|@7|@EQUIP_ID|#S|#BENCH" + std::to_string(client) +
                     "|$DIST_ID|#I|#" + std::to_string(sequence) +
                     "|$PROC_TYPE|#S|#NDT|$STATUS|#S|#060|$STATUS_DETAIL|#S|#done [12 sec]"
                     "|$CMD_ID|#I|#" + std::to_string(sequence) + "|$ACTOR|#I|#1";
  return frame(text);
}

// CPU time (user + system) the process has used so far, in seconds.
double cpuSeconds(pid_t pid) {
  std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (file == nullptr) return 0;
  char text[1024] = {};
  size_t length = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[length] = '\0';
  const char* after = std::strrchr(text, ')');  // the command name may hold spaces
  unsigned long user = 0, system = 0;
  if (after == nullptr ||
      std::sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                  &system) != 2)
    return 0;
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Rate {
  long done = 0;
  long failures = 0;
  double seconds = 0;
  double cpu = 0;  // the server's CPU seconds over the same time
  double perSecond() const { return seconds > 0 ? static_cast<double>(done) / seconds : 0; }
};

// clients threads send requests one connection each, back to back, for the given time.
void measure(const Server& server, int clients, double seconds, Rate& rate) {
  const int port = server.port;
  double cpuBefore = cpuSeconds(server.pid);
  std::atomic<long> done{0}, failed{0};
  std::atomic<bool> stop{false};
  static std::atomic<long> sequence{0};
  std::vector<std::thread> threads;
  auto start = Clock::now();
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      while (!stop.load(std::memory_order_relaxed)) {
        bool ok = oneRequest(port, commandedRequest(c, ++sequence));
        (ok ? done : failed).fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  rate.seconds += std::chrono::duration<double>(Clock::now() - start).count();
  rate.done += done.load();
  rate.failures += failed.load();
  rate.cpu += cpuSeconds(server.pid) - cpuBefore;
}

// Both servers at one client count, in alternating slices so that they meet the same background
// load; one line of results.
void compare(const Server& ceiling, const Server& gateway, int clients, double seconds,
             int slices) {
  Rate top, gw;
  for (int slice = 0; slice < slices; ++slice) {
    measure(ceiling, clients, seconds / slices, top);
    measure(gateway, clients, seconds / slices, gw);
  }
  std::printf("%-8d %14.0f %14.0f %7.2f %13.1f us %13.1f us", clients, top.perSecond(),
              gw.perSecond(), gw.perSecond() / top.perSecond(), 1e6 * top.cpu / top.done,
              1e6 * gw.cpu / gw.done);
  if (top.failures + gw.failures > 0)
    std::printf("   (failed requests: ceiling %ld, gateway %ld)", top.failures, gw.failures);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--ceiling-server") return serveCeiling();
  std::string gateway = CVDT_GATEWAY_PATH;
  double seconds = 3;
  int slices = 6;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--gateway") gateway = argv[i + 1];
    else if (option == "--seconds") seconds = std::atof(argv[i + 1]);
    else if (option == "--slices") slices = std::max(1, std::atoi(argv[i + 1]));
  }
  std::string folder = std::filesystem::temp_directory_path() /
                       ("cvdt-gateway-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  Server ceiling =
      startServer({std::filesystem::read_symlink("/proc/self/exe"), "--ceiling-server"});
  Server real = startServer({gateway, "serve", "--listen", "127.0.0.1:0", "--db",
                             folder + "/bench.db"});
  int status = 0;
  if (ceiling.port == 0 || real.port == 0) {
    std::fprintf(stderr, "cannot start the servers\n");
    status = 1;
  } else {
    std::printf("%-8s %14s %14s %7s %16s %16s\n", "clients", "ceiling req/s", "gateway req/s",
                "ratio", "ceiling cpu/req", "gateway cpu/req");
    for (int clients : {1, 8}) compare(ceiling, real, clients, seconds, slices);
  }
  stopServer(ceiling);
  stopServer(real);
  std::filesystem::remove_all(folder);
  return status;
}

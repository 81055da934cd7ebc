// `cvdt-gateway web --listen ADDR:PORT --db PATH|postgresql://... [--codepage N]`.
#include "WebCommand.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "GatewayStore.h"
#include "StatusQueries.h"
#include "StatusWebServer.h"

namespace cvdt::gateway {

int WebCommand::run() {
  std::string problem = m_args.problem({"listen", "db", "codepage"});
  std::string listen = m_args.value("listen", "127.0.0.1:7280");
  size_t colon = listen.rfind(':');
  int64_t port = -1;
  uint32_t codePage = 0;
  if (problem.empty() && (colon == std::string::npos ||
                          !ArgList::parseInteger(listen.substr(colon + 1), 0, 65535, port)))
    problem = "--listen wants ADDR:PORT, not " + listen;
  if (problem.empty() && !m_args.has("db")) problem = "--db names the gateway's database";
  if (problem.empty() && m_args.has("codepage") &&
      !SiteText::parse(m_args.value("codepage"), codePage))
    problem = "--codepage wants a code page number such as 949";
  if (!problem.empty()) {
    std::fprintf(stderr, "cvdt-gateway web: %s\n", problem.c_str());
    return 2;
  }
  GatewayStore store;
  if (!isPostgresLocation(m_args.value("db")) && !std::filesystem::exists(m_args.value("db"))) {
    std::fprintf(stderr, "cvdt-gateway web: no database %s\n", m_args.value("db").c_str());
    return 1;
  }
  if (!store.connect(m_args.value("db"))) {
    std::fprintf(stderr, "cvdt-gateway web: %s\n", store.error().c_str());
    return 1;
  }
  StatusQueries queries(store.session(), SiteText(codePage));
  StatusWebServer server(queries);
  // Blocked before the server's threads start, so only the waiter below takes them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  int bound = server.bind(listen.substr(0, colon), static_cast<int>(port));
  if (bound < 0) {
    std::fprintf(stderr, "cvdt-gateway web: cannot listen on %s\n", listen.c_str());
    return 1;
  }
  std::printf("listening on %s:%d\n", listen.substr(0, colon).c_str(), bound);
  std::fflush(stdout);
  std::thread waiter([&server, signals] {
    int signal = 0;
    sigwait(&signals, &signal);
    server.stop();
  });
  bool served = server.serve();
  // A failed serve leaves the waiter blocked: wake it.
  if (!served) kill(getpid(), SIGTERM);
  waiter.join();
  return served ? 0 : 1;
}

}  // namespace cvdt::gateway

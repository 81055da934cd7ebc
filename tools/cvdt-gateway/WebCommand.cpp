// `cvdt-gateway web [--listen ADDR:PORT] --db PATH|postgresql://... [--codepage N]`.
#include "WebCommand.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "GatewayStore.h"
#include "NCliNumber.h"
#include "NCliUsageError.h"
#include "StatusQueries.h"
#include "StatusWebServer.h"

namespace cvdt::gateway {

void WebCommand::addTo(cli::NCliApp& cli) {
  auto options = std::make_shared<Options>();
  CLI::App* web = cli.addCommand(
      cli.root(), "web", "serve the operator's read-only status page and its JSON API over HTTP",
      "cvdt-gateway web --listen 127.0.0.1:7280 --db gateway.db\n"
      "cvdt-gateway web --db postgresql://gw@db.example/cvdt",
      [options] { return WebCommand(*options).run(); });
  web->add_option("--listen", options->strListen, "address and port to listen on (0: any free port)")
      ->type_name("ADDR:PORT")->capture_default_str();
  web->add_option("--db", options->strDb, "the gateway's SQLite database or a postgresql:// address")
      ->required()->type_name("DB");
  SiteText::addOption(*web, options->nCodePage,
                      "show stored texts that are not UTF-8 decoded from this code page");
}

int WebCommand::run() {
  const std::string& listen = m_options.strListen;
  size_t colon = listen.rfind(':');
  int64_t port = -1;
  if (colon == std::string::npos || !cli::NCliNumber::parse(listen.substr(colon + 1), 0, 65535, port))
    throw cli::NCliUsageError("--listen wants ADDR:PORT (port 0 to 65535), not '" + listen + "'");
  const std::string& db = m_options.strDb;
  if (!isPostgresLocation(db) && !std::filesystem::exists(db)) {
    std::fprintf(stderr, "cvdt-gateway web: no database %s\n", db.c_str());
    return cli::kExitFailed;
  }
  GatewayStore store;
  if (!store.connect(db, false)) {
    std::fprintf(stderr, "cvdt-gateway web: %s\n", store.error().c_str());
    return 1;
  }
  StatusQueries queries(store.session(), SiteText(m_options.nCodePage));
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

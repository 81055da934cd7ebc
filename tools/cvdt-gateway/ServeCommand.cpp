// `cvdt-gateway serve --listen ADDR:PORT --db PATH|postgresql://... [--workers N]
// [--store-threads N] [--max-connections N] [--max-per-address N] [--frame-timeout-ms N]
// [--codepage N]`.
#include "ServeCommand.h"

#include <cstdio>
#include <memory>

#include "GatewayServer.h"
#include "GatewayWorkers.h"
#include "NCliNumber.h"
#include "SqlSession.h"

namespace cvdt::gateway {

void ServeCommand::addTo(cli::NCliApp& cli) {
  auto options = std::make_shared<Options>();
  CLI::App* serve = cli.addCommand(
      cli.root(), "serve", "run the gateway on SQLite or PostgreSQL until stopped (SIGINT, SIGTERM)",
      "cvdt-gateway serve --listen 127.0.0.1:7221 --db /var/lib/cvdt/gateway.db\n"
      "cvdt-gateway serve --listen 127.0.0.1:0 --db g.db   (port 0: any free port, printed)\n"
      "cvdt-gateway serve --db postgresql://gw@db.example/cvdt --workers 4",
      [options] { return ServeCommand(*options).run(); });
  serve->add_option("--listen", options->strListen, "address and port to listen on")
      ->type_name("ADDR:PORT")->capture_default_str();
  serve->add_option("--db", options->strDb,
                    "the SQLite database (created when missing) or a postgresql:// address")
      ->type_name("DB")->capture_default_str();
  cli::NCliNumber::add(*serve, "--workers", options->nWorkers, 1, 256,
                       "event loops on the one port (SO_REUSEPORT), each with its own database "
                       "connection");
  cli::NCliNumber::add(*serve, "--store-threads", options->nStoreThreads, 0, 64,
                       "threads per event loop that run the procedures, each with its own "
                       "database connection; 0 runs them on the loop (default: 0 on SQLite, "
                       "whose commits do not wait for a flush, 4 on PostgreSQL)");
  cli::NCliNumber::add(*serve, "--max-connections", options->nMaxConnections, 1, 1000000,
                       "connections served at once");
  cli::NCliNumber::add(*serve, "--max-per-address", options->nMaxPerAddress, 1, 1000000,
                       "connections from one client address");
  cli::NCliNumber::add(*serve, "--frame-timeout-ms", options->nFrameTimeoutMs, 1, 3600000,
                       "time a client has to send a whole request frame");
  SiteText::addOption(*serve, options->nCodePage,
                      "the code page the site's agents send their texts in; they are stored as "
                      "UTF-8 (default: stored as they came)");
}

void ServeCommand::readOptions(ServerOptions& options) const {
  const std::string& listen = m_options.strListen;
  size_t colon = listen.rfind(':');
  int64_t port = -1;
  if (colon == std::string::npos || !cli::NCliNumber::parse(listen.substr(colon + 1), 0, 65535, port))
    throw cli::NCliUsageError("--listen wants ADDR:PORT (port 0 to 65535), not '" + listen + "'");
  options.address = listen.substr(0, colon);
  options.port = static_cast<uint16_t>(port);
  options.maxConnections = static_cast<size_t>(m_options.nMaxConnections);
  options.maxPerAddress = static_cast<size_t>(m_options.nMaxPerAddress);
  options.frameTimeoutMs = static_cast<int>(m_options.nFrameTimeoutMs);
}

int ServeCommand::run() {
  ServerOptions options;
  readOptions(options);
  int64_t storeThreads =
      m_options.nStoreThreads.value_or(isPostgresLocation(m_options.strDb) ? 4 : 0);
  GatewayWorkers loops(options, m_options.strDb, SiteText(m_options.nCodePage),
                       static_cast<unsigned>(m_options.nWorkers),
                       static_cast<unsigned>(storeThreads));
  if (plat::Status s = loops.start(); !s) {
    std::fprintf(stderr, "cvdt-gateway serve: %s\n", s.message().c_str());
    return cli::kExitFailed;
  }
  std::printf("listening on %s\n", loops.boundAddress().c_str());
  if (loops.maxConnections() < options.maxConnections) {
    std::printf("at most %zu connections (descriptor limit %llu)\n", loops.maxConnections(),
                static_cast<unsigned long long>(loops.descriptorLimit()));
  }
  std::fflush(stdout);
  return loops.run();
}

}  // namespace cvdt::gateway

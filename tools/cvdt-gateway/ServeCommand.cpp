// `cvdt-gateway serve --listen ADDR:PORT --db PATH [--max-connections N] [--max-per-address N]
// [--frame-timeout-ms N] [--codepage N]`.
#include "ServeCommand.h"

#include <cstdio>
#include <memory>

#include "GatewayServer.h"
#include "GatewayStore.h"
#include "NCliNumber.h"

namespace cvdt::gateway {

void ServeCommand::addTo(cli::NCliApp& cli) {
  auto options = std::make_shared<Options>();
  CLI::App* serve = cli.addCommand(
      cli.root(), "serve", "run the gateway on SQLite until stopped (SIGINT, SIGTERM)",
      "cvdt-gateway serve --listen 127.0.0.1:7221 --db /var/lib/cvdt/gateway.db\n"
      "cvdt-gateway serve --listen 127.0.0.1:0 --db g.db   (port 0: any free port, printed)",
      [options] { return ServeCommand(*options).run(); });
  serve->add_option("--listen", options->strListen, "address and port to listen on")
      ->type_name("ADDR:PORT")->capture_default_str();
  serve->add_option("--db", options->strDb, "the SQLite database (created when missing)")
      ->type_name("FILE")->capture_default_str();
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
  std::string error;
  GatewayStore store;
  if (!store.open(m_options.strDb, true)) {
    std::fprintf(stderr, "cvdt-gateway serve: %s\n", store.error().c_str());
    return cli::kExitFailed;
  }
  GatewayProcedures procedures(store, SiteText(m_options.nCodePage));
  GatewayServer server(options, procedures);
  if (!server.start(error)) {
    std::fprintf(stderr, "cvdt-gateway serve: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on %s\n", server.boundAddress().c_str());
  if (server.maxConnections() < options.maxConnections) {
    std::printf("at most %zu connections (descriptor limit %llu)\n", server.maxConnections(),
                static_cast<unsigned long long>(server.descriptorLimit()));
  }
  std::fflush(stdout);
  return server.run();
}

}  // namespace cvdt::gateway

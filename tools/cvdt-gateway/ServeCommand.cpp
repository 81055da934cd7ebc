// `cvdt-gateway serve --listen ADDR:PORT --db PATH [--max-connections N] [--max-per-address N]
// [--frame-timeout-ms N] [--codepage N]`.
#include "ServeCommand.h"

#include <cstdio>

#include "GatewayServer.h"
#include "GatewayStore.h"

namespace cvdt::gateway {

bool ServeCommand::readOptions(ServerOptions& options, std::string& error) const {
  error = m_args.problem(
      {"listen", "db", "max-connections", "max-per-address", "frame-timeout-ms", "codepage"});
  if (!error.empty()) return false;
  std::string listen = m_args.value("listen", "127.0.0.1:7221");
  size_t colon = listen.rfind(':');
  int64_t port = -1;
  if (colon == std::string::npos ||
      !ArgList::parseInteger(listen.substr(colon + 1), 0, 65535, port)) {
    error = "--listen wants ADDR:PORT, not " + listen;
    return false;
  }
  options.address = listen.substr(0, colon);
  options.port = static_cast<uint16_t>(port);
  int64_t maxConnections = 1024, maxPerAddress = 64, timeout = 10000;
  if (!m_args.integer("max-connections", 1, 1000000, maxConnections) ||
      !m_args.integer("max-per-address", 1, 1000000, maxPerAddress) ||
      !m_args.integer("frame-timeout-ms", 1, 3600000, timeout)) {
    error = "--max-connections, --max-per-address and --frame-timeout-ms want a positive number";
    return false;
  }
  options.maxConnections = static_cast<size_t>(maxConnections);
  options.maxPerAddress = static_cast<size_t>(maxPerAddress);
  options.frameTimeoutMs = static_cast<int>(timeout);
  return true;
}

int ServeCommand::run() {
  ServerOptions options;
  std::string error;
  if (!readOptions(options, error)) {
    std::fprintf(stderr, "cvdt-gateway serve: %s\n", error.c_str());
    return 2;
  }
  GatewayStore store;
  if (!store.open(m_args.value("db", "cvdt-gateway.db"), true)) {
    std::fprintf(stderr, "cvdt-gateway serve: %s\n", store.error().c_str());
    return 1;
  }
  uint32_t codePage = 0;
  if (m_args.has("codepage") && !SiteText::parse(m_args.value("codepage"), codePage)) {
    std::fprintf(stderr, "cvdt-gateway serve: --codepage wants a code page number such as 949\n");
    return 2;
  }
  GatewayProcedures procedures(store, SiteText(codePage));
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

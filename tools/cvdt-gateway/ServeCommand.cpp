// `cvdt-gateway serve --listen ADDR:PORT --db PATH|postgresql://... [--workers N]
// [--max-connections N] [--max-per-address N] [--frame-timeout-ms N] [--codepage N]`.
#include "ServeCommand.h"

#include <cstdio>

#include "GatewayServer.h"
#include "GatewayWorkers.h"

namespace cvdt::gateway {

bool ServeCommand::readOptions(ServerOptions& options, std::string& error) const {
  error = m_args.problem(
      {"listen", "db", "max-connections", "max-per-address", "frame-timeout-ms", "codepage",
       "workers"});
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
  int64_t workers = 1;
  if (!m_args.integer("workers", 1, 256, workers)) {
    std::fprintf(stderr, "cvdt-gateway serve: --workers wants a number from 1 to 256\n");
    return 2;
  }
  uint32_t codePage = 0;
  if (m_args.has("codepage") && !SiteText::parse(m_args.value("codepage"), codePage)) {
    std::fprintf(stderr, "cvdt-gateway serve: --codepage wants a code page number such as 949\n");
    return 2;
  }
  GatewayWorkers loops(options, m_args.value("db", "cvdt-gateway.db"), SiteText(codePage),
                       static_cast<unsigned>(workers));
  if (!loops.start(error)) {
    std::fprintf(stderr, "cvdt-gateway serve: %s\n", error.c_str());
    return 1;
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

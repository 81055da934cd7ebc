// ServeCommand: `cvdt-gateway serve`: opens the database and runs the gateway until stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "NCliApp.h"

namespace cvdt::gateway {

struct ServerOptions;

class ServeCommand {
 public:
  struct Options {
    std::string strListen = "127.0.0.1:7221", strDb = "cvdt-gateway.db";
    int64_t nMaxConnections = 1024, nMaxPerAddress = 64, nFrameTimeoutMs = 10000;
    int64_t nWorkers = 1;  // event loops on the one port
    std::optional<int64_t> nStoreThreads;  // per loop; unset: 0 (on the loop) on SQLite, 4 on
                                           // PostgreSQL
    uint32_t nCodePage = 0;  // the site's code page; 0: texts kept as they came
  };

  // Adds "serve" and its options to the tool.
  static void addTo(cli::NCliApp& cli);

  explicit ServeCommand(const Options& options) : m_options(options) {}
  // 0 after a stop by signal, 1 when the database or the address cannot be used, 2 on a usage
  // error.
  int run();

 private:
  // The server's options; throws cli::NCliUsageError for a listen address that is not one.
  void readOptions(ServerOptions& options) const;

  const Options& m_options;
};

}  // namespace cvdt::gateway

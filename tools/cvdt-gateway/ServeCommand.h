// ServeCommand: `cvdt-gateway serve`: opens the database and runs the gateway until stopped.
#pragma once

#include <string>

#include "ArgList.h"

namespace cvdt::gateway {

struct ServerOptions;

class ServeCommand {
 public:
  explicit ServeCommand(const ArgList& args) : m_args(args) {}
  // 0 after a stop by signal, 1 when the database or the address cannot be used, 2 on a usage
  // error.
  int run();

 private:
  bool readOptions(ServerOptions& options, std::string& error) const;

  const ArgList& m_args;
};

}  // namespace cvdt::gateway

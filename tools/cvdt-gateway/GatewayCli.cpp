// The command line of cvdt-gateway.
#include "GatewayCli.h"

#include "CallCommand.h"
#include "NCliApp.h"
#include "ServeCommand.h"
#include "StatusCommand.h"
#include "TargetCommand.h"
#include "WebCommand.h"

namespace cvdt::gateway {

int GatewayCli::run(int argc, char** argv) {
  cvdt::cli::NCliApp cli("cvdt-gateway",
                         "The database gateway: the framed stored-procedure protocol on SQLite or "
                         "PostgreSQL, its admin commands and the status page.");
  ServeCommand::addTo(cli);
  StatusCommand::addTo(cli);
  TargetCommand::addTo(cli);
  CallCommand::addTo(cli);
  WebCommand::addTo(cli);
  cli.root().footer(
      "'cvdt-gateway help COMMAND' or 'cvdt-gateway COMMAND --help' describes a command.\n"
      "Example:\n"
      "  cvdt-gateway serve --listen 127.0.0.1:7221 --db gateway.db\n"
      "  cvdt-gateway status --db gateway.db --json\n"
      "  cvdt-gateway web --listen 127.0.0.1:7280 --db gateway.db");
  return cli.run(argc, argv);
}

}  // namespace cvdt::gateway

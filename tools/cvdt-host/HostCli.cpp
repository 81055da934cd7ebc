// The command line of cvdt-host.
#include "HostCli.h"

#include "AgentCommand.h"
#include "DetectCommand.h"
#include "MachineCommand.h"
#include "NCliApp.h"
#include "RegistryCommand.h"
#include "ReportsCommand.h"

namespace cvdt::host {

int HostCli::run(int argc, char** argv) {
  cvdt::cli::NCliApp cli("cvdt-host",
                         "The host agent: lays out emulated Windows machines, loads the module and "
                         "drives its exports, collects its reports.");
  addMachineCommands(cli);
  addAgentCommand(cli);
  addReportsCommand(cli);
  addRegistryCommand(cli);
  addDetectCommands(cli);
  cli.root().footer(
      "Programs find the machine through CVDT_MACHINE=DIR. 'cvdt-host help COMMAND' or\n"
      "'cvdt-host COMMAND --help' describes a command.\n"
      "Example:\n"
      "  cvdt-host machine init demo/machine --language 1042\n"
      "  CVDT_MACHINE=demo/machine cvdt-host agent --script jobs.txt");
  return cli.run(argc, argv);
}

}  // namespace cvdt::host

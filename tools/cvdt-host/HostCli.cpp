// The command line of cvdt-host.
#include "HostCli.h"

#include "AgentCommand.h"
#include "NCliApp.h"
#include "RegistryCommand.h"
#include "ReportsCommand.h"
#if !defined(_WIN32)
#include "DetectCommand.h"
#include "MachineCommand.h"
#endif

namespace cvdt::host {

#if defined(_WIN32)
// On Windows the machine is the real one: the agent, its reports and the registry.
int HostCli::run(int argc, char** argv) {
  cvdt::cli::NCliApp cli("cvdt-host",
                         "The host agent: loads the module beside this program and drives its "
                         "exports, collects its reports.");
  addAgentCommand(cli);
  addReportsCommand(cli);
  addRegistryCommand(cli);
  cli.root().footer(
      "'cvdt-host help COMMAND' or 'cvdt-host COMMAND --help' describes a command.\n"
      "Example:\n"
      "  cvdt-host agent --script jobs.txt");
  return cli.run(argc, argv);
}
#else
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
#endif

}  // namespace cvdt::host

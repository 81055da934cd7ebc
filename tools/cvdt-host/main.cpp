// cvdt-host: the host agent's command-line front end.
#include <cstdio>
#include <string>

#include "AgentCommand.h"
#include "CommandLine.h"
#include "RegistryCommand.h"
#include "ReportsCommand.h"
#if !defined(_WIN32)
#include "DetectCommand.h"
#include "MachineCommand.h"
#endif

namespace {

#if defined(_WIN32)
// On Windows the machine is the real one: the agent, its reports and the registry.
void printUsage() {
  std::printf(
      "usage: cvdt-host agent [options]              load the module and drive its exports\n"
      "       cvdt-host reports [--once] [--seconds N]  collect command results as JSON lines\n"
      "       cvdt-host registry show KEY [--64]     the values of a registry key\n");
}
#else
void printUsage() {
  std::printf(
      "usage: cvdt-host machine init DIR [options]   lay out an emulated Windows machine\n"
      "       cvdt-host machine show [DIR]           describe a machine (default $CVDT_MACHINE)\n"
      "       cvdt-host reports [--once] [--seconds N]  collect command results as JSON lines\n"
      "       cvdt-host agent [options]              load the module and drive its exports\n"
      "       cvdt-host registry show KEY [--64]     the values of a registry key of the machine\n"
      "       cvdt-host detect --policy FILE [--explain] [--json]  a product policy's verdict here\n"
      "       cvdt-host platform                     this machine's platform strings\n"
      "run 'cvdt-host machine help' for the machine options\n");
}
#endif

}  // namespace

int main(int argc, char** argv) {
  cvdt::host::CommandLine line(argc, argv, {"help", "64", "explain", "json"});
  const auto& words = line.words();
  // The agent has options and a help of its own.
  if (!words.empty() && words[0] == "agent") return cvdt::host::runAgentCommand(argc, argv);
  if (words.empty() || line.has("help")) {
    printUsage();
    return words.empty() ? 2 : 0;
  }
  if (words[0] == "reports") return cvdt::host::runReportsCommand(argc, argv);
  if (words[0] == "registry") return cvdt::host::runRegistryCommand(line);
#if !defined(_WIN32)
  if (words[0] == "machine") return cvdt::host::runMachineCommand(line);
  if (words[0] == "detect") return cvdt::host::runDetectCommand(line);
  if (words[0] == "platform") return cvdt::host::runPlatformCommand(line);
#endif
  std::fprintf(stderr, "cvdt-host: unknown command '%s'\n", words[0].c_str());
  printUsage();
  return 2;
}

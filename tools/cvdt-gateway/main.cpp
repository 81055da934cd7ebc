// cvdt-gateway: the database gateway of the distribution module and its admin commands.
#include <cstdio>
#include <string>

#include "ArgList.h"
#include "CallCommand.h"
#include "ServeCommand.h"
#include "StatusCommand.h"
#include "TargetCommand.h"
#include "WebCommand.h"

namespace {

void printUsage() {
  std::printf(
      "usage: cvdt-gateway serve [--listen ADDR:PORT] [--db PATH|postgresql://...] [--workers N]\n"
      "                          [--max-connections N]\n"
      "                          [--max-per-address N] [--frame-timeout-ms N] [--codepage N]\n"
      "       cvdt-gateway status --db PATH [--equip ID] [--json] [--codepage N]\n"
      "       cvdt-gateway target add --db PATH --dist ID --name TEXT\n"
      "                          (--policy TEXT | --policy-file FILE)\n"
      "                          [--update-id N] [--equip ID]\n"
      "       cvdt-gateway target list --db PATH [--dist ID] [--equip ID] [--json]\n"
      "       cvdt-gateway target remove --db PATH TARGET_ID...\n"
      "       cvdt-gateway call --host H [--port P] [--wait-ms N] [--codepage N]\n"
      "                          PROC NAME:TYPE:VALUE...\n"
      "       cvdt-gateway web --db PATH|postgresql://... [--listen ADDR:PORT] [--codepage N]\n"
      "defaults: --listen 127.0.0.1:7221, --db ./cvdt-gateway.db, --max-connections 1024,\n"
      "          --max-per-address 64, --frame-timeout-ms 10000, --port 7221\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cvdt::gateway;
  ArgList args(argc, argv, 1, {"json", "help"});
  const auto& words = args.words();
  if (words.empty() || args.has("help")) {
    printUsage();
    return words.empty() && !args.has("help") ? 2 : 0;
  }
  const std::string& command = words[0];
  if (command == "serve") return ServeCommand(args).run();
  if (command == "status") return StatusCommand(args).run();
  if (command == "target") return TargetCommand(args).run();
  if (command == "call") return CallCommand(args).run();
  if (command == "web") return WebCommand(args).run();
  std::fprintf(stderr, "cvdt-gateway: unknown command '%s'\n", command.c_str());
  printUsage();
  return 2;
}

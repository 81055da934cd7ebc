// cvdt-pack: the server-side packager: builds commanded and automatic packages on a
// distribution server's root, and unpacks and checks them through the agent's extraction library.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "AutoPackager.h"
#include "LgzCompanion.h"
#include "NormalPackager.h"
#include "PackArgs.h"
#include "PackError.h"
#include "ServerCheck.h"

namespace {

using cvdt::pack::PackArgs;
using cvdt::pack::PackError;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void printUsage(FILE* out) {
  std::fprintf(out,
      "usage:\n"
      "  cvdt-pack normal --id N --name NAME --src DIR --out ROOT [--part-size BYTES]\n"
      "      [--version V] [--base-folder F] [--description D] [--agree] [--public]\n"
      "      [--exec FILE] [--exec-options O] [--exec-user S|L|C] [--reg-file F]\n"
      "      [--kind NDT|SWDT|DELDT] [--sw-id N] [--platform TEXT] [--sys-file REL]...\n"
      "  cvdt-pack auto --id N --name NAME --dest 'C:\\App' --src DIR --out ROOT\n"
      "      [--part-size BYTES] [--update-id U] [--label L] [--subfolders] [--cleanup]\n"
      "      [--program REL] [--args A] [--account S|L|C]\n"
      "  cvdt-pack unpack ARCHIVE [DEST] [--companions DIR]\n"
      "  cvdt-pack check ROOT [--companions DIR]\n"
      "BYTES may end in K, M or G. See tools/cvdt-pack/README.md for the output formats.\n");
}

int runNormal(const std::vector<std::string>& args) {
  const PackArgs line(args, cvdt::pack::NormalPackager::knownOptions());
  cvdt::pack::NormalPackager packager(cvdt::pack::NormalPackager::optionsFrom(line));
  const cvdt::pack::NormalResult result = packager.run();
  std::printf("contents=%s\nindex-digest=%s\nparts=%d\n", result.contents.c_str(),
              result.indexDigest.c_str(), result.parts);
  return 0;
}

int runAuto(const std::vector<std::string>& args) {
  const PackArgs line(args, cvdt::pack::AutoPackager::knownOptions());
  cvdt::pack::AutoPackager packager(cvdt::pack::AutoPackager::optionsFrom(line));
  const cvdt::pack::AutoResult result = packager.run();
  for (const std::string& warning : packager.warnings()) {
    std::fprintf(stderr, "cvdt-pack: warning: %s\n", warning.c_str());
  }
  std::printf("item=%s\nindex-digest=%s\nfiles=%d\nparts=%d\n", result.item.c_str(),
              result.indexDigest.c_str(), result.files, result.parts);
  return 0;
}

int runUnpack(const std::vector<std::string>& args) {
  const PackArgs line(args, {{"companions", PackArgs::Kind::Value}});
  const auto& words = line.words();
  if (words.empty() || words.size() > 2) throw PackError("unpack takes ARCHIVE [DEST]");
  const std::string& archive = words[0];
  std::string destination = words.size() == 2 ? words[1] : std::string(".");
  const size_t slash = archive.rfind('/');
  if (words.size() == 1 && slash != std::string::npos) destination = archive.substr(0, slash + 1);
  const cvdt::pack::LgzCompanion lgz(line.value("companions"));
  std::string reason;
  if (!lgz.extract(destination, archive, reason)) {
    throw PackError("cvlgz.dll could not unpack " + archive + " into " + destination +
                    (reason.empty() ? std::string() : ": " + reason) +
                    " (nothing in the destination was changed)");
  }
  std::printf("unpacked %s into %s\n", archive.c_str(), destination.c_str());
  return 0;
}

int runCheck(const std::vector<std::string>& args) {
  const PackArgs line(args, {{"companions", PackArgs::Kind::Value}});
  if (line.words().size() != 1) throw PackError("check takes one ROOT folder");
  const cvdt::pack::LgzCompanion lgz(line.value("companions"));
  cvdt::pack::ServerCheck check(line.words()[0], lgz);
  return check.run(stdout).problems == 0 ? 0 : kExitFailed;
}

int dispatch(const std::string& command, const std::vector<std::string>& args) {
  if (command == "normal") return runNormal(args);
  if (command == "auto") return runAuto(args);
  if (command == "unpack") return runUnpack(args);
  if (command == "check") return runCheck(args);
  throw PackError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  const std::vector<std::string> args(argv + (argc > 1 ? 2 : 1), argv + argc);
  const std::string command = argc > 1 ? argv[1] : "";
  if (command.empty() || command == "help" || command == "--help" || command == "-h") {
    printUsage(command.empty() ? stderr : stdout);
    return command.empty() ? kExitUsage : 0;
  }
  try {
    return dispatch(command, args);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "cvdt-pack %s: %s\n", command.c_str(), error.what());
    return kExitFailed;
  }
}

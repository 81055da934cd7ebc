// The command line of cvdt-pack.
#include "PackCli.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "AutoPackager.h"
#include "LgzCompanion.h"
#include "NCliApp.h"
#include "NCliJson.h"
#include "NCliProgress.h"
#include "NormalPackager.h"
#include "PackArgs.h"
#include "PackError.h"
#include "ServerCheck.h"

namespace {

using cvdt::cli::NCliApp;
using cvdt::cli::NCliProgress;
using cvdt::cli::NCliUsageError;
using cvdt::pack::PackArgs;
using cvdt::pack::PackError;

// Options a packager reads from the command line; a value its rules refuse is a usage error.
template <typename Packager>
auto checkedOptions(const PackArgs& args) {
  try {
    return Packager::optionsFrom(args);
  } catch (const PackError& error) {
    throw NCliUsageError(error.what());
  }
}

int runNormal(const PackArgs& args) {
  cvdt::pack::NormalPackager packager(checkedOptions<cvdt::pack::NormalPackager>(args));
  NCliProgress progress("packing", NCliProgress::Unit::Bytes);
  packager.setProgress(&progress);
  const cvdt::pack::NormalResult result = packager.run();
  progress.clear();
  std::printf("contents=%s\nindex-digest=%s\nparts=%d\n", result.contents.c_str(),
              result.indexDigest.c_str(), result.parts);
  return cvdt::cli::kExitOk;
}

int runAuto(const PackArgs& args) {
  cvdt::pack::AutoPackager packager(checkedOptions<cvdt::pack::AutoPackager>(args));
  NCliProgress progress("packing", NCliProgress::Unit::Bytes);
  packager.setProgress(&progress);
  const cvdt::pack::AutoResult result = packager.run();
  progress.clear();
  for (const std::string& warning : packager.warnings()) {
    std::fprintf(stderr, "cvdt-pack: warning: %s\n", warning.c_str());
  }
  std::printf("item=%s\nindex-digest=%s\nfiles=%d\nparts=%d\n", result.item.c_str(),
              result.indexDigest.c_str(), result.files, result.parts);
  return cvdt::cli::kExitOk;
}

struct UnpackOptions {
  std::string strArchive, strDestination, strCompanions;
};

int runUnpack(const UnpackOptions& o) {
  std::string destination = o.strDestination.empty() ? std::string(".") : o.strDestination;
  const size_t slash = o.strArchive.rfind('/');
  if (o.strDestination.empty() && slash != std::string::npos) destination = o.strArchive.substr(0, slash + 1);
  const cvdt::pack::LgzCompanion lgz(o.strCompanions);
  if (plat::Status s = lgz.extract(destination, o.strArchive); !s) {
    const std::string& reason = s.message();
    throw PackError("cvlgz.dll could not unpack " + o.strArchive + " into " + destination +
                    (reason.empty() ? std::string() : ": " + reason) +
                    " (nothing in the destination was changed)");
  }
  std::printf("unpacked %s into %s\n", o.strArchive.c_str(), destination.c_str());
  return cvdt::cli::kExitOk;
}

struct CheckOptions {
  std::string strRoot, strCompanions;
  bool bJson = false;
};

cvdt::cli::NJson checkJson(const cvdt::pack::ServerCheck& check,
                           const cvdt::pack::ServerCheck::Totals& totals) {
  using cvdt::cli::NCliJson;
  cvdt::cli::NJson packages = cvdt::cli::NJson::array();
  for (const auto& report : check.reports()) {
    cvdt::cli::NJson problems = cvdt::cli::NJson::array();
    for (const std::string& text : report.problems) problems.push_back(NCliJson::utf8(text));
    packages.push_back({{"flavour", report.strFlavour}, {"id", std::stoll(report.strId)},
                        {"index", NCliJson::utf8(report.strIndex)}, {"digest", report.strDigest},
                        {"files", report.nFiles}, {"parts", report.nParts},
                        {"ok", report.problems.empty()}, {"problems", problems}});
  }
  return {{"packages", packages},
          {"totals", {{"packages", totals.packages}, {"files", totals.files},
                      {"parts", totals.parts}, {"problems", totals.problems}}}};
}

int runCheck(const CheckOptions& o) {
  const cvdt::pack::LgzCompanion lgz(o.strCompanions);
  cvdt::pack::ServerCheck check(o.strRoot, lgz);
  NCliProgress progress("checking");
  check.setProgress(&progress);
  const cvdt::pack::ServerCheck::Totals totals = check.run(o.bJson ? nullptr : stdout);
  if (o.bJson) std::printf("%s\n", cvdt::cli::NCliJson::line(checkJson(check, totals)).c_str());
  return totals.problems == 0 ? cvdt::cli::kExitOk : cvdt::cli::kExitFailed;
}

void addPackCommands(NCliApp& cli) {
  auto normal = std::make_shared<PackArgs>();
  CLI::App* normalCommand = cli.addCommand(
      cli.root(), "normal", "a commanded package: parts, index archive, and the contents text",
      "cvdt-pack normal --id 12 --name Demo --src pkg --out www --exec install.bat --part-size 1M",
      [normal] { return runNormal(*normal); });
  normal->declare(*normalCommand, cvdt::pack::NormalPackager::knownOptions());
  auto automatic = std::make_shared<PackArgs>();
  CLI::App* autoCommand = cli.addCommand(
      cli.root(), "auto", "an automatic-distribution package and its item entry",
      "cvdt-pack auto --id 7 --name Tools --dest 'C:\\Tools' --src pkg --out www --subfolders",
      [automatic] { return runAuto(*automatic); });
  automatic->declare(*autoCommand, cvdt::pack::AutoPackager::knownOptions());
  auto unpack = std::make_shared<UnpackOptions>();
  CLI::App* unpackCommand = cli.addCommand(
      cli.root(), "unpack", "unpack one archive with its parts through cvlgz.dll, as agents do",
      "cvdt-pack unpack www/Corvane/dist/normal/12/12.lgz /tmp/out", [unpack] { return runUnpack(*unpack); });
  unpackCommand->add_option("ARCHIVE", unpack->strArchive, "part 0 of the archive (X.lgz)")->required()->type_name("ARCHIVE");
  unpackCommand->add_option("DEST", unpack->strDestination, "where to unpack (default: the archive's folder)")->type_name("DIR");
  unpackCommand->add_option("--companions", unpack->strCompanions, "the folder holding cvlgz.dll (default: the build's)")->type_name("DIR");
  auto check = std::make_shared<CheckOptions>();
  CLI::App* checkCommand = cli.addCommand(
      cli.root(), "check", "verify every digest on a server root and unpack everything, as agents do",
      "cvdt-pack check www\ncvdt-pack check www --json", [check] { return runCheck(*check); });
  checkCommand->add_option("ROOT", check->strRoot, "the server root")->required()->type_name("ROOT");
  checkCommand->add_option("--companions", check->strCompanions, "the folder holding cvlgz.dll (default: the build's)")->type_name("DIR");
  checkCommand->add_flag("--json", check->bJson, "print one JSON record of every package and the totals");
}

}  // namespace

namespace cvdt::pack {

int PackCli::run(int argc, char** argv) {
  NCliApp cli("cvdt-pack", "The server-side packager: turns a folder into what a distribution server serves.");
  addPackCommands(cli);
  cli.root().footer(
      "BYTES may end in K, M or G. Output formats: tools/cvdt-pack/README.md.\n"
      "'cvdt-pack help COMMAND' or 'cvdt-pack COMMAND --help' describes a command.\n"
      "Example:\n"
      "  cvdt-pack normal --id 12 --name Demo --src pkg --out www --exec install.bat\n"
      "  cvdt-pack check www");
  return cli.run(argc, argv);
}

}  // namespace cvdt::pack

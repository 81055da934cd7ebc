// The command line of cvdt-msgc.
#include "MsgcCli.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "MsgCompiler.h"
#include "NCliApp.h"

namespace {

bool writeAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

int compile(const std::string& output, const std::vector<std::string>& sources) {
  std::error_code ignored;
  std::filesystem::remove(output, ignored);
  MsgCompiler compiler("cvdt");
  for (const std::string& source : sources) {
    if (plat::Status s = compiler.addFile(source); !s) {
      std::fprintf(stderr, "cvdt-msgc: %s\n", s.message().c_str());
      return cvdt::cli::kExitFailed;
    }
  }
  if (!writeAtomically(output, compiler.catalogue())) {
    std::fprintf(stderr, "cvdt-msgc: cannot write %s\n", output.c_str());
    return cvdt::cli::kExitFailed;
  }
  return cvdt::cli::kExitOk;
}

}  // namespace

int MsgcCli::run(int argc, char** argv) {
  cvdt::cli::NCliApp cli("cvdt-msgc",
                         "Compiles UTF-8 message sources into the UTF-16 catalogue cvmsg.bin.");
  std::string output;
  std::vector<std::string> sources;
  CLI::App& app = cli.root();
  app.add_option("OUT", output, "the catalogue to write (replaced whole, or removed on failure)")
      ->required()->type_name("FILE");
  app.add_option("SRC", sources, "message sources, one language each")
      ->required()->type_name("FILE");
  cli.setRootAction("cvdt-msgc build/stage/cvmsg.bin data/messages/1033.txt data/messages/1042.txt",
                    [&] { return compile(output, sources); });
  return cli.run(argc, argv);
}

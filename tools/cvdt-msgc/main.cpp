// cvdt-msgc: compiles the UTF-8 message sources into the UTF-16 catalogue file cvmsg.bin.
//   cvdt-msgc OUT.bin SRC.txt...
// Exit 0 when the catalogue was written; 1 on a bad source or a write failure (nothing is
// left at OUT.bin then); 2 on a usage error.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "MsgCompiler.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: cvdt-msgc OUT.bin SRC.txt...\n");
    return 2;
  }
  const std::string output = argv[1];
  std::error_code ignored;
  std::filesystem::remove(output, ignored);

  MsgCompiler compiler("cvdt");
  for (int i = 2; i < argc; ++i) {
    if (!compiler.addFile(argv[i])) {
      std::fprintf(stderr, "cvdt-msgc: %s\n", compiler.error().c_str());
      return 1;
    }
  }
  if (!writeAtomically(output, compiler.catalogue())) {
    std::fprintf(stderr, "cvdt-msgc: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}

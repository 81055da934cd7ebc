// Showing registry values as the module reads them (in the 32-bit view, or the 64-bit view
// with --64).
#include "RegistryCommand.h"

#include <cstdio>

#include "detect/NRegistry.h"
#include "platform/PlatformText.h"

namespace cvdt::host {
namespace {

bool splitRoot(const std::string& path, plat::RegRoot& root, std::string& key) {
  size_t slash = path.find('\\');
  key = slash == std::string::npos ? "" : path.substr(slash + 1);
  return plat::regRootFromName(path.substr(0, slash), root);
}

}  // namespace

int runRegistryCommand(const CommandLine& line) {
  const auto& words = line.words();
  if (words.size() != 3 || words[1] != "show") {
    std::fprintf(stderr, "usage: cvdt-host registry show 'HKLM\\SOFTWARE\\KEY' [--64]\n");
    return 2;
  }
  plat::RegRoot root;
  std::string key;
  if (!splitRoot(words[2], root, key)) {
    std::fprintf(stderr, "cvdt-host registry: unknown root in %s\n", words[2].c_str());
    return 2;
  }
  // The registry holds the machine's ANSI text; this terminal speaks UTF-8.
  key = plat::utf8ToAnsi(key);
  NRegistry registry;
  if (!registry.open(root, key.c_str(), true, true, line.has("64"))) {
    std::fprintf(stderr, "cvdt-host registry: no key %s\n", words[2].c_str());
    return 1;
  }
  std::string name;
  for (uint32_t index = 0; registry.handle()->enumValue(index, name) == 0; ++index) {
    std::string value = plat::ansiToUtf8(registry.readValue(name.c_str()).text());
    std::printf("%s = %s\n", name.empty() ? "@" : plat::ansiToUtf8(name).c_str(), value.c_str());
  }
  return 0;
}

}  // namespace cvdt::host

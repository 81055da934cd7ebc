// Showing registry values as the module reads them (in the 32-bit view, or the 64-bit view
// with --64).
#include "RegistryCommand.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "detect/NRegistry.h"
#include "platform/PlatformText.h"

namespace cvdt::host {
namespace {

bool splitRoot(const std::string& path, plat::RegRoot& root, std::string& key) {
  size_t slash = path.find('\\');
  key = slash == std::string::npos ? "" : path.substr(slash + 1);
  return plat::regRootFromName(path.substr(0, slash), root);
}

int showKey(const std::string& path, bool b64) {
  plat::RegRoot root;
  std::string key;
  if (!splitRoot(path, root, key)) throw cli::NCliUsageError("unknown root in " + path);
  // The registry holds the machine's ANSI text; this terminal speaks UTF-8.
  key = plat::utf8ToAnsi(key);
  NRegistry registry;
  if (!registry.open(root, key.c_str(), true, true, b64))
    throw std::runtime_error("no key " + path);
  std::string name;
  for (uint32_t index = 0; registry.handle()->enumValue(index, name) == 0; ++index) {
    std::string value = plat::ansiToUtf8(registry.readValue(name.c_str()).text());
    std::printf("%s = %s\n", name.empty() ? "@" : plat::ansiToUtf8(name).c_str(), value.c_str());
  }
  return cli::kExitOk;
}

}  // namespace

void addRegistryCommand(cli::NCliApp& cli) {
  CLI::App* registry = cli.addCommand(cli.root(), "registry", "look at the machine's registry",
                                      "cvdt-host registry show 'HKLM\\SOFTWARE\\Plumbex\\Corvane'");
  auto options = std::make_shared<std::pair<std::string, bool>>();
  CLI::App* show = cli.addCommand(
      *registry, "show", "the values of a registry key, as the module reads them",
      "cvdt-host registry show 'HKLM\\SOFTWARE\\SampleViewer' --64",
      [options] { return showKey(options->first, options->second); });
  show->add_option("KEY", options->first, "ROOT\\PATH, e.g. HKLM\\SOFTWARE\\Plumbex\\Corvane")->required();
  show->add_flag("--64", options->second, "read the 64-bit view (default: the 32-bit view the module sees)");
}

}  // namespace cvdt::host

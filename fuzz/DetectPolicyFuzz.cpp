// Fuzz target: a product policy examined by the detection manager (platform sections, then the
// installed-section through the evaluator), and the whole input evaluated as an installed-section
// too, so texts longer than a target's policy field reach the evaluator. The conditions look at a
// machine laid out once in a temporary folder.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "detect/NEswDetectMgr.h"
#include "detect/NEswDetectParser.h"
#include "platform/posix/MachineLayout.h"

namespace {

std::string g_root;

void removeMachine() {
  std::error_code ec;
  if (!g_root.empty()) std::filesystem::remove_all(g_root, ec);
}

// A 64-bit Windows 10 machine with a few facts for the seed policies to find.
bool layOutMachineOnce() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cvdt-fuzz-detect-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return false;
  g_root = pattern;
  std::atexit(removeMachine);
  unsetenv("DISPLAY");  // windowExists: no display, so no X connection per input
  plat::posix::MachineConfig config = plat::posix::defaultMachine(g_root + "/m", true);
  plat::posix::LayoutOptions options;
  std::string error;
  return plat::posix::layOutMachine(config, options, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = layOutMachineOnce();
  if (!ready) std::abort();
  std::string text(reinterpret_cast<const char*>(data), size);

  ProductTarget target{};
  std::memcpy(target.pcPolicy, text.data(), std::min(size, sizeof target.pcPolicy - 1));
  target.bReal_Installed = 1;
  target.bPlatformMatched = 7;
  CRV::CVDT::AUTO_DIST::NEswDetectMgr mgr;
  mgr.init("", "");
  int examined = mgr.detect(&target, 1, 0);
  if (target.bDetectDone != 0 && target.bDetectDone != 1) std::abort();
  if (target.bReal_Installed != 0 && target.bReal_Installed != 1) std::abort();
  if (examined == 1 && target.bDetectDone == 1 && target.bPlatformMatched != 1) std::abort();
  if (examined == 0 && target.bDetectDone != 0) std::abort();

  NEswDetectParser parser;
  int result = 5;
  bool ok = parser.evaluate(text.c_str(), result);
  if (ok != (result == 0 || result == 1)) std::abort();
  if (ok && parser.errorFlag() != 0) std::abort();
  return 0;
}

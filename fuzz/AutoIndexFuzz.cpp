// Fuzz target: the automatic index file, loaded by a worker of an emulated machine from the
// local folder as stage 2 loads it. Whatever the bytes, the load ends with success or the
// invalid-format status, and every text field of the item stays terminated inside its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "autodist/NAutoDist.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "platform/posix/MachineConfig.h"
#include "support/FuzzScratch.h"

namespace {

// The module lives in the machine's module folder, so the worker's local folder is there too.
bool prepare() {
  static cvdt::fuzz::FuzzScratch scratch(1042);
  std::string module = plat::posix::currentMachine()->moduleFolder + "\\cvdt.dll";
  NMisc::setThisModule(plat::moduleHandleForFile(module));
  return true;
}

bool terminated(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

void checkItem(const ADistItem& item) {
  bool ok = terminated(item.m_szLabel, sizeof item.m_szLabel) &&
            terminated(item.m_szDstFolder, sizeof item.m_szDstFolder) &&
            terminated(item.m_szSubFolder, sizeof item.m_szSubFolder) &&
            terminated(item.m_szCleanUp, sizeof item.m_szCleanUp) &&
            terminated(item.m_szProgram, sizeof item.m_szProgram) &&
            terminated(item.m_szProgramArgs, sizeof item.m_szProgramArgs) &&
            terminated(item.m_szAccount, sizeof item.m_szAccount) &&
            terminated(item.m_szStatus, sizeof item.m_szStatus);
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = prepare();
  if (!ready) std::abort();
  NAutoDist worker;  // fresh file maps for every input
  std::string local = plat::toHostPath(std::string(worker.localFolder().text()) + "\\7.idx");
  {
    std::ofstream out(local, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  ADistItem item{};
  item.m_nDistId = 7;
  std::strcpy(item.m_szStatus, "070");
  bool loaded = worker.idxFileLoad(item);
  if (!loaded && std::strcmp(item.m_szStatus, "902") != 0) std::abort();
  checkItem(item);
  return 0;
}

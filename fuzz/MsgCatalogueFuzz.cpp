// Fuzz target: the message catalogue (UTF-16 lines holding <Msg Lang=".." Id=".." Text=".."
// App=".."/> entries) on a Korean system, with and without an application filter, and lookups.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/NMsgFile.h"
#include "support/FuzzScratch.h"

namespace {

cvdt::fuzz::FuzzScratch& scratch() {
  static cvdt::fuzz::FuzzScratch folder(1042);
  return folder;
}

void lookUp(const NMsgFile& catalogue, const std::string& idText) {
  for (const char* id : {"1901", "1", "0", "-1", "4294967295", idText.c_str()}) {
    NString text = catalogue.getText(id);
    text.length();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratch().windows("cvmsg.bin");
  scratch().write("cvmsg.bin", data, size);
  std::string idText(reinterpret_cast<const char*>(data), size < 12 ? size : 12);
  NMsgFile all;
  all.loadFile(path.c_str(), "");
  lookUp(all, idText);
  NMsgFile filtered;
  filtered.loadFile(path.c_str(), "cvdt");
  lookUp(filtered, idText);
  return 0;
}

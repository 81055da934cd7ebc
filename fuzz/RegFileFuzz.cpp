// Fuzz target: a .reg file read into the changes it asks for (decoding, logical lines, key and
// value lines), without making them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "RegFileParser.h"
#include "RegFileText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string text;
  if (!RegFileText::decode(bytes, text)) return 0;
  std::vector<RegChange> changes;
  if (plat::Status s = RegFileParser::parse(text, changes); !s) {
    if (!changes.empty() || s.message().empty()) std::abort();
    return 0;
  }
  for (const RegChange& change : changes) {
    if (change.path.empty()) std::abort();
  }
  return 0;
}

// Replacement of V3VName.dll: the engine date is the first line of "V3EngineDate.txt" beside
// the library.
#include <string>

#include "V3Text.h"
#include "net/CompanionApi.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformText.h"

CVDT_COMPANION_EXPORT int CVDT_CDECL AhnInitializeNameFile(const V3Char* systemDirectory) {
  return systemDirectory != nullptr && *systemDirectory != 0 ? 1 : 0;
}

CVDT_COMPANION_EXPORT int CVDT_CDECL AhnGetEngineDateString(int kind, V3Char* buffer,
                                                            int capacity) {
  if (kind != 1 || buffer == nullptr || capacity <= 0) return 0;
  std::string content;
  if (!plat::readHostFile(plat::toHostPath(cvdt::v3::ownFolder() + "V3EngineDate.txt"), content))
    return 0;
  std::string line = content.substr(0, content.find_first_of("\r\n"));
  if (line.empty()) return 0;
  std::u16string wide = plat::utf8ToWide(line);  // the file is UTF-8
  int count = 0;
  for (; count < capacity - 1 && count < static_cast<int>(wide.size()); ++count)
    buffer[count] = wide[count];
  buffer[count] = 0;
  return 1;
}

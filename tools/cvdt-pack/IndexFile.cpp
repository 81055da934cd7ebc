// Reading an index file through the module's reader and tokenizer.
#include "IndexFile.h"

#include <filesystem>

#include "platform/NStrtok.h"
#include "platform/NUnicodeFileReader.h"
#include "platform/PlatformFs.h"

namespace cvdt::pack {

bool IndexFile::read(const std::string& hostPath) {
  m_lines.clear();
  NUnicodeFileReader reader;
  const std::string windows =
      plat::toWindowsPath(std::filesystem::absolute(hostPath).string());
  if (reader.open(windows.c_str()) != 1) return false;
  NString line;
  int endOfFile = 0;
  NStrtok tokenizer;
  while (reader.readLine(line, endOfFile) == 1 && endOfFile == 0) {
    NStringArray& fields = tokenizer.split(line.text(), "|@");
    Fields row;
    for (int i = 0; i < fields.getCount(); ++i) row.push_back(fields.getAt(i).text());
    m_lines.push_back(row);
  }
  return true;
}

}  // namespace cvdt::pack

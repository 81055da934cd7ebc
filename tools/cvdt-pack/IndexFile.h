// IndexFile: an unpacked index file read back the way the module reads it (the module's UTF-16
// line reader and its "|@" tokenizer), for checking what was served.
#pragma once

#include <string>
#include <vector>

namespace cvdt::pack {

class IndexFile {
 public:
  using Fields = std::vector<std::string>;

  // Reads the file (host path). False when the module would not open it (no FF FE mark).
  bool read(const std::string& hostPath);
  // Every line split at "|@", in file order.
  const std::vector<Fields>& lines() const { return m_lines; }

 private:
  std::vector<Fields> m_lines;
};

}  // namespace cvdt::pack

// Reader of ini files with the Windows private-profile rules: sections and keys compare
// ignoring case, the first section and key of a name win, values are trimmed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace plat {

class IniFile {
 public:
  // Parses ini text (UTF-8 or ANSI; a UTF-8 or UTF-16LE byte-order mark is accepted).
  // Lines that are neither a section, a key=value pair nor a comment are ignored.
  void parse(const std::string& content);
  // Reads a host file; false when it cannot be read (the object is then empty).
  bool load(const std::string& hostPath);

  bool hasSection(const std::string& section) const;
  // The value of the first matching key of the first matching section.
  bool get(const std::string& section, const std::string& key, std::string& value) const;
  std::string getString(const std::string& section, const std::string& key,
                        const std::string& fallback) const;
  // GetPrivateProfileInt: leading white space, an optional sign, "0x" hex or decimal digits;
  // a value without digits gives 0; an absent key gives the fallback.
  long getInt(const std::string& section, const std::string& key, long fallback) const;
  // Keys of a section in file order.
  std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;

  // The integer conversion of a profile value, exposed for callers with their own text.
  static long profileInt(const std::string& text);

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  const Section* findSection(const std::string& name) const;
  std::vector<Section> m_sections;
};

}  // namespace plat

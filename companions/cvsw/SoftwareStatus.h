// The status of one piece of software on this machine, as the administrator or the software's
// installer recorded it under HKLM\SOFTWARE\Plumbex\Corvane\SoftwareStatus (the 32-bit view,
// else the 64-bit view).
#pragma once

#include <cstdint>
#include <string>

class SoftwareStatus {
 public:
  // The key below HKEY_LOCAL_MACHINE; one REG_DWORD value per software id, named by the id in
  // decimal, holding the flag word.
  static constexpr const char* kKeyPath = "SOFTWARE\\Plumbex\\Corvane\\SoftwareStatus";

  // The flag word for a software id given as decimal text: the recorded word (the 32-bit view
  // wins when both views hold one); 0 when nothing is recorded for it in either view;
  // kSwStatusUnknown when the text is not a decimal id, the registry cannot be read or the
  // value is not a REG_DWORD.
  static uint32_t query(const char* softwareIdText);

  // The value name for an id text: its decimal number without leading zeros; false when the
  // text is not 1 to 20 decimal digits naming a number above 0.
  static bool valueName(const char* softwareIdText, std::string& name);

 private:
  enum class Lookup { Found, Missing, Failed };
  static Lookup lookUp(uint32_t view, const std::string& name, uint32_t& flags);
};

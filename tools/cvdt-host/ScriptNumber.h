// Strict reading of the numbers in an agent script line (command ids, distribution ids, session
// and process ids): a value that is not a whole decimal number of the field's range is refused
// with an error naming it, never cut or wrapped into the range.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace cvdt::host {

// Thrown for a number that does not fit its field; what() names the field and the value.
class BadScriptNumber : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decimal digits only (no sign, no blanks), 0 to 4294967295. Throws BadScriptNumber.
uint32_t scriptUint32(const std::string& text, const char* what);
// An optional minus sign and decimal digits, -2147483648 to 2147483647. Throws BadScriptNumber.
int32_t scriptInt32(const std::string& text, const char* what);

}  // namespace cvdt::host

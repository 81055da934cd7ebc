// NCliNumber: strict reading of the numbers an operator types on a tool's command line: decimal
// digits only (leading zeros allowed, never octal or hexadecimal), within the option's range.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include <CLI/CLI.hpp>

namespace cvdt::cli {

class NCliNumber {
 public:
  // text as a decimal number within [nLow, nHigh]: an optional '-' (only when nLow < 0) and
  // digits, nothing else. Returns false (value untouched) otherwise.
  static bool parse(const std::string& text, int64_t nLow, int64_t nHigh, int64_t& value);
  // The message for a refused value: "'TEXT' is not a decimal number from LOW to HIGH".
  static std::string refusal(const std::string& text, int64_t nLow, int64_t nHigh);

  // Adds the option "name" to app; a given value is read by parse() into target, and a value
  // that is not one throws CLI::ValidationError naming the option and the value. The current
  // value of an arithmetic target is shown as the default (a std::optional target stays empty
  // unless given).
  template <typename T>
  static CLI::Option* add(CLI::App& app, const std::string& name, T& target, int64_t nLow,
                          int64_t nHigh, const std::string& description) {
    CLI::Option* option = app.add_option_function<std::string>(
        name,
        [&target, nLow, nHigh, name](const std::string& text) {
          target = static_cast<T>(checked(optionName(name), text, nLow, nHigh));
        },
        description);
    option->type_name("N");
    if constexpr (std::is_arithmetic_v<T>) option->default_str(std::to_string(target));
    return option;
  }

  // parse() or CLI::ValidationError(what, refusal()).
  static int64_t checked(const std::string& what, const std::string& text, int64_t nLow,
                         int64_t nHigh);

 private:
  // "--a,-b" -> "--a": the name an operator sees in a message.
  static std::string optionName(const std::string& names);
};

}  // namespace cvdt::cli

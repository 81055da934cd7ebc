// SiteText: the narrow code page a site's agents speak (the ANSI code page of their Windows
// language), and the conversions between it and the UTF-8 the gateway stores and prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

namespace cvdt::gateway {

class SiteText {
 public:
  // codePage 0: the site is not named; texts are stored as they came.
  explicit SiteText(uint32_t codePage = 0) : m_nCodePage(codePage) {}

  // Reads "--codepage N": a Windows code page number the C library can convert (65001 is
  // UTF-8). False for anything else.
  static bool parse(const std::string& text, uint32_t& codePage);
  // Adds "--codepage N" to command: a given value is read by parse() into codePage, and one it
  // refuses is a command-line error naming the option and the value.
  static CLI::Option* addOption(CLI::App& command, uint32_t& codePage, const std::string& description);
  static bool isUtf8(std::string_view text);

  uint32_t codePage() const { return m_nCodePage; }
  // A text an agent sent, as it is stored: with a code page, decoded to UTF-8 (a byte it does
  // not define, or half a double-byte character where the agent cut a text, becomes U+FFFD);
  // without one, unchanged, bytes that are not UTF-8 included.
  std::string toStored(std::string_view wire) const;
  // A stored text as an agent reads it: with a code page, UTF-8 encoded in it ("?" for a
  // character it lacks); a stored text that is not UTF-8, and any text without a code page,
  // unchanged.
  std::string toWire(const std::string& stored) const;
  // A stored text for a terminal or JSON: UTF-8 stays; other bytes are decoded with the code
  // page, or without one shown as U+FFFD each.
  std::string toDisplay(const std::string& stored) const;

 private:
  uint32_t m_nCodePage;
};

}  // namespace cvdt::gateway

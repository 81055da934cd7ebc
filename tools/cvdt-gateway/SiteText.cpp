// The site code page of the gateway: conversions through the platform layer's iconv backend.
#include "SiteText.h"

#include "NCliNumber.h"
#include "platform/PlatformText.h"

namespace cvdt::gateway {

bool SiteText::parse(const std::string& text, uint32_t& codePage) {
  int64_t value = 0;  // Windows code page numbers fit 16 bits
  if (!cli::NCliNumber::parse(text, 1, 0xFFFF, value)) return false;
  if (!plat::isCodePageAvailable(static_cast<uint32_t>(value))) return false;
  codePage = static_cast<uint32_t>(value);
  return true;
}

CLI::Option* SiteText::addOption(CLI::App& command, uint32_t& codePage,
                                const std::string& description) {
  return command
      .add_option_function<std::string>(
          "--codepage",
          [&codePage](const std::string& text) {
            if (!parse(text, codePage))
              throw CLI::ValidationError("--codepage", "'" + text + "' is not a code page number "
                                                       "this system converts, such as 949");
          },
          description)
      ->type_name("N");
}

bool SiteText::isUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    if (lead >= 0xC2 && lead <= 0xDF) extra = 1;
    else if (lead >= 0xE0 && lead <= 0xEF) extra = 2;
    else if (lead >= 0xF0 && lead <= 0xF4) extra = 3;
    else if (lead >= 0x80) return false;
    if (text.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

std::string SiteText::toStored(std::string_view wire) const {
  std::string text(wire);
  if (m_nCodePage == 0) return text;
  return plat::wideToUtf8(plat::codePageToWide(m_nCodePage, text));
}

std::string SiteText::toWire(const std::string& stored) const {
  if (m_nCodePage == 0 || m_nCodePage == plat::kCodePageUtf8 || !isUtf8(stored)) return stored;
  return plat::wideToCodePage(m_nCodePage, plat::utf8ToWide(stored));
}

std::string SiteText::toDisplay(const std::string& stored) const {
  if (isUtf8(stored)) return stored;
  if (m_nCodePage == 0) return plat::wideToUtf8(plat::utf8ToWide(stored));
  return plat::wideToUtf8(plat::codePageToWide(m_nCodePage, stored));
}

}  // namespace cvdt::gateway

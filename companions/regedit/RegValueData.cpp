// Value data forms of .reg files.
#include "RegValueData.h"

#include <cctype>

#include "platform/PlatformRegistry.h"
#include "platform/PlatformText.h"

namespace {

bool startsWithNoCase(const std::string& text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
      return false;
  }
  return true;
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string trim(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// What follows the data: nothing, or a comment.
bool onlyComment(const std::string& rest) {
  std::string tail = trim(rest);
  return tail.empty() || tail[0] == ';';
}

std::string withoutComment(const std::string& text) {
  size_t semicolon = text.find(';');
  return trim(semicolon == std::string::npos ? text : text.substr(0, semicolon));
}

bool isTextType(uint32_t type) {
  return type == plat::kRegSz || type == plat::kRegExpandSz || type == plat::kRegMultiSz;
}

std::vector<uint8_t> utf16ToAnsi(const std::vector<uint8_t>& bytes) {
  std::u16string wide;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    wide.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  std::string narrow = plat::wideToAnsi(wide);
  return std::vector<uint8_t>(narrow.begin(), narrow.end());
}

}  // namespace

bool RegValueData::readQuoted(const std::string& text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  std::string value;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      out = value;
      pos = i + 1;
      return true;
    }
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) ++i;
    value.push_back(text[i]);
  }
  return false;
}

plat::Status RegValueData::parse(const std::string& text, bool unicodeFile, RegValueData& out) {
  RegValueData data;
  std::string body = trim(text);
  plat::Status status;
  if (!body.empty() && body[0] == '"') {
    size_t pos = 0;
    std::string value;
    if (!readQuoted(body, pos, value) || !onlyComment(body.substr(pos)))
      status =
          plat::Status::failure("a string value without its closing quote, or with text after it");
    data.m_type = plat::kRegSz;
    data.m_bytes.assign(value.begin(), value.end());
    data.m_bytes.push_back(0);
  } else if (withoutComment(body) == "-") {
    data.m_bDelete = true;
  } else if (startsWithNoCase(body, "dword:")) {
    status = data.parseDword(withoutComment(body.substr(6)));
  } else if (startsWithNoCase(body, "hex")) {
    status = data.parseHex(body.substr(3), unicodeFile);
  } else {
    status = plat::Status::failure("unknown value data \"" + body + "\"");
  }
  if (status) out = std::move(data);
  return status;
}

plat::Status RegValueData::parseDword(const std::string& digits) {
  bool ok = !digits.empty() && digits.size() <= 8;
  for (char c : digits) ok = ok && isHexDigit(c);
  if (!ok) return plat::Status::failure("dword: needs 1 to 8 hex digits, not \"" + digits + "\"");
  uint32_t value = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
  m_type = plat::kRegDword;
  m_bytes = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return {};
}

// text: what follows "hex": ":BB,.." or "(N):BB,..".
plat::Status RegValueData::parseHex(const std::string& text, bool unicodeFile) {
  m_type = plat::kRegBinary;
  size_t colon = 0;
  if (!text.empty() && text[0] == '(') {
    size_t close = text.find(')');
    std::string digits = close == std::string::npos ? "" : text.substr(1, close - 1);
    bool ok = !digits.empty() && digits.size() <= 8;
    for (char c : digits) ok = ok && isHexDigit(c);
    if (!ok) return plat::Status::failure("hex(N): needs a type number of 1 to 8 hex digits");
    m_type = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    colon = close + 1;
  }
  if (colon >= text.size() || text[colon] != ':')
    return plat::Status::failure("hex data without its colon");
  std::vector<std::string> bytes;
  std::string list = withoutComment(text.substr(colon + 1));
  for (size_t start = 0; !list.empty() && start <= list.size();) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    bytes.push_back(trim(list.substr(start, comma - start)));
    start = comma + 1;
  }
  if (bytes.size() > 1 && bytes.back().empty()) bytes.pop_back();  // a trailing comma
  for (const std::string& byte : bytes) {
    if (byte.empty() || byte.size() > 2 || !isHexDigit(byte[0]) || !isHexDigit(byte.back())) {
      return plat::Status::failure("hex data holds \"" + byte +
                                   "\", not a byte of one or two hex digits");
    }
    m_bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  }
  if (unicodeFile && isTextType(m_type)) {
    if (m_bytes.size() % 2 != 0)
      return plat::Status::failure("UTF-16 text data with an odd number of bytes");
    m_bytes = utf16ToAnsi(m_bytes);
  }
  return {};
}

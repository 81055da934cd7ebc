// MsgCompiler: source checks (ids, texts, UTF-8) and the UTF-16LE catalogue encoding.
#include "MsgCompiler.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// Decodes strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF). Returns
// false with the offset of the first bad byte.
bool decodeUtf8(const std::string& text, std::u32string& out, size_t& badOffset) {
  out.clear();
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, code = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, code = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, code = lead & 0x07u, minimum = 0x10000;
    } else {
      badOffset = i;
      return false;
    }
    if (extra > text.size() - i - 1) {
      badOffset = i;
      return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0u) != 0x80u) {
        badOffset = i;
        return false;
      }
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      badOffset = i;
      return false;
    }
    out.push_back(code);
    i += extra + 1;
  }
  return true;
}

size_t utf16Units(const std::u32string& text) {
  size_t units = 0;
  for (char32_t c : text) {
    units += c >= 0x10000 ? 2 : 1;
  }
  return units;
}

void appendUnit(std::string& out, uint32_t unit) {
  out.push_back(static_cast<char>(unit & 0xFFu));
  out.push_back(static_cast<char>(unit >> 8));
}

void appendUtf16(std::string& out, const std::u32string& text) {
  for (char32_t c : text) {
    if (c >= 0x10000) {
      const uint32_t v = static_cast<uint32_t>(c) - 0x10000u;
      appendUnit(out, 0xD800u | (v >> 10));
      appendUnit(out, 0xDC00u | (v & 0x3FFu));
    } else {
      appendUnit(out, static_cast<uint32_t>(c));
    }
  }
}

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

// Decimal id of at most ten digits that fits 32 bits.
bool parseId(const std::string& text, uint32_t& id) {
  if (text.empty() || text.size() > 10) {
    return false;
  }
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) {
    return false;
  }
  id = static_cast<uint32_t>(value);
  return true;
}

// Empty when the text is usable, else what is wrong with it.
std::string checkText(const std::u32string& text) {
  if (text.find_first_not_of(U" ") == std::u32string::npos) {
    return "the text is empty";
  }
  for (char32_t c : text) {
    if (c == U'"') {
      return "the text contains a double quote";
    }
    if (c < 0x20 || c == 0x7F) {
      return "the text contains a control character (write a line break as \\n)";
    }
  }
  return {};
}

}  // namespace

MsgCompiler::MsgCompiler(std::string appName) : m_strApp(std::move(appName)) {}

bool MsgCompiler::languageFromPath(const std::string& path, uint32_t& language) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string suffix = ".txt";
  if (name.size() <= suffix.size() || name.compare(name.size() - 4, 4, suffix) != 0) {
    return false;
  }
  const std::string stem = name.substr(0, name.size() - suffix.size());
  uint32_t value = 0;
  if (stem.size() > 5 || !parseId(stem, value) || value == 0 || value > 0xFFFF) {
    return false;
  }
  language = value;
  return true;
}

plat::Status MsgCompiler::addFile(const std::string& path) {
  uint32_t language = 0;
  if (!languageFromPath(path, language)) {
    return fail(path, 0, "the file name must be a language id, as in 1033.txt");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return fail(path, 0, "cannot open the file");
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    return fail(path, 0, "cannot read the file");
  }
  return addText(path, language, text);
}

plat::Status MsgCompiler::addText(const std::string& name, uint32_t language,
                                  const std::string& text) {
  std::u32string decoded;
  size_t badOffset = 0;
  if (!decodeUtf8(text, decoded, badOffset)) {
    const size_t lineNumber = 1 + static_cast<size_t>(std::count(
                                      text.begin(), text.begin() + static_cast<long>(badOffset),
                                      '\n'));
    return fail(name, lineNumber, "invalid UTF-8");
  }
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::vector<std::string> lines;
  std::set<std::pair<uint32_t, uint32_t>> seen = m_setKeys;
  for (size_t lineNumber = 1; start <= text.size(); ++lineNumber) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (plat::Status s = addLine(name, lineNumber, language, line, lines, seen); !s) {
      return s;
    }
    start = end + 1;
  }
  m_vecLines.insert(m_vecLines.end(), lines.begin(), lines.end());
  m_setKeys = std::move(seen);
  return {};
}

plat::Status MsgCompiler::addLine(const std::string& name, size_t lineNumber, uint32_t language,
                                  const std::string& line, std::vector<std::string>& lines,
                                  std::set<std::pair<uint32_t, uint32_t>>& seen) {
  if (isBlank(line) || line[0] == '#') {
    return {};
  }
  const size_t tab = line.find('\t');
  if (tab == std::string::npos) {
    return fail(name, lineNumber, "expected ID<TAB>text");
  }
  uint32_t id = 0;
  if (!parseId(line.substr(0, tab), id)) {
    return fail(name, lineNumber, "the id must be a decimal number below 2^32");
  }
  std::u32string text;
  size_t badOffset = 0;
  decodeUtf8(line.substr(tab + 1), text, badOffset);
  const std::string problem = checkText(text);
  if (!problem.empty()) {
    return fail(name, lineNumber, problem);
  }
  if (!seen.insert({language, id}).second) {
    return fail(name, lineNumber, "id " + std::to_string(id) + " is defined twice");
  }
  char head[64];
  std::snprintf(head, sizeof head, "<Msg Lang=\"%4.4u\" Id=\"%u\" App=\"", language, id);
  std::string entry = head + m_strApp + "\" Text=\"" + line.substr(tab + 1) + "\"/>";
  std::u32string units;
  decodeUtf8(entry, units, badOffset);
  if (utf16Units(units) > kMaxLineUnits) {
    return fail(name, lineNumber, "the entry is longer than " + std::to_string(kMaxLineUnits) +
                                      " UTF-16 units");
  }
  lines.push_back(std::move(entry));
  return {};
}

std::string MsgCompiler::catalogue() const {
  std::string out = "\xFF\xFE";
  std::u32string units;
  size_t badOffset = 0;
  for (const std::string& line : m_vecLines) {
    decodeUtf8(line, units, badOffset);
    appendUtf16(out, units);
    appendUnit(out, '\r');
    appendUnit(out, '\n');
  }
  return out;
}

plat::Status MsgCompiler::fail(const std::string& name, size_t lineNumber,
                               const std::string& message) {
  std::ostringstream text;
  text << name << ':';
  if (lineNumber > 0) {
    text << lineNumber << ':';
  }
  text << ' ' << message;
  return plat::Status::failure(text.str());
}

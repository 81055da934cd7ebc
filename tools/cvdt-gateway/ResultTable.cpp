// Text and JSON rendering of the admin commands' query results.
#include "ResultTable.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace cvdt::gateway {
namespace {

constexpr size_t kMaxCellWidth = 60;

// Length of the valid UTF-8 sequence at text[at], or 0 when there is none.
size_t utf8Length(const std::string& text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

cli::NJson integerValue(const std::string& text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size()) return value;
  return cli::NCliJson::utf8(text);  // SQLite holds what it was given; keep it as text
}

// Terminal columns of a UTF-8 text: two for a wide East Asian character, one for any other.
size_t displayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    size_t length = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : utf8Length(text, i);
    uint32_t cp = 0;
    if (length == 3)
      cp = ((text[i] & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
    bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                (cp >= 0xFFE0 && cp <= 0xFFE6) || length == 4;
    width += wide ? 2 : 1;
    i += length == 0 ? 1 : length;
  }
  return width;
}

// The first count characters of text (a byte that is not UTF-8 counts as one).
std::string firstCharacters(const std::string& text, size_t count, bool& cut) {
  size_t i = 0;
  for (size_t n = 0; n < count && i < text.size(); ++n) {
    size_t length = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : utf8Length(text, i);
    i += length == 0 ? 1 : length;
  }
  cut = i < text.size();
  return text.substr(0, i);
}

}  // namespace

void ResultTable::fill(std::vector<SqlRow> rows, const SiteText& site) {
  for (SqlRow& row : rows) {
    row.resize(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
      if (row[i] && site.codePage() != 0 && m_columns[i].kind == Kind::Text)
        row[i] = site.toDisplay(*row[i]);
    }
    m_rows.push_back(std::move(row));
  }
}

std::string ResultTable::cell(const std::optional<std::string>& value) {
  if (!value) return "-";
  bool cut = false;
  std::string out = firstCharacters(*value, kMaxCellWidth, cut);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return cut ? out + "..." : out;
}

std::string ResultTable::text() const {
  std::vector<size_t> widths;
  for (const Column& column : m_columns) widths.push_back(column.name.size());
  for (const auto& row : m_rows) {
    for (size_t i = 0; i < row.size(); ++i)
      widths[i] = std::max(widths[i], displayWidth(cell(row[i])));
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
      out += cells[i];
      if (i + 1 < cells.size()) out += std::string(widths[i] - displayWidth(cells[i]) + 2, ' ');
    }
    return out + "\n";
  };
  std::vector<std::string> header;
  for (const Column& column : m_columns) header.push_back(column.name);
  std::string out = line(header);
  for (const auto& row : m_rows) {
    std::vector<std::string> cells;
    for (const auto& value : row) cells.push_back(cell(value));
    out += line(cells);
  }
  return out;
}

cli::NJson ResultTable::json() const {
  cli::NJson rows = cli::NJson::array();
  for (const auto& row : m_rows) {
    cli::NJson object = cli::NJson::object();
    for (size_t i = 0; i < m_columns.size(); ++i) {
      const auto& value = row[i];
      if (!value) object[m_columns[i].name] = nullptr;
      else if (m_columns[i].kind == Kind::Integer) object[m_columns[i].name] = integerValue(*value);
      else object[m_columns[i].name] = cli::NCliJson::utf8(*value);
    }
    rows.push_back(std::move(object));
  }
  return rows;
}

}  // namespace cvdt::gateway

// Text and JSON rendering of the admin commands' query results.
#include "ResultTable.h"

#include <algorithm>
#include <cstdio>

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

}  // namespace

bool ResultTable::fill(SqlStatement& query) {
  int rc;
  while ((rc = query.step()) == SQLITE_ROW) {
    std::vector<std::optional<std::string>> row;
    for (size_t i = 0; i < m_columns.size(); ++i) {
      int column = static_cast<int>(i);
      row.push_back(query.isNull(column) ? std::nullopt
                                         : std::optional<std::string>(query.text(column)));
    }
    m_rows.push_back(std::move(row));
  }
  query.reset();
  return rc == SQLITE_DONE;
}

std::string ResultTable::cell(const std::optional<std::string>& value) {
  if (!value) return "-";
  std::string out = value->substr(0, kMaxCellWidth);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return value->size() > kMaxCellWidth ? out + "..." : out;
}

std::string ResultTable::text() const {
  std::vector<size_t> widths;
  for (const Column& column : m_columns) widths.push_back(column.name.size());
  for (const auto& row : m_rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], cell(row[i]).size());
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
      out += cells[i];
      if (i + 1 < cells.size()) out += std::string(widths[i] - cells[i].size() + 2, ' ');
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

std::string ResultTable::json() const {
  std::string out = "[";
  for (size_t r = 0; r < m_rows.size(); ++r) {
    out += r == 0 ? "{" : ",{";
    for (size_t i = 0; i < m_columns.size(); ++i) {
      const auto& value = m_rows[r][i];
      out += (i == 0 ? "" : ",") + jsonString(m_columns[i].name) + ":";
      if (!value) out += "null";
      else out += m_columns[i].kind == Kind::Integer ? *value : jsonString(*value);
    }
    out += "}";
  }
  return out + "]";
}

std::string ResultTable::jsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c >= 0x80 ? utf8Length(text, i) : 1;
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || length == 0) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out.append(text, i, length);
    }
    i += length == 0 ? 1 : length;
  }
  return out + "\"";
}

}  // namespace cvdt::gateway

// Text and JSON rendering of the admin commands' query results.
#include "ResultTable.h"

#include <algorithm>
#include <charconv>

namespace cvdt::gateway {
namespace {

constexpr size_t kMaxCellWidth = 60;

cli::NJson integerValue(const std::string& text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size()) return value;
  return cli::NCliJson::utf8(text);  // SQLite holds what it was given; keep it as text
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

// ResultTable: rows read from a query, printed as aligned text columns or as JSON objects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "NCliJson.h"
#include "SiteText.h"
#include "SqlSession.h"

namespace cvdt::gateway {

class ResultTable {
 public:
  enum class Kind { Text, Integer };
  struct Column {
    std::string name;
    Kind kind;
  };

  explicit ResultTable(std::vector<Column> columns) : m_columns(std::move(columns)) {}

  // Column i of each row (from either engine) fills column i of the table. With a site code
  // page, a stored text that is not UTF-8 is decoded with it.
  void fill(std::vector<SqlRow> rows, const SiteText& site = SiteText());
  size_t size() const { return m_rows.size(); }

  // A header line and one line per row, columns padded to their widest cell; NULL shows as "-",
  // control characters as spaces, and cells are cut at 60 characters; a wide (East Asian)
  // character takes two columns.
  std::string text() const;
  // A JSON array of objects named by the columns, in column order; NULL is null, Integer
  // columns are numbers, and text bytes that are not UTF-8 stand for U+0080 to U+00FF.
  cli::NJson json() const;

 private:
  static std::string cell(const std::optional<std::string>& value);

  std::vector<Column> m_columns;
  std::vector<std::vector<std::optional<std::string>>> m_rows;
};

}  // namespace cvdt::gateway

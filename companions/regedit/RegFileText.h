// A .reg file's text: its encoding undone and its lines joined where they continue.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Status.h"

struct RegLine {
  size_t number;     // 1-based number of the line's first physical line
  std::string text;  // without the line break; continuations joined
};

class RegFileText {
 public:
  // The file's text as ANSI (UTF-8 here): UTF-16LE when the bytes start with FF FE, otherwise
  // the bytes themselves (a UTF-8 byte-order mark is dropped). A failure says why for a UTF-16
  // file of an odd length; text is then unchanged.
  static plat::Status decode(const std::string& bytes, std::string& text);

  // The logical lines: CR LF or LF ends a line; a line that ends in a backslash (and is not a
  // comment or key line) goes on in the next one, whose leading blanks are dropped.
  static std::vector<RegLine> lines(const std::string& text);
};

// MsgCompiler: checks UTF-8 message sources and encodes them as the UTF-16 message catalogue.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Status.h"

// A source holds one entry per line, "ID<TAB>text", in UTF-8 (a leading byte-order mark is
// allowed). Empty lines and lines that begin with '#' are skipped. The language is the source's
// file name without ".txt" ("1033.txt" is US English). A text is kept as written: the pair
// backslash-n stands for a line break and is left for the reader to expand.
//
// The catalogue is UTF-16LE with the mark FF FE, one line per entry ending in CR LF:
//   <Msg Lang="1033" Id="1530" App="cvdt" Text="..."/>
class MsgCompiler {
 public:
  // The longest line, in UTF-16 units without its CR LF, that the catalogue reader keeps whole.
  static constexpr size_t kMaxLineUnits = 2045;

  explicit MsgCompiler(std::string appName);

  // Reads and checks one source file. A failure on the first problem says
  // "name:line: what is wrong"; entries of a refused source are not kept.
  plat::Status addFile(const std::string& path);
  // Checks source text whose language is already known; name only labels messages.
  plat::Status addText(const std::string& name, uint32_t language, const std::string& text);

  // The whole catalogue file, byte-order mark included.
  std::string catalogue() const;
  size_t entryCount() const { return m_vecLines.size(); }

  // Language id from a source path ("data/1042.txt" gives 1042); false when the file name is
  // not a decimal language id below 65536 followed by ".txt".
  static bool languageFromPath(const std::string& path, uint32_t& language);

 private:
  plat::Status addLine(const std::string& name, size_t lineNumber, uint32_t language,
                       const std::string& line, std::vector<std::string>& lines,
                       std::set<std::pair<uint32_t, uint32_t>>& seen);
  static plat::Status fail(const std::string& name, size_t lineNumber, const std::string& message);

  std::string m_strApp;
  std::vector<std::string> m_vecLines;                  // UTF-8 entry lines, in source order
  std::set<std::pair<uint32_t, uint32_t>> m_setKeys;    // (language, id) already defined
};

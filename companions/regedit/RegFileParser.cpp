// Key and value lines of .reg files.
#include "RegFileParser.h"

#include "RegFileText.h"
#include "RegValueData.h"

namespace {

constexpr const char* kHeader4 = "REGEDIT4";
constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";

std::string trim(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

bool isSkipped(const std::string& line) { return line.empty() || line[0] == ';'; }

// Why Windows would refuse the key path below a root (empty when it would not): a key name
// longer than 255 characters, an empty key name, more than 512 levels, or the deletion of a
// key directly under a root, which is a hive of its own and cannot be deleted.
std::string keyPathProblem(const std::string& path, bool remove) {
  constexpr size_t kMaxKeyName = 255;
  constexpr size_t kMaxLevels = 512;
  size_t levels = 0;
  for (size_t start = 0; start <= path.size(); ++levels) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end == start) return "an empty key name in \"" + path + "\"";
    if (end - start > kMaxKeyName)
      return "a key name longer than 255 characters (" + std::to_string(end - start) + ")";
    start = end + 1;
  }
  if (levels > kMaxLevels)
    return "a key more than 512 levels deep (" + std::to_string(levels) + ")";
  if (remove && levels == 1) return "a top-level key of a hive cannot be deleted";
  return {};
}

}  // namespace

plat::Status RegFileParser::parse(const std::string& text, std::vector<RegChange>& changes) {
  RegFileParser parser;
  bool headerSeen = false;
  for (const RegLine& raw : RegFileText::lines(text)) {
    std::string line = trim(raw.text);
    if (isSkipped(line)) continue;
    if (headerSeen) {
      if (plat::Status s = parser.parseLine(raw.number, line); !s) return s;
      continue;
    }
    if (line != kHeader4 && line != kHeader5) {
      return plat::Status::failure("line " + std::to_string(raw.number) +
                                   ": not a registry file (\"" + kHeader4 + "\" or \"" + kHeader5 +
                                   "\" expected)");
    }
    parser.m_bUnicode = line == kHeader5;
    headerSeen = true;
  }
  if (!headerSeen) return plat::Status::failure("not a registry file: no header line");
  changes = std::move(parser.m_changes);
  return {};
}

plat::Status RegFileParser::parseLine(size_t number, const std::string& line) {
  if (line[0] == '[') return parseKey(number, line);
  if (line[0] == '"' || line[0] == '@') return parseValue(number, line);
  return plat::Status::failure("line " + std::to_string(number) +
                               ": neither a key, a value nor a comment");
}

plat::Status RegFileParser::parseKey(size_t number, const std::string& line) {
  auto fail = [&](const std::string& why) {
    return plat::Status::failure("line " + std::to_string(number) + ": " + why);
  };
  size_t close = line.rfind(']');
  if (close == std::string::npos) return fail("a key line without its closing bracket");
  std::string tail = trim(line.substr(close + 1));
  if (!tail.empty() && tail[0] != ';') return fail("text after a key line's closing bracket");
  std::string name = trim(line.substr(1, close - 1));
  bool remove = !name.empty() && name[0] == '-';
  if (remove) name = trim(name.substr(1));
  size_t slash = name.find('\\');
  RegChange change;
  change.kind = remove ? RegChange::Kind::DeleteKey : RegChange::Kind::CreateKey;
  change.line = number;
  if (!plat::regRootFromName(name.substr(0, slash), change.root))
    return fail("unknown root key \"" + name.substr(0, slash) + "\"");
  change.path = slash == std::string::npos ? "" : name.substr(slash + 1);
  while (!change.path.empty() && change.path.back() == '\\') change.path.pop_back();
  if (change.path.empty()) return fail("a root key itself cannot be created or deleted");
  std::string why = keyPathProblem(change.path, remove);
  if (!why.empty()) return fail(why);
  m_bInKey = !remove;
  m_currentKey = change;
  m_changes.push_back(change);
  return {};
}

plat::Status RegFileParser::parseValue(size_t number, const std::string& line) {
  auto fail = [&](const std::string& why) {
    return plat::Status::failure("line " + std::to_string(number) + ": " + why);
  };
  if (!m_bInKey) return fail("a value line outside a key");
  RegChange change = m_currentKey;
  change.line = number;
  size_t pos = 1;  // past "@", the default value
  if (line[0] == '"') {
    pos = 0;
    if (!RegValueData::readQuoted(line, pos, change.name))
      return fail("a value name without its closing quote");
  }
  pos = line.find_first_not_of(" \t", pos);
  if (pos == std::string::npos || line[pos] != '=') return fail("a value name without \"=\"");
  RegValueData data;
  if (plat::Status s = RegValueData::parse(line.substr(pos + 1), m_bUnicode, data); !s)
    return fail(s.message());
  change.kind = data.isDeletion() ? RegChange::Kind::DeleteValue : RegChange::Kind::SetValue;
  change.type = data.type();
  change.data = data.bytes();
  m_changes.push_back(std::move(change));
  return {};
}

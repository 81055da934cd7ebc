// Sorting the agent's printed lines by command.
#include "AgentLedger.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace cvdt::test {
namespace {

// The text of a JSON string member ("name":"text"), without unescaping; empty when absent.
std::string jsonText(const std::string& object, const std::string& name) {
  std::string key = "\"" + name + "\":\"";
  size_t at = object.find(key);
  if (at == std::string::npos) return {};
  at += key.size();
  return object.substr(at, object.find('"', at) - at);
}

template <typename Key>
const std::vector<std::string>& entryOf(const std::map<Key, std::vector<std::string>>& map,
                                        Key key) {
  static const std::vector<std::string> none;
  auto found = map.find(key);
  return found == map.end() ? none : found->second;
}

}  // namespace

void AgentLedger::consume(const std::string& line) {
  if (takeResult(line) || takeStats(line) || takeAutomatic(line) || takeDialog(line)) return;
  if (line.rfind("call ", 0) == 0) {
    ++m_mapCalls[line.substr(5)];
  } else if (line.rfind("agent: module ", 0) != 0) {
    m_vecOther.push_back(line);
  }
}

bool AgentLedger::takeResult(const std::string& line) {
  if (line.rfind("result {", 0) != 0) return false;
  size_t at = line.find("\"cmd_id\":");
  std::string code = jsonText(line, "code");
  if (at == std::string::npos || code.empty()) {
    m_vecOther.push_back(line);
    return true;
  }
  uint32_t cmdId = static_cast<uint32_t>(std::strtoul(line.c_str() + at + 9, nullptr, 10));
  m_mapCodes[cmdId].push_back(code);
  return true;
}

bool AgentLedger::takeStats(const std::string& line) {
  Descriptor descriptor;
  int consumed = 0;
  char flags[32] = {};
  if (std::sscanf(line.c_str(), "stats-fd %d flags=%31s %n", &descriptor.number, flags, &consumed) == 2 &&
      consumed > 0) {
    descriptor.flags = flags;
    descriptor.target = line.substr(static_cast<size_t>(consumed));
    m_vecPendingDescriptors.push_back(descriptor);
    return true;
  }
  Stats stats;
  if (std::sscanf(line.c_str(), "stats threads=%d fds=%d", &stats.threads, &stats.fds) != 2)
    return false;
  stats.descriptors.swap(m_vecPendingDescriptors);
  m_vecStats.push_back(stats);
  return true;
}

bool AgentLedger::takeAutomatic(const std::string& line) {
  bool item = line.rfind("adist-item {", 0) == 0;
  if (!item && line.rfind("adist {", 0) != 0) return false;
  size_t at = line.find("{\"dist\":");
  std::string status = jsonText(line, "status");
  if (at == std::string::npos || status.empty()) {
    m_vecOther.push_back(line);
    return true;
  }
  int32_t distId = static_cast<int32_t>(std::strtol(line.c_str() + at + 8, nullptr, 10));
  (item ? m_mapItemStatuses : m_mapRecordStatuses)[distId].push_back(status);
  return true;
}

// The dialog's block: its title, one indented line per item starting with the item's id, the
// "Now:" line, and an empty line after the block.
bool AgentLedger::takeDialog(const std::string& line) {
  size_t text = line.find_first_not_of(' ');
  bool item = text != std::string::npos && text > 0 &&
              (std::isdigit(static_cast<unsigned char>(line[text])) || line[text] == '-');
  return line.empty() || item || line == "Automatic software distribution" ||
         line.rfind("Now: ", 0) == 0;
}

const std::vector<std::string>& AgentLedger::codesOf(uint32_t cmdId) const {
  return entryOf(m_mapCodes, cmdId);
}

std::vector<std::string> AgentLedger::finalsOf(uint32_t cmdId) const {
  std::vector<std::string> finals;
  for (const std::string& code : codesOf(cmdId))
    if (code != "070") finals.push_back(code);
  return finals;
}

std::vector<uint32_t> AgentLedger::commands() const {
  std::vector<uint32_t> ids;
  for (const auto& entry : m_mapCodes) ids.push_back(entry.first);
  return ids;
}

const std::vector<std::string>& AgentLedger::itemStatusesOf(int32_t distId) const {
  return entryOf(m_mapItemStatuses, distId);
}

const std::vector<std::string>& AgentLedger::recordStatusesOf(int32_t distId) const {
  return entryOf(m_mapRecordStatuses, distId);
}

std::vector<int32_t> AgentLedger::automaticItems() const {
  std::set<int32_t> ids;
  for (const auto& entry : m_mapItemStatuses) ids.insert(entry.first);
  for (const auto& entry : m_mapRecordStatuses) ids.insert(entry.first);
  return std::vector<int32_t>(ids.begin(), ids.end());
}

int AgentLedger::callsSeen(const std::string& callText) const {
  auto found = m_mapCalls.find(callText);
  return found == m_mapCalls.end() ? 0 : found->second;
}

}  // namespace cvdt::test

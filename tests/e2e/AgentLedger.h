// AgentLedger: what a `cvdt-host agent` printed, sorted by command: every result code each
// command id received (in arrival order), the return value of each export call, the statuses
// the published automatic state showed for each item and in its status record, and the
// process figures of its `stats` lines.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cvdt::test {

class AgentLedger {
 public:
  // One open descriptor of a stats listing.
  struct Descriptor {
    int number = -1;
    std::string flags;   // octal open flags from /proc/PID/fdinfo/N
    std::string target;  // the /proc/PID/fd/N link
  };
  struct Stats {
    int threads = -1;
    int fds = -1;
    std::vector<Descriptor> descriptors;  // the descriptors counted in fds
  };

  // Takes one printed line; lines of other kinds are kept apart as "other" lines.
  void consume(const std::string& line);

  // Every code command cmdId received, in arrival order ("070" progress included).
  const std::vector<std::string>& codesOf(uint32_t cmdId) const;
  // The codes that end a command: every code but the "070" progress.
  std::vector<std::string> finalsOf(uint32_t cmdId) const;
  bool hasFinal(uint32_t cmdId) const { return !finalsOf(cmdId).empty(); }
  // Command ids that received any result.
  std::vector<uint32_t> commands() const;
  // How many "call NAME = VALUE" lines were printed with exactly this NAME = VALUE text.
  int callsSeen(const std::string& callText) const;
  // Every status automatic item distId showed in the published item array ("adist-item"
  // lines), and in the status record ("adist" lines), in order.
  const std::vector<std::string>& itemStatusesOf(int32_t distId) const;
  const std::vector<std::string>& recordStatusesOf(int32_t distId) const;
  // The automatic items that showed any status, in either place.
  std::vector<int32_t> automaticItems() const;
  // The figures of every stats line, in order.
  const std::vector<Stats>& stats() const { return m_vecStats; }
  // Lines that were none of the above, nor the agent's own load and unload lines, nor the
  // blocks the automatic progress dialog (started by the module) draws on the agent's output.
  const std::vector<std::string>& otherLines() const { return m_vecOther; }

 private:
  bool takeResult(const std::string& line);
  bool takeStats(const std::string& line);
  bool takeAutomatic(const std::string& line);
  bool takeDialog(const std::string& line);

  std::map<uint32_t, std::vector<std::string>> m_mapCodes;
  std::map<int32_t, std::vector<std::string>> m_mapItemStatuses;
  std::map<int32_t, std::vector<std::string>> m_mapRecordStatuses;
  std::map<std::string, int> m_mapCalls;
  std::vector<Stats> m_vecStats;
  std::vector<Descriptor> m_vecPendingDescriptors;  // stats-fd lines before their stats line
  std::vector<std::string> m_vecOther;
};

}  // namespace cvdt::test

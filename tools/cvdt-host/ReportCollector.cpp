// The reporting component's side of the report-data queue and the result-file folder.
#include "ReportCollector.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "NCliJson.h"
#include "platform/NMisc.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformText.h"

namespace cvdt::host {
namespace {

using report::ReportMessage;
using report::ReportQueue;
using report::ReportRecord;

constexpr size_t kResultNameLength = 44;

std::string objectName(const char* nameTemplate) {
  char name[128];
  std::snprintf(name, sizeof name, nameTemplate, report::kQueueBaseName);
  return name;
}

template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}


// The UTF-16LE text between the byte-order mark and the terminating zero; false when the file
// is not complete yet.
bool decodeResultBytes(const std::string& bytes, std::string& line) {
  if (bytes.size() < 4 || bytes.size() % 2 != 0 || bytes.compare(0, 2, "\xFF\xFE") != 0) return false;
  if (bytes[bytes.size() - 2] != '\0' || bytes[bytes.size() - 1] != '\0') return false;
  std::u16string wide;
  for (size_t i = 2; i + 2 < bytes.size(); i += 2) {
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  line = plat::wideToUtf8(wide);
  return true;
}

}  // namespace

// Through UTF-16 and back, so bytes that are no UTF-8 become U+FFFD.
std::string jsonText(const std::string& text) {
  return plat::wideToUtf8(plat::utf8ToWide(text));
}

plat::Status ReportCollector::open() {
  close();
  m_strFolder = std::string(NMisc::getModuleFolder(nullptr).text()) + "\\dataV2";
  if (!m_evtFilled.create(objectName(report::kFilledTemplate), false, false) ||
      !m_evtAvail.create(objectName(report::kAvailTemplate), false, false) ||
      !m_shmQueue.create(objectName(report::kMappingTemplate), sizeof(ReportQueue))) {
    close();
    return plat::Status::failure("cannot create the report-data queue");
  }
  m_pQueue = static_cast<ReportQueue*>(m_shmQueue.map());
  if (m_pQueue == nullptr || m_shmQueue.size() < sizeof(ReportQueue)) {
    close();
    return plat::Status::failure("cannot map the report-data queue");
  }
  if (m_shmQueue.alreadyExisted()) readSlots(detachFilled(), m_vecLeftover);
  linkAllFree();
  return {};
}

void ReportCollector::close() {
  m_pQueue = nullptr;
  m_shmQueue.close();
  m_evtFilled.close();
  m_evtAvail.close();
  m_vecLeftover.clear();
  m_vecResting.clear();
}

bool ReportCollector::waitFilled(uint32_t timeoutMs) { return m_evtFilled.wait(timeoutMs); }

void ReportCollector::takeQueued(std::vector<CommandResult>& out) {
  out.insert(out.end(), m_vecLeftover.begin(), m_vecLeftover.end());
  m_vecLeftover.clear();
  if (m_pQueue == nullptr) return;
  std::vector<uint32_t> slots = detachFilled();
  readSlots(slots, out);
  Clock::time_point due = Clock::now() + std::chrono::milliseconds(kRestMs);
  for (uint32_t slot : slots) m_vecResting.emplace_back(slot, due);
  giveBackRested();
}

uint32_t ReportCollector::msUntilRested(uint32_t limit) const {
  if (m_vecResting.empty()) return limit;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_vecResting.front().second -
                                                                    Clock::now()).count() + 1;
  return left <= 0 ? 0 : left < limit ? static_cast<uint32_t>(left) : limit;
}

void ReportCollector::giveBackRested() {
  Clock::time_point now = Clock::now();
  std::vector<uint32_t> rested;
  while (rested.size() < m_vecResting.size() && m_vecResting[rested.size()].second <= now)
    rested.push_back(m_vecResting[rested.size()].first);
  if (rested.empty()) return;
  m_vecResting.erase(m_vecResting.begin(), m_vecResting.begin() + static_cast<long>(rested.size()));
  giveBack(rested);
  m_evtAvail.set();
}

void ReportCollector::takeFiles(std::vector<CommandResult>& out) {
  std::vector<plat::DirEntry> entries;
  if (!plat::listDirectory(m_strFolder, entries)) return;
  std::sort(entries.begin(), entries.end(),
            [](const plat::DirEntry& a, const plat::DirEntry& b) { return a.name < b.name; });
  for (const plat::DirEntry& entry : entries) {
    if (entry.isDirectory || entry.name.size() != kResultNameLength || entry.name.rfind("M01_", 0) != 0)
      continue;
    std::string path = m_strFolder + "\\" + entry.name;
    plat::File file;
    if (!file.open(path, plat::FileMode::Read)) continue;
    std::string bytes(static_cast<size_t>(std::max<int64_t>(file.size(), 0)), '\0');
    bytes.resize(file.read(bytes.data(), bytes.size()));
    file.close();
    CommandResult result;
    if (!parseResultFile(entry.name, bytes, result)) continue;
    plat::setNormalAttributes(path);
    if (plat::deleteFile(path)) out.push_back(result);
  }
}

std::string ReportCollector::toJson(const CommandResult& result) {
  cli::NJson json = {{"source", result.source},
                     {"cmd_id", result.cmdId},
                     {"datetime", jsonText(result.dateTime)},
                     {"code", jsonText(result.code)},
                     {"detail", jsonText(result.detail)}};
  if (result.source == "file") json["unit_key"] = jsonText(result.unitKey);
  return cli::NCliJson::line(json);
}

// "M01_" + unit key + "_" + date-time + "_" + 12-digit id; the line is "<id>|@<code>|@<detail>".
bool ReportCollector::parseResultFile(const std::string& name, const std::string& bytes,
                                      CommandResult& result) {
  std::string line;
  if (name.size() != kResultNameLength || name[31] != '_' || !decodeResultBytes(bytes, line))
    return false;
  std::string middle = name.substr(4, 27);  // key, "_", date-time
  size_t split = middle.rfind('_');
  if (split == std::string::npos) return false;
  result.source = "file";
  result.unitKey = middle.substr(0, split);
  result.dateTime = middle.substr(split + 1);
  result.cmdId = static_cast<uint32_t>(std::strtoul(name.c_str() + 32, nullptr, 10));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  size_t first = line.find("|@");
  if (first == std::string::npos) return true;  // cut before the code: only the id is known
  result.cmdId = static_cast<uint32_t>(std::strtol(line.c_str(), nullptr, 10));
  size_t second = line.find("|@", first + 2);
  result.code = line.substr(first + 2, second == std::string::npos ? std::string::npos : second - first - 2);
  if (second != std::string::npos) result.detail = line.substr(second + 2);
  return true;
}

std::vector<uint32_t> ReportCollector::detachFilled() {
  std::vector<uint32_t> slots;
  uint32_t index = plat::interlockedExchange(&m_pQueue->m_nFilledHead, 0);
  while (index != 0 && index < report::kSlotCount && slots.size() < report::kSlotCount - 1) {
    slots.push_back(index);
    index = plat::interlockedRead(&m_pQueue->m_slots[index].m_nNext);
  }
  std::reverse(slots.begin(), slots.end());  // the list is last-in first
  return slots;
}

void ReportCollector::readSlots(const std::vector<uint32_t>& slots, std::vector<CommandResult>& out) {
  for (uint32_t index : slots) {
    const report::ReportSlot& slot = m_pQueue->m_slots[index];
    ReportMessage message{};
    std::memcpy(&message, slot.m_data, std::min<uint32_t>(slot.m_nUsed, sizeof message));
    if (message.m_nCode != report::kMsgCmdResult || message.m_nLength != sizeof(ReportRecord)) {
      std::fprintf(stderr, "cvdt-host reports: skipped a message with code %u\n", message.m_nCode);
      continue;
    }
    const ReportRecord& record = message.m_record;
    CommandResult result;
    result.source = "queue";
    result.cmdId = record.m_nCmdId;
    // The record holds the machine's ANSI text.
    result.dateTime = plat::ansiToUtf8(fieldText(record.m_szDateTime));
    result.code = plat::ansiToUtf8(fieldText(record.m_szResultCode));
    result.detail = plat::ansiToUtf8(fieldText(record.m_szDetail));
    out.push_back(result);
  }
}

// Chains the slots and pushes the chain on the free list in one exchange of the head.
void ReportCollector::giveBack(const std::vector<uint32_t>& slots) {
  for (size_t i = 0; i + 1 < slots.size(); ++i)
    plat::interlockedWrite(&m_pQueue->m_slots[slots[i]].m_nNext, slots[i + 1]);
  uint32_t* last = &m_pQueue->m_slots[slots.back()].m_nNext;
  uint32_t head = plat::interlockedRead(&m_pQueue->m_nFreeHead);
  for (;;) {
    plat::interlockedWrite(last, head);
    uint32_t seen = plat::interlockedCompareExchange(&m_pQueue->m_nFreeHead, slots.front(), head);
    if (seen == head) return;
    head = seen;
  }
}

void ReportCollector::linkAllFree() {
  for (uint32_t i = 1; i < report::kSlotCount; ++i)
    plat::interlockedWrite(&m_pQueue->m_slots[i].m_nNext, i + 1 < report::kSlotCount ? i + 1 : 0);
  plat::interlockedExchange(&m_pQueue->m_nFilledHead, 0);
  plat::interlockedExchange(&m_pQueue->m_nFreeHead, 1);
}

}  // namespace cvdt::host

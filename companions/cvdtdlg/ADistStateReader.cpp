// The state block reader of cvdtdlg.exe.
#include "ADistStateReader.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "autodist/ADistItem.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformText.h"

namespace {

constexpr const char* kAgentKey = "SOFTWARE\\Plumbex\\Corvane";

// Text of a fixed field up to its first zero, never past its end.
std::string fieldText(const char* field, size_t width) {
  const void* end = std::memchr(field, '\0', width);
  // The record holds the machine's ANSI text; the terminal shows UTF-8.
  return plat::ansiToUtf8(std::string(field, end ? static_cast<const char*>(end) - field : width));
}

bool openKey(plat::RegKey& key) {
  return plat::RegKey::open(plat::RegRoot::LocalMachine, kAgentKey,
                            plat::kKeyRead | plat::kKeyWow64_32Key, key) == 0;
}

bool counterOf(plat::RegKey& key, uint32_t& counter) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (key.queryValue(kADistDlgCounterValue, type, data) != 0 || type != plat::kRegSz) return false;
  data.push_back(0);
  counter = static_cast<uint32_t>(std::strtoul(reinterpret_cast<char*>(data.data()), nullptr, 10));
  return true;
}

}  // namespace

bool ADistStateReader::decode(const uint8_t* data, size_t size, ADistDialogState& state) {
  if (data == nullptr || size != sizeof(ADistSharedState)) return false;
  auto block = std::make_unique<ADistSharedState>();
  std::memcpy(block.get(), data, sizeof(ADistSharedState));
  if (block->m_nItemCount < 0 || block->m_nItemCount > ADistSharedState::kMaxItems) return false;
  ADistDialogState read;
  read.counter = state.counter;
  for (int i = 0; i < block->m_nItemCount; ++i) {
    const ADistItem& item = block->m_items[i];
    read.items.push_back({item.m_nDistId, fieldText(item.m_szName, sizeof item.m_szName),
                          fieldText(item.m_szStatus, sizeof item.m_szStatus)});
  }
  const ADistStatusRecord& record = block->m_status;
  read.currentId = record.m_nDistId;
  read.currentStatus = fieldText(record.m_szStatus, sizeof record.m_szStatus);
  read.detail = fieldText(record.m_szDetail, sizeof record.m_szDetail);
  read.percent = record.m_nPercent;
  state = std::move(read);
  return true;
}

bool ADistStateReader::readCounter(uint32_t& counter) const {
  plat::RegKey key;
  return openKey(key) && counterOf(key, counter);
}

bool ADistStateReader::read(ADistDialogState& state) const {
  plat::RegKey key;
  if (!openKey(key)) return false;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (key.queryValue(kADistDlgRecordValue, type, data) != 0 || type != plat::kRegBinary)
    return false;
  ADistDialogState read;
  counterOf(key, read.counter);
  if (!decode(data.data(), data.size(), read)) return false;
  state = std::move(read);
  return true;
}

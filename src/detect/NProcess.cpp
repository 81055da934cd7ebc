// Process snapshots and lookups by image name.
#include "detect/NProcess.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/NMisc.h"
#include "platform/PlatformProcessList.h"

namespace {
constexpr size_t kMaxImageEntry = 259;
constexpr int kMaxImagePath = 1024;
}  // namespace

NProcess::~NProcess() { clear(); }

void NProcess::clear() {
  m_arrImages.clear();
  m_arrIds.clear();
}

bool NProcess::snapshot() {
  clear();
  std::vector<plat::ProcessEntry> processes;
  if (!plat::listProcesses(processes)) return false;
  bool withPaths = NMisc::isXpOrLater() || NMisc::is2000OrLater();
  for (const plat::ProcessEntry& process : processes) {
    char path[kMaxImagePath + 1] = {};
    bool hasPath = withPaths && NMisc::getProcessImagePath(process.id, path, sizeof path) == 1;
    m_arrImages.add(hasPath ? path : process.exeName.c_str());
    NString id;
    id.format("%8.8x", process.id);
    m_arrIds.add(id.text());
  }
  return true;
}

NString NProcess::imageAt(int index) const {
  NString image;
  m_arrImages.getAt(image, index);
  return image;
}

bool NProcess::matches(int index, const char* name) const {
  std::string image = imageAt(index).text();
  if (image.size() > kMaxImageEntry) image.resize(kMaxImageEntry);
  size_t slash = image.rfind('\\');
  NString fileName = slash == std::string::npos ? image.c_str() : image.c_str() + slash + 1;
  return fileName.equalsNoCase(name ? name : "");
}

uint32_t NProcess::find(const char* name) const {
  for (int i = 0; i < m_arrImages.getCount(); ++i) {
    if (!matches(i, name)) continue;
    NString id;
    m_arrIds.getAt(id, i);
    return static_cast<uint32_t>(std::strtoul(id.text(), nullptr, 16));
  }
  return 0;
}

int NProcess::count(const char* name) const {
  int matched = 0;
  for (int i = 0; i < m_arrImages.getCount(); ++i) matched += matches(i, name) ? 1 : 0;
  return matched;
}

NString NProcess::imagePath(uint32_t processId) const {
  std::string path;
  return plat::processImagePath(processId, path) ? NString(path.c_str()) : NString();
}

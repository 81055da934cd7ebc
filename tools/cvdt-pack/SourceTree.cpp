// Walking and checking a package's source folder.
#include "SourceTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "PackError.h"
#include "TextRules.h"

namespace cvdt::pack {

namespace {

constexpr int kMaxDepth = 256;

std::string asciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

SourceTree::SourceTree(const std::string& hostFolder) {
  struct stat info {};
  if (stat(hostFolder.c_str(), &info) != 0) {
    throw PackError("source folder " + hostFolder + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(info.st_mode)) throw PackError("source " + hostFolder + " is not a folder");
  walk(hostFolder, "", 0);
  std::sort(m_entries.begin(), m_entries.end(),
            [](const Entry& a, const Entry& b) { return a.windows < b.windows; });
}

void SourceTree::checkName(const std::string& name, const std::string& hostPath) {
  std::u16string wide;
  if (!TextRules::toUtf16(name, wide)) throw PackError("name is not valid UTF-8: " + hostPath);
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("<>:\"\\|?*", c) != nullptr) {
      throw PackError("name holds a character Windows does not allow: " + hostPath);
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    throw PackError("name ends in a dot or a space, which Windows drops: " + hostPath);
  }
}

void SourceTree::walk(const std::string& hostFolder, const std::string& relative, int depth) {
  if (depth > kMaxDepth) throw PackError("folders nested too deeply at " + hostFolder);
  std::error_code error;
  std::filesystem::directory_iterator it(hostFolder, error), end;
  if (error) throw PackError("cannot list " + hostFolder + ": " + error.message());
  std::map<std::string, std::string> seen;  // lower-case name -> name, for case clashes
  for (; it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::string host = hostFolder + "/" + name;
    checkName(name, host);
    auto [clash, added] = seen.emplace(asciiLower(name), name);
    if (!added) throw PackError("names differ only in letter case: " + clash->second + ", " + host);
    struct stat info {};
    if (lstat(host.c_str(), &info) != 0) throw PackError(host + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
      throw PackError("only folders and plain files can be packed: " + host);
    }
    Entry entry;
    entry.relative = relative.empty() ? name : relative + "/" + name;
    entry.windows = entry.relative;
    std::replace(entry.windows.begin(), entry.windows.end(), '/', '\\');
    entry.host = host;
    entry.folder = S_ISDIR(info.st_mode);
    entry.size = entry.folder ? 0 : static_cast<uint64_t>(info.st_size);
    entry.modified = info.st_mtime;
    m_entries.push_back(entry);
    if (entry.folder) walk(host, entry.relative, depth + 1);
  }
  if (error) throw PackError("cannot list " + hostFolder + ": " + error.message());
}

const SourceTree::Entry* SourceTree::find(const std::string& windows) const {
  for (const Entry& entry : m_entries) {
    if (entry.windows == windows) return &entry;
  }
  return nullptr;
}

uint64_t SourceTree::contentBytes() const {
  uint64_t total = 0;
  for (const Entry& entry : m_entries) total += entry.size;
  return total;
}

time_t SourceTree::newest() const {
  time_t latest = 0;
  for (const Entry& entry : m_entries) latest = std::max(latest, entry.modified);
  return latest;
}

}  // namespace cvdt::pack

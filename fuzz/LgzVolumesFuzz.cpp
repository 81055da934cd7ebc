// Fuzz target: cvlgz's reader unpacking an archive cut into volumes ("X.lgz", "X.l00001", ...).
// Input: one byte whose low two bits give the volume count less one, one byte per cut giving
// where it falls (a fraction of the rest in 256ths), then the archive bytes. Each run unpacks
// into a fresh folder beside a sentinel folder and checks that nothing else in the scratch
// folder changed; the destination is removed after each run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "LgzExtraction.h"
#include "support/FuzzScratch.h"

namespace fs = std::filesystem;

namespace {

cvdt::fuzz::FuzzScratch& scratch() {
  static cvdt::fuzz::FuzzScratch folder;
  return folder;
}

// Folders the archive may have left without permissions are opened up before removal.
void removeTree(const std::string& path) {
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path, ec);
  if (fs::exists(fs::symlink_status(path, ec))) std::abort();
}

// Names and sizes of everything below a folder, links not followed.
std::set<std::string> snapshot(const std::string& path) {
  std::set<std::string> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string entry = it->path().string();
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) entry += " " + std::to_string(it->file_size(ec));
    entries.insert(entry);
  }
  return entries;
}

std::vector<size_t> cutPoints(const uint8_t* data, size_t size, size_t& headerSize) {
  size_t cuts = data[0] & 3;
  headerSize = 1 + cuts;
  std::vector<size_t> points;
  if (size < headerSize) return points;
  size_t rest = size - headerSize;
  for (size_t i = 0; i < cuts; ++i) points.push_back(rest * data[1 + i] / 256);
  std::sort(points.begin(), points.end());
  return points;
}

void writeVolumes(const uint8_t* archive, size_t size, const std::vector<size_t>& points) {
  size_t start = 0;
  for (size_t volume = 0; volume <= points.size(); ++volume) {
    size_t end = volume < points.size() ? points[volume] : size;
    char name[32];
    if (volume == 0) std::snprintf(name, sizeof name, "box/in/X.lgz");
    else std::snprintf(name, sizeof name, "box/in/X.l%05zu", volume);
    scratch().write(name, archive + start, end - start);
    start = end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t headerSize = 0;
  std::vector<size_t> points = cutPoints(data, size, headerSize);
  if (size < headerSize) return 0;
  const std::string box = scratch().host("box");
  removeTree(box);
  fs::create_directories(box + "/in");
  fs::create_directories(box + "/sentinel");
  scratch().write("box/sentinel/kept.txt", data, size < 16 ? size : 16);
  writeVolumes(data + headerSize, size - headerSize, points);
  std::set<std::string> before = snapshot(box);

  cvlgz::LgzExtraction extraction;
  bool ok = extraction.extract(scratch().windows("box/out").c_str(),
                               scratch().windows("box/in/X.lgz").c_str());
  (void)ok;
  std::set<std::string> after = snapshot(box);
  for (const std::string& entry : after) {
    if (entry.rfind(box + "/out", 0) != 0 && before.count(entry) == 0) std::abort();
  }
  for (const std::string& entry : before) {
    if (after.count(entry) == 0) std::abort();
  }
  fs::path parent = fs::path(scratch().root());
  for (const auto& item : fs::directory_iterator(parent)) {
    if (item.path().filename() != "box") std::abort();
  }
  removeTree(box + "/out");
  return 0;
}

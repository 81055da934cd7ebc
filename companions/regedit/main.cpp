// regedit.exe [/s] FILE.reg...: imports .reg files into the machine's registry, as Windows
// regedit does: the copy in a 64-bit machine's SysWOW64 is the 32-bit program and imports into
// the 32-bit view, every other copy into the native view. Each file is read whole first: a file
// that cannot be read or has a malformed line changes nothing and ends the import with exit
// code 1 and a reason on stderr.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "RegFileParser.h"
#include "RegFileText.h"
#include "RegImporter.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformProcessList.h"
#include "platform/PlatformSystem.h"
#include "platform/PlatformText.h"

namespace {

constexpr uint32_t kExitFailed = 1;
constexpr uint32_t kExitUsage = 2;

bool isSilentSwitch(const std::string& argument) {
  return argument == "/s" || argument == "/S" || argument == "-s" || argument == "-S";
}

// A host path as it is; a Windows path of the machine mapped; anything else from the current folder.
std::string hostPathOf(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  // The command line arrives as UTF-8; the machine's Windows paths are in its ANSI code page.
  if (path.size() >= 2 && path[1] == ':') return plat::toHostPath(plat::utf8ToAnsi(path));
  std::string relative = path;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  return relative;
}

bool readFile(const std::string& path, std::string& bytes) {
  std::string host = hostPathOf(path);
  std::ifstream in(host, std::ios::binary);
  if (host.empty() || !in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  bytes = content.str();
  return !in.bad();
}

// Reads, checks and applies one file; a failure says why.
plat::Status importChanges(const std::string& path, std::vector<RegChange>& changes) {
  std::string bytes;
  std::string text;
  if (!readFile(path, bytes)) return plat::Status::failure("cannot read the file");
  if (plat::Status s = RegFileText::decode(bytes, text); !s) return s;
  if (plat::Status s = RegFileParser::parse(text, changes); !s) return s;
  return RegImporter::apply(changes);
}

bool importFile(const std::string& path, bool silent) {
  std::vector<RegChange> changes;
  plat::Status status = importChanges(path, changes);
  if (!status) {
    std::fprintf(stderr, "regedit.exe: %s: %s\n", path.c_str(), status.message().c_str());
  } else if (!silent) {
    std::printf("regedit.exe: imported %s (%zu changes)\n", path.c_str(), changes.size());
  }
  return status.ok();
}

// Whether this program runs from the 64-bit machine's SysWOW64 folder, where Windows keeps the
// 32-bit regedit (and where 32-bit programs asking for the Windows folder's regedit land). The
// folders are compared as files, so links and the spelling of names do not matter.
bool isThirtyTwoBitCopy() {
  std::string wow64 = plat::systemWow64Folder();
  std::string image;
  if (wow64.empty() || !plat::processImagePath(plat::processId(), image)) return false;
  void* old = nullptr;
  plat::disableRedirection(&old);  // the folders themselves, not what a 32-bit program sees
  std::string folder = plat::toHostPath(image.substr(0, image.find_last_of('\\')));
  std::string wow64Folder = plat::toHostPath(wow64);
  plat::revertRedirection(old);
  std::error_code error;
  return !folder.empty() && std::filesystem::equivalent(folder, wow64Folder, error);
}

}  // namespace

int main(int argc, char** argv) {
  // The native program sees HKLM\SOFTWARE itself; the 32-bit copy sees WOW6432Node and has its
  // System32 redirected, as on Windows.
  plat::setProcess64Bit(!isThirtyTwoBitCopy());
  bool silent = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (isSilentSwitch(argv[i])) {
      silent = true;
    } else if (argv[i][0] == '/' && argv[i][1] != '\0' && argv[i][2] == '\0') {
      std::fprintf(stderr, "regedit.exe: unsupported switch %s\n", argv[i]);
      plat::exitProcess(kExitUsage);
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "regedit.exe: usage: regedit.exe [/s] FILE.reg...\n");
    plat::exitProcess(kExitUsage);
  }
  for (const std::string& file : files) {
    if (!importFile(file, silent)) plat::exitProcess(kExitFailed);
  }
  plat::exitProcess(0);
}

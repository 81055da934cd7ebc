// Process listing of the win32 backend: a tool-help snapshot, and image paths through the
// process-status library with the device path turned into a drive-letter path.
#include <algorithm>

#include "platform/PlatformProcessList.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x0410

// "\Device\HarddiskVolume2\x\y.exe" as "C:\x\y.exe": the first drive whose device name starts
// the path has every occurrence of that name replaced by its letter.
bool driveLetterPath(const std::string& devicePath, std::string& path) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char drive[3] = {letter, ':', '\0'};
    char device[1024] = {};
    if (QueryDosDeviceA(drive, device, sizeof device) == 0) continue;
    std::string name = device;
    if (name.empty() || devicePath.compare(0, name.size(), name) != 0) continue;
    std::string result = devicePath;
    for (size_t at = result.find(name); at != std::string::npos; at = result.find(name, at + 2))
      result.replace(at, name.size(), drive);
    path = result;
    return true;
  }
  return false;
}

bool imagePathOf(HANDLE process, std::string& path) {
  win32::SystemLibrary psapi("PSAPI.DLL");
  using ImageFileNameFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD);
  using ModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  char buffer[1025] = {};
  auto imageFileName = psapi.function<ImageFileNameFn>("GetProcessImageFileNameA");
  if (imageFileName != nullptr && imageFileName(process, buffer, sizeof buffer - 1) > 0 &&
      driveLetterPath(buffer, path)) {
    return true;
  }
  auto moduleFileNameEx = psapi.function<ModuleFileNameExFn>("GetModuleFileNameExA");
  DWORD length = moduleFileNameEx != nullptr
                     ? moduleFileNameEx(process, nullptr, buffer, sizeof buffer - 1)
                     : 0;
  if (length == 0) return false;
  path.assign(buffer, length);
  return true;
}

}  // namespace

bool listProcesses(std::vector<ProcessEntry>& processes) {
  processes.clear();
  using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
  using WalkFn = BOOL(WINAPI*)(HANDLE, LPPROCESSENTRY32);
  auto snapshot = win32::loadedFunction<SnapshotFn>("kernel32.dll", "CreateToolhelp32Snapshot");
  auto first = win32::loadedFunction<WalkFn>("kernel32.dll", "Process32First");
  auto next = win32::loadedFunction<WalkFn>("kernel32.dll", "Process32Next");
  if (snapshot == nullptr || first == nullptr || next == nullptr) return false;
  win32::UniqueHandle all(snapshot(TH32CS_SNAPPROCESS, 0));
  if (!all.valid()) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = first(all.get(), &entry); more; more = next(all.get(), &entry))
    processes.push_back({entry.th32ProcessID, entry.szExeFile});
  std::sort(processes.begin(), processes.end(),
            [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
  return true;
}

bool processImagePath(uint32_t processId, std::string& path) {
  win32::UniqueHandle process(OpenProcess(kQueryAndRead, FALSE, processId));
  return process.valid() && imagePathOf(process.get(), path);
}

bool terminateProcess(uint32_t processId, uint32_t exitCode) {
  win32::UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
  return process.valid() && TerminateProcess(process.get(), exitCode) != 0;
}

}  // namespace plat

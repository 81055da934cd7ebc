// The host agent on Windows: the module beside the program, handle and thread counts from the
// system.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "HostPlatform.h"

namespace cvdt::host {
namespace {

int threadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

}  // namespace

std::string defaultModulePath() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string program(path, length);
  size_t slash = program.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : program.substr(0, slash)) + "\\cvdt.dll";
}

void printProcessStats() {
  DWORD handles = 0;
  int count = GetProcessHandleCount(GetCurrentProcess(), &handles) ? static_cast<int>(handles) : -1;
  std::printf("stats threads=%d fds=%d\n", threadsOfThisProcess(), count);
}

}  // namespace cvdt::host

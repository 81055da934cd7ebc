// The win32 backend's one gateway to the Windows headers, with the small helpers every backend
// file shares: an owned kernel handle, failure returns that keep GetLastError, and functions
// looked up by name in a system library (a missing function is a failed call).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif

// Winsock 2 must come before windows.h, which would otherwise pull in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// Not part of windows.h when it is lean: UUIDs, tool-help snapshots, token and session types.
#include <rpc.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <utility>

#include "platform/ScopedHandle.h"

namespace plat::win32 {

// An owned kernel handle, closed when the object goes. Null and INVALID_HANDLE_VALUE are both
// "no handle", as different Windows calls use either.
struct HandleTraits {
  using Value = HANDLE;
  static constexpr HANDLE kNone = nullptr;
  static bool isValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void close(HANDLE handle) { CloseHandle(handle); }
};
using UniqueHandle = ScopedHandle<HandleTraits>;

// Sets the last error and returns false, for one-line failure returns.
inline bool failWith(DWORD error) {
  SetLastError(error);
  return false;
}

// A system library loaded for one lookup and freed when the object goes, as the module loads
// the functions that older Windows versions lack.
class SystemLibrary {
 public:
  explicit SystemLibrary(const char* name) : m_hLibrary(LoadLibraryA(name)) {}
  ~SystemLibrary() {
    if (m_hLibrary != nullptr) FreeLibrary(m_hLibrary);
  }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool loaded() const { return m_hLibrary != nullptr; }
  // The named function as type T, or null (with ERROR_PROC_NOT_FOUND) when it is missing.
  template <typename T>
  T function(const char* name) const {
    if (m_hLibrary == nullptr) return nullptr;
    FARPROC address = GetProcAddress(m_hLibrary, name);
    return reinterpret_cast<T>(reinterpret_cast<void*>(address));
  }

 private:
  HMODULE m_hLibrary;
};

// A function of a library that every process has loaded (kernel32, ntdll), looked up by name;
// null when this Windows lacks it.
template <typename T>
T loadedFunction(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Security attributes with a null DACL: every account may open the object (the report channel
// is shared between the system account and users' programs).
class OpenSecurity {
 public:
  OpenSecurity() {
    InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&m_descriptor, TRUE, nullptr, FALSE);
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = FALSE;
  }
  OpenSecurity(const OpenSecurity&) = delete;
  OpenSecurity& operator=(const OpenSecurity&) = delete;
  SECURITY_ATTRIBUTES* get() { return &m_attributes; }

 private:
  SECURITY_DESCRIPTOR m_descriptor{};
  SECURITY_ATTRIBUTES m_attributes{};
};

// WSAStartup once for the process (version 2.2); false when Windows Sockets cannot start.
bool startWinsock();

// UTF-8 and UTF-16 conversions for texts that the backend keeps (environment blocks).
std::wstring wideFromUtf8(const std::string& text);
std::string utf8FromWide(const wchar_t* text, size_t length);

}  // namespace plat::win32

// Dynamic libraries of the win32 backend: LoadLibraryA, GetProcAddress and FreeLibrary, with
// the system's message for a library that does not load.
#include "platform/PlatformLibrary.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

std::string systemMessage(DWORD error) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

bool Library::load(const std::string& windowsPath) {
  unload();
  HMODULE module = LoadLibraryA(windowsPath.c_str());
  if (module == nullptr) {
    DWORD error = GetLastError();
    m_strError = "cannot load " + windowsPath + ": " + systemMessage(error);
    SetLastError(error);
    return false;
  }
  m_pHandle = reinterpret_cast<void*>(module);
  return true;
}

void* Library::symbol(const char* name) const {
  if (m_pHandle == nullptr || name == nullptr) return nullptr;
  FARPROC address = GetProcAddress(static_cast<HMODULE>(m_pHandle), name);
  return reinterpret_cast<void*>(address);
}

void Library::unload() {
  if (m_pHandle != nullptr) FreeLibrary(static_cast<HMODULE>(m_pHandle));
  m_pHandle = nullptr;
}

}  // namespace plat

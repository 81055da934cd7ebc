// plat::File on Windows file handles. Files are opened sharing read, write and delete, so that
// another program may read, replace or remove a file the module holds open.
#include "platform/PlatformFile.h"
#include "platform/WinError.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr size_t kMaxTransfer = 1u << 30;  // one ReadFile or WriteFile call moves at most this

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

HANDLE openWith(const std::string& path, FileMode mode) {
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case FileMode::Read: break;
    case FileMode::Write: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    case FileMode::Append: access = FILE_APPEND_DATA | SYNCHRONIZE; disposition = OPEN_ALWAYS; break;
    case FileMode::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
  }
  return CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept : m_handle(other.m_handle), m_bReadFailed(other.m_bReadFailed) {
  other.m_handle = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    m_handle = other.m_handle;
    m_bReadFailed = other.m_bReadFailed;
    other.m_handle = -1;
  }
  return *this;
}

bool File::open(const std::string& windowsPath, FileMode mode) { return openHost(windowsPath, mode); }

bool File::openHost(const std::string& hostPath, FileMode mode) {
  close();
  if (hostPath.empty()) return win32::failWith(ERROR_PATH_NOT_FOUND);
  HANDLE handle = openWith(hostPath, mode);
  if (handle == INVALID_HANDLE_VALUE) return false;
  m_handle = reinterpret_cast<intptr_t>(handle);
  return true;
}

size_t File::read(void* buffer, size_t size) {
  m_bReadFailed = m_handle == -1;
  if (m_handle == -1) return 0;
  DWORD done = 0;
  DWORD wanted = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
  m_bReadFailed = !ReadFile(handleOf(m_handle), buffer, wanted, &done, nullptr);
  if (m_bReadFailed) return 0;
  return done;
}

size_t File::write(const void* buffer, size_t size) {
  if (m_handle == -1) return 0;
  const char* bytes = static_cast<const char*>(buffer);
  size_t total = 0;
  while (total < size) {
    size_t left = size - total;
    DWORD done = 0;
    DWORD wanted = static_cast<DWORD>(left < kMaxTransfer ? left : kMaxTransfer);
    if (!WriteFile(handleOf(m_handle), bytes + total, wanted, &done, nullptr) || done == 0) break;
    total += done;
  }
  return total;
}

bool File::seek(uint64_t offset) {
  if (m_handle == -1) return win32::failWith(ERROR_INVALID_HANDLE);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(handleOf(m_handle), position, nullptr, FILE_BEGIN) != 0;
}

int64_t File::size() const {
  LARGE_INTEGER size;
  if (m_handle == -1 || !GetFileSizeEx(handleOf(m_handle), &size)) return -1;
  return size.QuadPart;
}

void File::close() {
  if (m_handle != -1) CloseHandle(handleOf(m_handle));
  m_handle = -1;
}

}  // namespace plat

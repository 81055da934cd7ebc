// plat::SharedMemory on named file mappings backed by the paging file, open to every account.
// The size of a mapping that this handle did not create is the size of its view, in whole pages.
#include "platform/PlatformSharedMemory.h"
#include "platform/WinError.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Bytes that a view of the whole mapping spans; 0 when it cannot be mapped.
size_t mappedSize(HANDLE mapping) {
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return 0;
  MEMORY_BASIC_INFORMATION info{};
  size_t size = VirtualQuery(view, &info, sizeof info) == sizeof info ? info.RegionSize : 0;
  UnmapViewOfFile(view);
  return size;
}

}  // namespace

SharedMemory::~SharedMemory() { close(); }

bool SharedMemory::create(const std::string& name, uint32_t size) {
  close();
  if (size == 0) return win32::failWith(ERROR_INVALID_PARAMETER);
  win32::OpenSecurity security;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0, size,
                                      name.c_str());
  if (mapping == nullptr) return false;
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  size_t actual = existed ? mappedSize(mapping) : size;
  m_hMapping = reinterpret_cast<intptr_t>(mapping);
  m_nSize = actual > size ? actual : size;
  m_bOwner = true;
  m_bExisted = existed;
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return true;
}

bool SharedMemory::open(const std::string& name) {
  close();
  win32::UniqueHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
  if (!mapping) return false;
  size_t size = mappedSize(mapping.get());
  if (size == 0) return false;  // the last error is mappedSize's
  m_hMapping = reinterpret_cast<intptr_t>(mapping.release());
  m_nSize = size;
  m_bExisted = true;
  return true;
}

void* SharedMemory::map() {
  if (m_pView != nullptr) return m_pView;
  if (m_hMapping == -1) {
    win32::failWith(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  m_pView = MapViewOfFile(handleOf(m_hMapping), FILE_MAP_ALL_ACCESS, 0, 0, 0);
  return m_pView;
}

void SharedMemory::unmap() {
  if (m_pView != nullptr) UnmapViewOfFile(m_pView);
  m_pView = nullptr;
}

// The name goes with the last handle to the mapping in any process.
void SharedMemory::close() {
  unmap();
  if (m_hMapping != -1) CloseHandle(handleOf(m_hMapping));
  m_hMapping = -1;
  m_nSize = 0;
  m_strObject.clear();
  m_bOwner = false;
  m_bExisted = false;
}

}  // namespace plat

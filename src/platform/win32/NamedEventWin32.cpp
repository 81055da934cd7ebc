// plat::NamedEvent on named kernel events, open to every account.
#include "platform/PlatformNamedEvent.h"
#include "platform/WinError.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

NamedEvent::~NamedEvent() { close(); }

bool NamedEvent::create(const std::string& name, bool manualReset, bool initiallySet) {
  close();
  win32::OpenSecurity security;
  HANDLE event = CreateEventA(security.get(), manualReset ? TRUE : FALSE,
                              initiallySet ? TRUE : FALSE, name.c_str());
  if (event == nullptr) return false;
  m_bExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  m_pBlock = event;
  m_hObject = reinterpret_cast<intptr_t>(event);
  m_strObject = name;
  SetLastError(m_bExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return true;
}

bool NamedEvent::set() {
  if (m_pBlock == nullptr) return win32::failWith(ERROR_INVALID_HANDLE);
  return SetEvent(m_pBlock) != 0;
}

bool NamedEvent::reset() {
  if (m_pBlock == nullptr) return win32::failWith(ERROR_INVALID_HANDLE);
  return ResetEvent(m_pBlock) != 0;
}

bool NamedEvent::wait(uint32_t timeoutMs) {
  if (m_pBlock == nullptr) return win32::failWith(ERROR_INVALID_HANDLE);
  return WaitForSingleObject(m_pBlock, timeoutMs) == WAIT_OBJECT_0;
}

void NamedEvent::close() {
  if (m_pBlock != nullptr) CloseHandle(m_pBlock);
  m_pBlock = nullptr;
  m_hObject = -1;
  m_strObject.clear();
  m_bExisted = false;
}

}  // namespace plat

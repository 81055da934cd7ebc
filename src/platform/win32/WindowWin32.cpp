// Window lookup of the win32 backend: FindWindowA on the interactive desktop.
#include "platform/PlatformWindow.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

WindowHandle findWindow(const char* className, const char* windowName) {
  return reinterpret_cast<WindowHandle>(FindWindowA(className, windowName));
}

}  // namespace plat

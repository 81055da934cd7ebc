// The library entry of the module on Windows: process attach runs the module's attach, process
// detach on FreeLibrary its detach (which stops the module's threads; their end is an event set
// when their body returns, so the wait needs no loader lock). When the process is ending, the
// system has already ended every other thread and detach is left undone: nothing would answer
// its stop requests, and the system takes back what the module held.
#include "entry/NModule.h"
#include "platform/win32/WindowsApi.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      NModule::attach(instance);
      break;
    case DLL_PROCESS_DETACH:
      if (reserved == nullptr) NModule::detach();
      break;
    default:
      break;
  }
  return TRUE;
}

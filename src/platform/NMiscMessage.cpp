// NMisc message launchers: crvmsg.exe of the module folder, run as the system account, as the
// active console user, in a session, or as a session's user, by Windows version.
#include "platform/NMisc.h"

namespace NMisc {
namespace {

NString messageCommand(plat::ModuleHandle module, const char* firstText, const char* secondText,
                       int style) {
  NString command;
  command.format("%s\\crvmsg.exe \"%s\" \"%s\" \"%d\"", getModuleFolder(module).text(),
                 firstText ? firstText : "", secondText ? secondText : "", style);
  return command;
}

}  // namespace

int showMessageAsSystem(plat::ModuleHandle module, const char* firstText, const char* secondText,
                        int style, int wait) {
  NString command = messageCommand(module, firstText, secondText, style);
  return wait ? createProcessWait(command.text(), nullptr, 0)
              : createProcessNoWait(command.text(), nullptr);
}

int showMessageAsActiveUser(plat::ModuleHandle module, const char* firstText,
                            const char* secondText, int style, int wait) {
  NString command = messageCommand(module, firstText, secondText, style);
  return wait ? createProcessAsActiveUserWait(command.text(), nullptr)
              : createProcessAsActiveUser(command.text(), nullptr, 0);
}

int showMessageInSession(uint32_t session, plat::ModuleHandle module, const char* firstText,
                         const char* secondText, int style, int wait, const char*, const char*) {
  if (!isXpOrLater()) return showMessageAsSystem(module, firstText, secondText, style, wait);
  NString command = messageCommand(module, firstText, secondText, style);
  return wait ? createProcessInSessionWait(session, command.text(), nullptr, 0)
              : createProcessAsConsoleSessionWaitEx(session, command.text(), nullptr, 0);
}

int showMessageAsSessionUser(uint32_t session, plat::ModuleHandle module, const char* firstText,
                             const char* secondText, int style, int wait) {
  if (!isXpOrLater()) return showMessageAsSystem(module, firstText, secondText, style, wait);
  NString command = messageCommand(module, firstText, secondText, style);
  if (wait) return createProcessAsSessionUserWait(session, command.text(), nullptr);
  int step = 0;
  int error = 0;
  return createProcessAsLoginUserWaitEx(session, command.text(), nullptr, &step, &error);
}

}  // namespace NMisc

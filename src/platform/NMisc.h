// NMisc: the module's stateless helpers over the operating system: folders, Windows version,
// redirection, files and folder trees, disk space, unique names, IPv4 and time texts, the
// message catalogue lookup and the protocol scrambler.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/NString.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSystem.h"

namespace NMisc {

// The module whose folder holds the trace log, the catalogue and the companions. Defaults to
// the module that holds this code; the library entry and tests may set it.
plat::ModuleHandle thisModule();
void setThisModule(plat::ModuleHandle module);

// Folders, without a trailing backslash.
NString getModuleFolder(plat::ModuleHandle module);
NString getWindowsFolder();
// With the flag set on 64-bit Windows, the SysWOW64 folder; otherwise the system folder.
NString getSystemFolder(int wow64Flag);

// Windows version codes: 1, 3, 4 (9x), 5 to 9 and 11 (NT), 91, 99.
int getOsVersionCode();
int getOsVersionCodeNo10();
int getOsVersionCodeEx(int flag);
bool isVistaOrLater();
bool is2003OrLater();
bool isXpOrLater();
bool is2000OrLater();
bool isNtPlatform();

bool is64BitWindows();
bool disableWow64Redirection(void** oldValue);
bool revertWow64Redirection(void* oldValue);

// 0 nothing there, 1 a file, 2 a directory.
int getPathKind(const char* path, int noRedirection);
// Creates one folder level; an existing folder is success. Returns 1 or 0.
int makePath(const char* path);
// Copies over the target, then deletes the source. Non-zero on success.
int moveFile(const char* source, const char* target);
void deleteTree(const char* folder);
// Returns 1 with free and total bytes of the drive, else 0 with both 0.
int getDiskSpace(char driveLetter, double* freeBytes, double* totalBytes);

// The image path of a process as a drive-letter path, into buffer (size bytes, cut to fit and
// always ended by a zero); 1, or 0 with buffer untouched. Only on XP or later.
int getProcessImagePath(uint32_t processId, char* buffer, int size);

// UUID text + "__%08x__%08x__%d" of process id, thread id and tick count; 1, or 0 with name
// untouched and *step / *error (when given) the failed step and its error code.
int makeUniqueName(NString& name, int* step, int* error);
// "%d.%d.%d.%d" / "%3.3d.%3.3d.%3.3d.%3.3d" of a dotted IPv4 text, in place; 1, or 0 with the
// text untouched when it is not a dotted IPv4 address.
int normalizeIpAddress(NString& text);
int padIpAddress(NString& text);

// The usual leading-digits decimal conversion of a number text: leading blanks, an optional sign
// and the digits up to the first other character; no digits (or a null text) gives 0. A number
// beyond the 32-bit range gives the nearest limit (2147483647 or -2147483648), as the Windows
// C runtime's atoi does, so a too-large id never wraps round to a small one.
int32_t decimalToInt(const char* text);

// 14-digit local time texts: "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d".
NString getCurrentTimeText();
std::time_t parseTimeText(const char* text);
NString addSecondsToTimeText(const char* text, long seconds);

// Writes a command result as the file "M01_<unit key>_<date-time>_<%012u command id>" in
// folder (created, one level): UTF-16LE with a byte-order mark, the line "<id>|@<code>|@<detail>"
// and its terminating zero; overwrites a file of that name. Returns the name, or an empty name
// when it is not 44 characters long or the file cannot be written.
NString saveCmdResultFile_V2(const char* folder, const char* unitKey, const char* dateTime,
                             uint32_t cmdId, const char* resultCode, const char* detail);

// Sessions, tokens and environment blocks (-1 / 0 when the system lacks the function).
uint32_t getActiveConsoleSessionId();
int queryUserToken(uint32_t session, plat::Token* token);
int createEnvironmentBlock(std::vector<std::string>* block, const plat::Token& token, int inherit);
void destroyEnvironmentBlock(std::vector<std::string>* block);

// Launches. Session -1 (plat::kNoSession) means no session. Waiting variants wait without a
// time limit and return the exit code, or -1 when the program did not run; the others return
// non-zero on success and 0 on failure. Where a variant takes step and error, they hold 0 after
// a success and the failing step's code and its error code after a failure (only the logon
// program's variant accepts null for them).
int createProcessAsActiveUser(const char* command, const char* folder, int hide);
int createProcessAsLoginUserWaitEx(uint32_t session, const char* command, const char* folder,
                                   int* step, int* error);
int createProcessAsSessionUserWait(uint32_t session, const char* command, const char* folder);
int createProcessAsActiveUserWait(const char* command, const char* folder);
int createProcessInSessionEx(uint32_t session, const char* command, const char* folder, int hide,
                             int* step, int* error);
int createProcessAsConsoleSessionWaitEx(uint32_t session, const char* command, const char* folder,
                                        int hide);
int createProcessInActiveSession(const char* command, const char* folder, int hide);
int createProcessInSessionWait(uint32_t session, const char* command, const char* folder, int hide);
int createProcessWait(const char* command, const char* folder, int hide);
int createProcessNoWait(const char* command, const char* folder);
// Hands the launch to the logon program cvlgn.exe in the host folder through a value under
// HKLM\key; 1 when it exited with 0. *exitCode is the logon program's exit code, 0 when it was
// not started. The value is removed again in every case.
int createProcessViaLogonProgram(uint32_t session, const char* key, const char* firstText,
                                 const char* secondText, int hide, int* exitCode, int* step,
                                 int* error);

// The message program crvmsg.exe of the module folder: with wait, the pressed button (6 = yes)
// or -1; without, the launch result.
int showMessageAsSystem(plat::ModuleHandle module, const char* firstText, const char* secondText,
                        int style, int wait);
int showMessageAsActiveUser(plat::ModuleHandle module, const char* firstText,
                            const char* secondText, int style, int wait);
int showMessageInSession(uint32_t session, plat::ModuleHandle module, const char* firstText,
                         const char* secondText, int style, int wait, const char* thirdText,
                         const char* fourthText);
int showMessageAsSessionUser(uint32_t session, plat::ModuleHandle module, const char* firstText,
                             const char* secondText, int style, int wait);

// The catalogue text for a four-digit id; empty when no entry carries it.
NString getMessage(plat::ModuleHandle module, const char* id, const char* appFilter);

// The stored-procedure frame cipher, in place.
void scramble(int keyNumber, unsigned char* buffer, int length);
void unscramble(int keyNumber, unsigned char* buffer, int length);

}  // namespace NMisc

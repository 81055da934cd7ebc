// NMisc: the module's stateless helpers over the operating system: folders, Windows version,
// redirection, files and folder trees, disk space, unique names, IPv4 and time texts, the
// message catalogue lookup and the protocol scrambler.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/NString.h"
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

// The image path of a process as a drive-letter path, into buffer (size bytes); 1 or 0. Only
// on XP or later.
int getProcessImagePath(uint32_t processId, char* buffer, int size);

// UUID text + "__%08x__%08x__%d" of process id, thread id and tick count.
int makeUniqueName(NString& name, int* step, int* error);
// "%d.%d.%d.%d" / "%3.3d.%3.3d.%3.3d.%3.3d" of a dotted IPv4 text, in place; 1 or 0.
int normalizeIpAddress(NString& text);
int padIpAddress(NString& text);

// 14-digit local time texts: "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d".
NString getCurrentTimeText();
std::time_t parseTimeText(const char* text);
NString addSecondsToTimeText(const char* text, long seconds);

// The catalogue text for a four-digit id; empty when no entry carries it.
NString getMessage(plat::ModuleHandle module, const char* id, const char* appFilter);

// The stored-procedure frame cipher, in place.
void scramble(int keyNumber, unsigned char* buffer, int length);
void unscramble(int keyNumber, unsigned char* buffer, int length);

}  // namespace NMisc

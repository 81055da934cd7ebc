// The entry points of the file-transfer library cvftc.dll and the extraction library
// cvlgz.dll, shared by the module's wrappers (NDownload, NLgzExtract) and the companions.
#pragma once

#if defined(_WIN32)
#define CVDT_COMPANION_EXPORT extern "C" __declspec(dllexport)
#else
#define CVDT_COMPANION_EXPORT extern "C" __attribute__((visibility("default")))
#endif

extern "C" {

// Opens a connection to the distribution server. server, secondText and port come from the
// host's file-transfer settings, thirdText names the distribution server, modeFlag is 0 for
// active FTP and 1 otherwise, stopEvent is null or a plat::Event* whose signal ends transfers.
// Returns a handle, or null when the server cannot be used.
using FtcCreateConnection1V2Fn = void* (*)(const char* server, const char* secondText,
                                           const char* thirdText, int port, int modeFlag,
                                           void* stopEvent);
// Fetches one remote file ("/"-separated path) to a local Windows path. Non-zero only when the
// whole file is there; otherwise nothing is left at the local path.
using FtcGet1Fn = int (*)(void* connection, const char* remotePath, const char* localPath);
// Releases the connection; flag is 1 after a successful transfer, 0 after a failed one.
using FtcEndConnection2Fn = int (*)(void* connection, int flag);

// A new extraction handle, or null.
using GZipCreateExtractFn = void* (*)();
// Unpacks an archive (with its volumes) into the destination folder; non-zero on success.
using GZipExtractFileFn = int (*)(void* extraction, const char* destination,
                                  const char* archive, int reserved);
using GZipCloseHandleFn = int (*)(void* extraction);
// Why the handle's last extraction failed ("" after a success). Optional: tools use it, the
// module does not.
using GZipLastErrorFn = const char* (*)(void* extraction);

}

inline constexpr const char* kFtcCreateConnectionName = "FtcCreateConnection1V2";
inline constexpr const char* kFtcGetName = "FtcGet1";
inline constexpr const char* kFtcEndConnectionName = "FtcEndConnection2";
inline constexpr const char* kGZipCreateExtractName = "GZipCreateExtract";
inline constexpr const char* kGZipExtractFileName = "GZipExtractFile";
inline constexpr const char* kGZipCloseHandleName = "GZipCloseHandle";
inline constexpr const char* kGZipLastErrorName = "GZipLastError";

// The software status library cvsw.dll: its one entry point and the flag bits that the
// commanded job reads, shared by the job and the library.
#pragma once

#include <cstdint>

extern "C" {

// Takes the software id as decimal text and returns the status flag word of that software on
// this machine; kSwStatusUnknown when the status cannot be determined.
using SwGiveStatusFlagFn = uint32_t (*)(const char* softwareIdText);

}

inline constexpr const char* kSwStatusLibrary = "cvsw.dll";
inline constexpr const char* kSwGiveStatusFlagName = "cvfSwGiveStatusFlag";

// The entry is authoritative: without this bit the other bits say nothing.
inline constexpr uint32_t kSwStatusValid = 0x2000000;
// The software is installed in the version being distributed.
inline constexpr uint32_t kSwAlreadyInstalled = 0x10;
// A newer version of the software is installed.
inline constexpr uint32_t kSwNewerInstalled = 0x20;
// The status could not be determined (the job then gives up with "923").
inline constexpr uint32_t kSwStatusUnknown = 0xFFFFFFFFu;

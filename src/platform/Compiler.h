// Compiler helpers shared by every layer: printf-format checking on the trace and format calls.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define CVDT_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define CVDT_PRINTF(fmtIndex, argIndex)
#endif

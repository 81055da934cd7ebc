// Compiler helpers shared by every layer: printf-format checking on the trace and format calls.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define CVDT_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define CVDT_PRINTF(fmtIndex, argIndex)
#endif

// Calling conventions of functions that outside libraries export: on 32-bit Windows the caller
// or the callee cleans the stack; elsewhere there is one convention and the macros are empty.
#if defined(_WIN32) && !defined(_WIN64)
#define CVDT_CDECL __cdecl
#define CVDT_STDCALL __stdcall
#else
#define CVDT_CDECL
#define CVDT_STDCALL
#endif

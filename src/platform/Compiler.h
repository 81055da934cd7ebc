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

// Lock annotations for clang's thread-safety analysis (the thread-safety preset builds with
// -Wthread-safety): a lock type is a capability, a scoped lock acquires and releases one, and a
// member names the lock that guards it. Other compilers ignore them.
#if defined(__clang__)
#define CVDT_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define CVDT_THREAD_ANNOTATION(x)
#endif
#define CVDT_CAPABILITY(name) CVDT_THREAD_ANNOTATION(capability(name))
#define CVDT_SCOPED_CAPABILITY CVDT_THREAD_ANNOTATION(scoped_lockable)
#define CVDT_GUARDED_BY(lock) CVDT_THREAD_ANNOTATION(guarded_by(lock))
#define CVDT_REQUIRES(...) CVDT_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define CVDT_ACQUIRE(...) CVDT_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define CVDT_RELEASE(...) CVDT_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define CVDT_EXCLUDES(...) CVDT_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

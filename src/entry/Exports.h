// The seven functions the host calls (C linkage; cdecl on 32-bit Windows). Every text is
// NUL-terminated single-byte text; the host environment is the 110,644-byte block.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define CVDT_EXPORT extern "C" __declspec(dllexport)
#define CVDT_CALL __cdecl
#else
#define CVDT_EXPORT extern "C" __attribute__((visibility("default")))
#define CVDT_CALL
#endif

CVDT_EXPORT int CVDT_CALL cvfADistFunc(int unused, uint32_t cmdId, const void* hostEnv,
                                       const char* curTime, const char* callArgs,
                                       const char* equipCfg, const char* contents, int bStop);
CVDT_EXPORT int CVDT_CALL cvfADistCmd(int unused, uint32_t cmdId, const void* hostEnv,
                                      const char* curTime, const char* callArgs,
                                      const char* equipCfg, const char* contents, int bStop);
CVDT_EXPORT int CVDT_CALL cvfADistNow(int unused, uint32_t cmdId, const void* hostEnv,
                                      const char* curTime, const char* callArgs,
                                      const char* equipCfg, const char* contents, int bStop);
CVDT_EXPORT int CVDT_CALL cvfNDistFunc(int unused, uint32_t cmdId, const void* hostEnv,
                                       const char* curTime, const char* callArgs,
                                       const char* equipCfg, const char* contents, int bStop,
                                       int unused2, const char* dialogParameter);
CVDT_EXPORT int CVDT_CALL cvfNDistCmd(int unused, uint32_t cmdId, const void* hostEnv,
                                      const char* curTime, const char* callArgs,
                                      const char* equipCfg, const char* contents, int bStop);
CVDT_EXPORT int CVDT_CALL cvfNDistCmdOuterRequest(int unused, uint32_t cmdId, const void* hostEnv,
                                                  const char* curTime, const char* callArgs,
                                                  const char* equipCfg, const void* content,
                                                  int bStop);
CVDT_EXPORT int CVDT_CALL cvfNDistUrgentTopCancelForceCmd(int unused, uint32_t cmdId,
                                                          const void* hostEnv,
                                                          const char* curTime,
                                                          const char* callArgs,
                                                          const char* equipCfg,
                                                          const void* cancel, int bStop);

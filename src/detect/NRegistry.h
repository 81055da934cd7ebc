// NRegistry: one open registry key with text and binary reads and writes, in the 32- or 64-bit
// view; hasValueName: whether an open key has a value of a name, ignoring case.
//
// Every operation reports failure by its result (false or the empty text) and leaves the object
// usable. One object, one key, one thread.
#pragma once

#include <cstdint>

#include "platform/NString.h"
#include "platform/PlatformRegistry.h"

class NRegistry {
 public:
  NRegistry() = default;
  virtual ~NRegistry();
  NRegistry(const NRegistry&) = delete;
  NRegistry& operator=(const NRegistry&) = delete;

  // Opens (openExisting) or creates the key; readOnly asks for read rights only; view64 picks
  // the 64-bit view on 64-bit Windows, otherwise the 32-bit view is used there.
  bool open(plat::RegRoot root, const char* keyPath, bool openExisting, bool readOnly,
            bool view64);
  void close();
  // The open key, or null.
  const plat::RegKey* handle() const { return m_hKey.isOpen() ? &m_hKey : nullptr; }

  // The value's bytes up to the first zero, whatever its type; empty on any failure.
  NString readText(const char* valueName);
  // The value rendered by type: strings and binary up to the first zero, a 32-bit number as
  // "%d", anything else empty. An empty name reads the default value.
  NString readValue(const char* valueName);
  // A string value of the text's length, without the terminating zero.
  bool writeText(const char* valueName, const char* text);
  bool writeBinary(const char* valueName, const void* bytes, uint32_t size);
  bool deleteValue(const char* valueName);

 private:
  plat::RegKey m_hKey;
  plat::RegRoot m_hRoot = plat::RegRoot::LocalMachine;
  NString m_strKeyPath;
};

// True when the open key has a value whose name equals name ignoring case.
bool hasValueName(const plat::RegKey* key, const char* name);

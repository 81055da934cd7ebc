// NMsgFile: the message catalogue beside this module, holding the texts of the system language
// and of US English by numeric id.
#pragma once

#include <cstdint>
#include <map>

#include "platform/NString.h"
#include "platform/PlatformSystem.h"

class NMsgFile {
 public:
  NMsgFile();
  NMsgFile(const NMsgFile&) = delete;
  NMsgFile& operator=(const NMsgFile&) = delete;
  virtual ~NMsgFile();

  // Reads "cvmsg.bin", then "cvmsg_ct.bin", from the module's folder; a later entry of the same
  // language and id replaces an earlier one. With a non-empty filter only entries whose App
  // equals it (ignoring case) are kept. A missing file contributes nothing. Returns 1 when at
  // least one file was read, else 0.
  int load(plat::ModuleHandle module, const char* appFilter);
  // Reads one catalogue file (Windows path). Returns 1 when it could be opened.
  int loadFile(const char* path, const char* appFilter);

  // The text for a decimal id: the system language's, else US English, else empty. Every
  // backslash-n pair comes back as CR LF.
  NString getText(const char* id) const;

  // Value of an attribute of the "Msg" element in a catalogue line; empty when any part is
  // missing.
  static NString attribute(const NString& line, const char* name);
  // A decimal id as the catalogue keys it: leading blanks and a sign allowed, saturated to the
  // 32-bit signed range, then taken as unsigned.
  static uint32_t parseId(const char* text);

 private:
  void addLine(NString& line, const char* appFilter);

  NString m_strSystemLanguage;
  std::map<uint32_t, NString> m_mapSystem;   // entries of the system language
  std::map<uint32_t, NString> m_mapEnglish;  // entries of "1033"
};

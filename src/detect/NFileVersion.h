// NFileVersion: the named text fields of a file's version resource; getFileVersionNumber: the
// numeric file version of its fixed part. Both read with file-system redirection switched off,
// so a 32-bit process on 64-bit Windows sees the native system files.
#pragma once

#include "platform/NString.h"

class NFileVersion {
 public:
  NFileVersion();
  virtual ~NFileVersion();
  NFileVersion(const NFileVersion&) = delete;
  NFileVersion& operator=(const NFileVersion&) = delete;

  // Fills the fields from the file at path: "FileVersion", "OriginalFileName", "CompanyName",
  // "FileDescription", "ProductName", "ProductVersion" and "InternalName" of the first
  // translation. A null path does nothing; a file without a readable resource leaves the file
  // version "None" and the other fields empty.
  void load(const char* path);

  const char* fileVersion() const { return m_szFileVersion; }
  const char* originalFileName() const { return m_szOriginalFileName; }
  const char* companyName() const { return m_szCompanyName; }
  const char* fileDescription() const { return m_szFileDescription; }
  const char* productName() const { return m_szProductName; }
  const char* productVersion() const { return m_szProductVersion; }
  const char* internalName() const { return m_szInternalName; }
  const char* filePath() const { return m_szFilePath; }
  // Language and code page of the first translation, "%4.4x%4.4x"; empty when none was read.
  const char* translation() const { return m_szTranslation; }

 private:
  char m_szFileVersion[256];
  char m_szOriginalFileName[256];
  char m_szCompanyName[256];
  char m_szFileDescription[256];
  char m_szProductName[256];
  char m_szProductVersion[256];
  char m_szInternalName[256];
  char m_szFilePath[261];
  char m_szTranslation[9];
};

// "%d.%d.%d.%d" of the fixed part's file version, most significant word first; empty when the
// file has no readable version resource or no fixed part.
NString getFileVersionNumber(const char* path);

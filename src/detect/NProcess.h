// NProcess: a snapshot of the running processes as two parallel lists (image paths or bare
// names, and ids as "%8.8x"), with lookups by image file name ignoring case.
#pragma once

#include <cstdint>

#include "platform/NString.h"
#include "platform/NStringArray.h"

class NProcess {
 public:
  NProcess() = default;
  virtual ~NProcess();
  NProcess(const NProcess&) = delete;
  NProcess& operator=(const NProcess&) = delete;

  // Empties both lists and fills them anew; false when the processes cannot be listed.
  bool snapshot();
  void clear();
  // The id of the first process whose image file name (after the last backslash) equals name
  // ignoring case; 0 when none.
  uint32_t find(const char* name) const;
  int count(const char* name) const;
  // The image path of a process, or the empty text.
  NString imagePath(uint32_t processId) const;

  int getCount() const { return m_arrImages.getCount(); }
  NString imageAt(int index) const;

 private:
  bool matches(int index, const char* name) const;

  NStringArray m_arrImages;
  NStringArray m_arrIds;
};

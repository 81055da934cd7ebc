// NStringArray: an ordered list of owned texts, as filled by the tokenizer and the module's
// list-building helpers.
#pragma once

#include <string>
#include <vector>

#include "platform/NString.h"

class NStringArray {
 public:
  NStringArray() = default;
  NStringArray(const NStringArray&) = default;
  NStringArray& operator=(const NStringArray&) = default;
  NStringArray(NStringArray&&) = default;
  NStringArray& operator=(NStringArray&&) = default;
  virtual ~NStringArray();

  // Appends a copy of text (a null text counts as empty). Returns the new entry's index.
  int add(const char* text);
  int add(const NString& text) { return add(text.text()); }
  int getCount() const { return static_cast<int>(m_vecTexts.size()); }
  // Copies entry index into out and returns 1. An index outside the list gives the
  // end-of-list text instead and returns 0; callers check the count first.
  int getAt(NString& out, int index) const;
  NString getAt(int index) const;
  // Deletes count entries starting at first; the part of the range outside the list is ignored.
  void removeRange(int first, int count);
  void clear() { removeRange(0, getCount()); }

  // The text that getAt gives past the end of the list (code page 949).
  static const char* endOfListText();

 private:
  std::vector<std::string> m_vecTexts;
};

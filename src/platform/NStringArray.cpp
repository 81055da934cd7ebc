// NStringArray: the list of owned texts behind the tokenizer, stored contiguously so that
// index access stays constant-time on index files with thousands of entries.
#include "platform/NStringArray.h"

#include <algorithm>

namespace {

// "리스트의 끝입니다. 참조할 데이터가 없습니다." (end of the list, no data to refer to), code page 949.
constexpr char kEndOfList[] =
    "\xB8\xAE\xBD\xBA\xC6\xAE\xC0\xC7 \xB3\xA1\xC0\xD4\xB4\xCF\xB4\xD9. "
    "\xC2\xFC\xC1\xB6\xC7\xD2 \xB5\xA5\xC0\xCC\xC5\xCD\xB0\xA1 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

}  // namespace

NStringArray::~NStringArray() = default;

const char* NStringArray::endOfListText() { return kEndOfList; }

int NStringArray::add(const char* text) {
  m_vecTexts.emplace_back(text ? text : "");
  return getCount() - 1;
}

int NStringArray::getAt(NString& out, int index) const {
  if (index < 0 || index >= getCount()) {
    out = kEndOfList;
    return 0;
  }
  out = m_vecTexts[static_cast<size_t>(index)].c_str();
  return 1;
}

NString NStringArray::getAt(int index) const {
  NString out;
  getAt(out, index);
  return out;
}

void NStringArray::removeRange(int first, int count) {
  int n = getCount();
  int begin = std::clamp(first, 0, n);
  // 64-bit end, so first + count cannot overflow.
  int end = static_cast<int>(std::clamp<long long>(static_cast<long long>(first) + count, begin, n));
  if (end > begin) m_vecTexts.erase(m_vecTexts.begin() + begin, m_vecTexts.begin() + end);
}

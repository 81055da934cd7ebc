// NStrtok: the module's one tokenizer for its multi-character separators ("|@", "|$", ...).
#include "platform/NStrtok.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

NStrtok::~NStrtok() = default;

NStringArray& NStrtok::split(const char* text, const char* separator) {
  if (!text || !separator) return m_arrFields;
  cut(text, separator, kFieldBufferSize);
  return m_arrFields;
}

NStringArray& NStrtok::split(const char* text, int fieldLimit, const char* separator, int clamp) {
  if (!text || !separator) return m_arrFields;
  size_t size = std::max<size_t>(fieldLimit > 0 ? static_cast<size_t>(fieldLimit) : 0, std::strlen(text) + 1);
  if (size > static_cast<size_t>(kMaxFieldBufferSize)) {
    if (!clamp) return m_arrFields;
    size = kMaxFieldBufferSize;
  }
  cut(text, separator, size);
  return m_arrFields;
}

// Each field is copied as it would be into a buffer of fieldBufferSize bytes: at most
// fieldBufferSize - 1 bytes of it are kept.
void NStrtok::cut(const char* text, const char* separator, size_t fieldBufferSize) {
  m_arrFields.clear();
  std::string_view rest(text);
  std::string_view sep(separator);
  size_t keep = fieldBufferSize - 1;
  std::string field;
  for (;;) {
    size_t q = sep.empty() ? std::string_view::npos : rest.find(sep);
    std::string_view piece = rest.substr(0, q);
    field.assign(piece.data(), std::min(piece.size(), keep));
    m_arrFields.add(field.c_str());
    if (q == std::string_view::npos) break;
    rest.remove_prefix(q + sep.size());
  }
}

// NMsgFile: loads the UTF-16 message catalogue files and answers lookups by id; also holds
// NMisc::getMessage, the one-shot lookup the module's callers use.
#include "platform/NMsgFile.h"

#include <cstdint>

#include "platform/NMisc.h"
#include "platform/NUnicodeFileReader.h"

namespace {

constexpr const char* kEnglish = "1033";
constexpr const char* kCatalogueFiles[] = {"\\cvmsg.bin", "\\cvmsg_ct.bin"};
// Shorter lines cannot hold an entry.
constexpr int kMinLineLength = 5;

}  // namespace

NMsgFile::NMsgFile() { m_strSystemLanguage.format("%4.4d", static_cast<int>(plat::systemLanguage())); }

NMsgFile::~NMsgFile() = default;

int NMsgFile::load(plat::ModuleHandle module, const char* appFilter) {
  NString folder = NMisc::getModuleFolder(module);
  int loaded = 0;
  for (const char* name : kCatalogueFiles) {
    NString path = folder + name;
    if (loadFile(path.text(), appFilter)) loaded = 1;
  }
  return loaded;
}

int NMsgFile::loadFile(const char* path, const char* appFilter) {
  NUnicodeFileReader reader;
  if (!reader.openSkippingMark(path)) return 0;
  NString line;
  int endOfFile = 0;
  while (reader.readLine(line, endOfFile)) addLine(line, appFilter);
  return 1;
}

void NMsgFile::addLine(NString& line, const char* appFilter) {
  line.trimLeft();
  line.trimRight();
  if (line.length() < kMinLineLength || line.getAt(0) != '<') return;
  NString lang = attribute(line, "Lang");
  std::map<uint32_t, NString>* target = nullptr;
  if (lang == m_strSystemLanguage) {
    target = &m_mapSystem;
  } else if (lang == kEnglish) {
    target = &m_mapEnglish;
  } else {
    return;
  }
  if (appFilter && *appFilter && attribute(line, "App").differsNoCase(appFilter)) return;
  (*target)[parseId(attribute(line, "Id").text())] = attribute(line, "Text");
}

NString NMsgFile::attribute(const NString& line, const char* name) {
  NString value;
  int pos = line.find("Msg");
  if (pos < 0) return value;
  pos = line.find(name, pos + 3);
  if (pos < 0) return value;
  pos = line.findChar('=', pos + NString(name).length());
  if (pos < 0) return value;
  int open = line.findChar('"', pos + 1);
  if (open < 0) return value;
  int close = line.findChar('"', open + 1);
  if (close < 0) return value;
  return line.mid(open + 1, close - open - 1);
}

uint32_t NMsgFile::parseId(const char* text) {
  if (!text) return 0;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > INT32_MAX) break;  // saturates below; more digits cannot bring it back
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

NString NMsgFile::getText(const char* id) const {
  uint32_t key = parseId(id);
  NString text;
  auto it = m_mapSystem.find(key);
  if (it != m_mapSystem.end()) {
    text = it->second;
  } else if (auto en = m_mapEnglish.find(key); en != m_mapEnglish.end()) {
    text = en->second;
  }
  text.replace("\\n", "\r\n");
  return text;
}

NString NMisc::getMessage(plat::ModuleHandle module, const char* id, const char* appFilter) {
  NMsgFile catalogue;
  catalogue.load(module, appFilter);
  return catalogue.getText(id);
}

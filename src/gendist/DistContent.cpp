// Parsing of the host's contents text into DistContent.
#include "gendist/DistContent.h"

#include <cstdlib>
#include <cstring>

#include "platform/NMisc.h"
#include "platform/NStrtok.h"

namespace {

constexpr int kMinFields = 15;
constexpr int kFieldsWithKind = 18;
constexpr int kFieldsWithSizes = 20;

class Fields {
 public:
  explicit Fields(NStringArray& array) : m_array(array) {}
  NString at(int index) const {
    NString field;
    m_array.getAt(field, index);
    return field;
  }
  // Bounded copy: width - 1 characters and a terminating zero; longer texts are cut.
  void copyTo(int index, char* target, size_t width) const {
    std::strncpy(target, at(index).text(), width - 1);
    target[width - 1] = '\0';
  }
  int32_t number(int index) const { return NMisc::decimalToInt(at(index).text()); }
  int32_t flag(int index) const { return at(index).equalsNoCase("Y") ? 1 : 0; }

 private:
  NStringArray& m_array;
};

int32_t kindOf(const NString& text) {
  if (text.equalsNoCase("SWDT")) return kProcTypeSwdt;
  if (text.equalsNoCase("DELDT")) return kProcTypeDeldt;
  return kProcTypeNdt;  // "NDT" and anything else
}

void fillFirstFields(const Fields& f, DistContent& c) {
  c.m_nDistId = f.number(0);
  f.copyTo(1, c.m_szDistName, sizeof c.m_szDistName);
  f.copyTo(2, c.m_szVersion, sizeof c.m_szVersion);
  f.copyTo(3, c.m_szBaseFolder, sizeof c.m_szBaseFolder);
  f.copyTo(4, c.m_szDescr, sizeof c.m_szDescr);
  c.m_bAgree = f.flag(5);
  c.m_bPublic = f.flag(6);
  f.copyTo(7, c.m_szExecFile, sizeof c.m_szExecFile);
  f.copyTo(8, c.m_szExecOpt, sizeof c.m_szExecOpt);
  f.copyTo(9, c.m_szExecUser, sizeof c.m_szExecUser);
  f.copyTo(10, c.m_szRegFile, sizeof c.m_szRegFile);
  c.m_nSplitCount = static_cast<uint32_t>(f.number(11));
  c.m_nTotalSize = static_cast<uint32_t>(f.number(12));
  c.m_nField13 = static_cast<uint32_t>(f.flag(13));
  f.copyTo(14, c.m_szIdxFileDigest, 33);
}

}  // namespace

int parseDistContent(const char* contents, DistContent& content) {
  std::memset(&content, 0, sizeof content);
  NStrtok tokenizer;
  NStringArray& array = tokenizer.split(contents ? contents : "", "|$");
  if (array.getCount() < kMinFields) return 0;
  Fields fields(array);
  fillFirstFields(fields, content);
  content.m_nActorKind = 0;
  if (array.getCount() >= kFieldsWithKind) {
    int32_t swId = fields.number(15);
    content.m_nSwId = swId <= 0 ? -1 : swId;
    content.m_nProcType = kindOf(fields.at(16));
    fields.copyTo(17, content.m_szPlatform, sizeof content.m_szPlatform);
  }
  if (array.getCount() >= kFieldsWithSizes) {
    content.m_nCompressedSizeSum = static_cast<uint32_t>(fields.number(18));
    content.m_nField19 = static_cast<uint32_t>(fields.number(19));
  }
  return 1;
}

// The automatic worker's installed-product check: the product targets of an item from the
// gateway, detection on them, and the day's record of targets whose installation changed.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "autodist/NAutoDist.h"
#include "detect/NEswDetectMgr.h"
#include "entry/NModuleState.h"
#include "entry/StatusCodes.h"
#include "net/NDBQuery.h"
#include "platform/FixedText.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"
#include "platform/PlatformFile.h"
#include "platform/Trace.h"

namespace {

constexpr int kParameterRoom = 199;
constexpr int kTargetFields = 5;
// Two trace texts in code page 949, as the rest of the trace: "platform does not match" and
// "log fix".
constexpr const char* kPlatformMismatchText =
    "\xC7\xC3\xB7\xA7\xC6\xFB \xB8\xC2\xC1\xF6\xBE\xCA\xC0\xBD!!";
constexpr const char* kLogFixText = "\xB7\xCE\xB1\xD7\xBC\xF6\xC1\xA4!!";

void fillTarget(ProductTarget& target, NStringArray& fields) {
  target.iDist_id = std::atoi(fields.getAt(0).text());
  plat::setFixedText(target.pcName, fields.getAt(1).text());
  plat::setFixedText(target.pcPolicy, fields.getAt(2).text());
  target.iUpdate_id = std::atoi(fields.getAt(3).text());
  target.bInstalled = fields.getAt(4) == auto_status::kComplete ? 1 : 0;
  target.bReal_Installed = 0;
}

// The request's two parameters: the equipment id and the distribution id, each cut to its room.
NString productParameters(const char* equipId, int32_t distId) {
  NString equip;
  equip.format("EQUIP_ID|#S|#%.12s", equipId);
  NString dist;
  dist.format("DT_ID|#S|#%d", static_cast<int>(distId));
  return equip.left(kParameterRoom) + "|$" + dist.left(kParameterRoom);
}

// The two traces of a reply that names no target; step tells an empty reply (1) from one
// without rows (2).
void traceNoProducts(int step, int32_t distId, const NString& reply) {
  trace(3, "NAutoDist::initProduct(#%d)(%d): Target Install Production is Zero Count\n", step,
        static_cast<int>(distId));
  trace(3, "NAutoDist::initProduct: return data: %.2047s\n", reply.text());
}

}  // namespace

bool NAutoDist::initProduct(int32_t distId) {
  std::unique_ptr<HostEnvironment> env = NModuleState::hostEnvironment();
  const NString parameters = productParameters(env->m_szEquipId, distId);
  trace(3, "NAutoDist::initProduct(#0)(%.1024s): Target Install Production has this strArg.\n",
        parameters.text());
  NDBQuery query;
  query.setServer(env->m_szDbAddress, std::atoi(env->m_szDbPort));
  NString reply;
  if (!query.execStoredProc("SP_SV_ADT_PROD_BY_EQUIP_S1", 2, parameters.text(), reply)) {
    trace(3, "NAutoDist::initProduct FAILED: %.1024s (%d)\n", parameters.text(),
          static_cast<int>(distId));
    return false;
  }
  if (reply.isEmpty()) {
    traceNoProducts(1, distId, reply);
    return true;
  }
  NStrtok rowTokenizer;
  NStringArray& rows = rowTokenizer.split(reply.text(), reply.length() + 1, "|$", 1);
  if (rows.getCount() == 0) {
    traceNoProducts(2, distId, reply);
    return true;
  }
  if (!storeProducts(rows)) {
    trace(3, "NAutoDist::initProduct FAILED: %.1024s (%d)\n", parameters.text(),
          static_cast<int>(distId));
    return false;
  }
  trace(3, "NAutoDist::initProduct: return data: %.2047s\n", reply.text());
  return true;
}

// Replaces the product targets with one per reply row; false when they cannot be allocated or a
// row has too few fields (no target is kept then).
bool NAutoDist::storeProducts(NStringArray& rows) {
  freeProducts();
  const int count = rows.getCount();
  auto* targets = static_cast<ProductTarget*>(std::calloc(static_cast<size_t>(count),
                                                          sizeof(ProductTarget)));
  if (targets == nullptr) return false;
  m_esw_equip_cfg.pProd = targets;
  m_esw_equip_cfg.iProd = count;
  for (int i = 0; i < count; ++i) {
    NStrtok fieldTokenizer;
    NStringArray& fields = fieldTokenizer.split(rows.getAt(i).text(), rows.getAt(i).length() + 1,
                                                "|#", 1);
    if (fields.getCount() < kTargetFields) {
      m_esw_equip_cfg.iProd = 0;
      return false;
    }
    fillTarget(targets[i], fields);
  }
  return true;
}

bool NAutoDist::Check_ChangedProductInstall(int& failed, int targetIndex) {
  CRV::CVDT::AUTO_DIST::NEswDetectMgr manager;
  trace(5, "NAutoDist::Check_ChangedProductInstall(1) (m_esw_equip_cfg.iProd=%d)\n",
        m_esw_equip_cfg.iProd);
  if (m_esw_equip_cfg.iProd == 0 || m_esw_equip_cfg.pProd == nullptr) {
    trace(5, "NAutoDist::Check_ChangedProductInstall(2) - m_esw_equip_cfg.iProd == 0 || "
             "m_esw_equip_cfg.pProd == NULL\n");
    return false;
  }
  CRV::CVDT::AUTO_DIST::g_bChangedProductInstall = 0;
  trace(5, "NAutoDist::Check_ChangedProductInstall(3) - LocalXmlfile=%s\n", "");
  manager.init("", "");
  if (manager.detect(m_esw_equip_cfg.pProd, m_esw_equip_cfg.iProd, targetIndex) == 0) {
    trace(1, "NAutoDist::Check_ChangedProductInstall(4) - [FAIL] mgr.detect()\n");
    failed = 1;
    return false;
  }
  NMisc::makePath((NMisc::getModuleFolder(NMisc::thisModule()) + "\\log").text());
  for (int i = 0; i < m_esw_equip_cfg.iProd; ++i) {
    const ProductTarget& target = m_esw_equip_cfg.pProd[i];
    if (target.bPlatformMatched == 0) {
      trace(1, "NAutoDist::isChangedProductInstall(4-1) - %s()\n", kPlatformMismatchText);
    } else if (CRV::CVDT::AUTO_DIST::g_bChangedProductInstall != 0) {
      trace(1, "NAutoDist::Check_ChangedProductInstall(4-1) - Changed()\n");
      if (!recordChangedTarget(target)) {
        trace(1, "NAutoDist::isChangedProductInstall(5) - %s()\n", kLogFixText);
        return false;
      }
      traceChangedTarget(target, i);
    } else {
      trace(1, "NAutoDist::Check_ChangedProductInstall(4-1) - Not Changed()\n");
    }
  }
  return true;
}

// Appends the target's line to the day's record "\log\YYYYMMDD" under the module folder.
bool NAutoDist::recordChangedTarget(const ProductTarget& target) {
  advanceClock();
  NString path = NMisc::getModuleFolder(NMisc::thisModule()) + "\\log\\" + m_strTimeText.left(8);
  plat::File file;
  if (!file.open(path.text(), plat::FileMode::Append)) return false;
  NString line;
  line.format("%d|@%d|@|@%s\r\n", static_cast<int>(target.iDist_id),
              static_cast<int>(target.iUpdate_id), m_strTimeText.text());
  return file.write(line.text(), static_cast<size_t>(line.length())) ==
         static_cast<size_t>(line.length());
}

void NAutoDist::traceChangedTarget(const ProductTarget& target, int index) {
  char name[ProductTarget::kNameSize];
  plat::setFixedText(name, target.pcName);
  trace(5, "NAutoDist::Check_ChangedProductInstall() - m_esw_equip_cfg.iDist_id[%d].=%d\n", index,
        static_cast<int>(target.iDist_id));
  trace(5, "NAutoDist::Check_ChangedProductInstall() - m_esw_equip_cfg.pcDist_name[%d].=%d\n",
        index, static_cast<int>(target.iUpdate_id));
  trace(5, "NAutoDist::Check_ChangedProductInstall() - m_esw_equip_cfg.pcDist_version[%d].=%s\n",
        index, name);
  trace(5, "NAutoDist::Check_ChangedProductInstall() - m_esw_equip_cfg.pcBase_dir[%d].=%.2047s\n",
        index, target.pcPolicy);
}

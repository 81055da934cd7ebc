// The automatic worker's installed-product check: the product targets of an item from the
// gateway, detection on them, and the day's record of targets whose installation changed.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "autodist/ADistText.h"
#include "autodist/NAutoDist.h"
#include "entry/NModuleState.h"
#include "entry/Trace.h"
#include "net/NDBQuery.h"
#include "platform/NMisc.h"
#include "platform/NStrtok.h"

namespace {

constexpr int kParameterRoom = 199;
constexpr int kTargetFields = 5;

void fillTarget(ProductTarget& target, NStringArray& fields) {
  target.iDist_id = std::atoi(fields.getAt(0).text());
  copyField(target.pcName, fields.getAt(1).text());
  copyField(target.pcPolicy, fields.getAt(2).text());
  target.iUpdate_id = std::atoi(fields.getAt(3).text());
  target.bInstalled = fields.getAt(4) == "060" ? 1 : 0;
  target.bReal_Installed = 0;
}

}  // namespace

bool NAutoDist::initProduct(int32_t distId) {
  std::unique_ptr<HostEnvironment> env = NModuleState::hostEnvironment();
  NString equip;
  equip.format("EQUIP_ID|#S|#%.12s", env->m_szEquipId);
  NString dist;
  dist.format("DT_ID|#S|#%d", static_cast<int>(distId));
  NString parameters = equip.left(kParameterRoom) + "|$" + dist.left(kParameterRoom);
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
    trace(3, "NAutoDist::initProduct(#1)(%d): Target Install Production is Zero Count\n",
          static_cast<int>(distId));
    trace(3, "NAutoDist::initProduct: return data: %.2047s\n", reply.text());
    return true;
  }
  NStrtok rowTokenizer;
  NStringArray& rows = rowTokenizer.split(reply.text(), reply.length() + 1, "|$", 1);
  if (rows.getCount() == 0) {
    trace(3, "NAutoDist::initProduct(#2)(%d): Target Install Production is Zero Count\n",
          static_cast<int>(distId));
    trace(3, "NAutoDist::initProduct: return data: %.2047s\n", reply.text());
    return true;
  }
  freeProducts();
  int count = rows.getCount();
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
      trace(3, "NAutoDist::initProduct FAILED: %.1024s (%d)\n", parameters.text(),
            static_cast<int>(distId));
      return false;
    }
    fillTarget(targets[i], fields);
  }
  trace(3, "NAutoDist::initProduct: return data: %.2047s\n", reply.text());
  return true;
}

bool NAutoDist::Check_ChangedProductInstall(int& failed, int) {
  // Detection is not linked into this module yet: every policy counts as not evaluated.
  trace(5, "NAutoDist::Check_ChangedProductInstall(1) (m_esw_equip_cfg.iProd=%d)\n",
        m_esw_equip_cfg.iProd);
  failed = 1;
  return false;
}

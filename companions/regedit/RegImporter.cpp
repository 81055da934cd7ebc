// Applying parsed .reg changes through plat::RegKey.
#include "RegImporter.h"

#include "platform/WinError.h"

namespace {

uint32_t missingIsFine(uint32_t rc) {
  return rc == plat::kErrorFileNotFound ? plat::kErrorSuccess : rc;
}

}  // namespace

plat::Status RegImporter::apply(const std::vector<RegChange>& changes) {
  RegImporter importer;
  for (const RegChange& change : changes) {
    uint32_t rc = importer.applyOne(change);
    if (rc != plat::kErrorSuccess) {
      return plat::Status::failure("line " + std::to_string(change.line) +
                                   ": the registry refused a change of " +
                                   plat::regRootName(change.root) + "\\" + change.path +
                                   " (error " + std::to_string(rc) + ")");
    }
  }
  return {};
}

uint32_t RegImporter::openKeyOf(const RegChange& change) {
  if (m_key.isOpen() && m_root == change.root && m_path == change.path) return plat::kErrorSuccess;
  uint32_t rc = plat::RegKey::create(change.root, change.path, plat::kKeyAllAccess, m_key);
  m_root = change.root;
  m_path = change.path;
  return rc;
}

uint32_t RegImporter::applyOne(const RegChange& change) {
  uint32_t rc = plat::kErrorSuccess;
  switch (change.kind) {
    case RegChange::Kind::DeleteKey:
      m_key.close();
      return missingIsFine(plat::RegKey::deleteTree(change.root, change.path, plat::kKeyAllAccess));
    case RegChange::Kind::CreateKey:
      return openKeyOf(change);
    case RegChange::Kind::SetValue:
      rc = openKeyOf(change);
      if (rc == plat::kErrorSuccess)
        rc = m_key.setValue(change.name, change.type, change.data.data(), change.data.size());
      return rc;
    case RegChange::Kind::DeleteValue:
      rc = openKeyOf(change);
      return rc == plat::kErrorSuccess ? missingIsFine(m_key.deleteValue(change.name)) : rc;
  }
  return plat::kErrorInvalidParameter;
}

// Package locations below a server root and their replacement.
#include "ServerLayout.h"

#include <filesystem>

#include "PackError.h"

namespace cvdt::pack {

namespace fs = std::filesystem;

void ServerLayout::createRoot(const std::string& root) {
  std::error_code error;
  fs::create_directories(root, error);
  if (error) throw PackError("cannot create the output root " + root + ": " + error.message());
}

ServerLayout::ServerLayout(const std::string& root) : m_strRoot(root) {
  std::error_code error;
  if (!fs::is_directory(root, error)) throw PackError("output root " + root + " is not a folder");
  while (m_strRoot.size() > 1 && m_strRoot.back() == '/') m_strRoot.pop_back();
}

std::string ServerLayout::folder(Flavour flavour) const {
  return m_strRoot + "/Corvane/dist/" + name(flavour);
}

std::string ServerLayout::indexArchive(Flavour flavour, const std::string& id) const {
  return folder(flavour) + "/" + id + ".idx.lgz";
}

std::string ServerLayout::packageFolder(Flavour flavour, const std::string& id) const {
  return folder(flavour) + "/" + id;
}

std::string ServerLayout::beginPackage(Flavour flavour, const std::string& id) const {
  const std::string staging = folder(flavour) + "/." + id + ".new";
  std::error_code error;
  fs::remove_all(staging, error);
  if (!error) fs::create_directories(staging, error);
  if (error) throw PackError("cannot create " + staging + ": " + error.message());
  return staging;
}

void ServerLayout::publish(Flavour flavour, const std::string& id,
                           const std::string& staging) const {
  const std::string target = packageFolder(flavour, id);
  const std::string old = folder(flavour) + "/." + id + ".old";
  const std::string stagedIndex = folder(flavour) + "/." + id + ".idx.lgz.new";
  std::error_code error;
  fs::rename(staging + "/" + id + ".idx.lgz", stagedIndex, error);
  if (!error) fs::remove_all(old, error);
  if (!error && fs::exists(target, error)) fs::rename(target, old, error);
  if (!error) fs::rename(staging, target, error);
  if (error) throw PackError("cannot put the package in place at " + target + ": " + error.message());
  fs::rename(stagedIndex, indexArchive(flavour, id), error);
  if (error) throw PackError("cannot put the index in place: " + error.message());
  fs::remove_all(old, error);
}

void ServerLayout::discard(const std::string& staging) const {
  std::error_code error;
  fs::remove_all(staging, error);
}

}  // namespace cvdt::pack

// Writing an automatic-distribution package: per-file parts, the auto index and the item entry.
#include "AutoPackager.h"

#include <filesystem>
#include <limits>

#include "IndexText.h"
#include "LgzWriter.h"
#include "NCliProgress.h"
#include "PackError.h"
#include "ServerLayout.h"
#include "SourceTree.h"
#include "TextRules.h"
#include "VolumeSink.h"

namespace cvdt::pack {

namespace {

using Kind = PackArgs::Kind;
// The item entry sits inside the equipment configuration, split at these.
const std::vector<std::string> kItemSeparators = {"|*", "|&", "|%"};

// A header field: the module refuses the whole index when a field reaches its limit.
std::string headerField(const PackArgs& args, const std::string& option, size_t limit) {
  std::string text = args.value(option);
  TextRules::field(text, "--" + option, limit - 1, {});
  return text;
}

}  // namespace

const PackArgs::Known& AutoPackager::knownOptions() {
  static const PackArgs::Known known = {
      {"id", Kind::Value, "N", "item id, 1 to 2147483647 (required)"},
      {"name", Kind::Value, "NAME", "item name, at most 64 bytes (required)"},
      {"dest", Kind::Value, "PATH", "destination drive path on the agent, e.g. 'C:\\App' (required)"},
      {"src", Kind::Value, "DIR", "the folder to pack (required)"},
      {"out", Kind::Value, "ROOT", "the server root to write below (created when missing; required)"},
      {"part-size", Kind::Value, "BYTES", "largest part, may end in K, M or G (default 10M)"},
      {"update-id", Kind::Value, "U", "update id, 0 to 2147483647 (default 1)"},
      {"label", Kind::Value, "L", "label"},
      {"subfolders", Kind::Flag, "", "agents compare subfolders of the destination too"},
      {"cleanup", Kind::Flag, "", "agents remove destination files the index does not name"},
      {"program", Kind::Value, "REL", "program to run after an update, relative to the package"},
      {"args", Kind::Value, "A", "its arguments, at most 99 bytes"},
      {"account", Kind::Value, "S|L|C", "run it as S system, L logged-on user, C console user (default S)"}};
  return known;
}

AutoOptions AutoPackager::optionsFrom(const PackArgs& args) {
  args.check();
  AutoOptions o;
  o.id = std::to_string(TextRules::number(args.required("id"), "--id", 1, 2147483647));
  o.name = args.required("name");
  TextRules::field(o.name, "--name", 64, kItemSeparators);
  o.destination = args.required("dest");
  while (o.destination.size() > 3 && o.destination.back() == '\\') o.destination.pop_back();
  TextRules::drivePath(o.destination, "--dest");
  TextRules::field(o.destination, "--dest", 260, {});
  o.updateId = std::to_string(
      TextRules::number(args.value("update-id", "1"), "--update-id", 0, 2147483647));
  o.label = headerField(args, "label", 261);
  o.subfolders = args.has("subfolders");
  o.cleanup = args.has("cleanup");
  if (args.has("program")) o.program = TextRules::windowsRelative(args.value("program"), "--program");
  TextRules::field(o.program, "--program", 260, {});
  o.arguments = headerField(args, "args", 100);
  o.account = args.value("account", "S");
  TextRules::letter(o.account, "--account", "SLC");
  o.source = args.required("src");
  o.root = args.required("out");
  o.partSize = args.has("part-size") ? TextRules::byteCount(args.value("part-size"), "--part-size")
                                     : kDefaultPartSize;
  return o;
}

// File sizes travel as unsigned 32-bit numbers in the module's index records.
void AutoPackager::checkTree(const SourceTree& tree) {
  bool nested = false;
  for (const SourceTree::Entry& entry : tree.entries()) {
    if (entry.size > std::numeric_limits<uint32_t>::max()) {
      throw PackError("file too large for an automatic package (4 GiB at most): " + entry.host);
    }
    nested = nested || entry.folder;
  }
  if (!m_options.program.empty()) {
    const SourceTree::Entry* entry = tree.find(m_options.program);
    if (entry == nullptr || entry->folder) {
      throw PackError("--program " + m_options.program + " is not a file of the source folder");
    }
  }
  if (nested && !m_options.subfolders) {
    m_warnings.push_back("the package has subfolders but --subfolders is not set: agents do not "
                         "compare them and fetch their files again on every pass");
  }
}

AutoResult AutoPackager::run() {
  const SourceTree tree(m_options.source);
  checkTree(tree);
  ServerLayout::createRoot(m_options.root);
  const ServerLayout layout(m_options.root);
  const auto flavour = ServerLayout::Flavour::Auto;
  const std::string staging = layout.beginPackage(flavour, m_options.id);
  AutoResult result;
  try {
    result = writePackage(tree, staging);
    layout.publish(flavour, m_options.id, staging);
  } catch (...) {
    layout.discard(staging);
    throw;
  }
  return result;
}

AutoResult AutoPackager::writePackage(const SourceTree& tree, const std::string& staging) {
  const AutoOptions& o = m_options;
  IndexText index;
  index.addLine({o.id, o.updateId, "", o.label, o.destination, o.subfolders ? "Y" : "N",
                 o.cleanup ? "Y" : "N", o.program, o.arguments, o.account},
                "the index header");
  AutoResult result;
  const std::string zipFolder = staging + "/zip";
  m_nTotalBytes = tree.contentBytes();
  for (const SourceTree::Entry& entry : tree.entries()) {
    if (entry.folder) {
      index.addLine({"M", entry.windows, "0", "D", "", "0"}, "the line of " + entry.host);
      continue;
    }
    result.parts +=
        writeFile(entry.relative, entry.windows, entry.host, entry.size, zipFolder, index);
    ++result.files;
  }
  if (m_pProgress != nullptr) m_pProgress->clear();
  VolumeSink indexSink(staging, o.id + ".idx", std::numeric_limits<uint64_t>::max());
  LgzWriter writer(indexSink);
  writer.addBytes(o.id + ".idx", index.bytes(), tree.newest());
  writer.finish();
  result.indexDigest = indexSink.parts().front().digest;
  result.item = o.id + "|*" + o.name + "|*" + result.indexDigest;
  return result;
}

// The module fetches the parts to the entry's path in its package folder and unpacks part 0
// into that same folder, so each archive holds the file under its bare name.
int AutoPackager::writeFile(const std::string& relative, const std::string& windows,
                            const std::string& host, uint64_t size, const std::string& zipFolder,
                            IndexText& index) {
  const std::filesystem::path path = std::filesystem::path(zipFolder) / relative;
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (error) throw PackError("cannot create " + path.parent_path().string() + ": " + error.message());
  const std::string name = path.filename().string();
  VolumeSink parts(path.parent_path().string(), name, m_options.partSize);
  LgzWriter writer(parts);
  if (m_pProgress != nullptr) {
    writer.setProgress([this, &relative](uint64_t bytes) {
      m_nDoneBytes += bytes;
      m_pProgress->update(m_nDoneBytes, m_nTotalBytes, relative);
    });
  }
  const std::string digest = writer.addFile(name, host);
  writer.finish();
  const int count = static_cast<int>(parts.parts().size());
  index.addLine({"M", windows, std::to_string(size), "F", digest, std::to_string(count)},
                "the line of " + host);
  for (int i = 0; i < count; ++i) {
    index.addLine({"S", std::to_string(i), parts.parts()[i].digest}, "a part line of " + host);
  }
  return count;
}

}  // namespace cvdt::pack

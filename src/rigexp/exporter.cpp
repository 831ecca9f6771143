#include "rigexp/exporter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <exception>
#include <new>

#include "host/modifier.h"
#include "rigexp/rig_config.h"
#include "rigexp/rig_state.h"
#include "rigexp/rig_writer.h"
#include "support/file_io.h"
#include "support/log.h"
#include "zef/blocks.h"
#include "zef/material_records.h"
#include "zef/thumbnail.h"

namespace vorlan::rigexp {

using support::LOG_CRITICAL;
using support::LOG_ERROR;
using support::LOG_INFO;
using support::LOG_WARNING;
using support::LogFormat;

namespace {

constexpr uint32_t kOptSelected = 1;
constexpr std::size_t kUserFieldChars = zef::kInfoUserField - 1;

// Everything the export changes in the host for its length is put back on every way out.
class HostSession {
 public:
  explicit HostSession(host::Interface& ip) : ip_(ip) {}
  ~HostSession() {
    if (backupSaved_) ip_.EnableAutoBackup(backup_);
    if (progress_) ip_.ProgressEnd();
    if (logOpen_) support::LogClose();
    support::LogSetMessageHandler({});
  }
  void OpenLog(const std::string& outputName) {
    support::LogSetMessageHandler([this](const std::string& text, const std::string& caption) {
      ip_.UI().MessageBox({text, caption, host::Buttons::Ok, host::Icon::Error});
    });
    const std::string path = ip_.MapHostPath(kRigLogPath);
    const std::string header = "Log for RigExp.dle:\nExporting file \"" + outputName + "\"\n\n";
    support::LogParams params{path.c_str(), header.c_str(), support::kLogCreate, support::kLogEnabled};
    logOpen_ = support::LogOpen(&params) != 0;
  }
  void StartProgress() {
    ip_.ProgressStart("Exporting file...", true);
    progress_ = true;
  }
  void EndProgress() {
    if (progress_) ip_.ProgressEnd();
    progress_ = false;
  }
  void SuspendBackup() {
    backup_ = ip_.AutoBackupEnabled();
    backupSaved_ = true;
    ip_.EnableAutoBackup(false);
  }
  void RestoreBackup() {
    if (backupSaved_) ip_.EnableAutoBackup(backup_);
    backupSaved_ = false;
  }

 private:
  host::Interface& ip_;
  bool logOpen_ = false, progress_ = false, backupSaved_ = false, backup_ = false;
};

void SetIndent(int width) { support::LogSetIndent(width, ' '); }
void AddIndent(int delta) {
  char fill = ' ';
  support::LogSetIndent(support::LogGetIndent(&fill) + delta, fill);
}

void WriteHeader(RigState& s) {
  zef::SceneBuffer& b = s.buffer;
  b.U32(zef::kMagic);
  b.U32(zef::kVersion0100);
  b.U32(s.ip.GetHostVersion());
  b.U32(0);  // node count, filled in last
  std::array<uint8_t, zef::kThumbnailBytes> thumb{};
  if (auto image = s.ip.GrabViewport())
    if (zef::ReduceThumbnail(*image, thumb) == zef::ThumbnailStatus::kUnsupportedDepth) {
      s.Message(zef::kThumbnailDepthMessage, zef::kThumbnailDepthCaption);
      thumb.fill(0);
    }
  b.Bytes(thumb.data(), thumb.size());
  b.SetOffset(zef::kHeaderSize);
}

uint32_t WriteInfo(RigState& s) {
  zef::SceneBuffer& b = s.buffer;
  std::string text = s.ip.GetComputerName() + "\\" + s.ip.GetUserName();
  if (text.size() > kUserFieldChars) text.resize(kUserFieldChars);
  const uint32_t at = b.Offset();
  b.U32(zef::kInfo);
  b.U32(zef::kInfoFixedSize + 1);
  b.U32(static_cast<uint32_t>(text.size() + 1));
  b.U32(1);
  b.U32(0);  // face total, filled in last
  std::array<uint8_t, zef::kInfoUserField> field{};
  std::copy(text.begin(), text.end(), field.begin());
  b.Bytes(field.data(), field.size());
  const uint8_t emptyComment = 0;
  b.Bytes(&emptyComment, 1);
  return at;
}

std::string LowerCaseExtension(std::string path) {
  auto dot = path.find_last_of('.');
  auto sep = path.find_last_of("/\\");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return path;
  for (std::size_t i = dot + 1; i < path.size(); ++i)
    path[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(path[i])));
  return path;
}

void CollectMaterials(RigState& s, host::Node& root) {
  std::vector<host::Node*> stack;
  for (int i = root.NumberOfChildren() - 1; i >= 0; --i)
    if (host::Node* c = root.GetChildNode(i)) stack.push_back(c);
  while (!stack.empty()) {
    host::Node* n = stack.back();
    stack.pop_back();
    if (!IsExcluded(*n) && n->GetMtl()) s.ctx.materials.Collect(n, n->GetMtl());
    for (int i = n->NumberOfChildren() - 1; i >= 0; --i)
      if (host::Node* c = n->GetChildNode(i)) stack.push_back(c);
  }
}

}  // namespace

const host::StringTable& RigExpStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "Skeleton Export"},
      {host::IDS_CLASS_NAME, "RigExp"},
      {host::IDS_CATEGORY, "Standard"},
      {host::IDS_EXT, "zef"},
      {host::IDS_SHORT_DESC, "Skeleton Export"},
      {host::IDS_LONG_DESC, "3D Studio MAX Skeleton Exporter"},
      {host::IDS_AUTHOR, "Vorlan pipeline team"},
      {host::IDS_COPYRIGHT, ""},
  };
  return strings;
}

int RigExporter::DoExport(const char* name, host::Interface& ip, bool /*suppressPrompts*/, uint32_t options) {
  try {
    return Export(name ? name : "", ip, options);
  } catch (const std::bad_alloc&) {
    ip.UI().MessageBox({"The export ran out of memory.", "Error", host::Buttons::Ok, host::Icon::Error});
  } catch (const std::exception& e) {
    ip.UI().MessageBox(
        {std::string("The export failed: ") + e.what(), "Error", host::Buttons::Ok, host::Icon::Error});
  } catch (...) {
    ip.UI().MessageBox({"The export failed.", "Error", host::Buttons::Ok, host::Icon::Error});
  }
  return 0;
}

int RigExporter::Export(const std::string& name, host::Interface& ip, uint32_t options) {
  lastCuts_.clear();
  std::string path = support::NativePath(name);
  if (support::FileExists(path) && support::IsReadOnly(path)) {
    if (ip.UI().MessageBox({"File is read-only, overwrite?", "Warning", host::Buttons::YesNo,
                            host::Icon::Warning}) != host::Answer::Yes)
      return 0;
    support::ClearReadOnly(path);
  }

  const std::string cfg = RigConfigPath(ip);
  const RigConfig config = LoadRigConfig(cfg);
  ip.SetCancel(false);
  HostSession session(ip);
  session.OpenLog(name);

  host::Node* root = ip.GetRootNode();
  std::unique_ptr<zef::SceneBuffer> arena;
  try {
    arena = std::make_unique<zef::SceneBuffer>(zef::kHeaderSize + 4096);
  } catch (const std::bad_alloc&) {
    support::LogWrite("MemMgr: Init Failed!\n", LOG_CRITICAL);
    return 0;
  }
  if (!root) return 0;
  RigState s(ip, *arena);
  s.selectedOnly = (options & kOptSelected) != 0;
  session.StartProgress();

  MarkMorphTargets(*root);
  s.totalNodes = CountNodes(*root);
  CollectMaterials(s, *root);

  WriteHeader(s);
  support::LogWrite("[Header struct]", LOG_INFO);
  const uint32_t info = WriteInfo(s);
  support::LogWrite("[Info struct]", LOG_INFO);
  const uint32_t rootHead = arena->Offset();
  const std::string rootName = root->GetName();
  arena->U32(zef::kNode);
  arena->U32(0);
  arena->U32(1);
  arena->U32(static_cast<uint32_t>(rootName.size() + 1));
  arena->CString(rootName);
  support::LogWrite("[Root]", LOG_INFO);
  if (zef::ExportMaterialList(*arena, s.ctx.materials, ip, zef::RecordStyle::Skeleton) != zef::kMatListOk) {
    support::LogWrite("Material export failed!\n", LOG_ERROR);
    return 0;
  }
  s.ctx.materials.Index();
  support::LogWrite("[Material List]", LOG_INFO);
  const uint32_t prefixBytes = arena->Offset();

  support::LogWrite("Skeleton Object>", LOG_INFO);
  AddIndent(2);
  s.skeletonRoot = FindSkeletonRoot(*root);
  if (!s.skeletonRoot) {
    s.Message("Skeleton not found!", "Error");
    session.EndProgress();
    support::LogWrite("Skeleton not found!\n", LOG_ERROR);
    return 0;
  }
  if (host::SkeletonExport* sk = s.skeletonRoot->GetSkeletonExport()) sk->RemoveNonUniformScale(true);
  s.skeletonOffset = host::Matrix3();
  s.skeletonOffset.SetTrans(host::Inverse(s.skeletonRoot->GetNodeTM(0)).GetTrans());
  session.SuspendBackup();

  for (int i = 0; i < root->NumberOfChildren() && !s.cancelled; ++i)
    if (host::Node* c = root->GetChildNode(i); c && EnumerateNode(s, *c)) ++s.skeletonChildren;

  if (!s.cancelled) {
    SetIndent(2);
    support::LogWrite("Skeleton data>", LOG_INFO);
    LogFormat(LOG_INFO, "Skeleton: %s\n", s.skeletonRoot->GetName().c_str());
    AddIndent(2);
    ExportBones(s);
  }
  if (s.cancelled) {
    SetIndent(0);
    support::LogWrite("Export Cancelled.", LOG_WARNING);
    session.EndProgress();
    session.RestoreBackup();
    return 1;
  }

  const RigSizes before = FirstPassSizes(s, prefixBytes, rootHead);
  LogFormat(LOG_INFO, "Skeleton size: %d\n", static_cast<int>(before.skeletonData));
  LogFormat(LOG_INFO, "SkeletonObj size: %d, children: %d\n", static_cast<int>(before.skeletonObj),
            static_cast<int>(s.skeletonChildren));
  LogFormat(LOG_INFO, "Root node size: %d, children: %d\n", static_cast<int>(before.root), 1);
  LogFormat(LOG_INFO, "Zef: nodes: %d, faces: %d\n", static_cast<int>(s.totalNodes),
            static_cast<int>(s.faceTotal));

  path = LowerCaseExtension(path);
  LogFormat(LOG_INFO, "\n\n");
  for (std::size_t b = 0; b < s.bones.size(); ++b)
    LogFormat(LOG_INFO, "%d: %s\n", static_cast<int>(b), s.bones[b].name.c_str());
  LogFormat(LOG_INFO, "\n\n");
  SplitMeshes(s);
  const RigSizes after = RecomputeSizes(s, prefixBytes, rootHead);
  if (!arena->Fits() || uint64_t(prefixBytes) + after.skeletonObj > zef::SceneBuffer::kMaxImage) {
    support::LogWrite("The character is too large for a .zef file.\n", LOG_ERROR);
    s.Message("The character is too large for a .zef file (more than 4 GiB).", "Error", host::Icon::Error);
    return 0;
  }
  arena->PatchU32(zef::kHeaderNodeCountOffset, s.totalNodes);
  arena->PatchU32(info + 16, s.faceTotal);
  arena->PatchU32(rootHead + 4, after.root);

  std::vector<uint8_t> file(arena->Written().begin(), arena->Written().end());
  AppendSkeleton(s, after, file);
  // A file that cannot be written is a failed export, not a finished one; the artist's
  // previous file stays as it was.
  if (auto written = support::WriteFileAtomic(path, file); !written) {
    support::LogWrite("Can't create output file!\n", LOG_ERROR);
    s.Message("Can't create output file!\n" + written.error, "Error", host::Icon::Error);
    return 0;
  }

  LogFormat(LOG_INFO, "\n\n");
  LogFormat(LOG_INFO, "NEW Skeleton size: %d\n", static_cast<int>(after.skeletonData));
  LogFormat(LOG_INFO, "NEW SkeletonObj size: %d, children: %d\n", static_cast<int>(after.skeletonObj),
            static_cast<int>(s.skeletonChildren));
  LogFormat(LOG_INFO, "NEW Root node size: %d, children: %d\n", static_cast<int>(after.root), 1);
  LogFormat(LOG_INFO, "\n\n");

  lastCuts_ = CollectCuts(s);
  const std::string report = CutReportText(lastCuts_);
  support::LogWrite(report.c_str(), LOG_INFO);
  std::fputs(report.c_str(), stderr);
  ip.Report("RigExp", CutReportJson(path, lastCuts_));

  session.EndProgress();
  session.RestoreBackup();
  support::LogWrite("Export Done.", LOG_INFO);
  SaveRigConfig(cfg, config);
  return 1;
}

}  // namespace vorlan::rigexp

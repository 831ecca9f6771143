#include "zefexport/exporter.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>

#include "geometry/scene_smoothing.h"
#include "support/file_io.h"
#include "zef/blocks.h"
#include "zef/flush.h"
#include "zef/material_records.h"
#include "zef/thumbnail.h"
#include "zefexport/export_config.h"
#include "zefexport/export_dialogs.h"
#include "zefexport/export_passes.h"

namespace vorlan::zefexport {

namespace {

constexpr std::size_t kUserTextMax = 259;  // the user text shares one 260-byte buffer

std::string MakeUserText(const host::Interface& ip) {
  std::string text = ip.GetComputerName() + "\\" + ip.GetUserName();
  if (text.size() > kUserTextMax) text.resize(kUserTextMax);
  return text;
}

void WriteHeader(ExportContext& ctx) {
  zef::SceneBuffer& b = ctx.buffer;
  b.U32(zef::kMagic);
  b.U32(zef::kVersion0100);
  b.U32(ctx.ip.GetHostVersion());
  b.U32(0);  // node count, filled in last
  std::array<uint8_t, zef::kThumbnailBytes> thumb{};
  if (auto image = ctx.ip.GrabViewport()) {
    if (zef::ReduceThumbnail(*image, thumb) == zef::ThumbnailStatus::kUnsupportedDepth) {
      ctx.Message(zef::kThumbnailDepthMessage, zef::kThumbnailDepthCaption);
      thumb.fill(0);
    }
  }
  b.Bytes(thumb.data(), thumb.size());
  b.SetOffset(zef::kHeaderSize);
}

void WriteInfo(ExportContext& ctx, const std::string& user, const std::string& comment) {
  zef::SceneBuffer& b = ctx.buffer;
  std::string u = user.substr(0, 63);
  std::string c = comment.substr(0, 1023);
  b.U32(zef::kInfo);
  b.U32(static_cast<uint32_t>(84 + c.size() + 1));
  b.U32(static_cast<uint32_t>(u.size() + 1));
  b.U32(static_cast<uint32_t>(c.size() + 1));
  b.U32(0);  // triangle total, filled in last
  std::vector<uint8_t> field(64, 0);
  std::copy(u.begin(), u.end(), field.begin());
  b.Bytes(field.data(), field.size());
  b.CString(c);
}

struct FileSink : zef::FlushSink {
  explicit FileSink(support::AtomicFileWriter& w) : writer(w) {}
  bool Write(std::span<const uint8_t> bytes) override { return writer.Write(bytes); }
  bool Patch(uint64_t at, std::span<const uint8_t> bytes) override { return writer.WriteAt(at, bytes); }
  support::AtomicFileWriter& writer;
};

// Everything the exporter leaves on the scene for one export is removed here, on every
// exit path after the pre-pass.
struct MarkCleanup {
  ExportContext& ctx;
  ~MarkCleanup() {
    if (host::Node* root = ctx.ip.GetRootNode()) RemoveNodeMarks(*root);
    zef::RemoveMaterialMarks(ctx.materials);
  }
};

}  // namespace

const host::StringTable& ZefExportStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "Vorlan scene exporter (.zef)"},
      {host::IDS_CLASS_NAME, "ZefExport"},
      {host::IDS_INTERNAL_NAME, "ZefExporter"},
      {host::IDS_CATEGORY, ""},
      {host::IDS_EXT, "zef"},
      {host::IDS_SHORT_DESC, "Vorlan Scene Format"},
      {host::IDS_LONG_DESC, "Vorlan Scene Format, v1.0 for use with 3D Studio Max"},
      {host::IDS_AUTHOR, "Vorlan pipeline team"},
      {host::IDS_COPYRIGHT, "Copyright (c) Vorlan pipeline team"},
  };
  return strings;
}

ZefExporter::ZefExporter() { options_.smoothWholeScene = true; }

int ZefExporter::DoExport(const char* name, host::Interface& ip, bool suppressPrompts, uint32_t options) {
  try {
    return Export(name ? name : "", ip, suppressPrompts, options);
  } catch (const std::exception& e) {
    ip.UI().MessageBox(
        {std::string("The export failed: ") + e.what(), "Error", host::Buttons::Ok, host::Icon::Error});
  } catch (...) {
    ip.UI().MessageBox({"The export failed.", "Error", host::Buttons::Ok, host::Icon::Error});
  }
  return 0;
}

int ZefExporter::Export(const std::string& fileName, host::Interface& ip, bool suppressPrompts,
                        uint32_t options) {
  if (userText_.empty()) userText_ = MakeUserText(ip);
  auto error = [&](const std::string& text) {
    ip.UI().MessageBox({text, "Error", host::Buttons::Ok, host::Icon::Error});
    return 0;
  };

  std::string path = support::NativePath(fileName);
  if (support::FileExists(path) && support::IsReadOnly(path)) {
    host::Answer a = ip.UI().MessageBox(
        {"File is read-only, owerwrite?", "Warning", host::Buttons::YesNo, host::Icon::Warning, false, true});
    if (a != host::Answer::Yes) return 0;
    support::ClearReadOnly(path);
  }

  const std::string cfg = ConfigPath(ip);
  switch (LoadConfig(cfg, options_)) {
    case ConfigStatus::Ok:
      break;
    case ConfigStatus::Unreadable:
      return error("Cannot read the exporter settings \"" + cfg + "\".");
    case ConfigStatus::NewerFormat:
      return error("The exporter settings \"" + cfg +
                   "\" were written by a newer exporter. Remove the file to export.");
  }

  bool noDialog = ApplyOptionBits(options, options_);
  if (!suppressPrompts && !noDialog) {
    if (!RunConfigDialog(ip, userText_, options_, comment_, hasComment_)) return 1;
  }
  if (suppressPrompts) ApplySceneProperties(ip, options_, comment_, hasComment_);
  options_.selectionOnly = (options & kOptSelected) != 0;

  path = LowerCaseExtension(path);

  host::Node* root = ip.GetRootNode();
  if (!root) return error("DoExport(): the scene has no root node.");

  zef::SceneBuffer buffer;
  ExportContext ctx{.ip = ip, .buffer = buffer, .options = options_};
  ctx.weldParts = weldWhileBuilding_;
  MarkCleanup cleanup{ctx};

  uint32_t nodeCount = PrePass(ctx, *root);

  WriteHeader(ctx);
  ProgressWindow progress(ip.UI(), static_cast<int>(nodeCount), path);
  ctx.progress = &progress;
  ctx.Step(nullptr, "Header", -1);

  const uint32_t info = buffer.Offset();
  WriteInfo(ctx, userText_, hasComment_ ? comment_ : std::string());

  const uint32_t rootHead = buffer.Offset();
  std::string rootName = root->GetName();
  buffer.U32(zef::kNode);
  buffer.U32(0);
  buffer.U32(0);
  buffer.U32(static_cast<uint32_t>(rootName.size() + 1));
  buffer.CString(rootName);

  if (zef::ExportMaterialList(buffer, ctx.materials, ip) != 0) return 0;
  ctx.materials.Index();

  ctx.nodeCounter = 0;
  ctx.Step(rootName.c_str(), nullptr, static_cast<int>(++ctx.nodeCounter));
  ctx.triangleTotal = 0;
  uint32_t topLevel = 0;
  for (int i = 0; i < root->NumberOfChildren(); ++i)
    if (host::Node* c = root->GetChildNode(i)) topLevel += MainPass(ctx, *c);

  if (!buffer.Fits()) return error("The scene is too large for a .zef file (more than 4 GiB).");

  buffer.PatchU32(rootHead + 8, topLevel);
  buffer.PatchU32(rootHead + 4, buffer.Offset() - rootHead);
  buffer.PatchU32(12, nodeCount);
  buffer.PatchU32(info + 16, ctx.triangleTotal);

  if (options_.smoothWholeScene) {
    geometry::SmoothWholeScene(
        buffer.Image(), ip, options_.distinguishLODs,
        [&](const char* node, const char* operation) { ctx.Step(node, operation, -1); });
  }

  // The file goes to disk as it is welded, never whole in memory beside the image.
  support::AtomicFileWriter writer(path);
  if (!writer.Ok()) return error("Cannot write the export file " + writer.Error());
  FileSink sink{writer};
  std::string flushError;
  if (!zef::FlushSceneBuffer(buffer.Image(), sink, &progress, &flushError, buffer.WeldedBlocks())) {
    if (!writer.Ok()) return error("Cannot write the export file " + writer.Error());
    return error("The export of \"" + path + "\" failed: " + flushError);
  }
  if (auto written = writer.Commit(); !written) return error("Cannot write the export file " + written.error);

  SaveConfig(cfg, options_);
  progress.Close();
  return 1;
}

}  // namespace vorlan::zefexport

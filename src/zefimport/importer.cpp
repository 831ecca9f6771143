#include "zefimport/importer.h"

#include <cstdio>
#include <exception>
#include <variant>

#include "support/log.h"
#include "zef/blocks.h"
#include "zefimport/material_import.h"
#include "zefimport/scene_import.h"

namespace vorlan::zefimport {

namespace {

using support::LogFormat;

std::string Hex(const char* format, uint32_t v) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

// Checks the header and moves the cursor to the first block.
bool ReadHeader(ImportContext& ctx) {
  uint8_t head[8];
  if (!ctx.reader.Read(head, sizeof head)) return false;
  const uint32_t magic = support::LoadU32(head), version = support::LoadU32(head + 4);
  LogFormat(support::LOG_INFO, "Version: %X", version);
  if (magic != zef::kMagic) {
    ctx.Message("This is not a ZEF file!", "Error");
    return false;
  }
  switch (zef::ClassifyVersion(version)) {
    case zef::VersionFamily::kCurrent:
      break;
    case zef::VersionFamily::kOld:
      ctx.Message(
          Hex("File ver.: %X\nThis is an old ZEF format version. It is not yet supported, call Orvel.",
              version),
          "Info", host::Icon::Information);
      break;
    case zef::VersionFamily::kUnknown:
      ctx.Message(Hex("File ver.: %X\nUnknown .ZEF version. Call Orvel.", version), "Error");
      return false;
  }
  ctx.version = version;
  return ctx.reader.SetPtr(version == zef::kVersion0005 ? zef::kVersion0005BlocksOffset : zef::kHeaderSize,
                           false);
}

bool ImportInfo(ImportContext& ctx) {
  FixedPart part(ctx);
  if (!part.Read()) return false;
  const std::string user = TextAt(part.Bytes(), 20, zef::kInfoUserField);
  const std::string comment = TextAt(part.Bytes(), zef::kInfoFixedSize);
  LogFormat(kLogTree, "Info> user: \"%s\", comment: \"%s\"\n", user.c_str(), comment.c_str());
  return true;
}

// Asks whether the user really wants to stop; false when the import is to end.
bool ContinueAfterCancel(ImportContext& ctx) {
  if (!ctx.ip.GetCancel()) return true;
  host::Answer a =
      ctx.ip.UI().MessageBox({"Really Cancel?", "Question", host::Buttons::YesNo, host::Icon::Question});
  if (a == host::Answer::Yes) return false;
  ctx.ip.SetCancel(false);
  return true;
}

}  // namespace

bool ImportWalk(ImportContext& ctx) {
  if (!ReadHeader(ctx)) return false;
  const std::size_t size = ctx.reader.Size();
  std::size_t offset = ctx.reader.Cursor();
  bool firstNode = true;
  while (offset < size) {
    ctx.ip.ProgressUpdate(static_cast<int>(static_cast<double>(offset) / static_cast<double>(size) * 99.0));
    if (!ContinueAfterCancel(ctx)) return false;
    if (!ctx.reader.SetPtr(static_cast<int64_t>(offset), false)) return false;
    auto head = ctx.reader.PeekHead();
    if (!head) return false;
    const bool isNode = head->id == zef::kNode || head->id == zef::kSkeletonObj;
    if (isNode && firstNode) {
      // The root's contents follow as top-level blocks: only its head is taken.
      FixedPart part(ctx);
      if (!part.Read()) return false;
      support::ByteReader r = part.Reader();
      r.Seek(8);
      const int children = r.I32().value_or(0);
      LogFormat(kLogTree, "RootNode-> name: \"%s\", numChildren: %d\n",
                TextAt(part.Bytes(), zef::kNodeHeadSize).c_str(), children);
      support::LogSetIndent(support::LogGetIndent(nullptr) + 2, ' ');
      firstNode = false;
      offset += part.Size();
      continue;
    }
    bool ok = true;
    if (isNode) {
      ok = ImportNode(ctx, nullptr);
    } else if (head->id == zef::kInfo) {
      ok = ImportInfo(ctx);
    } else if (head->id == zef::kMatList) {
      ok = ImportMatList(ctx);
    } else {
      ctx.unknownBlocks = true;
      LogFormat(support::LOG_ERROR, "ImportZEF() : Unknown block found! BlockID: 0x%08X, File offset: %d\n",
                head->id, static_cast<int>(offset));
      if (!SkipBlockFrom(ctx, offset, *head)) return false;
      ctx.Message("Unknown block found! File offset: " + std::to_string(static_cast<int>(offset)), "Error");
    }
    if (!ok) return false;
    // Every block is stepped over by its size, whatever its handler read.
    if (head->size < zef::kBlockHeadSize) return SkipBlockFrom(ctx, offset, *head);
    offset += head->size;
  }
  if (!firstNode) support::LogSetIndent(support::LogGetIndent(nullptr) - 2, ' ');
  ResolvePendingJoints(ctx);
  return true;
}

const host::StringTable& ZefImportStrings() {
  static const host::StringTable strings{
      {host::IDS_LIBDESCRIPTION, "Vorlan scene importer (.zef)"},
      {host::IDS_CLASS_NAME, "ZefImport"},
      {host::IDS_CATEGORY, ""},
      {host::IDS_EXT, "zef"},
      {host::IDS_SHORT_DESC, "ZEF Format"},
      {host::IDS_LONG_DESC, "ZEF file format, version 0008 and above."},
      {host::IDS_AUTHOR, "Vorlan pipeline team"},
      {host::IDS_COPYRIGHT, "Copyright (c) Vorlan pipeline team"},
  };
  return strings;
}

host::DialogModel MakeImportDialog(bool newScene) {
  host::DialogModel d;
  d.title = "ZEF Importer";
  d.controls = {
      {.id = 0, .kind = host::ControlKind::Group, .label = " Settings"},
      {.id = IDC_NEW_SCENE,
       .kind = host::ControlKind::RadioButton,
       .label = "New scene",
       .value = newScene ? 1 : 0},
      {.id = IDC_MERGE_SCENE,
       .kind = host::ControlKind::RadioButton,
       .label = "Merge scene",
       .value = newScene ? 0 : 1},
      {.id = IDC_IMPORT_OK, .kind = host::ControlKind::Button, .label = "OK"},
      {.id = IDC_IMPORT_CANCEL, .kind = host::ControlKind::Button, .label = "Cancel"},
  };
  return d;
}

int ZefImporter::DoImport(const char* name, host::Interface& ip, bool suppressPrompts) {
  try {
    return Import(name ? name : "", ip, suppressPrompts);
  } catch (const std::exception& e) {
    ip.UI().MessageBox(
        {std::string("The import failed: ") + e.what(), "Error", host::Buttons::Ok, host::Icon::Error});
  } catch (...) {
    ip.UI().MessageBox({"The import failed.", "Error", host::Buttons::Ok, host::Icon::Error});
  }
  support::LogClose();
  support::LogSetMessageHandler({});
  ip.ProgressEnd();
  return 0;
}

int ZefImporter::Import(const std::string& fileName, host::Interface& ip, bool suppressPrompts) {
  const std::string cfg = ConfigPath(ip);
  switch (LoadConfig(cfg, settings_)) {
    case ConfigStatus::kOk:
      break;
    case ConfigStatus::kUnreadable:
    case ConfigStatus::kNewerFormat:
      return 0;
  }
  if (!suppressPrompts) {
    host::DialogModel d = MakeImportDialog(settings_.newScene);
    if (ip.UI().RunModal(d) != IDC_IMPORT_OK) return 1;
    if (const host::DialogControl* c = d.Find(IDC_NEW_SCENE)) settings_.newScene = c->value != 0;
  }

  // The log's and the memory manager's own failures reach the artist as message boxes.
  support::LogSetMessageHandler([&ip](const std::string& text, const std::string& caption) {
    ip.UI().MessageBox({text, caption, host::Buttons::Ok, host::Icon::Error});
  });
  const std::string logPath = ip.MapHostPath(kLogPath);
  support::LogParams params{.fileName = logPath.c_str(), .header = kLogHeader};
  support::LogOpen(&params);

  ImportContext ctx(ip);
  ctx.fileName = fileName;
  ctx.searchFolder = settings_.searchFolder;
  if (auto p = ip.GetSceneProperty(kCaseInsensitiveProperty)) {
    if (auto* i = std::get_if<int>(&*p)) ctx.caseInsensitive = *i != 0;
  }

  if (settings_.newScene) {
    ip.ResetScene();
    support::LogWrite(">NewScene", kLogTree);
  } else {
    support::LogWrite(">MergeScene", kLogTree);
  }
  ip.ProgressStart("Importing ZEF...", true);
  ip.ProgressUpdate(0);

  bool ok = false;
  if (!ctx.heap.InitMemMgr("ZefImport")) {
    ip.ProgressEnd();
    support::LogClose();
    support::LogSetMessageHandler({});
    return 0;
  }
  ctx.unknownBlocks = false;
  switch (ctx.reader.Load(ip.MapHostPath(fileName))) {
    case LoadStatus::kOk:
      ok = ImportWalk(ctx);
      break;
    case LoadStatus::kCannotOpen: {
      std::string text = "Can't open file: " + fileName + "\n";
      support::LogWrite(text.c_str(), support::LOG_ERROR);
      ctx.Message(text, "Error");
      break;
    }
    case LoadStatus::kNoMemory:
      support::LogWrite("Allocation for ZEF file failed!", support::LOG_ERROR);
      ctx.Message("Allocation for ZEF file failed!", "Error");
      break;
  }
  ctx.reader.Release();
  ctx.heap.ReleaseMemMgr();
  ip.ProgressUpdate(99);
  ip.ProgressEnd();

  if (ctx.unknownBlocks) ctx.Message(kUnknownBlocksText, "Info", host::Icon::Information);
  if (ok)
    LogFormat(support::LOG_INFO, "Import %s", "done.");
  else
    LogFormat(support::LOG_ERROR, "Import %s", "failed!");
  support::LogClose();
  support::LogSetMessageHandler({});
  settings_.searchFolder = ctx.searchFolder;
  SaveConfig(cfg, settings_);
  ip.RedrawViews();
  return ok ? 1 : 0;
}

}  // namespace vorlan::zefimport

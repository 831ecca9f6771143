#include "shoteditor/shd_io.h"

#include <cstdio>

#include "shoteditor/shd_file.h"
#include "support/file_io.h"

namespace vorlan::shoteditor {

namespace {

constexpr uint32_t kMissingCameraColour = 0xE0;
constexpr uint32_t kExportSelected = 1;

int32_t ToTicks(int32_t frames, int ticksPerFrame) {
  int64_t t = int64_t(frames) * ticksPerFrame;
  if (t > INT32_MAX) return INT32_MAX;
  if (t < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(t);
}

void Warn(host::Interface& ip, std::string text) {
  ip.UI().MessageBox({.text = std::move(text), .caption = "Warning", .icon = host::Icon::Warning});
}

void SelectInHold(host::Interface& ip, host::Node* node) {
  ip.HoldBegin();
  ip.SelectNode(node, false);
  ip.HoldAccept("Select");
}

}  // namespace

bool IsCameraNode(host::Interface& ip, host::Node* node) {
  if (!node) return false;
  host::Object* obj = node->EvalWorldState(ip.GetTime());
  return obj && obj->GetSuperClassId() == host::kCameraClass;
}

std::string ManmPathFor(const std::string& shdPath) {
  std::size_t dot = shdPath.rfind('.');
  return (dot == std::string::npos ? shdPath : shdPath.substr(0, dot)) + ".manm";
}

bool WriteShotFile(host::Interface& ip, EditorState& state, const ShotList& list, const SaveOptions& options,
                   const std::string& path) {
  const int tpf = ip.GetTicksPerFrame();
  const TimelineRange& global = list.Range(kGlobalTimeLine);
  if (!(int64_t(global.begin) * tpf < int64_t(global.end) * tpf))
    Warn(ip, "The Global Timeline is not set properly!");

  ShdContent content;
  content.globalBeginTicks = ToTicks(global.begin, tpf);
  content.globalEndTicks = ToTicks(global.end, tpf);
  content.ticksPerFrame = tpf;
  content.frameRate = ip.GetFrameRate();
  content.hideWeapon = options.hideWeapon;
  state.hideWeapon = options.hideWeapon;
  content.commands = list.Commands();
  for (const WizardRow& w : options.rows) {
    AnimationInfoRow row;
    row.checked = w.checked;
    row.startTime = ParseStartTime(w.startTime);
    row.dummyName = w.dummyName;
    row.entityName = w.entityName;
    row.path = w.path;
    if (host::Node* dummy = ip.GetINodeByName(w.dummyName))
      row.matrix = RowMatrix(dummy->GetNodeTM(ToTicks(row.startTime, tpf)));
    else
      Warn(ip, "Can't find node: \"" + w.dummyName + "\"!");
    content.rows.push_back(row);
    state.keptRows.push_back(std::move(row));
  }
  std::vector<uint8_t> bytes = WriteShd(content);
  if (!support::WriteFileAtomic(support::NativePath(path), bytes)) {
    ip.UI().MessageBox({.text = "Can't create file", .caption = "Error", .icon = host::Icon::Error});
    return false;
  }
  return true;
}

void ExportUsedCameras(host::Interface& ip, const ShotList& list, const std::vector<std::string>& dummyNames,
                       const std::string& manmPath) {
  ip.ClearSelection();
  for (const ShotCommand& c : list.Commands())
    if (IsCameraNode(ip, c.camera)) SelectInHold(ip, c.camera);
  for (const std::string& name : dummyNames)
    if (host::Node* dummy = ip.GetINodeByName(name)) SelectInHold(ip, dummy);
  // KeyExport reports its own troubles; the data file is saved either way.
  ip.ExportToFile(manmPath, host::kKeyExportClassId, true, kExportSelected);
}

bool SaveShotList(host::Interface& ip, EditorState& state, ShotList& list, const SaveOptions& options) {
  auto path = ip.UI().PickFile({.title = "Save file...",
                                .filter = kShdFilter,
                                .initialPath = state.lastDataFile,
                                .save = true,
                                .defaultExt = "shd"});
  if (!path) return false;
  state.lastDataFile = *path;
  state.keptRows.clear();
  if (!WriteShotFile(ip, state, list, options, *path)) return false;
  list.SetFilePath(*path);
  if (options.exportCameras) {
    std::vector<std::string> dummies;
    for (const WizardRow& r : options.rows) dummies.push_back(r.dummyName);
    ExportUsedCameras(ip, list, dummies, ManmPathFor(*path));
  }
  list.SetDirty(false);
  return true;
}

LoadOutcome LoadShotList(host::Interface& ip, EditorState& state, ShotList& list) {
  auto path = ip.UI().PickFile({.title = "Load file...",
                                .filter = kShdFilter,
                                .initialPath = state.lastDataFile,
                                .defaultExt = "shd"});
  if (!path) return LoadOutcome::Cancelled;
  return LoadShotFile(ip, state, list, *path);
}

LoadOutcome LoadShotFile(host::Interface& ip, EditorState& state, ShotList& list, const std::string& path) {
  state.lastDataFile = path;
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(support::NativePath(path), bytes)) {
    ip.UI().MessageBox({.text = "Can't open file", .caption = "Error", .icon = host::Icon::Error});
    return LoadOutcome::CannotOpen;
  }
  // The whole file is checked before anything is replaced.
  ShdReadResult read = ReadShd(bytes);
  if (read.status == ShdReadResult::Status::WrongMagic) return LoadOutcome::WrongMagic;
  if (read.status == ShdReadResult::Status::Corrupted) {
    ip.UI().MessageBox(
        {.text = "Corrupted .shd file!", .caption = "Shot-Editor: Error", .icon = host::Icon::Error});
    return LoadOutcome::Corrupted;
  }

  const ShdFile& file = read.file;
  state.keptRows.clear();
  list.Clear();
  ip.SetAnimRange({file.globalBeginTicks, file.globalEndTicks});
  ip.SetTicksPerFrame(file.ticksPerFrame);
  ip.SetFrameRate(file.frameRate);

  bool stopped = false;
  for (const ShdBlock& block : file.blocks) {
    switch (block.id) {
      case kCommandsBlock:
        for (const ShotCommand& entry : block.commands) {
          ShotCommand c = entry;
          c.camera = ip.GetINodeByName(c.itemName);
          list.Commands().push_back(c);
          if (c.camera) continue;
          list.Commands().back().colour = kMissingCameraColour;
          host::Answer a =
              ip.UI().MessageBox({.text = "Can't find node '" + c.itemName + "'!\nContinue with importing?",
                                  .caption = "Warning",
                                  .buttons = host::Buttons::YesNo,
                                  .icon = host::Icon::Warning});
          if (a != host::Answer::Yes) {
            stopped = true;
            break;
          }
        }
        list.Select(0);
        break;
      case kAnimationBlock:
        state.keptRows.insert(state.keptRows.end(), block.rows.begin(), block.rows.end());
        break;
      case kOptionsBlock:
        state.hideWeapon = block.hideWeapon != 0;
        break;
      default:
        break;
    }
    if (stopped) break;
  }
  list.RecomputeGlobal();
  if (stopped) {
    // The list holds part of a file: unsaved work, not the file.
    list.SetDirty(true);
    return LoadOutcome::Stopped;
  }
  list.SetFilePath(path);
  list.SetDirty(false);
  return LoadOutcome::Loaded;
}

}  // namespace vorlan::shoteditor

#include "kitexport/kit_run.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "host/control.h"
#include "kitexport/eqp_file.h"
#include "kitexport/index_file.h"
#include "kitexport/zef_search.h"
#include "support/file_io.h"
#include "support/log.h"

namespace vorlan::kitexport {

namespace fs = std::filesystem;

namespace {

void LogLine(int32_t level, const std::string& text) { support::LogWrite((text + "\n").c_str(), level); }

class Run {
 public:
  Run(host::Interface& ip, const KitSettings& settings, const std::string& sceneFile)
      : ip_(ip),
        settings_(settings),
        sceneFile_(sceneFile),
        exportDir_(ExportDir(settings)),
        index_(settings.enginePath) {}

  KitRunResult Go() {
    std::string logPath = ip_.MapHostPath(kKitLogFile);
    support::LogParams params{logPath.c_str(), "Log for kitExport:\n\n", support::kLogCreate,
                              support::kLogEnabled};
    support::LogOpen(&params);
    if (settings_.generateIndex)
      result_.indexPath = exportDir_ + IndexFileName(support::FileNamePart(sceneFile_));
    runStart_ = fs::file_time_type::clock::now();
    host::Node* root = ip_.GetRootNode();
    for (int i = 0; root && i < root->NumberOfChildren(); ++i) Visit(*root->GetChildNode(i));
    // The index is written whole at the end, so a run that fails half-way never leaves an
    // index that names only some of the files.
    if (settings_.generateIndex) {
      result_.indexSections = index_.Sections();
      if (!support::WriteFileAtomic(ip_.MapHostPath(result_.indexPath), index_.Text())) {
        Error("Can't create file: " + result_.indexPath);
        LogLine(support::LOG_ERROR, "Can't create file: " + result_.indexPath);
      }
    }
    LogLine(support::LOG_INFO, "Export Done.");
    support::LogClose();
    return std::move(result_);
  }

 private:
  void Visit(host::Node& node) {
    LogLine(support::LOG_INFO, node.GetName());
    host::Object* obj = node.EvalWorldState(0);
    if (obj && node.Selected() &&
        (obj->GetSuperClassId() == host::kGeomObjectClass || obj->GetSuperClassId() == host::kHelperClass))
      WriteEquipment(node);
    char fill = ' ';
    int indent = support::LogGetIndent(&fill);
    support::LogSetIndent(indent + 2, ' ');
    for (int i = 0; i < node.NumberOfChildren(); ++i) Visit(*node.GetChildNode(i));
    support::LogSetIndent(indent, fill);
  }

  void WriteEquipment(host::Node& node) {
    host::Node* parent = node.GetParentNode();
    if (!IsEquipmentBone(parent)) return;
    std::string path = ChooseEqpPath(exportDir_, node.GetName(), settings_.rewrite, runStart_, written_,
                                     [this](const std::string& p) { return ip_.MapHostPath(p); });
    std::vector<uint8_t> bytes = EncodeEqp(EquipmentPlacement(node, *parent), AttachBoneName(*parent));
    if (!support::WriteFileAtomic(ip_.MapHostPath(path), bytes)) {
      Error("Can't create file: " + path);
      return;
    }
    written_.insert(path);
    result_.generated.push_back(path.substr(exportDir_.size()));
    if (settings_.generateIndex) IndexEntry(node.GetName(), path);
  }

  void IndexEntry(const std::string& nodeName, const std::string& eqpPath) {
    std::string wanted = nodeName + ".zef";
    std::vector<std::string> matches = FindFilesNoCase(
        ZefRoot(settings_), wanted, [this](const std::string& p) { return ip_.MapHostPath(p); });
    if (matches.empty()) {
      ip_.UI().MessageBox({.text = wanted, .caption = "File not found!", .icon = host::Icon::Error});
      LogLine(support::LOG_ERROR, "File not found: " + wanted);
      return;
    }
    if (matches.size() == 1) {
      LogLine(support::LOG_INFO, matches.front());
    } else {
      ip_.UI().MessageBox(
          {.text = "There is more .zef files with the same name!\nSee C:\\kitExport.log for details.",
           .caption = "Warning!",
           .icon = host::Icon::Warning});
      LogLine(support::LOG_WARNING, "There is more .zef files with the same name!");
      char fill = ' ';
      int indent = support::LogGetIndent(&fill);
      support::LogSetIndent(indent + 2, ' ');
      for (const std::string& m : matches) LogLine(support::LOG_WARNING, m);
      support::LogSetIndent(indent, fill);
    }
    index_.AddSection(eqpPath, matches);
  }

  void Error(const std::string& text) {
    ip_.UI().MessageBox({.text = text, .caption = "Error", .icon = host::Icon::Error});
  }

  host::Interface& ip_;
  const KitSettings& settings_;
  std::string sceneFile_;
  std::string exportDir_;
  IndexFile index_;
  fs::file_time_type runStart_;
  std::set<std::string> written_;
  KitRunResult result_;
};

}  // namespace

bool IsEquipmentBone(const host::Node* parent) {
  const host::Control* c = parent ? parent->GetTMController() : nullptr;
  return c && c->GetClassId() == kBipedBoneControlClassId;
}

std::string AttachBoneName(const host::Node& parent) {
  return parent.NumberOfChildren() > 0 ? parent.GetChildNode(0)->GetName() : parent.GetName();
}

host::Matrix3 EquipmentPlacement(const host::Node& node, const host::Node& parent) {
  host::Matrix3 tm = node.GetNodeTM(0);
  tm.SetTrans(tm.GetTrans() - parent.GetNodeTM(0).GetTrans());
  return tm;
}

std::string ChooseEqpPath(const std::string& exportDir, const std::string& nodeName, bool rewrite,
                          fs::file_time_type runStart, const std::set<std::string>& writtenThisRun,
                          const std::function<std::string(const std::string&)>& toNative) {
  std::string candidate = exportDir + nodeName + ".eqp";
  for (int n = 1;; ++n) {
    std::string native = toNative(candidate);
    if (!support::FileExists(native)) return candidate;
    if (rewrite && !writtenThisRun.count(candidate)) {
      std::error_code ec;
      fs::file_time_type written = fs::last_write_time(native, ec);
      if (ec || ::access(native.c_str(), R_OK) != 0 || runStart > written) return candidate;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%02d.eqp", n);
    candidate = exportDir + nodeName + suffix;
  }
}

}  // namespace vorlan::kitexport

namespace vorlan::kitexport {

KitRunResult RunKitExport(host::Interface& ip, const KitSettings& settings, const std::string& sceneFile) {
  return Run(ip, settings, sceneFile).Go();
}

}  // namespace vorlan::kitexport

// A character on the workbench for the exporter's tests: a skeleton root, bone nodes, skinned
// meshes, and a host whose cancel button can be pressed after a number of polls.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "rigexp/exporter.h"
#include "support/file_io.h"
#include "workbench/character.h"
#include "workbench/controllers.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::rigexp::testing {

struct RigHostParts {
  workbench::Scene scene;
  workbench::ScriptedUI ui;
};

class RigHost : public RigHostParts, public workbench::Workbench {
 public:
  RigHost() : workbench::Workbench(scene, ui) {
    char tmpl[] = "/tmp/vorlan_rig_XXXXXX";
    dir = ::mkdtemp(tmpl);
    SetPlugCfgDir(dir + "/cfg");
    SetLogDir(dir + "/logs");
    SetComputerName("BUILDBOX");
    SetUserName("artist");
    SetViewportEnabled(false);
  }
  ~RigHost() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  bool GetCancel() override { return cancelAfter >= 0 && polls++ >= cancelAfter; }

  workbench::SceneNode& SkeletonRoot(const std::string& name = "Bip01") {
    auto& n = scene.CreateNode(name);
    n.SetObject(std::make_shared<workbench::SkeletonRootObject>());
    return n;
  }
  workbench::SceneNode& Bone(const std::string& name, workbench::SceneNode& parent, host::Point3 at,
                             host::ClassId controller = host::kBipedSlaveControlClassId) {
    auto& n = scene.CreateNode(name, &parent);
    n.SetTransform(host::Matrix3::Translation(at));
    n.TMControl()->SetClassId(controller);
    return n;
  }

  int Export(const std::string& name, uint32_t options = 0) {
    RigExporter exporter;
    int r = exporter.DoExport(Path(name).c_str(), *this, true, options);
    lastCuts = exporter.LastCuts();
    return r;
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::vector<uint8_t> Read(const std::string& name) const {
    std::vector<uint8_t> bytes;
    support::ReadWholeFile(Path(name), bytes);
    return bytes;
  }
  std::string Log() const {
    std::vector<uint8_t> bytes;
    support::ReadWholeFile(MapHostPath(kRigLogPath), bytes);
    return {bytes.begin(), bytes.end()};
  }

  std::string dir;
  int cancelAfter = -1;
  int polls = 0;
  std::vector<MeshCutReport> lastCuts;
};

}  // namespace vorlan::rigexp::testing

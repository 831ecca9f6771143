// The generated scene of the export and import benchmarks: 1,000,000 triangles in 100 mesh
// objects sharing a five-material multi-material with two texture channels, and a host that
// answers every question with its first button and shows nothing.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host/interface.h"
#include "workbench/materials.h"
#include "workbench/scene.h"

namespace vorlan::bench {

constexpr int kObjects = 100;
constexpr int kQuadsX = 50, kQuadsY = 100;  // 10,000 triangles per object
constexpr int kMaterials = 5;

// Answers every question with its first button and shows nothing.
class QuietWindow : public host::ModelessWindow {
 public:
  void SetTitle(const std::string&) override {}
  void SetText(int, const std::string&) override {}
  void SetRange(int, int, int) override {}
  void SetPos(int, int) override {}
  void Show(bool) override {}
};
class QuietUI : public host::UserInterface {
 public:
  host::Answer MessageBox(const host::MessageBoxRequest& r) override {
    ++messages;
    return r.buttons == host::Buttons::YesNo || r.buttons == host::Buttons::YesNoCancel ? host::Answer::Yes
                                                                                        : host::Answer::Ok;
  }
  int RunModal(host::DialogModel& m) override { return m.result = 1001; }
  std::unique_ptr<host::ModelessWindow> OpenModeless(const host::DialogModel&) override {
    return std::make_unique<QuietWindow>();
  }
  std::optional<std::string> PickFile(const host::FilePickerRequest&) override { return std::nullopt; }
  std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }
  int messages = 0;
};

class BenchInterface : public host::Interface {
 public:
  BenchInterface(workbench::Scene& scene, std::string cfgDir) : scene_(scene), cfgDir_(std::move(cfgDir)) {}
  host::UserInterface& UI() override { return ui; }
  host::Node* GetRootNode() override { return &scene_.Root(); }
  host::Node* GetINodeByName(const std::string& name) override { return scene_.FindNode(name); }
  uint32_t GetHostVersion() const override { return 100; }
  std::string GetPlugCfgDir() const override { return cfgDir_; }
  std::string GetComputerName() const override { return "BENCH"; }
  std::string GetUserName() const override { return "bench"; }
  std::optional<host::SceneProperty> GetSceneProperty(const std::string&) const override {
    return std::nullopt;
  }
  std::optional<host::ViewportImage> GrabViewport() override { return std::nullopt; }
  bool ExportToFile(const std::string&, host::ClassId, bool, uint32_t) override { return false; }
  QuietUI ui;

 private:
  workbench::Scene& scene_;
  std::string cfgDir_;
};

// A gently waved grid, smoothed as one group, with two texture channels.
inline host::Mesh Grid(float phase) {
  host::Mesh m;
  for (int y = 0; y <= kQuadsY; ++y)
    for (int x = 0; x <= kQuadsX; ++x)
      m.verts.push_back(
          {float(x), float(y), 0.3f * std::sin(0.2f * float(x) + phase) * std::cos(0.1f * float(y))});
  auto at = [](int x, int y) { return uint32_t(y * (kQuadsX + 1) + x); };
  for (int y = 0; y < kQuadsY; ++y)
    for (int x = 0; x < kQuadsX; ++x) {
      const uint16_t mat = uint16_t((y * kQuadsX + x) % kMaterials);
      m.faces.push_back({{at(x, y), at(x + 1, y), at(x + 1, y + 1)}, 1, mat, 7});
      m.faces.push_back({{at(x, y), at(x + 1, y + 1), at(x, y + 1)}, 1, mat, 7});
    }
  for (int ch : {1, 2}) {
    host::MapChannel& map = m.Map(ch);
    const float scale = ch == 1 ? 1.0f : 0.25f;
    for (const host::Point3& p : m.verts)
      map.tverts.push_back({p.x / kQuadsX * scale, p.y / kQuadsY * scale, 0});
    for (const host::MeshFace& f : m.faces) map.tfaces.push_back(f.v);
  }
  return m;
}

struct BenchScene {
  workbench::Scene scene;
  std::vector<workbench::SceneNode*> nodes;

  BenchScene() {
    auto multi = std::make_shared<workbench::MultiMtl>("Terrain", kMaterials);
    for (int i = 0; i < kMaterials; ++i) {
      auto sub = std::make_shared<workbench::StandardMtl>("Mat" + std::to_string(i));
      for (int slot : {1, 11}) {
        auto tex = std::make_shared<workbench::BitmapTex>("C:\\maps\\m" + std::to_string(i) + "_" +
                                                          std::to_string(slot) + ".tga");
        tex->uvGen.mapChannel = slot == 1 ? 1 : 2;
        sub->SetMap(slot, tex);
      }
      multi->subs[static_cast<std::size_t>(i)] = sub;
    }
    for (int i = 0; i < kObjects; ++i) {
      auto& node = scene.CreateNode("Grid" + std::to_string(i));
      node.SetObject(std::make_shared<workbench::MeshObject>(Grid(0.1f * float(i))));
      node.SetMtl(multi);
      node.SetTransform(host::Matrix3::Translation({float(i % 10) * 60.0f, float(i / 10) * 110.0f, 0}));
      nodes.push_back(&node);
    }
  }
};

inline BenchScene& Scene() {
  static BenchScene s;
  return s;
}

}  // namespace vorlan::bench

// A workbench scene with one mesh node, a recording user interface and a temporary folder for
// textures and the configuration file, for tests that drive a Mapwright session.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "mapwright/image_codecs.h"
#include "mapwright/session.h"
#include "workbench/materials.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

namespace vorlan::mapwright::testing {

class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/vorlan_mw_XXXXXX";
    if (char* p = ::mkdtemp(tmpl)) path_ = p;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

struct SessionFixture : ::testing::Test {
  TempFolder dir;
  workbench::Scene scene;
  workbench::ScriptedUI ui;
  workbench::Workbench ip{scene, ui};
  Settings settings;
  Session session{ip, settings};

  SessionFixture() { ip.SetPlugCfgDir(dir.Path()); }

  // A white bitmap of the given size written into the temporary folder.
  std::string Bitmap(const std::string& name, int w, int h) {
    std::string path = dir.File(name);
    WriteBytes(path, EncodeBmp(*NewImage(w, h)));
    return path;
  }

  // A Standard material with a bitmap texture in its diffuse slot (none without a file).
  std::shared_ptr<workbench::StandardMtl> Material(const std::string& name, const std::string& file,
                                                   int channel = 1) {
    auto m = std::make_shared<workbench::StandardMtl>(name);
    if (!file.empty()) {
      auto tex = std::make_shared<workbench::BitmapTex>(file, name + " map");
      tex->uvGen.mapChannel = channel;
      m->SetMap(1, tex);
    }
    return m;
  }

  // A selected node with a mesh whose faces are all selected.
  workbench::SceneNode& MeshNode(host::Mesh mesh, std::shared_ptr<host::Mtl> mtl = nullptr) {
    mesh.faceSel.assign(mesh.faces.size(), 1);
    auto& node = scene.CreateNode("mesh");
    node.SetObject(std::make_shared<workbench::MeshObject>(std::move(mesh)));
    node.SetMtl(std::move(mtl));
    node.SetSelected(true);
    return node;
  }

  host::Mesh& MeshOf(workbench::SceneNode& node) {
    return static_cast<workbench::MeshObject&>(*node.ObjectPtr()).mesh;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (auto& m : ui.messages) out.push_back(m.text + " [" + m.caption + "]");
    return out;
  }
};

// Two triangles forming a quad in the XY plane, mapped with shared map vertices.
inline host::Mesh QuadMesh() {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
  m.faces = {{.v = {0, 1, 2}}, {.v = {0, 2, 3}}};
  auto& map = m.Map(1);
  map.tverts = {{0.1f, 0.2f, 0}, {0.7f, 0.2f, 0}, {0.7f, 0.9f, 0}, {0.1f, 0.9f, 0}};
  map.tfaces = {{0, 1, 2}, {0, 2, 3}};
  return m;
}

}  // namespace vorlan::mapwright::testing

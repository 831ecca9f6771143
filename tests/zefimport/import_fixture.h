// Runs the importer on the workbench host over a scripted interface, on files written by
// the image builder or by the scene exporter.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/file_io.h"
#include "workbench/materials.h"
#include "zef/image_builder.h"
#include "zefexport/test_host.h"
#include "zefimport/import_config.h"
#include "zefimport/importer.h"

namespace vorlan::testing {

using zef::testing::ImageBuilder;
using zef::testing::Vertex;

// A file with the header, an Info block and a root node whose contents the caller writes.
class ZefFileBuilder {
 public:
  explicit ZefFileBuilder(uint32_t version = zef::kVersion0100) {
    b.Header(0x2A00, version);
    b.Info("BUILDBOX\\artist", "");
    root = b.BeginNode("Scene Root");
  }
  // Closes the root node with `children` top-level nodes and returns the file.
  std::vector<uint8_t> Finish(uint32_t children) {
    b.EndNode(root, children);
    return b.Written();
  }
  ImageBuilder b;
  uint32_t root = 0;
};

// A triangle's three corners, optionally with texture pairs.
inline std::vector<Vertex> TriangleCorners(std::vector<std::pair<float, float>> uv = {}) {
  std::vector<Vertex> c(3);
  c[0].p[0] = 0, c[1].p[0] = 1, c[2].p[1] = 1;
  for (auto& v : c) v.uv = uv;
  return c;
}

class ImportFixture : public ::testing::Test {
 protected:
  // Writes `bytes` to `name` in the host's folder and imports it.
  int Import(const std::vector<uint8_t>& bytes, bool suppress = true, const std::string& name = "in.zef") {
    path = host.Path(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(support::WriteFileAtomic(path, bytes));
    return ImportFile(path, suppress);
  }
  int ImportFile(const std::string& file, bool suppress = true) {
    zefimport::ZefImporter importer;
    return importer.DoImport(file.c_str(), host, suppress);
  }
  std::string Log() const {
    std::ifstream in(host.dir + "/logs/zefImport.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Whether the log has `text` at a level whose prefix is `prefix`, at any indentation.
  bool Logged(const std::string& prefix, const std::string& text) const {
    const std::string log = Log();
    for (std::size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
      std::size_t p = at + prefix.size();
      while (p < log.size() && log[p] == ' ') ++p;
      if (log.compare(p, text.size(), text) == 0) return true;
    }
    return false;
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : host.ui.messages) out.push_back(m.text);
    return out;
  }
  workbench::SceneNode* Find(const std::string& name) { return host.scene.FindNode(name); }
  host::Mesh* MeshOf(const std::string& name) {
    workbench::SceneNode* n = Find(name);
    return n && n->ObjectPtr() ? n->ObjectPtr()->GetEditableMesh() : nullptr;
  }
  void SaveSettings(bool newScene, const std::string& folder = {}) {
    zefimport::SaveConfig(host.cfgDir + "/zefImport.cfg", {newScene, folder});
  }

  TestHost host;
  std::string path;
};

}  // namespace vorlan::testing

// A small host for driving the scene exporter in tests: a workbench scene, a scripted user
// interface, and a private configuration folder, without loading any module.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/interface.h"
#include "support/bytes.h"
#include "support/file_io.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zef/reader.h"
#include "zefexport/export_config.h"
#include "zefexport/exporter.h"

namespace vorlan::testing {

// The scene and the scripted interface are built before the workbench that serves them.
struct TestHostParts {
  workbench::Scene scene;
  workbench::ScriptedUI ui;
};

// The workbench over a scripted interface, with fixed names and a private configuration folder.
// The viewport is whatever the test puts there (none by default), so exports stay fast.
class TestHost : public TestHostParts, public workbench::Workbench {
 public:
  TestHost() : workbench::Workbench(scene, ui) {
    char tmpl[] = "/tmp/vorlan_test_XXXXXX";
    dir = ::mkdtemp(tmpl);
    cfgDir = dir + "/cfg";
    std::filesystem::create_directories(cfgDir);
    SetPlugCfgDir(cfgDir);
    SetLogDir(dir + "/logs");
    SetComputerName("BUILDBOX");
    SetUserName("artist");
  }
  ~TestHost() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::optional<host::ViewportImage> GrabViewport() override { return viewport; }

  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::vector<uint8_t> Read(const std::string& path) const {
    std::vector<uint8_t> bytes;
    support::ReadWholeFile(path, bytes);
    return bytes;
  }

  std::optional<host::ViewportImage> viewport;
  std::string dir, cfgDir;
};

// The blocks of a parsed file: the root node, and the nodes under it by name.
inline const zef::BlockInfo* FindChild(const zef::BlockInfo& parent, uint32_t id, int nth = 0) {
  for (const auto& c : parent.children)
    if (c.id == id && nth-- == 0) return &c;
  return nullptr;
}

inline std::string FieldValue(const zef::BlockInfo& b, std::string_view key) {
  const zef::Field* f = b.Find(key);
  return f ? f->value : std::string("<none>");
}

inline host::Mesh Triangle() {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  m.faces.push_back({.v = {0, 1, 2}, .smGroup = 1});
  return m;
}

// Runs the exporter on the test host's scene and parses what it wrote.
class ExportFixture : public ::testing::Test {
 protected:
  int Export(uint32_t options = zefexport::kOptNoDialog | zefexport::kOptSmoothWholeScene,
             bool suppress = true, const std::string& name = "out.zef") {
    out = host.Path(name);
    int r = exporter.DoExport(out.c_str(), host, suppress, options);
    bytes = host.Read(host.Path(name));
    file = {};
    if (bytes.size() >= 4 && support::LoadU32(bytes.data()) == 0x0046455A) {
      EXPECT_EQ(zef::ParseZef(bytes, file), zef::ZefResult::kSuccess);
    }
    // Whatever the exporter says it wrote, our reader must read without a finding.
    if (r == 1 && !bytes.empty()) {
      EXPECT_TRUE(file.problems.empty()) << file.problems.front();
      std::vector<std::string> findings = zef::ValidateZef(bytes, file);
      EXPECT_TRUE(findings.empty()) << findings.front();
    }
    return r;
  }
  // The RootNode block (its children are the MatList and the top-level nodes).
  const zef::BlockInfo* Root() const {
    for (const auto& b : file.blocks)
      if (b.id == 0x0001) return &b;
    return nullptr;
  }
  // A node block by name anywhere below the root.
  const zef::BlockInfo* Node(std::string_view name) const {
    const zef::BlockInfo* root = Root();
    return root ? FindNode(*root, name) : nullptr;
  }
  static const zef::BlockInfo* FindNode(const zef::BlockInfo& in, std::string_view name) {
    for (const auto& c : in.children) {
      if (c.id != 0x0001) continue;
      if (FieldValue(c, "name") == name) return &c;
      if (const auto* deeper = FindNode(c, name)) return deeper;
    }
    return nullptr;
  }

  TestHost host;
  zefexport::ZefExporter exporter;
  std::string out;
  std::vector<uint8_t> bytes;
  zef::ZefFile file;
};

}  // namespace vorlan::testing

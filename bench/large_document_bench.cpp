// Writes and reads back a scene whose arrays take more than 2^31 bytes in a scene document
// (the single-file .vscb form, then the .vscene + .vbin form), and checks that every value
// came back. The scene is summed and freed before the document is read, so at no time are
// two copies of the arrays in memory; the peak resident size is printed beside the arrays'
// size. Too slow and too large for `make test` (about 2.2 GB on disk and 3 GB of memory):
// it runs with `make bench`.
//
//   large_document_bench [FOLDER] [FACES]
#include <sys/resource.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "workbench/materials_document.h"
#include "workbench/scene.h"
#include "workbench/scene_document.h"

namespace {

using vorlan::workbench::MeshObject;
using vorlan::workbench::Scene;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

uint64_t PeakBytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return uint64_t(u.ru_maxrss) * 1024;
}

// Every value of the one mesh, in a running hash.
uint64_t Sum(const Scene& scene) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](uint64_t v) { h = (h ^ v) * 0x100000001b3ull; };
  for (const auto* n : scene.AllNodes()) {
    const auto* m = dynamic_cast<const MeshObject*>(n->ObjectPtr().get());
    if (!m) continue;
    for (const auto& p : m->mesh.verts) mix(std::bit_cast<uint32_t>(p.x) ^ (uint64_t(std::bit_cast<uint32_t>(p.z)) << 32));
    for (const auto& f : m->mesh.faces) mix(f.v[0] ^ (uint64_t(f.v[2]) << 32) ^ f.matId);
    for (const auto& t : m->mesh.maps.at(1).tverts) mix(std::bit_cast<uint32_t>(t.y));
    for (const auto& t : m->mesh.maps.at(1).tfaces) mix(t[1]);
  }
  return h;
}

void Build(Scene& scene, uint32_t faces) {
  auto object = std::make_shared<MeshObject>();
  vorlan::host::Mesh& m = object->mesh;
  const uint32_t verts = faces / 2 + 2;
  m.verts.reserve(verts);
  for (uint32_t i = 0; i < verts; ++i) m.verts.push_back({float(i), float(i % 1000) * 0.5f, float(i % 7)});
  m.faces.reserve(faces);
  for (uint32_t i = 0; i < faces; ++i)
    m.faces.push_back({.v = {i / 2, i / 2 + 1, i / 2 + 2}, .smGroup = 1, .matId = uint16_t(i % 5)});
  auto& uv = m.Map(1);
  uv.tverts.reserve(verts);
  for (uint32_t i = 0; i < verts; ++i) uv.tverts.push_back({float(i % 4096) / 4096.0f, float(i % 333) / 333.0f, 0});
  uv.tfaces.reserve(faces);
  for (uint32_t i = 0; i < faces; ++i) uv.tfaces.push_back({i / 2, i / 2 + 1, i / 2 + 2});
  scene.CreateNode("big").SetObject(object);
}

int Run(const std::string& path, uint32_t faces) {
  uint64_t sum = 0;
  {
    Scene scene;
    auto t = std::chrono::steady_clock::now();
    Build(scene, faces);
    sum = Sum(scene);
    std::printf("built %u faces in %.1f s\n", faces, Seconds(t));
    t = std::chrono::steady_clock::now();
    auto r = vorlan::workbench::SaveSceneDocument(scene, path);
    if (!r) {
      std::printf("save failed: %s\n", r.error.c_str());
      return 1;
    }
    std::printf("saved %s: %llu bytes in %.1f s\n", path.c_str(),
                static_cast<unsigned long long>(std::filesystem::file_size(path)), Seconds(t));
  }
  const uint64_t afterWrite = PeakBytes();
  Scene back;
  auto t = std::chrono::steady_clock::now();
  auto r = vorlan::workbench::LoadSceneDocument(path, back);
  if (!r) {
    std::printf("load failed: %s\n", r.error.c_str());
    return 1;
  }
  std::printf("read back in %.1f s; values %s\n", Seconds(t), Sum(back) == sum ? "equal" : "DIFFERENT");
  std::printf("peak resident: %.2f GB after writing, %.2f GB after reading\n", afterWrite / 1e9, PeakBytes() / 1e9);
  return Sum(back) == sum ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  vorlan::workbench::RegisterMaterialDocumentCodec();
  const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  // 64 Mi faces: 2.18e9 bytes of arrays in the document (faces 12, map faces 12, vertices 12
  // and texture vertices 8 bytes each, half as many vertices as faces).
  const uint32_t faces = argc > 2 ? uint32_t(std::stoul(argv[2])) : (64u << 20);
  int status = 0;
  for (const char* name : {"large_document_bench.vscb", "large_document_bench.vscene"}) {
    const std::string path = folder + "/" + name;
    status |= Run(path, faces);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    std::filesystem::remove(std::filesystem::path(path).replace_extension(".vbin"), ec);
  }
  return status;
}

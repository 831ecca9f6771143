// Prints the bytes of the arrays a scene document's meshes take in memory once loaded:
// vertices, faces, map channels, selections, hand-set normals and tangents, each as
// elements x element size (an object that several nodes share counts once). The scale
// benchmark sets peak memory against it.
//
//   scene_array_bytes FILE.vscene|FILE.vscb
#include <cstdio>
#include <vector>

#include "workbench/materials_document.h"
#include "workbench/scene.h"
#include "workbench/scene_document.h"

namespace {

template <typename T>
uint64_t Bytes(const std::vector<T>& v) {
  return uint64_t(v.size()) * sizeof(T);
}

uint64_t MeshBytes(const vorlan::workbench::MeshObject& object) {
  const vorlan::host::Mesh& m = object.mesh;
  uint64_t sum = Bytes(m.verts) + Bytes(m.faces) + Bytes(m.vertSel) + Bytes(m.faceSel) +
                 Bytes(m.explicitNormals) + Bytes(m.normalFaces) + Bytes(object.tangents) +
                 Bytes(object.tangentFaces);
  for (const vorlan::host::MapChannel& c : m.maps) sum += Bytes(c.tverts) + Bytes(c.tfaces);
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scene_array_bytes FILE.vscene|FILE.vscb\n");
    return 2;
  }
  vorlan::workbench::RegisterMaterialDocumentCodec();
  vorlan::workbench::Scene scene;
  auto r = vorlan::workbench::LoadSceneDocument(argv[1], scene);
  if (!r) {
    std::fprintf(stderr, "scene_array_bytes: %s\n", r.error.c_str());
    return 1;
  }
  uint64_t total = 0;
  for (const vorlan::workbench::SceneObject* object : scene.AllObjects())
    if (const auto* mesh = dynamic_cast<const vorlan::workbench::MeshObject*>(object))
      total += MeshBytes(*mesh);
  std::printf("%llu\n", static_cast<unsigned long long>(total));
  return 0;
}

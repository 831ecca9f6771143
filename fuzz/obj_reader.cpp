// The workbench's own OBJ reader on any bytes: the input is the OBJ text, and after a NUL
// byte the text of its material library ("lib.mtl" beside it). A file it takes is converted
// into a scene, which builds every mesh through the reader; the meshes must then be valid
// (every index within its table). A file it gives up on is Assimp's, not fuzzed here.
#include "interchange/obj_reader.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "interchange/import_parts.h"
#include "workbench/scene.h"

namespace {

namespace ix = vorlan::workbench::interchange;

const std::string& Folder() {
  static const std::string folder = [] {
    std::string f = "/tmp/fuzz_obj_reader_" + std::to_string(::getpid());
    std::filesystem::create_directories(f);
    return f;
  }();
  return folder;
}

void Write(const std::string& path, const char* data, std::size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(data, static_cast<std::streamsize>(size));
}

void CheckMeshes(const vorlan::workbench::SceneNode& node) {
  for (const vorlan::workbench::SceneNode* child : node.Children()) {
    if (auto mesh = std::dynamic_pointer_cast<const vorlan::workbench::MeshObject>(child->ObjectPtr())) {
      // Every index within its table, and no empty mesh (the converter keeps those as dummies).
      if (!mesh->mesh.IsValid() || mesh->mesh.faces.empty()) std::abort();
    }
    CheckMeshes(*child);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const auto* nul = static_cast<const char*>(std::memchr(text, '\0', size));
  const std::size_t objSize = nul ? static_cast<std::size_t>(nul - text) : size;
  const std::string obj = Folder() + "/in.obj", mtl = Folder() + "/lib.mtl";
  Write(obj, text, objSize);
  std::error_code ec;
  std::filesystem::remove(mtl, ec);
  if (nul) Write(mtl, nul + 1, size - objSize - 1);

  std::string why;
  std::unique_ptr<ix::ObjScene> read = ix::ReadObjScene(obj, why);
  if (!read) return 0;
  vorlan::workbench::Scene scene;
  const vorlan::workbench::ImportResult result =
      ix::ConvertAssimpScene(read->Scene(), obj, scene, vorlan::workbench::ImportOptions{}, read.get());
  if (!result.ok) std::abort();
  CheckMeshes(scene.Root());
  return 0;
}

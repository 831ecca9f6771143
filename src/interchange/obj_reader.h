// OBJ files (and their material library) read by the workbench itself, a line at a time,
// instead of through Assimp's reader: Assimp keeps every face and then one vertex per corner
// of the whole file, several times the memory of the scene it becomes.
//
// The scene comes out exactly as the Assimp route makes it: the same aiScene shape (a root
// named after the file, a node per object or group, a mesh per run of one material, Assimp's
// material list) with each mesh's vertices filled only when the converter asks for that
// node, one distinct (position, texture vertex, normal) combination per vertex instead of one
// per corner. The converter joins equal values either way, so the host meshes are the same.
//
// The reader takes only what it reproduces exactly; anything else in a file (polygons other
// than clearly convex flat quads, points, lines, curves, vertex colours, statements it does not know, unusual
// number forms, a missing material library, ...) makes it give up, and the file is read by Assimp as before.
#pragma once

#include <assimp/scene.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/import_parts.h"

namespace vorlan::workbench::interchange {

// Assimp's OBJ reader turns decimal text into floats its own way (integer and fraction parts
// apart, the fraction in double, the exponent as a float power of ten), which is not always
// the nearest float. This parses the forms whose result is known to equal it:
// [+-]digits[.digits][(e|E)[+-]digits] with at most 15 digits before the point (it reads
// the first 15 after it, as Assimp does) and an exponent within 30. False for anything else.
bool ParseObjFloat(std::string_view text, float& out);
// Up to `max` numbers separated by spaces, `count` of them read; false when there are more
// or one is not a number ParseObjFloat takes.
bool ParseObjNumbers(std::string_view text, float* out, int max, int& count);

// Hands `take` the file's lines (without "\n" or "\r\n") a piece of the file at a time.
// False when `take` says so, on a read error, or on a line too long to be OBJ data.
bool ReadObjLines(std::FILE* file, const std::function<bool(std::string_view)>& take);

// The OBJ file read into an Assimp scene whose meshes are filled on demand.
class ObjScene final : public MeshSource {
 public:
  ObjScene();
  ~ObjScene() override;
  ObjScene(const ObjScene&) = delete;
  ObjScene& operator=(const ObjScene&) = delete;

  const aiScene& Scene() const { return *scene_; }
  // What Assimp's reader would have logged reading the file (its warnings reach the artist).
  const std::vector<std::string>& Messages() const { return messages_; }
  // Fills the parts' aiMeshes, builds the host mesh from them, then frees both the filled
  // arrays and the parts' own data: each part is built once.
  BuiltMesh Build(std::span<const unsigned> parts, float scale, WarningSink& warnings) override;

  // One mesh as read: its distinct corners (indices into the file's arrays, -1 for none) and
  // its triangles as numbers of those corners.
  struct Part {
    std::vector<std::array<uint32_t, 3>> corners;
    std::vector<uint32_t> triangles;  // three per triangle
    bool uv = false, normals = false, uvw = false;
  };

 private:
  friend class ObjParser;
  void Fill(unsigned index);
  void Release(unsigned index);

  std::unique_ptr<aiScene> scene_;
  std::vector<std::array<float, 3>> positions_, texcoords_, normals_;
  std::vector<Part> parts_;
  std::vector<std::string> messages_;
};

// Null with `why` (for a debug line) when the file holds something this reader does not
// reproduce exactly or cannot be read: the caller reads it with Assimp instead.
std::unique_ptr<ObjScene> ReadObjScene(const std::string& path, std::string& why);

// The materials of an OBJ file as Assimp's OBJ reader lists them: its default material first,
// then those of the library in file order. False with `why` for a library holding anything
// not reproduced exactly. `names` receives the library's material names in order.
bool ReadObjMaterials(const std::string& mtlPath, std::vector<aiMaterial*>& out,
                      std::vector<std::string>& names, std::string& why);
aiMaterial* ObjDefaultMaterial();

}  // namespace vorlan::workbench::interchange

// The pieces of the interchange importer: warnings, meshes, materials, cameras, lights and
// user properties, each turning what Assimp read into the workbench's model. Internal to
// the importer; ImportInterchange (interchange_import.h) is the entry.
//
// Everything here takes an aiScene that Assimp built but checks every index and pointer
// before using it: a damaged file must not be able to crash the workbench.
#pragma once

#include <assimp/scene.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "host/mesh.h"
#include "interchange/import.h"
#include "workbench/materials.h"
#include "workbench/scene.h"

namespace vorlan::workbench::interchange {

struct BuiltMesh;
class WarningSink;

// Builds the host meshes of a scene whose aiMeshes hold no vertices yet (only their names and
// materials), so that a reader need not hold every mesh of a large file at once.
class MeshSource {
 public:
  virtual ~MeshSource() = default;
  // The host mesh of the parts (aiMesh indices), as BuildMesh would make it from them.
  virtual BuiltMesh Build(std::span<const unsigned> parts, float scale, WarningSink& warnings) = 0;
};

// Builds the nodes of a scene Assimp read from `path` (its extension tells the format) under
// the scene's root. May throw (out of memory); the nodes built so far are removed first.
// `meshes`, when given, builds the meshes instead of BuildMesh.
ImportResult ConvertAssimpScene(const aiScene& ai, const std::string& path, Scene& scene,
                                const ImportOptions& options, MeshSource* meshes = nullptr);

// ImportInterchange with every file read by Assimp: the reference the workbench's own
// readers are compared with.
ImportResult ImportThroughAssimp(const std::string& path, Scene& scene, const ImportOptions& options);

// Assimp logs through one process-wide logger, which an import replaces for its length to
// hear its own warnings: every use of Assimp takes turns at this lock.
std::mutex& AssimpLoggerMutex();

// Lines for the artist: a kind of loss is reported once, with a count and the first few
// names, however often it happens.
class WarningSink {
 public:
  // A line of its own (a missing texture file, say).
  void Add(std::string line);
  // Counts `n` more of a kind and remembers `item` (when not empty and not yet listed).
  // `what` describes the kind after the count: "animations not imported".
  void Tally(const std::string& what, uint64_t n, const std::string& item = {});
  // The lines in the order their kinds first appeared: "3 animations not imported: a, b, c".
  std::vector<std::string> Lines() const;

 private:
  struct Kind {
    uint64_t count = 0;
    std::vector<std::string> items;
    std::size_t order = 0;
  };
  std::vector<std::string> lines_;
  std::map<std::string, Kind> kinds_;
};

// Whether a mesh is the stand-in some Assimp importers make for files without geometry (a
// "SkeletonMaterial" mesh that draws the node tree): not content of the file.
bool IsGeneratedSkeletonMesh(const aiScene& scene, const aiMesh& mesh);

// Texture-coordinate sets a host mesh takes from one aiMesh.
inline constexpr int kMaxUvSets = 8;

// One host mesh made of several aiMeshes. Material IDs number the parts' distinct
// materials in order of first use.
struct BuiltMesh {
  host::Mesh mesh;
  // Per-vertex tangents of the parts, indexed like the normals; empty unless every part has them.
  std::vector<std::array<float, 4>> tangents;
  std::vector<std::array<uint32_t, 3>> tangentFaces;
  std::vector<unsigned> materials;  // the aiMaterial index of each material ID
};

// Precondition: every index in `meshes` is below scene.mNumMeshes and names a non-null mesh.
// Positions are multiplied by `scale`. Faces that are not triangles are dropped (points,
// lines) or fanned (polygons), with warnings.
BuiltMesh BuildMesh(const aiScene& scene, std::span<const unsigned> meshes, float scale,
                    WarningSink& warnings);

// Materials, made once per aiMaterial and once per combination of them.
class MaterialBuilder {
 public:
  MaterialBuilder(const aiScene& scene, const std::string& sourcePath, const ImportOptions& options,
                  WarningSink& warnings, ImportCounts& counts);

  // A Standard material for one index, a Multi/Sub-Object material for several; null for
  // none. Indices out of range get a grey default material.
  std::shared_ptr<host::Mtl> ForParts(const std::vector<unsigned>& materials);
  // Embedded images that were named but not written (no texture folder).
  uint32_t UnwrittenEmbedded() const { return unwrittenEmbedded_; }

 private:
  std::shared_ptr<StandardMtl> Standard(unsigned index);
  std::shared_ptr<StandardMtl> Convert(const aiMaterial& m, unsigned index);
  // The file a texture path of the material names, and whether it exists.
  std::string ResolveTexture(const std::string& raw, const std::string& material);
  std::string EmbeddedFile(unsigned index);
  std::string ExtractEmbedded(const aiTexture& texture, unsigned index, const std::string& name);

  const aiScene& scene_;
  std::string sourceDir_, sourceStem_;
  ImportOptions options_;
  WarningSink& warnings_;
  ImportCounts& counts_;
  std::map<unsigned, std::shared_ptr<StandardMtl>> standard_;
  std::shared_ptr<StandardMtl> fallback_;
  std::map<std::vector<unsigned>, std::shared_ptr<MultiMtl>> multi_;
  std::map<unsigned, std::string> embedded_;     // image index -> file
  std::map<std::string, std::string> resolved_;  // raw path -> file
  std::map<std::string, int> usedNames_;         // embedded file names handed out
  uint32_t unwrittenEmbedded_ = 0;
};

// A camera or light with its placement relative to its node (Assimp keeps a position and
// view direction in the object; the host keeps them in the node's transform).
struct PlacedCamera {
  std::shared_ptr<CameraObject> object;
  host::Matrix3 local;
};
// `gltf`: the camera came from glTF, whose vertical field of view Assimp turns into a
// horizontal one its own way (see the function).
PlacedCamera BuildCamera(const aiCamera& camera, bool gltf, WarningSink& warnings);

struct PlacedLight {
  std::shared_ptr<LightObject> object;
  host::Matrix3 local;
};
// `halfAngles`: the importer gave spot cones as angles from the axis (glTF's do), not as
// the full cone angles Assimp's other importers give.
PlacedLight BuildLight(const aiLight& light, bool halfAngles, WarningSink& warnings);

// The node's user-defined properties text, one "key=value" per line, from its metadata.
// `fbx`: leave out the settings every FBX model carries; its own "UserProperties" text (the
// properties an artist typed) comes first, as it is.
std::string UserPropsText(const aiMetadata* metadata, bool fbx);

}  // namespace vorlan::workbench::interchange

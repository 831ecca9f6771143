// The objects of a scene document: meshes, cameras, lights, dummies, helpers with their
// parameter blocks, shapes and unconvertible geometry, read and written as JSON.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "workbench/document_json.h"
#include "workbench/scene.h"

namespace vorlan::workbench::docjson {

// A parameter that names a node; set once all nodes exist.
struct NodeRefFixup {
  ParamBlockImpl* block = nullptr;
  int param = 0;
  int tab = 0;
  std::string name;
  std::string path;
};

// The arrays of a mesh object, read once the document's structure has been read.
struct MeshRead {
  const Json* mesh = nullptr;      // null: the object has no "mesh"
  const Json* tangents = nullptr;  // null: none
  std::string path;                // the object's
  MeshObject* object = nullptr;
};

// Reads an object definition at `path`. Node references are left unset and listed in
// `fixups`. With `later`, a mesh object is made empty and its arrays listed there for
// ReadMeshes. Throws DocumentError.
std::shared_ptr<SceneObject> ReadObject(const Json& j, const std::string& path,
                                        std::vector<NodeRefFixup>& fixups,
                                        std::vector<MeshRead>* later = nullptr);

// Reads the listed meshes into their objects; a large document's on two threads, each with
// the calling thread's document scope. The error thrown is the one that reading them in
// order meets first. Throws DocumentError.
void ReadMeshes(std::vector<MeshRead>& reads);
Json WriteObject(const SceneObject& object);

// Application data chunks: [{"owner": [a, b], "superClass": n, "sub": n, "hex"|"base64": text}].
void ReadAppData(const Json& j, const std::string& path, AppDataStore& out);
Json WriteAppData(const AppDataStore& data);

}  // namespace vorlan::workbench::docjson

// The scene document (.vscene): the workbench's JSON save format, the input of `vorlan
// export`. docs/scene-format.md describes it for people who write one by hand.
//
// Loading is all-or-nothing: the whole document is checked first, and the scene is changed
// only when it is sound. Errors name the file, the JSON path of the fault (for example
// `nodes[3].object.mesh.faces[7]`) and what was expected there.
//
// Materials are read and written by a codec that the materials module registers, so the
// document's "materials" array can grow without this file knowing the material classes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "host/limits.h"
#include "host/material.h"
#include "workbench/scene.h"

namespace vorlan::workbench {

// Documents keep their keys in the order written.
using Json = nlohmann::ordered_json;

inline constexpr int kSceneDocumentVersion = 1;
// Documents whose large arrays lie in a binary buffer; version 1 documents read as before.
inline constexpr int kSceneDocumentBufferVersion = 2;
// Arrays with at least this many elements go into the buffer when a document is saved.
inline constexpr uint64_t kDefaultBufferThreshold = 1024;
// A scene whose meshes hold more elements than this in all is a large scene even when each
// mesh is small (a level of thousands of props): its arrays go into the buffer from
// kLargeSceneBufferThreshold elements on, so that its JSON stays a small part of it.
inline constexpr uint64_t kLargeSceneElements = uint64_t{1} << 16;
inline constexpr uint64_t kLargeSceneBufferThreshold = 64;
// Nodes may nest this deep (the whole pipeline's limit); deeper documents are refused when
// they load, so that every document that loads also exports and reads back.
inline constexpr int kMaxNodeDepth = host::kMaxNodeDepth;

struct DocumentResult {
  bool ok = false;
  std::string error;
  explicit operator bool() const { return ok; }
};

// Reads and writes the "materials" array.
struct MaterialCodec {
  // One material per entry of `materials` (a JSON array), in order, appended to `out`. On a
  // fault: false, with `error` as "<path>: <what was expected>", the path starting with
  // "materials[i]".
  std::function<bool(const Json& materials, std::vector<std::shared_ptr<host::Mtl>>& out, std::string& error)>
      read;
  // The array for `materials`, one entry each, in this order. On a fault (a material the
  // codec cannot express): false with `error`.
  std::function<bool(const std::vector<std::shared_ptr<host::Mtl>>& materials, Json& out, std::string& error)>
      write;
};

// The codec used when the options name none. Not thread-safe against concurrent loads.
void SetMaterialCodec(MaterialCodec codec);
const MaterialCodec& GetMaterialCodec();

struct DocumentOptions {
  const MaterialCodec* materials = nullptr;  // null: the registered one
  // Saving: arrays of at least this many elements are stored little-endian in a binary
  // buffer (a ".vbin" file beside a ".vscene", or inside a ".vscb"), and in a scene of more
  // than kLargeSceneElements mesh elements those of at least kLargeSceneBufferThreshold
  // (when that is lower); 0 keeps every array in the JSON, which then reads as version 1.
  uint64_t bufferThreshold = kDefaultBufferThreshold;
};

// Loads a document into `scene`, adding its nodes under the root and setting its scene
// properties. Intended for an empty scene. On failure the scene is unchanged. Reads every
// form: plain JSON (version 1 or 2), JSON with its ".vbin" buffer, and the single ".vscb"
// file (recognised by its first bytes, whatever the extension). Relative paths inside the
// document are taken against the document's folder.
DocumentResult LoadSceneDocument(const std::string& path, Scene& scene, const DocumentOptions& options = {});
// The same from text in memory; `name` stands for the file in messages, and its folder is
// the document's folder.
DocumentResult ParseSceneDocument(std::string_view text, Scene& scene, std::string_view name = "<document>",
                                  const DocumentOptions& options = {});

// Writes the scene as a document, atomically (the previous file survives a failure): a
// ".vscb" path gets the single-file binary form; any other the JSON text, with a ".vbin"
// buffer of the same stem beside it when arrays reach the threshold. Paths of files under the
// document's folder are stored relative to it.
DocumentResult SaveSceneDocument(const Scene& scene, const std::string& path,
                                 const DocumentOptions& options = {});
// The document as JSON text (two-space indentation, a final newline); on failure empty text
// and `error` set.
std::string SceneDocumentText(const Scene& scene, std::string& error, const DocumentOptions& options = {});

}  // namespace vorlan::workbench

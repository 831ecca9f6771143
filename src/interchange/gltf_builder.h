// A glTF 2.0 document under construction: its JSON and its one binary buffer, written out as
// GLB. Arrays are appended to the buffer as they come (it grows in memory pages, nothing is
// copied twice), so building a file takes time in proportion to its size.
//
// The scene writer (export.cpp) fills it section by section; animations, skins and morph
// targets add their accessors and JSON the same way.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "support/file_io.h"
#include "support/page_bytes.h"

namespace vorlan::workbench::interchange {

// glTF's component types and buffer view targets.
inline constexpr int kGltfFloat = 5126;
inline constexpr int kGltfUnsignedByte = 5121;
inline constexpr int kGltfUnsignedInt = 5125;
inline constexpr int kGltfUnsignedShort = 5123;
inline constexpr int kGltfArrayBuffer = 34962;
inline constexpr int kGltfElementArrayBuffer = 34963;

class GltfBuilder {
 public:
  GltfBuilder();

  nlohmann::json& Json() { return doc_; }
  const nlohmann::json& Json() const { return doc_; }

  // An accessor of `count` elements of `components` floats each ("SCALAR", "VEC2", "VEC3",
  // "VEC4", 16: "MAT4"), read from `values` (count * components floats); with `minMax` it
  // declares the bounds (positions must). Returns its index.
  int FloatAccessor(std::span<const float> values, int components, bool minMax = false,
                    int target = kGltfArrayBuffer);
  // Vertex attributes of unsigned integers (joint numbers): each value stored as an
  // unsigned byte or short (`componentType`), which the caller has checked it fits.
  int UnsignedAccessor(std::span<const uint16_t> values, int components, int componentType);
  // Triangle indices as unsigned 32-bit numbers.
  int IndexAccessor(std::span<const uint32_t> indices);
  // Bytes of an image as a buffer view; returns the view's index.
  int ImageView(std::span<const uint8_t> bytes);
  // Appends `item` to the top-level array `key` ("meshes", "materials", ...); its index.
  int Append(const char* key, nlohmann::json item);
  // Declares an extension the file uses (and, when `required`, needs).
  void UseExtension(const std::string& name, bool required = false);

  // The JSON text with the buffer declared (when it holds anything).
  std::string Finish();
  std::span<const uint8_t> Bin() const { return bin_.Bytes(); }
  // The GLB file: header, JSON chunk, binary chunk.
  std::vector<uint8_t> Glb();
  // Writes the GLB through `out` without assembling it in memory first.
  bool WriteGlb(support::AtomicFileWriter& out);

 private:
  int View(std::size_t offset, std::size_t length, int target);
  void Align4();

  nlohmann::json doc_;
  support::PageBytes bin_;
  bool finished_ = false;
  std::string text_;
};

}  // namespace vorlan::workbench::interchange

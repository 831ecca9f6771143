// Large arrays of scene documents in a binary buffer, as little-endian elements, while the
// JSON keeps the structure and a reference to each array:
//   {"type": "f32x3", "count": 1200, "offset": 4096}
// (element type, number of elements, byte offset in the buffer). docs/scene-format.md
// describes both forms: a `.vbin` file beside the `.vscene`, or one `.vscb` file that holds
// the JSON and the buffer as chunks.
//
// Every section of a document may put its arrays through WriteArray/ReadArray: they act on
// the document being written or read on the calling thread (set up by the document
// functions), and fall back to inline JSON where the document has no buffer. The same scope
// carries the document's folder, against which file paths inside the document are stored
// and resolved (StorePath/ResolvePath).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "support/file_io.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench::docjson {

enum class Scalar : uint8_t { F32, I32, U32, U16, U8 };

// One element of an array: `components` scalars of one type ("f32x3": a point).
struct ElementType {
  Scalar scalar = Scalar::F32;
  uint8_t components = 1;
  std::size_t Bytes() const;
  std::string Name() const;  // "f32x3", "u32"
  friend bool operator==(const ElementType&, const ElementType&) = default;
};

inline constexpr ElementType kF32{Scalar::F32, 1};
inline constexpr ElementType kF32x2{Scalar::F32, 2};
inline constexpr ElementType kF32x3{Scalar::F32, 3};
inline constexpr ElementType kF32x4{Scalar::F32, 4};
inline constexpr ElementType kI32{Scalar::I32, 1};
inline constexpr ElementType kU32{Scalar::U32, 1};
inline constexpr ElementType kU32x3{Scalar::U32, 3};
inline constexpr ElementType kU16{Scalar::U16, 1};
inline constexpr ElementType kU16x3{Scalar::U16, 3};
inline constexpr ElementType kU8{Scalar::U8, 1};

// Writes element `index` as exactly type.Bytes() bytes at `out` (with the Store* functions
// of support::ByteWriter); reads it back from `in`.
using ElementEncoder = std::function<void(uint64_t index, uint8_t* out)>;
using ElementDecoder = std::function<void(uint64_t index, const uint8_t* in)>;

// ---- For the sections of a document -----------------------------------------------------

// While a document is written with a buffer, the reference to `count` elements that
// `encode` will write; nothing when the array stays inline JSON (the document has no buffer,
// or the array is shorter than the document's threshold), and the caller writes the JSON
// array itself. `encode` runs when the file is written, after the JSON is complete: what it
// reads must live until then (the scene's own arrays do).
std::optional<Json> WriteArray(ElementType type, uint64_t count, ElementEncoder encode);

// Whether a JSON value is a reference into the buffer rather than an inline array.
bool IsArrayRef(const Json& j);
// The element type a reference declares. Throws DocumentError at `path`.
ElementType ArrayType(const Json& ref, const std::string& path);
// Checks a reference (its type is `type`, it lies inside the buffer) and gives its number
// of elements. Throws DocumentError at `path`.
uint64_t ArrayCount(const Json& ref, const std::string& path, ElementType type);
// Hands every element, in order, to `decode`, which may throw DocumentError (a bad index).
void ReadArray(const Json& ref, const std::string& path, ElementType type, const ElementDecoder& decode);
// The same a piece at a time, for tight loops over large arrays: `count` elements from
// element `first`, packed at `in`.
using PieceDecoder = std::function<void(uint64_t first, uint64_t count, const uint8_t* in)>;
void ReadArrayPieces(const Json& ref, const std::string& path, ElementType type, const PieceDecoder& decode);

// A file path as the document stores it: relative to the document's folder when the file
// lies under it ('/' separated), else as it is.
std::string StorePath(const std::string& path);
// A stored path as the scene uses it: relative paths are taken against the document's
// folder, never the current directory.
std::string ResolvePath(const std::string& stored);

// ---- For the document functions ---------------------------------------------------------

// The buffer of a document being written: arrays laid out in the order they are added,
// each at a multiple of 8 bytes.
class BufferLayout {
 public:
  explicit BufferLayout(uint64_t threshold) : threshold_(threshold) {}
  std::optional<Json> Add(ElementType type, uint64_t count, ElementEncoder encode);
  bool Empty() const { return arrays_.empty(); }
  uint64_t Size() const { return size_; }
  // Streams the buffer's bytes in pieces of at most about a mebibyte; stops at the first
  // piece `sink` refuses.
  bool Stream(const std::function<bool(std::span<const uint8_t>)>& sink) const;

 private:
  struct Entry {
    ElementType type;
    uint64_t count = 0, offset = 0;
    ElementEncoder encode;
  };
  uint64_t threshold_;
  uint64_t size_ = 0;
  std::vector<Entry> arrays_;
};

// Where a document being read keeps its buffer: `length` bytes from `offset` of a file.
struct BufferSource {
  const support::FileReader* file = nullptr;
  uint64_t offset = 0, length = 0;
  std::string name;  // the file, for messages
};

// Makes a document's buffer and folder current on this thread for its lifetime.
class DocumentScope {
 public:
  DocumentScope(BufferLayout* writing, const BufferSource* reading, std::string folder);
  ~DocumentScope();
  DocumentScope(const DocumentScope&) = delete;
  DocumentScope& operator=(const DocumentScope&) = delete;

  // The innermost scope of this thread, or null.
  static DocumentScope* Current();

  BufferLayout* const writing;
  const BufferSource* const reading;
  const std::string folder;  // empty: the current directory

 private:
  DocumentScope* previous_;
};

}  // namespace vorlan::workbench::docjson

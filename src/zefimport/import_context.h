// The state of one import, shared by the walk, the scene building and the material import.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/interface.h"
#include "support/bytes.h"
#include "support/memmgr.h"
#include "zefimport/zef_reader.h"

namespace vorlan::zefimport {

// Material kinds as the mesh import tells them apart.
inline constexpr int kKindOther = -1;
inline constexpr int kKindStandard = 0;
inline constexpr int kKindVexaMat = 1;
inline constexpr int kKindVexaLayer = 2;

int MaterialKindOf(const host::Mtl* mtl);

// One MatList record as the mesh import needs it: the host material and the record's
// texture-channel mask (one texture-coordinate pair per set bit).
struct MaterialEntry {
  std::shared_ptr<host::Mtl> mtl;
  uint32_t mask = 0;
  int kind = kKindOther;
};

// A shared object: the first node that carries its GBlocks fills in the object.
struct InstanceEntry {
  uint32_t number = 0;
  std::shared_ptr<host::Object> object;
  std::shared_ptr<host::Mtl> mtl;
  std::string nodeName;
};

// A joint's node parameters whose nodes were not in the scene yet when the joint was read;
// they are looked up again when the whole file is in.
struct PendingJointNodes {
  std::shared_ptr<host::Object> joint;
  std::string objectA, objectB;
};

// Scene-property names through which the command line passes options that have no place
// in the configuration file.
inline constexpr const char* kCaseInsensitiveProperty = "ZefImportTextureCaseInsensitive";

// Log level of the tree lines: indented, without a prefix.
inline constexpr int32_t kLogTree = 4;

struct ImportContext {
  explicit ImportContext(host::Interface& host) : ip(host) {}

  host::Interface& ip;
  std::string fileName;  // as the host gave it
  ZefReader reader;
  support::MemMgr heap;
  uint32_t version = 0;
  bool unknownBlocks = false;

  std::vector<MaterialEntry> materials;
  std::vector<InstanceEntry> instances;
  std::vector<PendingJointNodes> pendingJoints;
  int depth = 0;  // nesting of Node blocks being built

  // Texture search settings: the folder is saved with the configuration, the other two
  // hold for this import only.
  std::string searchFolder;
  bool autoSearch = false;
  bool noneForAll = false;
  bool caseInsensitive = false;

  void Message(const std::string& text, const std::string& caption, host::Icon icon = host::Icon::Error,
               host::Buttons buttons = host::Buttons::Ok) {
    ip.UI().MessageBox({text, caption, buttons, icon});
  }
};

// Deepest nesting of Node blocks the import follows; deeper ones fail the import instead of
// exhausting the stack.
inline constexpr int kMaxNodeDepth = 256;

// The fixed part of the block at the reader's cursor, read into a zero-filled block of the
// private heap and given back when this goes out of scope.
class FixedPart {
 public:
  explicit FixedPart(ImportContext& ctx) : ctx_(ctx) {}
  ~FixedPart() { ctx_.heap.MemFree(data_); }
  FixedPart(const FixedPart&) = delete;
  FixedPart& operator=(const FixedPart&) = delete;

  // False when the part does not fit the file or the heap; the reader has logged why.
  bool Read();
  std::span<const uint8_t> Bytes() const { return {data_, size_}; }
  support::ByteReader Reader() const { return support::ByteReader(Bytes()); }
  std::size_t Size() const { return size_; }

 private:
  ImportContext& ctx_;
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// Reads a zero-terminated text from a fixed part at `offset`, at most `max` bytes; the text
// stops at the first zero or at the end of the part.
std::string TextAt(std::span<const uint8_t> part, std::size_t offset, std::size_t max = SIZE_MAX);

// Logs with the current indentation moved by `delta` for the lifetime of the object.
class LogIndent {
 public:
  explicit LogIndent(int delta);
  ~LogIndent();
  LogIndent(const LogIndent&) = delete;
  LogIndent& operator=(const LogIndent&) = delete;

 private:
  int delta_;
};

}  // namespace vorlan::zefimport

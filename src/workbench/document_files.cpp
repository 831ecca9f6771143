// The files of scene documents.
//
// A ".vbin" buffer file:   "VBIN", u32 version 1, u64 data length, 16-byte document id,
//                          then the data. The JSON's "buffer" names it ("uri"), its length
//                          and the id, so a buffer left over from another save is refused.
// A ".vscb" document:      "VSCB", u32 version 1, u64 file length, then chunks, each a u64
//                          length, a u32 kind ("JSON", "BIN\0") and a u32 0, its data padded
//                          to 8 bytes (the JSON with spaces, the buffer with zeros). The JSON
//                          chunk comes first; the buffer chunk follows when there is one.
// All numbers little-endian; lengths are 64-bit, so no size limit is below what the file
// system allows.
#include <algorithm>
#include <array>
#include <filesystem>
#include <new>
#include <random>

#include "support/bytes.h"
#include "support/file_io.h"
#include "workbench/document_io.h"
#include "workbench/document_json.h"

namespace vorlan::workbench {

using namespace docjson;
namespace fs = std::filesystem;
using support::ByteWriter;
using support::LoadU32;
using support::LoadU64;

namespace {

constexpr uint32_t kBinMagic = 0x4E494256;     // "VBIN"
constexpr uint32_t kSingleMagic = 0x42435356;  // "VSCB"
constexpr uint32_t kChunkJson = 0x4E4F534A;    // "JSON"
constexpr uint32_t kChunkBin = 0x004E4942;     // "BIN\0"
constexpr uint32_t kFileVersion = 1;
constexpr std::size_t kBinHeader = 32;
constexpr std::size_t kSingleHeader = 16;
constexpr std::size_t kChunkHeader = 16;

uint64_t Pad8(uint64_t n) { return (n + 7) & ~uint64_t(7); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string FolderOf(const std::string& path) { return fs::path(path).parent_path().string(); }

// A refusal of what does not fit in this machine's memory, naming the file and its size.
std::string TooLarge(const std::string& file, uint64_t bytes, uint64_t memory) {
  return "\"" + file + "\": " + std::to_string(bytes) + " bytes do not fit in this machine's memory (" +
         std::to_string(memory) + " bytes)";
}

bool Fits(uint64_t bytes) {
  const uint64_t memory = support::PhysicalMemoryBytes();
  return memory == 0 || bytes <= memory;
}

std::string IdText(const std::array<uint8_t, 16>& id) {
  return ToHex(std::vector<uint8_t>(id.begin(), id.end()));
}

std::array<uint8_t, 16> NewId() {
  std::random_device random;
  std::array<uint8_t, 16> id{};
  for (std::size_t i = 0; i < id.size(); i += 4) ByteWriter::StoreU32(id.data() + i, random());
  return id;
}

uint64_t DeclaredLength(const Json& decl, const std::string& path) {
  const Json* n = Find(decl, "byteLength");
  if (!n || !(n->is_number_unsigned() || (n->is_number_integer() && n->get<int64_t>() >= 0)))
    Fail(Key(path, "byteLength"), "expected the buffer's length in bytes");
  return n->get<uint64_t>();
}

bool OpenBeside(const std::string& folder, const Json& decl, support::FileReader& file, BufferSource& out,
                std::string& error) {
  try {
    Object(decl, "buffer");
    OnlyKeys(decl, "buffer", {"uri", "byteLength", "id"});
    const Json* uri = Find(decl, "uri");
    const Json* id = Find(decl, "id");
    if (!uri) Fail("buffer", "expected the \"uri\" of the buffer file");
    const uint64_t length = DeclaredLength(decl, "buffer");
    std::string name = String(*uri, "buffer.uri");
    std::string want = id ? String(*id, "buffer.id") : std::string();
    std::string p = name;
    std::replace(p.begin(), p.end(), '\\', '/');
    const fs::path where = fs::path(p).is_absolute() || folder.empty() ? fs::path(p) : fs::path(folder) / p;
    const std::string bufferPath = where.lexically_normal().string();
    if (auto r = file.Open(bufferPath); !r) Fail("buffer.uri", r.error);
    if (!Fits(length)) Fail("buffer", TooLarge(bufferPath, length, support::PhysicalMemoryBytes()));
    std::array<uint8_t, kBinHeader> head{};
    std::string readError;
    if (file.Size() < kBinHeader || !file.ReadAt(0, head, readError) || LoadU32(head.data()) != kBinMagic)
      Fail("buffer.uri", "\"" + bufferPath + "\" is not a scene document buffer");
    if (LoadU32(head.data() + 4) != kFileVersion)
      Fail("buffer.uri", "\"" + bufferPath + "\" has buffer version " +
                             std::to_string(LoadU32(head.data() + 4)) + "; this program reads version " +
                             std::to_string(kFileVersion));
    std::array<uint8_t, 16> got{};
    std::copy_n(head.begin() + 16, 16, got.begin());
    if (!want.empty() && IdText(got) != want)
      Fail("buffer.id", "\"" + bufferPath + "\" belongs to another save of the document");
    if (LoadU64(head.data() + 8) != length || file.Size() - kBinHeader != length)
      Fail("buffer.byteLength", "\"" + bufferPath + "\" holds " + std::to_string(file.Size() - kBinHeader) +
                                    " bytes of data, the document expects " + std::to_string(length));
    out = {&file, kBinHeader, length, bufferPath};
    return true;
  } catch (const DocumentError& e) {
    error = e.what();
    return false;
  }
}

// The chunks of a ".vscb" file.
struct SingleFile {
  uint64_t jsonOffset = 0, jsonLength = 0;
  bool hasBin = false;
  uint64_t binOffset = 0, binLength = 0;
};

bool SplitSingle(const support::FileReader& file, SingleFile& out, std::string& error) {
  const uint64_t size = file.Size();
  std::array<uint8_t, kSingleHeader + kChunkHeader> head{};
  if (size < head.size() || !file.ReadAt(0, head, error)) {
    error = "\"" + file.Path() + "\": too short for a binary scene document";
    return false;
  }
  if (LoadU32(head.data() + 4) != kFileVersion) {
    error = "\"" + file.Path() + "\": binary scene document version " +
            std::to_string(LoadU32(head.data() + 4)) + "; this program reads version " +
            std::to_string(kFileVersion);
    return false;
  }
  if (LoadU64(head.data() + 8) != size) {
    error = "\"" + file.Path() + "\": the file holds " + std::to_string(size) + " bytes, its header says " +
            std::to_string(LoadU64(head.data() + 8)) + " (cut short or extended)";
    return false;
  }
  const uint64_t jsonLength = LoadU64(head.data() + 16);
  if (LoadU32(head.data() + 24) != kChunkJson || jsonLength > size - head.size()) {
    error = "\"" + file.Path() + "\": the first chunk is not the document's JSON";
    return false;
  }
  out.jsonOffset = head.size();
  out.jsonLength = jsonLength;
  const uint64_t next = head.size() + Pad8(jsonLength);
  if (next >= size) return true;
  std::array<uint8_t, kChunkHeader> bin{};
  if (size - next < kChunkHeader || !file.ReadAt(next, bin, error) || LoadU32(bin.data() + 8) != kChunkBin ||
      LoadU64(bin.data()) > size - next - kChunkHeader) {
    error = "\"" + file.Path() + "\": the chunk after the JSON is not a buffer that fits in the file";
    return false;
  }
  out.hasBin = true;
  out.binOffset = next + kChunkHeader;
  out.binLength = LoadU64(bin.data());
  return true;
}

DocumentResult ReadText(const support::FileReader& file, uint64_t offset, uint64_t length,
                        std::string& text) {
  if (!Fits(length)) return {false, TooLarge(file.Path(), length, support::PhysicalMemoryBytes())};
  try {
    text.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    return {false, TooLarge(file.Path(), length, support::PhysicalMemoryBytes())};
  }
  std::string error;
  if (!file.ReadAt(offset, std::span(reinterpret_cast<uint8_t*>(text.data()), text.size()), error))
    return {false, error};
  return {true, {}};
}

// Streams the buffer into `out`; false when a write failed.
bool StreamBuffer(const BufferLayout& layout, support::AtomicFileWriter& out) {
  return layout.Stream([&](std::span<const uint8_t> piece) { return out.Write(piece); });
}

// The elements of the scene's meshes: positions, faces, map channels and normals.
uint64_t MeshElements(const Scene& scene) {
  uint64_t n = 0;
  for (const SceneObject* o : scene.AllObjects())
    if (const auto* m = dynamic_cast<const MeshObject*>(o)) {
      n += m->mesh.verts.size() + m->mesh.faces.size() + m->mesh.explicitNormals.size() +
           m->mesh.normalFaces.size();
      for (const host::MapChannel& c : m->mesh.maps) n += c.tverts.size() + c.tfaces.size();
    }
  return n;
}

uint64_t BufferThreshold(const Scene& scene, uint64_t asked) {
  if (asked == 0) return UINT64_MAX;
  if (asked <= kLargeSceneBufferThreshold || MeshElements(scene) <= kLargeSceneElements) return asked;
  return kLargeSceneBufferThreshold;
}

}  // namespace

namespace docio {

BufferOpener BufferBeside(const std::string& documentPath) {
  BufferOpener o;
  o.folder = FolderOf(documentPath);
  o.open = [folder = o.folder](const Json& decl, support::FileReader& file, BufferSource& out,
                               std::string& error) { return OpenBeside(folder, decl, file, out, error); };
  return o;
}

}  // namespace docio

DocumentResult LoadSceneDocument(const std::string& path, Scene& scene, const DocumentOptions& options) {
  support::FileReader file;
  if (auto r = file.Open(path); !r) return {false, r.error};
  std::array<uint8_t, 4> magic{};
  std::string error;
  const bool single =
      file.Size() >= magic.size() && file.ReadAt(0, magic, error) && LoadU32(magic.data()) == kSingleMagic;
  std::string text;
  if (!single) {
    if (auto r = ReadText(file, 0, file.Size(), text); !r) return r;
    return docio::ParseDocument(text, scene, path, options, docio::BufferBeside(path));
  }
  SingleFile parts;
  if (!SplitSingle(file, parts, error)) return {false, error};
  if (auto r = ReadText(file, parts.jsonOffset, parts.jsonLength, text); !r) return r;
  docio::BufferOpener inside;
  inside.folder = FolderOf(path);
  inside.open = [&](const Json& decl, support::FileReader&, BufferSource& out, std::string& why) {
    try {
      Object(decl, "buffer");
      OnlyKeys(decl, "buffer", {"byteLength"});
      const uint64_t length = DeclaredLength(decl, "buffer");
      if (!parts.hasBin) Fail("buffer", "the file has no buffer chunk");
      if (length != parts.binLength)
        Fail("buffer.byteLength", "the buffer chunk holds " + std::to_string(parts.binLength) +
                                      " bytes, the document expects " + std::to_string(length));
      if (!Fits(length)) Fail("buffer", TooLarge(path, length, support::PhysicalMemoryBytes()));
      out = {&file, parts.binOffset, length, path};
      return true;
    } catch (const DocumentError& e) {
      why = e.what();
      return false;
    }
  };
  return docio::ParseDocument(text, scene, path, options, inside);
}

DocumentResult SaveSceneDocument(const Scene& scene, const std::string& path,
                                 const DocumentOptions& options) {
  const bool single = Lower(fs::path(path).extension().string()) == ".vscb";
  BufferLayout layout(BufferThreshold(scene, options.bufferThreshold));
  std::string text;
  const fs::path bufferPath = fs::path(path).replace_extension(".vbin");
  try {
    Json doc;
    {
      DocumentScope scope(&layout, nullptr, FolderOf(path));
      doc = docio::DocumentJson(scene, options);
    }
    if (!layout.Empty()) {
      // The buffer's declaration goes right after the version, where a reader looks first.
      Json withBuffer = Json::object();
      withBuffer["version"] = kSceneDocumentBufferVersion;
      Json decl = Json::object();
      if (!single) decl["uri"] = bufferPath.filename().string();
      decl["byteLength"] = layout.Size();
      withBuffer["buffer"] = std::move(decl);
      for (auto& [k, v] : doc.items())
        if (k != "version") withBuffer[k] = std::move(v);
      doc = std::move(withBuffer);
    }
    if (!single && !layout.Empty()) {
      const std::array<uint8_t, 16> id = NewId();
      doc["buffer"]["id"] = IdText(id);
      support::AtomicFileWriter bin(bufferPath.string());
      std::array<uint8_t, kBinHeader> head{};
      ByteWriter::StoreU32(head.data(), kBinMagic);
      ByteWriter::StoreU32(head.data() + 4, kFileVersion);
      ByteWriter::StoreU64(head.data() + 8, layout.Size());
      std::copy(id.begin(), id.end(), head.begin() + 16);
      bin.Write(head);
      if (!StreamBuffer(layout, bin) || !bin.Ok()) return {false, bin.Error()};
      text = docio::DocumentText(doc);
      // The buffer goes into place first: a document never names a buffer that is not there
      // yet, and a stale pair is told apart by the id.
      if (auto r = bin.Commit(); !r) return {false, r.error};
    } else {
      text = docio::DocumentText(doc);
    }
  } catch (const std::exception& e) {
    return {false, path + ": " + docio::WriteError(e)};
  }
  if (!single) {
    if (auto r = support::WriteFileAtomic(path, text); !r) return {false, r.error};
    return {true, {}};
  }

  text.resize(static_cast<std::size_t>(Pad8(text.size())), ' ');
  const uint64_t total =
      kSingleHeader + kChunkHeader + text.size() + (layout.Empty() ? 0 : kChunkHeader + layout.Size());
  support::AtomicFileWriter out(path);
  std::array<uint8_t, kSingleHeader + kChunkHeader> head{};
  ByteWriter::StoreU32(head.data(), kSingleMagic);
  ByteWriter::StoreU32(head.data() + 4, kFileVersion);
  ByteWriter::StoreU64(head.data() + 8, total);
  ByteWriter::StoreU64(head.data() + 16, text.size());
  ByteWriter::StoreU32(head.data() + 24, kChunkJson);
  out.Write(head);
  out.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  if (!layout.Empty()) {
    std::array<uint8_t, kChunkHeader> bin{};
    ByteWriter::StoreU64(bin.data(), layout.Size());
    ByteWriter::StoreU32(bin.data() + 8, kChunkBin);
    out.Write(bin);
    StreamBuffer(layout, out);
  }
  if (!out.Ok()) return {false, out.Error()};
  if (auto r = out.Commit(); !r) return {false, r.error};
  return {true, {}};
}

}  // namespace vorlan::workbench

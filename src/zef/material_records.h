// Material records of the .zef MatList block, and how host materials become them.
//
// Two halves:
//  - The records as values (StdRecord, VexaMatRecord, VexaLayerRecord) with an encoder that
//    gives their exact bytes and a bounded decoder for readers (the importer, `inspect`).
//  - The writers that turn the materials collected from the scene into records in the
//    exporter's SceneBuffer: ExportMaterialList and the per-class Dump functions. Records with
//    identical bytes are written once and shared; the writers leave the slot maps, crop list
//    and layer tables in the MaterialTable for the mesh export, and publish each engine
//    material's SurfaceCode as application data on the material.
//
// Every function reports through return values and the host's user interface; none throws.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "host/interface.h"
#include "host/material.h"
#include "zef/material_table.h"
#include "zef/scene_buffer.h"

namespace vorlan::zef {

// ---- Values shared by the records --------------------------------------------------------

// Four bytes holding the first four characters of a text, zero-padded, no terminator.
using Code4 = std::array<uint8_t, 4>;
// The first four characters of `s` (up to a zero byte), zero-padded.
Code4 MakeCode4(std::string_view s);
// The four bytes as one little-endian word (0 for "no code").
constexpr uint32_t Code4Value(Code4 c) {
  return uint32_t(c[0]) | (uint32_t(c[1]) << 8) | (uint32_t(c[2]) << 16) | (uint32_t(c[3]) << 24);
}

// Material flags (Standard, VexaMat: two-sided and wire; VexaLayer: two-sided and faceted).
inline constexpr uint32_t kMtlTwoSided = 0x1;
inline constexpr uint32_t kMtlWire = 0x2;
inline constexpr uint32_t kMtlFaceted = 0x4;

// Texture entry flags.
inline constexpr uint32_t kTexTileU = 0x01;
inline constexpr uint32_t kTexTileV = 0x02;
inline constexpr uint32_t kTexMirrorU = 0x04;
inline constexpr uint32_t kTexMirrorV = 0x08;
inline constexpr uint32_t kTexTilingMask = 0x0F;
inline constexpr uint32_t kTexMipMap = 0x10;
// VexaMat channel type bits, in texture entry flags and in texTypes.
inline constexpr uint32_t kTypeChannel12 = 0x010000;         // first diffuse texture
inline constexpr uint32_t kTypeChannel13 = 0x020000;         // second diffuse texture
inline constexpr uint32_t kTypeChannel14 = 0x040000;         // PRM_MIPMAP_OVERLAY 0
inline constexpr uint32_t kTypeChannel19 = 0x080000;         // PRM_LIGHT 0
inline constexpr uint32_t kTypeChannel18Env = 0x100000;      // PRM_ENVIRONMENT_TYPE not 0
inline constexpr uint32_t kTypeChannel18 = 0x200000;         // PRM_ENVIRONMENT_TYPE 0
inline constexpr uint32_t kTypeChannel19Light = 0x400000;    // PRM_LIGHT not 0
inline constexpr uint32_t kTypeChannel14Overlay = 0x800000;  // PRM_MIPMAP_OVERLAY not 0

// VexaLayer layer entry flags.
inline constexpr uint32_t kLayerTileU = 0x000001;
inline constexpr uint32_t kLayerTileV = 0x000002;
inline constexpr uint32_t kLayerMipmap = 0x000010;
inline constexpr uint32_t kLayerCrop = 0x000020;
inline constexpr uint32_t kLayerMove = 0x000100;
inline constexpr uint32_t kLayerEnv = 0x100000;
inline constexpr uint32_t kLayerNoEnv = 0x200000;  // skeleton layout only
inline constexpr uint32_t kLayerApplyLight = 0x400000;
inline constexpr uint32_t kLayerOverlay = 0x800000;

// Standard map slots in the order of their entries, with their mapMask bits.
struct StdMapSlot {
  int hostMap;
  uint32_t maskBit;
};
inline constexpr std::array<StdMapSlot, 11> kStdMapSlots{{{1, 0x001},
                                                          {11, 0x002},
                                                          {8, 0x004},
                                                          {0, 0x008},
                                                          {2, 0x010},
                                                          {3, 0x020},
                                                          {4, 0x040},
                                                          {5, 0x080},
                                                          {7, 0x200},
                                                          {9, 0x400},
                                                          {10, 0x800}}};
inline constexpr int kStdDiffuseMap = 1;
// VexaMat channels of its underlying Standard material, in entry order.
inline constexpr std::array<int, 5> kVexaMatChannels{12, 13, 14, 18, 19};

// Longest texts the records carry (without the zero); longer ones are cut (see the writers).
inline constexpr std::size_t kMaxStdTextureName = 1023;
inline constexpr std::size_t kMaxVexaTextureName = 259;
inline constexpr std::size_t kMaxLayerText = 259;  // shaderType, shaderFilename, layer file names

// Extras block of a scene-layout VexaLayer record and its nested blocks.
inline constexpr uint32_t kExtrasBlock = 0x10000;
inline constexpr uint32_t kWaterBlock = 0x10001;
inline constexpr uint32_t kGlassBlock = 0x10002;
inline constexpr uint32_t kWaterBlockSize = 44;
inline constexpr uint32_t kGlassBlockSize = 28;
inline constexpr uint32_t kVexaLayerHeaderSize = 0x66;
inline constexpr uint32_t kLayerEntryHeadSize = 32;

// ---- Records as values -------------------------------------------------------------------

struct TextureEntry {
  uint32_t flags = 0;
  std::string fileName;  // the stored name; the record adds the zero
  friend bool operator==(const TextureEntry&, const TextureEntry&) = default;
};

// 0x1001. `textures` holds one entry per set bit of mapMask, in slot order.
struct StdRecord {
  uint32_t flags = 0;
  Code4 nameCode{};
  uint32_t mapMask = 0;
  std::vector<TextureEntry> textures;
  friend bool operator==(const StdRecord&, const StdRecord&) = default;
};

// 0x1002.
struct VexaMatRecord {
  uint32_t flags = 0;
  uint32_t texTypes = 0;
  Code4 collisionType{};
  Code4 transparentType{};
  uint8_t growType = 0;
  uint8_t grassType = 0;
  std::string name;
  std::vector<TextureEntry> textures;
  friend bool operator==(const VexaMatRecord&, const VexaMatRecord&) = default;
};

struct LayerEntry {
  uint32_t slot = 0;
  uint32_t flags = 0;
  int32_t moveType = 0;
  int32_t moveSoft = 0;
  host::Point3 moving{};
  std::string fileName;
  friend bool operator==(const LayerEntry&, const LayerEntry&) = default;
};

enum class ExtrasKind { None, Water, Glass };

// 0x1004 (scene layout, with the extras block) or 0x1003 (skeleton layout, without).
// The header's layer count is the number of `layers`.
struct VexaLayerRecord {
  bool sceneLayout = true;
  uint32_t flags = 0;
  Code4 surface{};
  int32_t transparency = 0;
  uint8_t growType = 0;
  uint8_t grassType = 0;
  host::Point3 diffuse{}, ambient{}, specular{}, selfIllum{};
  int32_t opacity = 0;
  float opacityFalloff = 0;
  int32_t glossiness = 0;
  int32_t specLevel = 0;
  std::string shaderType, shaderFilename, name;
  ExtrasKind extras = ExtrasKind::None;  // scene layout only
  float waterAlphaAngle = 0, waterEnvBlend = 0;
  host::Point3 waterSharpness{};
  float waterShiftingXY[2] = {0, 0};  // water block only
  float waterShiftingUV[2] = {0, 0};
  std::vector<LayerEntry> layers;
  friend bool operator==(const VexaLayerRecord&, const VexaLayerRecord&) = default;
};

using MaterialRecord = std::variant<StdRecord, VexaMatRecord, VexaLayerRecord>;

// Appends the record's bytes to `out`. Texts are written up to their first zero byte.
// Precondition: the record fits the format's 32-bit sizes.
void EncodeRecord(const StdRecord& r, std::vector<uint8_t>& out);
void EncodeRecord(const VexaMatRecord& r, std::vector<uint8_t>& out);
void EncodeRecord(const VexaLayerRecord& r, std::vector<uint8_t>& out);

// Decodes the record at the start of `data`, whose head gives its ID and size. Safe for any
// bytes: nothing is read past the record's size or the data, counts are checked against the
// bytes left before anything is allocated. Bytes after the last field, within the size, are
// ignored. On failure returns nothing and, when `error` is given, says what is wrong and at
// which offset of the record.
std::optional<MaterialRecord> DecodeMaterialRecord(std::span<const uint8_t> data,
                                                   std::string* error = nullptr);

// ---- Writing the MatList from the scene ---------------------------------------------------

// The scene exporter writes VexaLayer materials as 0x1004 and publishes SurfaceCodes; the
// skeleton exporter writes them as 0x1003 and publishes none.
enum class RecordStyle { Scene, Skeleton };

// Results of ExportMaterialList.
inline constexpr int kMatListOk = 0;
inline constexpr int kMatListAllocFailed = 175;
inline constexpr int kMatListEmptyEntry = 255;

// Application data the scene exporter keeps on materials (owner: the exporter's class and
// super class): sub-ID 1 a mark, sub-ID 2 the four-byte SurfaceCode.
inline constexpr uint32_t kMaterialMarkSub = 1;
inline constexpr uint32_t kSurfaceCodeSub = 2;

// Finds a record identical to a new one among the records written so far: a hash of the bytes
// leads to the few candidates, which are compared byte for byte. Gives the same answer as
// walking the records in order and taking the first identical one.
class RecordIndex {
 public:
  // Bytes of record i as stored.
  using RecordBytes = std::function<std::span<const uint8_t>(uint32_t)>;

  // The lowest index of a stored record identical to `record` (and, when a crop key is
  // given, registered with an equal key), or nothing.
  std::optional<uint32_t> Find(std::span<const uint8_t> record, const RecordBytes& stored,
                               const CropEntry* crop = nullptr) const;
  void Add(std::span<const uint8_t> record, uint32_t index, const CropEntry* crop = nullptr);
  void Clear() { buckets_.clear(); }

 private:
  struct Candidate {
    uint32_t index;
    bool hasCrop;
    CropEntry crop;
  };
  std::unordered_map<uint64_t, std::vector<Candidate>> buckets_;
};

// The MatList block being written: the block head's position, the records so far and where
// they lie. Owned by ExportMaterialList for the length of one call (tests may make one).
struct MatListBlock {
  MatListBlock(SceneBuffer& b, MaterialTable& t, host::Interface& i, RecordStyle s = RecordStyle::Scene)
      : buffer(b), table(t), ip(i), style(s) {}

  SceneBuffer& buffer;
  MaterialTable& table;
  host::Interface& ip;
  RecordStyle style;
  uint32_t head = 0;                    // offset of the block head in the buffer
  std::vector<uint32_t> recordOffsets;  // record i starts here
  std::vector<uint32_t> recordSizes;
  RecordIndex index;

  uint32_t RecordCount() const { return static_cast<uint32_t>(recordOffsets.size()); }
  std::span<const uint8_t> Record(uint32_t i) const;

  // Append-or-share: the index of an identical record already written, or of `record`
  // appended after the last one (count and head updated; a new Standard or VexaMat record
  // also appends its crop entry). The slot is registered either way. A Standard or VexaMat
  // record is shared only when the crop of its first texture matches too, so that no
  // material's texture coordinates are cropped by another material's rectangle.
  // Precondition: `record` starts with its ID and size; slotIndex < that slot map's size.
  uint32_t AppendOrShare(std::span<const uint8_t> record, const CropEntry* crop, uint32_t tableIndex,
                         uint32_t slotIndex, host::Mtl* mtl);
};

// Writes the MatList block of every MaterialTable entry at the buffer's offset and advances
// it. Returns kMatListOk, kMatListAllocFailed (also when the image outgrows the format) or
// kMatListEmptyEntry, each failure after its message. Fills the table's slot maps, total slot
// count, crop list and layer tables, and indexes it.
int ExportMaterialList(SceneBuffer& buffer, MaterialTable& table, host::Interface& ip,
                       RecordStyle style = RecordStyle::Scene);

// Writes the record of one (sub-)material into slot `slotIndex` of entry `tableIndex`; a
// material of another class gets the class warning and no record. Always returns 0.
int DumpMaterial(MatListBlock& block, host::Mtl* mtl, uint32_t tableIndex, uint32_t slotIndex,
                 host::Mtl* parent);
// Each returns 0, or 255 when the record could not be built (after the message).
int DumpStdMaterial(MatListBlock& block, host::Mtl& mtl, uint32_t tableIndex, uint32_t slotIndex);
int DumpVexaMat(MatListBlock& block, host::Mtl& mtl, uint32_t tableIndex, uint32_t slotIndex,
                host::Mtl* parent);
int DumpVexaLayer(MatListBlock& block, host::Mtl& mtl, uint32_t tableIndex, uint32_t slotIndex,
                  host::Mtl* parent);

// The file-name part of a path: what follows the last '\' or '/', unless that separator is the
// first character or there is none (then the whole path).
std::string FileNamePart(std::string_view path);

// The stored file name of a texture into `out`; returns its stored length (zero included).
// A texture that is not a bitmap gives an empty name, after the message "Texture %s is not a
// bitmap !".
uint32_t TextureFileName(const host::Texmap& tex, std::string& out, host::UserInterface& ui);

// The SurfaceCode the scene exporter published on a material; zero bytes when none.
Code4 GetSurfaceCode(const host::Animatable& mtl);

// Removes the scene exporter's material marks (sub-IDs 1 and 2) from every entry of the
// table and from their sub-materials, which carry SurfaceCodes of their own.
void RemoveMaterialMarks(const MaterialTable& table);

}  // namespace vorlan::zef

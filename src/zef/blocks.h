// Block IDs, header layout and fixed block sizes of the .zef container.
//
// Every block starts with a head of two little-endian u32: the ID and the size of the whole
// block (head, own fields and everything nested in it). Readers skip any block by its size.
#pragma once

#include <cstdint>
#include <optional>

#include "support/bytes.h"

namespace vorlan::zef {

// ---- Block IDs ----------------------------------------------------------------------------
inline constexpr uint32_t kNode = 0x0001;  // the first one in a file is the root node
inline constexpr uint32_t kLight = 0x0020;
inline constexpr uint32_t kVexaLight = 0x0025;
inline constexpr uint32_t kGObj = 0x0030;
inline constexpr uint32_t kGBlock = 0x0031;
inline constexpr uint32_t kVertices = 0x0032;
inline constexpr uint32_t kFaces = 0x0033;
inline constexpr uint32_t kUserProps = 0x0034;
inline constexpr uint32_t kTransform = 0x0035;
inline constexpr uint32_t kInstance = 0x0036;
inline constexpr uint32_t kNodeKeys = 0x0037;  // reserved, never written
inline constexpr uint32_t kDummy = 0x0038;
inline constexpr uint32_t kMorphDeltas = 0x0039;
inline constexpr uint32_t kBoneList = 0x003B;
inline constexpr uint32_t kCamera = 0x0040;
inline constexpr uint32_t kSkeletonObj = 0x0050;  // laid out like a Node head
inline constexpr uint32_t kSkeletonData = 0x0051;
inline constexpr uint32_t kBone = 0x0052;
inline constexpr uint32_t kIKJoint = 0x0065;
inline constexpr uint32_t kSoundEvent = 0x0066;
inline constexpr uint32_t kParticleEvent = 0x0067;
inline constexpr uint32_t kInfo = 0x0070;
inline constexpr uint32_t kPhysData = 0x0080;
inline constexpr uint32_t kGlass = 0x0081;
inline constexpr uint32_t kPhysics = 0x0082;
inline constexpr uint32_t kMatList = 0x1000;
inline constexpr uint32_t kMatStandard = 0x1001;
inline constexpr uint32_t kMatVexaMat = 0x1002;
inline constexpr uint32_t kMatVexaLayerRig = 0x1003;  // as the character exporter writes it
inline constexpr uint32_t kMatVexaLayer = 0x1004;     // as the scene exporter writes it

// ---- File header --------------------------------------------------------------------------
inline constexpr uint32_t kMagic = 0x0046455A;  // "ZEF\0"
// Versions are four ASCII digits read as one little-endian word.
inline constexpr uint32_t kVersion0100 = 0x30303130;  // "0100", the one this system writes
inline constexpr uint32_t kVersion0008 = 0x38303030;  // "0008"
inline constexpr uint32_t kVersion0007 = 0x37303030;
inline constexpr uint32_t kVersion0006 = 0x36303030;
inline constexpr uint32_t kVersion0005 = 0x35303030;  // no thumbnail: blocks start at 16

inline constexpr uint32_t kHeaderSize = 12304;  // 0x3010
inline constexpr uint32_t kHeaderHostVersionOffset = 8;
inline constexpr uint32_t kHeaderNodeCountOffset = 12;
inline constexpr uint32_t kThumbnailOffset = 16;
inline constexpr int kThumbnailSide = 64;
inline constexpr uint32_t kThumbnailBytes = kThumbnailSide * kThumbnailSide * 3;  // BGR rows, row 0 first
inline constexpr uint32_t kVersion0005BlocksOffset = 16;

enum class VersionFamily {
  kCurrent,  // "0100" and "0008": read silently
  kOld,      // "0005", "0006", "0007": read after telling the artist
  kUnknown,  // refused
};
VersionFamily ClassifyVersion(uint32_t version);
// Where the first block lies in a file of an accepted version.
uint32_t FirstBlockOffset(uint32_t version);

// ---- Block layouts --------------------------------------------------------------------------
inline constexpr uint32_t kBlockHeadSize = 8;
inline constexpr uint32_t kNodeHeadSize = 16;   // plus the name and its zero
inline constexpr uint32_t kInfoFixedSize = 84;  // plus the comment and its zero
inline constexpr uint32_t kInfoUserField = 64;
inline constexpr uint32_t kInfoMaxComment = 1023;
inline constexpr uint32_t kGObjHeadSize = 12;
inline constexpr uint32_t kGBlockHeadSize = 12;
inline constexpr uint32_t kVerticesHeadSize = 20;
inline constexpr uint32_t kFacesHeadSize = 12;
inline constexpr uint32_t kUserPropsHeadSize = 12;
inline constexpr uint32_t kMatListHeadSize = 12;
inline constexpr uint32_t kTransformSize = 108;
inline constexpr uint32_t kInstanceSize = 12;
inline constexpr uint32_t kDummySize = 20;
inline constexpr uint32_t kCameraSize = 36;
inline constexpr uint32_t kLightSize = 112;
inline constexpr uint32_t kVexaLightSize = 120;
inline constexpr uint32_t kEventSize = 96;  // SoundEvent and ParticleEvent
inline constexpr uint32_t kMatrixBytes = 64;

inline constexpr uint32_t kDefaultMaterial = 0xFFFFFFFF;  // GBlock material index of "none"

// Vertex format word: position and normal, texture pair count in bits 8 to 11.
inline constexpr uint32_t kVertexFormatPosNormal = 0x12;
constexpr uint32_t VertexFormat(uint32_t texturePairs) {
  return kVertexFormatPosNormal | (texturePairs << 8);
}
constexpr uint32_t TexturePairsOfFormat(uint32_t format) { return (format >> 8) & 0xF; }
constexpr uint32_t VertexStride(uint32_t texturePairs) { return 24 + 8 * texturePairs; }

// Display name of a block ID ("Node", "GObj", ...), or null for an ID this system does not know.
const char* BlockName(uint32_t id);

// How many bytes a reader takes as the fixed part of the block whose head is at the reader's
// cursor. The cursor does not move. `known` is false for an ID the reader has no handler for
// (the caller reports it); the fixed part of such a block is the whole block.
// Returns nothing when the fields the rule needs lie past the end of the data. The size is not
// checked against the data: a caller reads it through the same bounded reader.
struct FixedPart {
  uint64_t size = 0;  // 64 bits: 16 + a name length near 4 GiB must not wrap
  bool known = true;
};
std::optional<FixedPart> FixedPartSize(const support::ByteReader& reader);

}  // namespace vorlan::zef

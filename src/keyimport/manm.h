// The .manm animation file: a 16-byte header and one record per node, each a 52-byte head,
// the node's name and its key blocks (position, rotation, scale, camera) back to back.
//
// The layouts here are the only thing the exporter and the importer share. Every key is
// written and read field by field, little-endian, without padding.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "host/control.h"
#include "support/bytes.h"

namespace vorlan::manm {

inline constexpr uint8_t kMagic[4] = {'M', 'A', 'N', 'M'};
inline constexpr uint32_t kVersion = 2;
inline constexpr uint32_t kRecordKind = 1;
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kRecordHeadSize = 52;

// Key types: the low digit names the channel, the interpolation moves it one hex place.
inline constexpr uint32_t kPosLinear = 0x1, kPosTCB = 0x10, kPosBezier = 0x100;
inline constexpr uint32_t kRotLinear = 0x2, kRotTCB = 0x20, kRotBezier = 0x200;
inline constexpr uint32_t kRotCameraOrientation = 0x1000;
inline constexpr uint32_t kSclLinear = 0x3, kSclTCB = 0x30, kSclBezier = 0x300;

// Key sizes in bytes.
inline constexpr uint32_t kLinearPoint3KeySize = 16, kTCBPoint3KeySize = 36, kBezPoint3KeySize = 68;
inline constexpr uint32_t kLinearRotKeySize = 20, kTCBRotKeySize = 40, kBezRotKeySize = 24;
inline constexpr uint32_t kCameraOrientationKeySize = 28, kCameraKeySize = 8;

enum class Channel { Position, Rotation, Scale };

// The key size of a type on a channel; 0 for a type the channel does not have.
uint32_t KeySize(Channel channel, uint32_t type);

struct FileHeader {
  uint32_t version = kVersion;
  uint32_t recordCount = 0;
  uint32_t reserved = 0;
};

struct RecordHead {
  uint32_t kind = kRecordKind;
  uint32_t size = 0;
  uint32_t numPos = 0, numRot = 0, numScl = 0, numCam = 0;
  uint32_t posType = 0, rotType = 0, sclType = 0;
  int32_t animStart = 0, animEnd = 0, ticksPerFrame = 0, frameRate = 0;
};

// Sampled camera keys.
struct CameraOrientationKey {
  host::TimeValue time = 0;
  host::Point3 up, view;
  friend bool operator==(const CameraOrientationKey&, const CameraOrientationKey&) = default;
};
struct CameraKey {
  host::TimeValue time = 0;
  float fov = 0;  // radians
  friend bool operator==(const CameraKey&, const CameraKey&) = default;
};

void WriteHeader(support::ByteWriter& w, const FileHeader& h);
// The head and the name with its terminator.
void WriteRecordHead(support::ByteWriter& w, const RecordHead& h, const std::string& name);
// The head alone into 52 bytes (for patching after the keys are known).
void StoreRecordHead(uint8_t* out, const RecordHead& h);

FileHeader LoadHeader(const uint8_t* p);      // 16 bytes
RecordHead LoadRecordHead(const uint8_t* p);  // 52 bytes

// The size a record occupies: head, name with terminator and the key blocks.
uint64_t RecordSize(const RecordHead& h, std::size_t nameLength);

// Key layouts. Linear and TCB keys carry no flags in the file; Bezier keys do. Scale keys
// carry only the factors: a key read back has identity scale axes.
void WriteKey(support::ByteWriter& w, const host::LinearPoint3Key& k);
void WriteKey(support::ByteWriter& w, const host::TCBPoint3Key& k);
void WriteKey(support::ByteWriter& w, const host::BezPoint3Key& k);
void WriteKey(support::ByteWriter& w, const host::LinearRotKey& k);
void WriteKey(support::ByteWriter& w, const host::TCBRotKey& k);
void WriteKey(support::ByteWriter& w, const host::BezQuatKey& k);
void WriteKey(support::ByteWriter& w, const host::LinearScaleKey& k);
void WriteKey(support::ByteWriter& w, const host::TCBScaleKey& k);
void WriteKey(support::ByteWriter& w, const host::BezScaleKey& k);
void WriteKey(support::ByteWriter& w, const CameraOrientationKey& k);
void WriteKey(support::ByteWriter& w, const CameraKey& k);

// Readers of one key from exactly its key size of bytes.
void LoadKey(const uint8_t* p, host::LinearPoint3Key& k);
void LoadKey(const uint8_t* p, host::TCBPoint3Key& k);
void LoadKey(const uint8_t* p, host::BezPoint3Key& k);
void LoadKey(const uint8_t* p, host::LinearRotKey& k);
void LoadKey(const uint8_t* p, host::TCBRotKey& k);
void LoadKey(const uint8_t* p, host::BezQuatKey& k);
void LoadKey(const uint8_t* p, host::LinearScaleKey& k);
void LoadKey(const uint8_t* p, host::TCBScaleKey& k);
void LoadKey(const uint8_t* p, host::BezScaleKey& k);
void LoadKey(const uint8_t* p, CameraOrientationKey& k);
void LoadKey(const uint8_t* p, CameraKey& k);

}  // namespace vorlan::manm

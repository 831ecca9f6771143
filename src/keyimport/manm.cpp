#include "keyimport/manm.h"

namespace vorlan::manm {

using host::Point3;
using host::Quat;
using support::ByteWriter;
using support::LoadF32;
using support::LoadU32;

uint32_t KeySize(Channel channel, uint32_t type) {
  struct Entry {
    Channel channel;
    uint32_t type, size;
  };
  static constexpr Entry kTable[] = {
      {Channel::Position, kPosLinear, kLinearPoint3KeySize},
      {Channel::Position, kPosTCB, kTCBPoint3KeySize},
      {Channel::Position, kPosBezier, kBezPoint3KeySize},
      {Channel::Rotation, kRotLinear, kLinearRotKeySize},
      {Channel::Rotation, kRotTCB, kTCBRotKeySize},
      {Channel::Rotation, kRotBezier, kBezRotKeySize},
      {Channel::Rotation, kRotCameraOrientation, kCameraOrientationKeySize},
      {Channel::Scale, kSclLinear, kLinearPoint3KeySize},
      {Channel::Scale, kSclTCB, kTCBPoint3KeySize},
      {Channel::Scale, kSclBezier, kBezPoint3KeySize},
  };
  for (const Entry& e : kTable)
    if (e.channel == channel && e.type == type) return e.size;
  return 0;
}

void WriteHeader(ByteWriter& w, const FileHeader& h) {
  w.Bytes(kMagic, 4);
  w.U32(h.version);
  w.U32(h.recordCount);
  w.U32(h.reserved);
}

void StoreRecordHead(uint8_t* out, const RecordHead& h) {
  const uint32_t words[13] = {h.kind,
                              h.size,
                              h.numPos,
                              h.numRot,
                              h.numScl,
                              h.numCam,
                              h.posType,
                              h.rotType,
                              h.sclType,
                              static_cast<uint32_t>(h.animStart),
                              static_cast<uint32_t>(h.animEnd),
                              static_cast<uint32_t>(h.ticksPerFrame),
                              static_cast<uint32_t>(h.frameRate)};
  for (int i = 0; i < 13; ++i) ByteWriter::StoreU32(out + 4 * i, words[i]);
}

void WriteRecordHead(ByteWriter& w, const RecordHead& h, const std::string& name) {
  uint8_t head[kRecordHeadSize];
  StoreRecordHead(head, h);
  w.Bytes(head, sizeof head);
  w.CString(name);
}

FileHeader LoadHeader(const uint8_t* p) { return {LoadU32(p + 4), LoadU32(p + 8), LoadU32(p + 12)}; }

RecordHead LoadRecordHead(const uint8_t* p) {
  auto i32 = [&](int at) { return static_cast<int32_t>(LoadU32(p + at)); };
  RecordHead h;
  h.kind = LoadU32(p);
  h.size = LoadU32(p + 4);
  h.numPos = LoadU32(p + 8);
  h.numRot = LoadU32(p + 12);
  h.numScl = LoadU32(p + 16);
  h.numCam = LoadU32(p + 20);
  h.posType = LoadU32(p + 24);
  h.rotType = LoadU32(p + 28);
  h.sclType = LoadU32(p + 32);
  h.animStart = i32(36);
  h.animEnd = i32(40);
  h.ticksPerFrame = i32(44);
  h.frameRate = i32(48);
  return h;
}

uint64_t RecordSize(const RecordHead& h, std::size_t nameLength) {
  return kRecordHeadSize + nameLength + 1 + uint64_t(h.numPos) * KeySize(Channel::Position, h.posType) +
         uint64_t(h.numRot) * KeySize(Channel::Rotation, h.rotType) +
         uint64_t(h.numScl) * KeySize(Channel::Scale, h.sclType) + uint64_t(h.numCam) * kCameraKeySize;
}

namespace {

void P3(ByteWriter& w, Point3 p) {
  w.F32(p.x);
  w.F32(p.y);
  w.F32(p.z);
}
void Q(ByteWriter& w, Quat q) {
  w.F32(q.x);
  w.F32(q.y);
  w.F32(q.z);
  w.F32(q.w);
}
void Tcb(ByteWriter& w, const host::TCBParams& t) {
  w.F32(t.tens);
  w.F32(t.cont);
  w.F32(t.bias);
  w.F32(t.easeIn);
  w.F32(t.easeOut);
}
void Handles(ByteWriter& w, Point3 inTan, Point3 outTan, Point3 inLen, Point3 outLen) {
  P3(w, inTan);
  P3(w, outTan);
  P3(w, inLen);
  P3(w, outLen);
}

Point3 LoadP3(const uint8_t* p) { return {LoadF32(p), LoadF32(p + 4), LoadF32(p + 8)}; }
Quat LoadQ(const uint8_t* p) { return {LoadF32(p), LoadF32(p + 4), LoadF32(p + 8), LoadF32(p + 12)}; }
host::TCBParams LoadTcb(const uint8_t* p) {
  return {LoadF32(p), LoadF32(p + 4), LoadF32(p + 8), LoadF32(p + 12), LoadF32(p + 16)};
}
host::TimeValue LoadTime(const uint8_t* p) { return static_cast<host::TimeValue>(LoadU32(p)); }

}  // namespace

void WriteKey(ByteWriter& w, const host::LinearPoint3Key& k) {
  w.I32(k.time);
  P3(w, k.val);
}
void WriteKey(ByteWriter& w, const host::TCBPoint3Key& k) {
  w.I32(k.time);
  P3(w, k.val);
  Tcb(w, k.tcb);
}
void WriteKey(ByteWriter& w, const host::BezPoint3Key& k) {
  w.I32(k.time);
  w.U32(k.flags);
  P3(w, k.val);
  Handles(w, k.inTan, k.outTan, k.inLength, k.outLength);
}
void WriteKey(ByteWriter& w, const host::LinearRotKey& k) {
  w.I32(k.time);
  Q(w, k.val);
}
void WriteKey(ByteWriter& w, const host::TCBRotKey& k) {
  w.I32(k.time);
  w.F32(k.val.angle);
  P3(w, k.val.axis);
  Tcb(w, k.tcb);
}
void WriteKey(ByteWriter& w, const host::BezQuatKey& k) {
  w.I32(k.time);
  w.U32(k.flags);
  Q(w, k.val);
}
void WriteKey(ByteWriter& w, const host::LinearScaleKey& k) {
  w.I32(k.time);
  P3(w, k.val.s);
}
void WriteKey(ByteWriter& w, const host::TCBScaleKey& k) {
  w.I32(k.time);
  P3(w, k.val.s);
  Tcb(w, k.tcb);
}
void WriteKey(ByteWriter& w, const host::BezScaleKey& k) {
  w.I32(k.time);
  w.U32(k.flags);
  P3(w, k.val.s);
  Handles(w, k.inTan, k.outTan, k.inLength, k.outLength);
}
void WriteKey(ByteWriter& w, const CameraOrientationKey& k) {
  w.I32(k.time);
  P3(w, k.up);
  P3(w, k.view);
}
void WriteKey(ByteWriter& w, const CameraKey& k) {
  w.I32(k.time);
  w.F32(k.fov);
}

void LoadKey(const uint8_t* p, host::LinearPoint3Key& k) { k = {LoadTime(p), 0, LoadP3(p + 4)}; }
void LoadKey(const uint8_t* p, host::TCBPoint3Key& k) {
  k = {LoadTime(p), 0, LoadP3(p + 4), LoadTcb(p + 16)};
}
void LoadKey(const uint8_t* p, host::BezPoint3Key& k) {
  k.time = LoadTime(p);
  k.flags = LoadU32(p + 4);
  k.val = LoadP3(p + 8);
  k.inTan = LoadP3(p + 20);
  k.outTan = LoadP3(p + 32);
  k.inLength = LoadP3(p + 44);
  k.outLength = LoadP3(p + 56);
}
void LoadKey(const uint8_t* p, host::LinearRotKey& k) { k = {LoadTime(p), 0, LoadQ(p + 4)}; }
void LoadKey(const uint8_t* p, host::TCBRotKey& k) {
  k = {LoadTime(p), 0, host::AngAxis{LoadP3(p + 8), LoadF32(p + 4)}, LoadTcb(p + 20)};
}
void LoadKey(const uint8_t* p, host::BezQuatKey& k) { k = {LoadTime(p), LoadU32(p + 4), LoadQ(p + 8)}; }
void LoadKey(const uint8_t* p, host::LinearScaleKey& k) {
  k = {LoadTime(p), 0, host::ScaleValue{LoadP3(p + 4), {}}};
}
void LoadKey(const uint8_t* p, host::TCBScaleKey& k) {
  k = {LoadTime(p), 0, host::ScaleValue{LoadP3(p + 4), {}}, LoadTcb(p + 16)};
}
void LoadKey(const uint8_t* p, host::BezScaleKey& k) {
  k.time = LoadTime(p);
  k.flags = LoadU32(p + 4);
  k.val = {LoadP3(p + 8), {}};
  k.inTan = LoadP3(p + 20);
  k.outTan = LoadP3(p + 32);
  k.inLength = LoadP3(p + 44);
  k.outLength = LoadP3(p + 56);
}
void LoadKey(const uint8_t* p, CameraOrientationKey& k) { k = {LoadTime(p), LoadP3(p + 4), LoadP3(p + 16)}; }
void LoadKey(const uint8_t* p, CameraKey& k) { k = {LoadTime(p), LoadF32(p + 4)}; }

}  // namespace vorlan::manm

#include "keyimport/manm_inspect.h"

#include <cstdio>
#include <string_view>

#include "keyimport/manm.h"

namespace vorlan::manm {

namespace {

std::string F(float v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.9g", static_cast<double>(v));
  return b;
}
std::string P(host::Point3 p) { return "(" + F(p.x) + ", " + F(p.y) + ", " + F(p.z) + ")"; }
std::string Q(host::Quat q) { return "(" + F(q.x) + ", " + F(q.y) + ", " + F(q.z) + ", " + F(q.w) + ")"; }
std::string Tcb(const host::TCBParams& t) {
  return " tcb " + F(t.tens) + " " + F(t.cont) + " " + F(t.bias) + " ease " + F(t.easeIn) + " " +
         F(t.easeOut);
}
std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%X", v);
  return b;
}
std::string Handles(host::Point3 in, host::Point3 out, host::Point3 inLen, host::Point3 outLen) {
  return " in " + P(in) + " out " + P(out) + " inLen " + P(inLen) + " outLen " + P(outLen);
}

// One key of a type as a line; empty for a type without a layout.
std::string KeyLine(Channel channel, uint32_t type, const uint8_t* p) {
  auto t = [](host::TimeValue time) { return "    t " + std::to_string(time) + ": "; };
  switch (channel == Channel::Rotation ? type | 0x10000 : type) {
    case kPosLinear:
    case kSclLinear: {
      host::LinearPoint3Key k;
      LoadKey(p, k);
      return t(k.time) + P(k.val);
    }
    case kPosTCB:
    case kSclTCB: {
      host::TCBPoint3Key k;
      LoadKey(p, k);
      return t(k.time) + P(k.val) + Tcb(k.tcb);
    }
    case kPosBezier:
    case kSclBezier: {
      host::BezPoint3Key k;
      LoadKey(p, k);
      return t(k.time) + P(k.val) + " flags " + Hex(k.flags) +
             Handles(k.inTan, k.outTan, k.inLength, k.outLength);
    }
    case kRotLinear | 0x10000: {
      host::LinearRotKey k;
      LoadKey(p, k);
      return t(k.time) + "quat " + Q(k.val);
    }
    case kRotTCB | 0x10000: {
      host::TCBRotKey k;
      LoadKey(p, k);
      return t(k.time) + "angle " + F(k.val.angle) + " axis " + P(k.val.axis) + Tcb(k.tcb);
    }
    case kRotBezier | 0x10000: {
      host::BezQuatKey k;
      LoadKey(p, k);
      return t(k.time) + "quat " + Q(k.val) + " flags " + Hex(k.flags);
    }
    case kRotCameraOrientation | 0x10000: {
      CameraOrientationKey k;
      LoadKey(p, k);
      return t(k.time) + "up " + P(k.up) + " view " + P(k.view);
    }
  }
  return {};
}

const char* TypeName(Channel channel, uint32_t type) {
  if (type == kRotCameraOrientation && channel == Channel::Rotation) return "camera orientation";
  switch (type & 0xFFF) {
    case 0x1:
    case 0x2:
    case 0x3:
      return KeySize(channel, type) ? "Linear" : "unknown";
    case 0x10:
    case 0x20:
    case 0x30:
      return KeySize(channel, type) ? "TCB" : "unknown";
    case 0x100:
    case 0x200:
    case 0x300:
      return KeySize(channel, type) ? "Bezier" : "unknown";
    case 0:
      return "none";
  }
  return "unknown";
}

}  // namespace

InspectResult InspectManm(std::span<const uint8_t> bytes) {
  InspectResult r;
  auto fail = [&](std::string why) {
    r.ok = false;
    r.error = std::move(why);
    return r;
  };
  if (bytes.size() < kHeaderSize) return fail("shorter than the 16-byte header");
  FileHeader h = LoadHeader(bytes.data());
  r.text += "MANM version " + std::to_string(h.version) + ", " + std::to_string(h.recordCount) + " records\n";
  std::size_t at = kHeaderSize;
  for (uint32_t i = 0; i < h.recordCount; ++i) {
    if (bytes.size() - at < kRecordHeadSize + 1) return fail("record " + std::to_string(i) + " is cut short");
    RecordHead head = LoadRecordHead(bytes.data() + at);
    const uint8_t* nameAt = bytes.data() + at + kRecordHeadSize;
    std::size_t maxName = bytes.size() - at - kRecordHeadSize;
    std::size_t len = std::string_view(reinterpret_cast<const char*>(nameAt), maxName).find('\0');
    if (len == std::string_view::npos) return fail("record " + std::to_string(i) + " has no end to its name");
    std::string name(reinterpret_cast<const char*>(nameAt), len);
    r.text += "record \"" + name + "\" size " + std::to_string(head.size) + " range " +
              std::to_string(head.animStart) + ".." + std::to_string(head.animEnd) + " ticks/frame " +
              std::to_string(head.ticksPerFrame) + " fps " + std::to_string(head.frameRate) + "\n";
    std::size_t pos = at + kRecordHeadSize + len + 1;
    struct Block {
      const char* label;
      Channel channel;
      uint32_t type, count;
    };
    const Block blocks[] = {{"position", Channel::Position, head.posType, head.numPos},
                            {"rotation", Channel::Rotation, head.rotType, head.numRot},
                            {"scale", Channel::Scale, head.sclType, head.numScl}};
    for (const Block& b : blocks) {
      r.text += "  " + std::string(b.label) + ": " + TypeName(b.channel, b.type) + " (" + Hex(b.type) +
                "), " + std::to_string(b.count) + " keys\n";
      uint32_t size = KeySize(b.channel, b.type);
      if (b.count && !size) return fail("record \"" + name + "\" has keys of an unknown type");
      for (uint32_t k = 0; k < b.count; ++k, pos += size) {
        if (bytes.size() - pos < size) return fail("record \"" + name + "\" is cut short");
        r.text += KeyLine(b.channel, b.type, bytes.data() + pos) + "\n";
      }
    }
    r.text += "  camera: " + std::to_string(head.numCam) + " keys\n";
    for (uint32_t k = 0; k < head.numCam; ++k, pos += kCameraKeySize) {
      if (bytes.size() - pos < kCameraKeySize) return fail("record \"" + name + "\" is cut short");
      CameraKey c;
      LoadKey(bytes.data() + pos, c);
      r.text += "    t " + std::to_string(c.time) + ": fov " + F(c.fov) + "\n";
    }
    if (head.size != pos - at)
      r.text +=
          "  (stored size " + std::to_string(head.size) + ", keys end at " + std::to_string(pos - at) + ")\n";
    at = pos;
  }
  if (at != bytes.size()) r.text += std::to_string(bytes.size() - at) + " bytes after the last record\n";
  return r;
}

}  // namespace vorlan::manm

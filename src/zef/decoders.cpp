#include "zef/decoders.h"

#include <array>
#include <cinttypes>
#include <cstdio>

#include "zef/blocks.h"
#include "zef/inspect_materials.h"

namespace vorlan::zef {

using support::ByteReader;

std::string FormatFloat(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
  return text;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

bool AddU32(ByteReader& r, std::vector<Field>& fields, std::string_view key) {
  auto v = r.U32();
  if (!v) return false;
  fields.push_back({std::string(key), std::to_string(*v)});
  return true;
}

bool AddI32(ByteReader& r, std::vector<Field>& fields, std::string_view key) {
  auto v = r.I32();
  if (!v) return false;
  fields.push_back({std::string(key), std::to_string(*v)});
  return true;
}

bool AddHex(ByteReader& r, std::vector<Field>& fields, std::string_view key) {
  auto v = r.U32();
  if (!v) return false;
  char text[16];
  std::snprintf(text, sizeof text, "0x%" PRIX32, *v);
  fields.push_back({std::string(key), text});
  return true;
}

bool AddF32(ByteReader& r, std::vector<Field>& fields, std::string_view key) {
  auto v = r.F32();
  if (!v) return false;
  fields.push_back({std::string(key), FormatFloat(*v)});
  return true;
}

bool AddPoint(ByteReader& r, std::vector<Field>& fields, std::string_view key) {
  auto x = r.F32();
  auto y = r.F32();
  auto z = r.F32();
  if (!x || !y || !z) return false;
  fields.push_back(
      {std::string(key), "(" + FormatFloat(*x) + ", " + FormatFloat(*y) + ", " + FormatFloat(*z) + ")"});
  return true;
}

bool AddText(ByteReader& r, std::vector<Field>& fields, std::string_view key, std::size_t n) {
  auto s = r.String(n);
  if (!s) return false;
  fields.push_back({std::string(key), std::move(*s), true});
  return true;
}

namespace {

using Fields = std::vector<Field>;
using Nested = std::optional<uint64_t>;

// Node and skeleton object heads: children, then the name; nested blocks follow the name.
Nested DecodeNode(ByteReader& r, Fields& f) {
  auto children = r.U32();
  auto length = r.U32();
  if (!children || !length) return std::nullopt;
  AddText(r, f, "name", *length);
  f.push_back({"children", std::to_string(*children)});
  return kNodeHeadSize + uint64_t{*length};
}

Nested DecodeInfo(ByteReader& r, Fields& f) {
  auto userLength = r.U32();
  auto commentLength = r.U32();
  auto triangles = r.U32();
  if (!userLength || !commentLength || !triangles) return std::nullopt;
  AddText(r, f, "user", kInfoUserField);
  AddText(r, f, "comment", *commentLength);
  f.push_back({"triangles", std::to_string(*triangles)});
  return std::nullopt;
}

Nested DecodeMatList(ByteReader& r, Fields& f) {
  if (!AddU32(r, f, "records")) return std::nullopt;
  return kMatListHeadSize;
}

Nested DecodeGObj(ByteReader& r, Fields& f) {
  if (!AddU32(r, f, "gblocks")) return std::nullopt;
  return kGObjHeadSize;
}

Nested DecodeGBlock(ByteReader& r, Fields& f) {
  auto material = r.U32();
  if (!material) return std::nullopt;
  f.push_back(
      {"material", *material == kDefaultMaterial ? std::string("default") : std::to_string(*material)});
  return kGBlockHeadSize;
}

Nested DecodeVertices(ByteReader& r, Fields& f) {
  AddU32(r, f, "count");
  AddU32(r, f, "stride");
  auto format = r.PeekU32();
  if (AddHex(r, f, "format")) f.push_back({"texture pairs", std::to_string(TexturePairsOfFormat(*format))});
  return std::nullopt;
}

Nested DecodeFaces(ByteReader& r, Fields& f) {
  AddU32(r, f, "count");
  return std::nullopt;
}

Nested DecodeUserProps(ByteReader& r, Fields& f) {
  auto length = r.U32();
  if (length) AddText(r, f, "text", *length);
  return std::nullopt;
}

Nested DecodeTransform(ByteReader& r, Fields& f) {
  AddPoint(r, f, "position") && AddPoint(r, f, "euler") && AddPoint(r, f, "scale");
  return std::nullopt;
}

Nested DecodeInstance(ByteReader& r, Fields& f) {
  AddU32(r, f, "number");
  return std::nullopt;
}

Nested DecodeDummy(ByteReader& r, Fields& f) {
  AddPoint(r, f, "box");
  return std::nullopt;
}

Nested DecodeCamera(ByteReader& r, Fields& f) {
  AddF32(r, f, "fov") && AddPoint(r, f, "position") && AddPoint(r, f, "euler");
  return std::nullopt;
}

Nested DecodeLight(ByteReader& r, Fields& f) {
  AddU32(r, f, "type") && AddU32(r, f, "on") && AddU32(r, f, "shadows") && AddPoint(r, f, "colour") &&
      AddF32(r, f, "multiplier") && AddF32(r, f, "far attenuation") && AddF32(r, f, "hotspot") &&
      AddF32(r, f, "falloff");
  return std::nullopt;
}

Nested DecodeVexaLight(ByteReader& r, Fields& f) {
  AddI32(r, f, "enabled") && AddI32(r, f, "type") && AddPoint(r, f, "rgb") && AddI32(r, f, "showFarAtten") &&
      AddI32(r, f, "castShadows") && AddI32(r, f, "castSHMShadows") && AddF32(r, f, "farAttenEnd") &&
      AddF32(r, f, "multiplier") && AddF32(r, f, "hotspot") && AddF32(r, f, "falloff");
  return std::nullopt;
}

Nested DecodeEvent(ByteReader& r, Fields& f) {
  AddI32(r, f, "id") && AddI32(r, f, "group") && AddI32(r, f, "event") && AddI32(r, f, "impulse") &&
      AddF32(r, f, "interval") && AddF32(r, f, "random");
  return std::nullopt;
}

Nested DecodeSkeletonData(ByteReader& r, Fields& f) {
  auto value = r.U32();
  auto length = r.U32();
  if (!value || !length) return std::nullopt;
  if (!AddText(r, f, "root", *length)) return std::nullopt;
  AddF32(r, f, "scale") && AddU32(r, f, "points");
  return kNodeHeadSize + uint64_t{*length} + 8;
}

// A bone head is followed by its point lists, and only then by its child bones.
Nested DecodeBone(ByteReader& r, Fields& f) {
  auto children = r.U32();
  auto length = r.U32();
  if (!children || !length) return std::nullopt;
  if (!AddText(r, f, "name", *length)) return std::nullopt;
  f.push_back({"children", std::to_string(*children)});
  auto lists = r.U32();
  if (!lists) return std::nullopt;
  f.push_back({"point lists", std::to_string(*lists)});
  if (!r.Seek(r.Pos() + 164)) return std::nullopt;  // offset, indices and the two matrices
  for (uint32_t i = 0; i < *lists; ++i) {
    auto mesh = r.U32(), block = r.U32(), n = r.U32();
    if (!mesh || !block || !n || !r.Skip(uint64_t{*n} * 8)) return std::nullopt;
    f.push_back({"list " + std::to_string(i), "mesh " + std::to_string(*mesh) + " block " +
                                                  std::to_string(*block & 0x3FFFFFFF) + " vertices " +
                                                  std::to_string(*n)});
  }
  return r.Pos();
}

Nested DecodeMorphDeltas(ByteReader& r, Fields& f) {
  AddU32(r, f, "vertices") && AddU32(r, f, "targets");
  return std::nullopt;
}

Nested DecodeBoneList(ByteReader& r, Fields& f) {
  auto n = r.U32();
  if (!n) return std::nullopt;
  f.push_back({"bones", std::to_string(*n)});
  std::string list;
  for (uint32_t i = 0; i < *n && i < 64; ++i) {
    auto bone = r.U32();
    if (!bone) break;
    list += (i ? " " : "") + std::to_string(*bone);
  }
  if (*n) f.push_back({"indices", list});
  return std::nullopt;
}

Nested DecodeIKJoint(ByteReader& r, Fields& f) {
  bool ok = AddU32(r, f, "value") && AddI32(r, f, "spin on") && AddF32(r, f, "spin min") &&
            AddF32(r, f, "spin max") && AddF32(r, f, "friction") && AddI32(r, f, "collide") &&
            AddI32(r, f, "cone on") && AddF32(r, f, "cone angle");
  for (const char* plane : {"plane ZX A", "plane ZX B", "plane ZY A", "plane ZY B"}) {
    std::string p = plane;
    ok = ok && AddI32(r, f, p + " on") && AddI32(r, f, p + " type") && AddF32(r, f, p + " offset") &&
         AddF32(r, f, p + " lean") && AddF32(r, f, p + " point x") && AddF32(r, f, p + " point y");
  }
  if (!ok) return std::nullopt;
  for (const char* key : {"object A", "object B"}) {
    auto name = r.CString();
    if (!name) break;
    f.push_back({key, *name, true});
  }
  return std::nullopt;
}

// Glass data: pane count, the adjacency matrix and the open flags.
Nested DecodeGlass(ByteReader& r, Fields& f) {
  // A dummy whose panes could not be paired carries a Glass block without data.
  if (r.Remaining() == 0) {
    f.push_back({"panes", "none"});
    return std::nullopt;
  }
  auto n = r.U32();
  if (!n) return std::nullopt;
  f.push_back({"panes", std::to_string(*n)});
  uint64_t cells = uint64_t{*n} * *n;
  if (*n == 0 || cells + *n > r.Remaining()) return std::nullopt;
  std::string pairs, open;
  const uint8_t* base = r.Bytes(static_cast<std::size_t>(cells + *n))->data();
  for (uint32_t i = 0; i < *n && pairs.size() < 200; ++i)
    for (uint32_t j = i + 1; j < *n; ++j)
      if (base[uint64_t{i} * *n + j])
        pairs += (pairs.empty() ? "" : " ") + std::to_string(i) + "-" + std::to_string(j);
  for (uint32_t i = 0; i < *n && open.size() < 200; ++i)
    if (base[cells + i]) open += (open.empty() ? "" : " ") + std::to_string(i);
  f.push_back({"touching", pairs.empty() ? "none" : pairs});
  f.push_back({"open", open.empty() ? "none" : open});
  return std::nullopt;
}

// Physics: the three record sizes, the centre of mass, then the counts of each record.
Nested DecodePhysics(ByteReader& r, Fields& f) {
  auto value = r.U32();
  auto a = r.U32(), b = r.U32(), c = r.U32();
  if (!value || !a || !b || !c) return std::nullopt;
  f.push_back({"value", std::to_string(*value)});
  f.push_back({"collision mesh bytes", std::to_string(*a)});
  f.push_back({"shape bytes", std::to_string(*b)});
  f.push_back({"design bytes", std::to_string(*c)});
  if (!AddPoint(r, f, "centre of mass")) return std::nullopt;
  std::size_t start = r.Pos();
  if (*a >= 8) AddU32(r, f, "collision triangles") && AddU32(r, f, "collision vertices");
  if (!r.Seek(start) || !r.Skip(*a)) return std::nullopt;
  start = r.Pos();
  if (*b >= 20) {
    AddHex(r, f, "shape magic") && AddU32(r, f, "shape vertices") && AddU32(r, f, "shape edges") &&
        AddU32(r, f, "shape triangles") && AddU32(r, f, "shape spheres");
  }
  if (!r.Seek(start) || !r.Skip(*b)) return std::nullopt;
  if (*c >= 20) AddF32(r, f, "design volume") && r.Skip(12) && AddU32(r, f, "design globes");
  return std::nullopt;
}

constexpr std::array kDecoders = {
    BlockDecoder{kNode, DecodeNode},
    BlockDecoder{kSkeletonObj, DecodeNode},
    BlockDecoder{kInfo, DecodeInfo},
    BlockDecoder{kMatList, DecodeMatList},
    BlockDecoder{kGObj, DecodeGObj},
    BlockDecoder{kGBlock, DecodeGBlock},
    BlockDecoder{kVertices, DecodeVertices},
    BlockDecoder{kFaces, DecodeFaces},
    BlockDecoder{kUserProps, DecodeUserProps},
    BlockDecoder{kTransform, DecodeTransform},
    BlockDecoder{kInstance, DecodeInstance},
    BlockDecoder{kDummy, DecodeDummy},
    BlockDecoder{kCamera, DecodeCamera},
    BlockDecoder{kLight, DecodeLight},
    BlockDecoder{kVexaLight, DecodeVexaLight},
    BlockDecoder{kSoundEvent, DecodeEvent},
    BlockDecoder{kParticleEvent, DecodeEvent},
    BlockDecoder{kSkeletonData, DecodeSkeletonData},
    BlockDecoder{kBone, DecodeBone},
    BlockDecoder{kMorphDeltas, DecodeMorphDeltas},
    BlockDecoder{kBoneList, DecodeBoneList},
    BlockDecoder{kIKJoint, DecodeIKJoint},
    BlockDecoder{kGlass, DecodeGlass},
    BlockDecoder{kPhysics, DecodePhysics},
    BlockDecoder{kMatStandard, DecodeMaterialRecordFields},
    BlockDecoder{kMatVexaMat, DecodeMaterialRecordFields},
    BlockDecoder{kMatVexaLayerRig, DecodeMaterialRecordFields},
    BlockDecoder{kMatVexaLayer, DecodeMaterialRecordFields},
};

}  // namespace

const BlockDecoder* FindDecoder(uint32_t id) {
  for (const BlockDecoder& d : kDecoders)
    if (d.id == id) return &d;
  return nullptr;
}

}  // namespace vorlan::zef

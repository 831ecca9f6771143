// Bytes of the material records: encoding for the writers, bounded decoding for readers.
#include <bit>
#include <cinttypes>
#include <cstdio>

#include "support/bytes.h"
#include "zef/blocks.h"
#include "zef/material_records.h"

namespace vorlan::zef {

using support::ByteReader;
using support::ByteWriter;

Code4 MakeCode4(std::string_view s) {
  Code4 c{};
  for (std::size_t i = 0; i < 4 && i < s.size() && s[i] != '\0'; ++i) c[i] = static_cast<uint8_t>(s[i]);
  return c;
}

namespace {

// A host text as a C string sees it: up to its first zero byte.
std::string_view CText(std::string_view s) {
  std::size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}

uint32_t StoredLength(std::string_view s) { return static_cast<uint32_t>(CText(s).size() + 1); }

void Code(ByteWriter& w, Code4 c) { w.Bytes(c.data(), c.size()); }

void Point(ByteWriter& w, host::Point3 p) {
  w.F32(p.x);
  w.F32(p.y);
  w.F32(p.z);
}

}  // namespace

void EncodeRecord(const StdRecord& r, std::vector<uint8_t>& out) {
  uint32_t size = 20;
  for (const TextureEntry& t : r.textures) size += 8 + StoredLength(t.fileName);
  ByteWriter w(out);
  w.U32(kMatStandard);
  w.U32(size);
  w.U32(r.flags);
  Code(w, r.nameCode);
  w.U32(r.mapMask);
  for (const TextureEntry& t : r.textures) {
    w.U32(StoredLength(t.fileName));
    w.U32(t.flags);
    w.CString(CText(t.fileName));
  }
}

void EncodeRecord(const VexaMatRecord& r, std::vector<uint8_t>& out) {
  uint32_t size = 32 + StoredLength(r.name);
  for (const TextureEntry& t : r.textures) size += 8 + StoredLength(t.fileName);
  ByteWriter w(out);
  w.U32(kMatVexaMat);
  w.U32(size);
  w.U32(r.flags);
  w.U32(r.texTypes);
  Code(w, r.collisionType);
  Code(w, r.transparentType);
  w.U8(r.growType);
  w.U8(r.grassType);
  w.U16(0);
  w.U32(StoredLength(r.name));
  w.CString(CText(r.name));
  for (const TextureEntry& t : r.textures) {
    w.U32(t.flags);
    w.U32(StoredLength(t.fileName));
    w.CString(CText(t.fileName));
  }
}

void EncodeRecord(const VexaLayerRecord& r, std::vector<uint8_t>& out) {
  const uint32_t a = StoredLength(r.shaderType), b = StoredLength(r.shaderFilename), c = StoredLength(r.name);
  uint32_t extras = 0;
  if (r.sceneLayout)
    extras = 8 + (r.extras == ExtrasKind::Water   ? kWaterBlockSize
                  : r.extras == ExtrasKind::Glass ? kGlassBlockSize
                                                  : 0);
  uint32_t size = kVexaLayerHeaderSize + a + b + c + extras;
  for (const LayerEntry& l : r.layers) size += kLayerEntryHeadSize + StoredLength(l.fileName);

  ByteWriter w(out);
  w.U32(r.sceneLayout ? kMatVexaLayer : kMatVexaLayerRig);
  w.U32(size);
  w.U32(r.flags);
  w.U32(static_cast<uint32_t>(r.layers.size()));
  Code(w, r.surface);
  w.I32(r.transparency);
  w.U8(r.growType);
  w.U8(r.grassType);
  Point(w, r.diffuse);
  Point(w, r.ambient);
  Point(w, r.specular);
  Point(w, r.selfIllum);
  w.I32(r.opacity);
  w.F32(r.opacityFalloff);
  w.I32(r.glossiness);
  w.I32(r.specLevel);
  w.U32(a);
  w.U32(b);
  w.U32(c);
  w.CString(CText(r.shaderType));
  w.CString(CText(r.shaderFilename));
  w.CString(CText(r.name));
  if (r.sceneLayout) {
    w.U32(kExtrasBlock);
    w.U32(extras);
    if (r.extras != ExtrasKind::None) {
      const bool water = r.extras == ExtrasKind::Water;
      w.U32(water ? kWaterBlock : kGlassBlock);
      w.U32(water ? kWaterBlockSize : kGlassBlockSize);
      w.F32(r.waterAlphaAngle);
      w.F32(r.waterEnvBlend);
      Point(w, r.waterSharpness);
      if (water) {
        w.F32(r.waterShiftingXY[0]);
        w.F32(r.waterShiftingXY[1]);
        w.F32(r.waterShiftingUV[0]);
        w.F32(r.waterShiftingUV[1]);
      }
    }
  }
  for (const LayerEntry& l : r.layers) {
    w.U32(l.slot);
    w.U32(l.flags);
    w.I32(l.moveType);
    w.I32(l.moveSoft);
    Point(w, l.moving);
    w.U32(StoredLength(l.fileName));
    w.CString(CText(l.fileName));
  }
}

// ---- Decoding ---------------------------------------------------------------------------

namespace {

class Decoder {
 public:
  Decoder(std::span<const uint8_t> record, std::string* error) : r_(record), error_(error) {}

  bool Fail(const char* what) {
    if (error_ && error_->empty()) {
      char buf[160];
      // The decoder starts after the record's eight-byte head.
      std::snprintf(buf, sizeof buf, "%s at record offset %zu", what, r_.Pos() + 8);
      *error_ = buf;
    }
    return false;
  }
  bool U32(uint32_t& v, const char* what) {
    auto x = r_.U32();
    if (!x) return Fail(what);
    v = *x;
    return true;
  }
  bool I32(int32_t& v, const char* what) {
    uint32_t u;
    if (!U32(u, what)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }
  bool F32(float& v, const char* what) {
    uint32_t u;
    if (!U32(u, what)) return false;
    v = std::bit_cast<float>(u);
    return true;
  }
  bool U8(uint8_t& v, const char* what) {
    auto x = r_.U8();
    if (!x) return Fail(what);
    v = *x;
    return true;
  }
  bool Code(Code4& c, const char* what) {
    auto b = r_.Bytes(4);
    if (!b) return Fail(what);
    for (int i = 0; i < 4; ++i) c[i] = (*b)[i];
    return true;
  }
  bool Point(host::Point3& p, const char* what) { return F32(p.x, what) && F32(p.y, what) && F32(p.z, what); }
  // A text field of `length` bytes (its zero included); the text ends at its first zero.
  bool Text(uint32_t length, std::string& s, const char* what) {
    auto t = r_.String(length);
    if (!t) return Fail(what);
    s = std::move(*t);
    return true;
  }
  bool Skip(std::size_t n, const char* what) { return r_.Skip(n) || Fail(what); }
  std::size_t Remaining() const { return r_.Remaining(); }
  std::size_t Pos() const { return r_.Pos(); }

 private:
  ByteReader r_;
  std::string* error_;
};

bool DecodeStd(Decoder& d, StdRecord& r) {
  if (!d.U32(r.flags, "truncated flags") || !d.Code(r.nameCode, "truncated name code") ||
      !d.U32(r.mapMask, "truncated map mask"))
    return false;
  const int n = std::popcount(r.mapMask);
  if (static_cast<std::size_t>(n) * 8 > d.Remaining()) return d.Fail("more texture entries than bytes");
  r.textures.resize(static_cast<std::size_t>(n));
  for (TextureEntry& t : r.textures) {
    uint32_t len;
    if (!d.U32(len, "truncated texture entry") || !d.U32(t.flags, "truncated texture entry") ||
        !d.Text(len, t.fileName, "texture name runs past the record"))
      return false;
  }
  return true;
}

bool DecodeVexaMat(Decoder& d, VexaMatRecord& r) {
  uint32_t nameLen;
  if (!d.U32(r.flags, "truncated flags") || !d.U32(r.texTypes, "truncated texTypes") ||
      !d.Code(r.collisionType, "truncated collision type") ||
      !d.Code(r.transparentType, "truncated transparent type") || !d.U8(r.growType, "truncated grow type") ||
      !d.U8(r.grassType, "truncated grass type") || !d.Skip(2, "truncated header") ||
      !d.U32(nameLen, "truncated name length") || !d.Text(nameLen, r.name, "name runs past the record"))
    return false;
  // Every channel has type bits of its own, so texTypes has one bit per entry.
  const int n = std::popcount(r.texTypes);
  if (static_cast<std::size_t>(n) * 8 > d.Remaining()) return d.Fail("more texture entries than bytes");
  r.textures.resize(static_cast<std::size_t>(n));
  for (TextureEntry& t : r.textures) {
    uint32_t len;
    if (!d.U32(t.flags, "truncated texture entry") || !d.U32(len, "truncated texture entry") ||
        !d.Text(len, t.fileName, "texture name runs past the record"))
      return false;
  }
  return true;
}

bool DecodeVexaLayer(Decoder& d, VexaLayerRecord& r) {
  uint32_t count, a, b, c;
  if (!d.U32(r.flags, "truncated flags") || !d.U32(count, "truncated layer count") ||
      !d.Code(r.surface, "truncated surface") || !d.I32(r.transparency, "truncated transparency") ||
      !d.U8(r.growType, "truncated grow type") || !d.U8(r.grassType, "truncated grass type") ||
      !d.Point(r.diffuse, "truncated colours") || !d.Point(r.ambient, "truncated colours") ||
      !d.Point(r.specular, "truncated colours") || !d.Point(r.selfIllum, "truncated colours") ||
      !d.I32(r.opacity, "truncated opacity") || !d.F32(r.opacityFalloff, "truncated opacity falloff") ||
      !d.I32(r.glossiness, "truncated glossiness") || !d.I32(r.specLevel, "truncated specular level") ||
      !d.U32(a, "truncated text lengths") || !d.U32(b, "truncated text lengths") ||
      !d.U32(c, "truncated text lengths") || !d.Text(a, r.shaderType, "shaderType runs past the record") ||
      !d.Text(b, r.shaderFilename, "shaderFilename runs past the record") ||
      !d.Text(c, r.name, "name runs past the record"))
    return false;
  if (r.sceneLayout) {
    uint32_t id, size;
    const std::size_t start = d.Pos();
    if (!d.U32(id, "truncated extras block") || !d.U32(size, "truncated extras block")) return false;
    if (id != kExtrasBlock) return d.Fail("missing extras block");
    if (size < 8 || size - 8 > d.Remaining()) return d.Fail("extras block size out of range");
    if (size > 8) {
      uint32_t nested, nestedSize;
      if (!d.U32(nested, "truncated water or glass block") ||
          !d.U32(nestedSize, "truncated water or glass block"))
        return false;
      if (nested == kWaterBlock || nested == kGlassBlock) {
        const bool water = nested == kWaterBlock;
        if (nestedSize != (water ? kWaterBlockSize : kGlassBlockSize) || nestedSize > size - 8)
          return d.Fail("water or glass block of a wrong size");
        r.extras = water ? ExtrasKind::Water : ExtrasKind::Glass;
        if (!d.F32(r.waterAlphaAngle, "truncated water block") ||
            !d.F32(r.waterEnvBlend, "truncated water block") ||
            !d.Point(r.waterSharpness, "truncated water block"))
          return false;
        if (water && (!d.F32(r.waterShiftingXY[0], "truncated water block") ||
                      !d.F32(r.waterShiftingXY[1], "truncated water block") ||
                      !d.F32(r.waterShiftingUV[0], "truncated water block") ||
                      !d.F32(r.waterShiftingUV[1], "truncated water block")))
          return false;
      }
      // Whatever else the extras block holds is skipped by its size.
      const std::size_t used = d.Pos() - start;
      if (used < size && !d.Skip(size - used, "extras block runs past the record")) return false;
    }
  }
  if (count > d.Remaining() / kLayerEntryHeadSize) return d.Fail("more layer entries than bytes");
  r.layers.resize(count);
  for (LayerEntry& l : r.layers) {
    uint32_t len;
    if (!d.U32(l.slot, "truncated layer entry") || !d.U32(l.flags, "truncated layer entry") ||
        !d.I32(l.moveType, "truncated layer entry") || !d.I32(l.moveSoft, "truncated layer entry") ||
        !d.Point(l.moving, "truncated layer entry") || !d.U32(len, "truncated layer entry") ||
        !d.Text(len, l.fileName, "layer file name runs past the record"))
      return false;
  }
  return true;
}

}  // namespace

std::optional<MaterialRecord> DecodeMaterialRecord(std::span<const uint8_t> data, std::string* error) {
  if (error) error->clear();
  auto fail = [&](const char* what) -> std::optional<MaterialRecord> {
    if (error && error->empty()) *error = what;
    return std::nullopt;
  };
  if (data.size() < 8) return fail("truncated record head");
  const uint32_t id = support::LoadU32(data.data());
  const uint32_t size = support::LoadU32(data.data() + 4);
  if (size < 8) return fail("record size smaller than its head");
  if (size > data.size()) return fail("record runs past the end of the data");
  Decoder d(data.subspan(8, size - 8), error);
  switch (id) {
    case kMatStandard: {
      StdRecord r;
      if (!DecodeStd(d, r)) return std::nullopt;
      return r;
    }
    case kMatVexaMat: {
      VexaMatRecord r;
      if (!DecodeVexaMat(d, r)) return std::nullopt;
      return r;
    }
    case kMatVexaLayer:
    case kMatVexaLayerRig: {
      VexaLayerRecord r;
      r.sceneLayout = id == kMatVexaLayer;
      if (!DecodeVexaLayer(d, r)) return std::nullopt;
      return r;
    }
    default:
      return fail("not a material record");
  }
}

}  // namespace vorlan::zef

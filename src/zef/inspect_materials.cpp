#include "zef/inspect_materials.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <variant>

#include "zef/material_records.h"

namespace vorlan::zef {

namespace {

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%" PRIX32, v);
  return text;
}

std::string Quoted(std::string_view s) { return "\"" + Escape(s) + "\""; }

std::string CodeText(Code4 c) {
  std::string s;
  for (uint8_t b : c)
    if (b) s += static_cast<char>(b);
  return Quoted(s);
}

std::string CharText(uint8_t c) { return c ? Quoted(std::string(1, static_cast<char>(c))) : "0"; }

std::string PointText(host::Point3 p) {
  return "(" + FormatFloat(p.x) + ", " + FormatFloat(p.y) + ", " + FormatFloat(p.z) + ")";
}

class Out {
 public:
  explicit Out(std::vector<Field>& f) : f_(f) {}
  Out& Add(std::string key, std::string value) {
    f_.push_back({std::move(key), std::move(value), false});
    return *this;
  }
  Out& Text(std::string key, std::string value) {
    f_.push_back({std::move(key), std::move(value), true});
    return *this;
  }

 private:
  std::vector<Field>& f_;
};

void Textures(Out& o, const std::vector<TextureEntry>& textures) {
  for (std::size_t i = 0; i < textures.size(); ++i)
    o.Add("texture[" + std::to_string(i) + "]", Hex(textures[i].flags) + " " + Quoted(textures[i].fileName));
}

void Show(Out& o, const StdRecord& r) {
  o.Add("flags", Hex(r.flags)).Add("nameCode", CodeText(r.nameCode)).Add("mapMask", Hex(r.mapMask));
  Textures(o, r.textures);
}

void Show(Out& o, const VexaMatRecord& r) {
  o.Add("flags", Hex(r.flags)).Add("texTypes", Hex(r.texTypes));
  o.Add("collision", CodeText(r.collisionType)).Add("transparent", CodeText(r.transparentType));
  o.Add("grow", CharText(r.growType)).Add("grass", CharText(r.grassType)).Text("name", r.name);
  Textures(o, r.textures);
}

void Show(Out& o, const VexaLayerRecord& r) {
  o.Add("flags", Hex(r.flags))
      .Add("layers", std::to_string(r.layers.size()))
      .Add("surface", CodeText(r.surface));
  o.Add("transparency", std::to_string(r.transparency));
  o.Add("grow", CharText(r.growType)).Add("grass", CharText(r.grassType));
  o.Add("diffuse", PointText(r.diffuse)).Add("ambient", PointText(r.ambient));
  o.Add("specular", PointText(r.specular)).Add("selfIllum", PointText(r.selfIllum));
  o.Add("opacity", std::to_string(r.opacity)).Add("opacityFalloff", FormatFloat(r.opacityFalloff));
  o.Add("glossiness", std::to_string(r.glossiness)).Add("specLevel", std::to_string(r.specLevel));
  o.Text("shaderType", r.shaderType).Text("shaderFilename", r.shaderFilename).Text("name", r.name);
  if (r.sceneLayout) {
    if (r.extras == ExtrasKind::None) {
      o.Add("extras", "none");
    } else {
      std::string e = r.extras == ExtrasKind::Water ? "water" : "glass";
      e += " alphaAngle " + FormatFloat(r.waterAlphaAngle) + " envBlend " + FormatFloat(r.waterEnvBlend) +
           " sharpness " + PointText(r.waterSharpness);
      if (r.extras == ExtrasKind::Water)
        e += " shiftingXY (" + FormatFloat(r.waterShiftingXY[0]) + ", " + FormatFloat(r.waterShiftingXY[1]) +
             ") shiftingUV (" + FormatFloat(r.waterShiftingUV[0]) + ", " + FormatFloat(r.waterShiftingUV[1]) +
             ")";
      o.Add("extras", e);
    }
  }
  for (std::size_t i = 0; i < r.layers.size(); ++i) {
    const LayerEntry& l = r.layers[i];
    o.Add("layer[" + std::to_string(i) + "]", "slot " + std::to_string(l.slot) + " flags " + Hex(l.flags) +
                                                  " moveType " + std::to_string(l.moveType) + " moveSoft " +
                                                  std::to_string(l.moveSoft) + " moving " +
                                                  PointText(l.moving) + " " + Quoted(l.fileName));
  }
}

}  // namespace

std::optional<uint64_t> DecodeMaterialRecordFields(support::ByteReader& block, std::vector<Field>& fields) {
  block.Seek(0);
  auto whole = block.Bytes(block.Size());
  if (!whole) return std::nullopt;
  std::string error;
  auto rec = DecodeMaterialRecord(*whole, &error);
  Out o(fields);
  if (!rec) {
    o.Text("problem", error);
    return std::nullopt;
  }
  std::visit([&](const auto& r) { Show(o, r); }, *rec);
  return std::nullopt;
}

}  // namespace vorlan::zef

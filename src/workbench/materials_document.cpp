// Materials in scene documents. One JSON object per material, discriminated by "class";
// values that equal a new material's are left out when writing, so documents stay short and
// saving what was loaded gives the same text.
#include "workbench/materials_document.h"

#include <unordered_map>

#include "workbench/document_buffer.h"
#include "workbench/document_json.h"
#include "workbench/document_objects.h"
#include "workbench/materials.h"

namespace vorlan::workbench {

using namespace docjson;
using host::ParamType;

namespace {

// Only one level of sub-materials means anything to the exporters; a few more are kept for
// completeness, and past them a document (or a scene with a material inside itself) is refused.
constexpr int kMaxMaterialDepth = 16;

// ---- Reading ----------------------------------------------------------------------------

// Sub-materials given by index are resolved once every entry exists.
struct SubRef {
  MultiMtl* multi;
  std::size_t sub;
  std::size_t index;
  std::string path;
};

class Reader {
 public:
  explicit Reader(const Json& all) : all_(all) {}

  std::shared_ptr<host::Mtl> Material(const Json& j, const std::string& path, bool topLevel, int depth = 0) {
    if (depth > kMaxMaterialDepth) Fail(path, "sub-materials nested too deeply");
    Object(j, path);
    const Json* cls = Find(j, "class");
    if (!cls) Fail(path, "expected the material's \"class\"");
    const std::string c = String(*cls, Key(path, "class"));
    const Json* nameJ = Find(j, "name");
    const std::string name = nameJ ? String(*nameJ, Key(path, "name")) : std::string();

    std::shared_ptr<host::Mtl> out;
    if (c == "Standard") {
      OnlyKeys(j, path,
               {"class", "name", "twoSided", "wire", "diffuse", "opacity", "selfIllum", "glossiness", "pbr",
                "maps", "appData"});
      auto m = std::make_shared<StandardMtl>(name);
      StandardBody(j, path, *m);
      out = m;
    } else if (c == "Multi") {
      OnlyKeys(j, path, {"class", "name", "subs", "appData"});
      auto m = std::make_shared<MultiMtl>(name);
      if (const Json* subs = Find(j, "subs")) Subs(*subs, Key(path, "subs"), *m, topLevel, depth);
      out = m;
    } else if (c == "VexaMat") {
      OnlyKeys(j, path, {"class", "name", "params", "standard", "appData"});
      auto m = std::static_pointer_cast<ParamMtl>(CreateMaterialByClassId(host::kVexaMatClassId, name));
      if (const Json* p = Find(j, "params")) Params(*p, Key(path, "params"), m->Params());
      if (const Json* s = Find(j, "standard")) {
        if (s->is_null()) {
          m->reference0.reset();
        } else {
          const std::string sp = Key(path, "standard");
          Object(*s, sp);
          OnlyKeys(*s, sp,
                   {"twoSided", "wire", "diffuse", "opacity", "selfIllum", "glossiness", "pbr", "maps"});
          StandardBody(*s, sp, static_cast<StandardMtl&>(*m->reference0));
        }
      }
      out = m;
    } else if (c == "VexaLayer") {
      OnlyKeys(j, path, {"class", "name", "params", "appData"});
      auto m = std::static_pointer_cast<ParamMtl>(CreateMaterialByClassId(host::kVexaLayerClassId, name));
      if (const Json* p = Find(j, "params")) Params(*p, Key(path, "params"), m->Params());
      out = m;
    } else if (c == "Other") {
      OnlyKeys(j, path, {"class", "name", "classId", "className", "appData"});
      const Json* id = Find(j, "classId");
      if (!id) Fail(path, "expected the \"classId\" [a, b] of a material of another class");
      const Json* cn = Find(j, "className");
      out = std::make_shared<OtherMtl>(ClassIdOf(*id, Key(path, "classId")),
                                       cn ? String(*cn, Key(path, "className")) : "Material", name);
    } else {
      Fail(Key(path, "class"),
           "expected \"Standard\", \"Multi\", \"VexaMat\", \"VexaLayer\" or \"Other\", found \"" + c + "\"");
    }
    if (const Json* ad = Find(j, "appData"))
      ReadAppData(*ad, Key(path, "appData"), static_cast<MaterialBase&>(*out).appData);
    return out;
  }

  void Resolve(const std::vector<std::shared_ptr<host::Mtl>>& top) {
    for (const SubRef& r : refs_) {
      const std::shared_ptr<host::Mtl>& m = top[r.index];
      // Only one level of sub-materials means anything, and a multi naming itself would be a
      // cycle that is never freed.
      if (m->GetClassId() == host::kMultiMtlClassId)
        Fail(r.path, "a sub-material given by index must not be a Multi/Sub-Object material");
      r.multi->subs[r.sub] = m;
    }
  }

 private:
  void Subs(const Json& subs, const std::string& path, MultiMtl& m, bool topLevel, int depth) {
    Array(subs, path);
    m.subs.resize(subs.size());
    for (std::size_t i = 0; i < subs.size(); ++i) {
      const Json& s = subs[i];
      const std::string p = At(path, i);
      if (s.is_null()) continue;
      if (s.is_object()) {
        m.subs[i] = Material(s, p, false, depth + 1);
      } else if (topLevel) {
        refs_.push_back({&m, i, Index(s, p, all_.size(), "materials"), p});
      } else {
        Fail(p, "expected a material or null; indices are for top-level materials only");
      }
    }
  }

  void StandardBody(const Json& j, const std::string& path, StandardMtl& m) {
    if (const Json* v = Find(j, "twoSided")) m.twoSided = Bool(*v, Key(path, "twoSided"));
    if (const Json* v = Find(j, "wire")) m.wire = Bool(*v, Key(path, "wire"));
    if (const Json* v = Find(j, "diffuse")) m.diffuse = Point(*v, Key(path, "diffuse"));
    if (const Json* v = Find(j, "opacity")) m.opacity = Float(*v, Key(path, "opacity"));
    if (const Json* v = Find(j, "selfIllum")) m.selfIllumColor = Point(*v, Key(path, "selfIllum"));
    if (const Json* v = Find(j, "glossiness")) m.glossiness = Float(*v, Key(path, "glossiness"));
    if (const Json* v = Find(j, "pbr")) m.pbr = Pbr(*v, Key(path, "pbr"));
    const Json* maps = Find(j, "maps");
    if (!maps) return;
    const std::string mp = Key(path, "maps");
    Array(*maps, mp);
    std::vector<bool> seen(static_cast<std::size_t>(m.NumSubTexmaps()));
    for (std::size_t i = 0; i < maps->size(); ++i) {
      const std::string p = At(mp, i);
      const Json& e = Object((*maps)[i], p);
      OnlyKeys(e, p, {"slot", "on", "amount", "texture"});
      const Json* slotJ = Find(e, "slot");
      if (!slotJ) Fail(p, "expected the map's \"slot\"");
      const uint32_t slot = Index(*slotJ, Key(p, "slot"), seen.size(), "map slots");
      if (seen[slot]) Fail(Key(p, "slot"), "map slot " + std::to_string(slot) + " is given twice");
      seen[slot] = true;
      MapSlot& s = m.Map(static_cast<int>(slot));
      if (const Json* v = Find(e, "on")) s.on = Bool(*v, Key(p, "on"));
      if (const Json* v = Find(e, "amount")) s.amount = Float(*v, Key(p, "amount"));
      if (const Json* t = Find(e, "texture")) s.map = Texture(*t, Key(p, "texture"));
    }
  }

  PbrValues Pbr(const Json& j, const std::string& path) {
    Object(j, path);
    OnlyKeys(j, path,
             {"metallic", "metallicRoughnessMap", "emissiveStrength", "alphaMode", "alphaCutoff",
              "normalScale", "occlusionStrength"});
    PbrValues v;
    if (const Json* x = Find(j, "metallic")) v.metallic = Float(*x, Key(path, "metallic"));
    if (const Json* x = Find(j, "metallicRoughnessMap"))
      v.metallicRoughnessMap = Texture(*x, Key(path, "metallicRoughnessMap"));
    if (const Json* x = Find(j, "emissiveStrength"))
      v.emissiveStrength = Float(*x, Key(path, "emissiveStrength"));
    if (const Json* x = Find(j, "alphaMode")) {
      const std::string mode = String(*x, Key(path, "alphaMode"));
      if (mode == "opaque")
        v.alphaMode = PbrValues::AlphaMode::Opaque;
      else if (mode == "mask")
        v.alphaMode = PbrValues::AlphaMode::Mask;
      else if (mode == "blend")
        v.alphaMode = PbrValues::AlphaMode::Blend;
      else
        Fail(Key(path, "alphaMode"), "expected \"opaque\", \"mask\" or \"blend\", found \"" + mode + "\"");
    }
    if (const Json* x = Find(j, "alphaCutoff")) v.alphaCutoff = Float(*x, Key(path, "alphaCutoff"));
    if (const Json* x = Find(j, "normalScale")) v.normalScale = Float(*x, Key(path, "normalScale"));
    if (const Json* x = Find(j, "occlusionStrength"))
      v.occlusionStrength = Float(*x, Key(path, "occlusionStrength"));
    return v;
  }

  std::shared_ptr<host::Texmap> Texture(const Json& j, const std::string& path) {
    if (j.is_null()) return nullptr;
    Object(j, path);
    const Json* cls = Find(j, "class");
    if (!cls) Fail(path, "expected the texture's \"class\"");
    const std::string c = String(*cls, Key(path, "class"));
    const Json* nameJ = Find(j, "name");
    if (c == "Bitmap") {
      OnlyKeys(j, path, {"class", "name", "path", "uvGen", "crop", "appData"});
      auto t = std::make_shared<BitmapTex>();
      if (nameJ) t->name = String(*nameJ, Key(path, "name"));
      if (const Json* v = Find(j, "path")) t->path = ResolvePath(String(*v, Key(path, "path")));
      if (const Json* g = Find(j, "uvGen")) UVGen(*g, Key(path, "uvGen"), t->uvGen);
      if (const Json* cr = Find(j, "crop")) {
        const std::string cp = Key(path, "crop");
        Object(*cr, cp);
        OnlyKeys(*cr, cp, {"apply", "u", "v", "w", "h"});
        BitmapTex::Crop crop = t->GetCrop();
        if (const Json* v = Find(*cr, "apply")) crop.apply = Bool(*v, Key(cp, "apply"));
        if (const Json* v = Find(*cr, "u")) crop.u = Float(*v, Key(cp, "u"));
        if (const Json* v = Find(*cr, "v")) crop.v = Float(*v, Key(cp, "v"));
        if (const Json* v = Find(*cr, "w")) crop.w = Float(*v, Key(cp, "w"));
        if (const Json* v = Find(*cr, "h")) crop.h = Float(*v, Key(cp, "h"));
        t->SetCrop(crop);
      }
      if (const Json* ad = Find(j, "appData")) ReadAppData(*ad, Key(path, "appData"), t->appData);
      return t;
    }
    if (c == "Other") {
      OnlyKeys(j, path, {"class", "name", "classId", "uvGen", "appData"});
      const Json* id = Find(j, "classId");
      if (!id) Fail(path, "expected the \"classId\" [a, b] of a texture of another class");
      auto t = std::make_shared<OtherTex>(ClassIdOf(*id, Key(path, "classId")),
                                          nameJ ? String(*nameJ, Key(path, "name")) : std::string());
      if (const Json* g = Find(j, "uvGen")) {
        t->hasUVGen = true;
        UVGen(*g, Key(path, "uvGen"), t->uvGen);
      }
      if (const Json* ad = Find(j, "appData")) ReadAppData(*ad, Key(path, "appData"), t->appData);
      return t;
    }
    Fail(Key(path, "class"), "expected \"Bitmap\" or \"Other\", found \"" + c + "\"");
  }

  static void UVGen(const Json& j, const std::string& path, host::UVGenState& g) {
    Object(j, path);
    OnlyKeys(j, path,
             {"axis", "tiling", "mipMap", "channel", "uOffset", "vOffset", "uTiling", "vTiling", "angle"});
    if (const Json* v = Find(j, "axis")) {
      g.axis = Int(*v, Key(path, "axis"));
      if (g.axis < 0 || g.axis > 2) Fail(Key(path, "axis"), "expected 0 (XY), 1 (YZ) or 2 (ZX)");
    }
    if (const Json* v = Find(j, "tiling")) g.tilingFlags = Int(*v, Key(path, "tiling"));
    if (const Json* v = Find(j, "mipMap")) g.mipMap = Float(*v, Key(path, "mipMap"));
    if (const Json* v = Find(j, "channel")) {
      g.mapChannel = Int(*v, Key(path, "channel"));
      if (g.mapChannel < 0 || g.mapChannel >= host::kMaxMapChannels)
        Fail(Key(path, "channel"),
             "expected a map channel from 0 to " + std::to_string(host::kMaxMapChannels - 1));
    }
    if (const Json* v = Find(j, "uOffset")) g.uOffset = Float(*v, Key(path, "uOffset"));
    if (const Json* v = Find(j, "vOffset")) g.vOffset = Float(*v, Key(path, "vOffset"));
    if (const Json* v = Find(j, "uTiling")) g.uTiling = Float(*v, Key(path, "uTiling"));
    if (const Json* v = Find(j, "vTiling")) g.vTiling = Float(*v, Key(path, "vTiling"));
    if (const Json* v = Find(j, "angle")) g.angle = Float(*v, Key(path, "angle"));
  }

  // Parameters by internal name; a table takes an array, which sets its number of entries.
  static void Params(const Json& j, const std::string& path, ParamBlockImpl& pb) {
    Object(j, path);
    for (auto it = j.begin(); it != j.end(); ++it) {
      const std::string p = Key(path, it.key());
      auto index = pb.Find(it.key());
      if (!index) Fail(p, "the material has no parameter named \"" + it.key() + "\"");
      const host::ParamDef def = pb.Def(*index);
      if (def.isTable) {
        Array(*it, p);
        pb.SetCount(*index, static_cast<int>(it->size()));
        for (std::size_t k = 0; k < it->size(); ++k)
          Value(pb, *index, static_cast<int>(k), (*it)[k], At(p, k));
      } else {
        Value(pb, *index, 0, *it, p);
      }
    }
  }

  static void Value(ParamBlockImpl& pb, int param, int tab, const Json& v, const std::string& path) {
    if (!ReadParamValue(pb, param, tab, v, path)) Fail(path, "material parameters do not name nodes");
  }

  const Json& all_;
  std::vector<SubRef> refs_;
};

// ---- Writing ----------------------------------------------------------------------------

class Writer {
 public:
  explicit Writer(const std::vector<std::shared_ptr<host::Mtl>>& top) {
    for (std::size_t i = 0; i < top.size(); ++i) index_.emplace(top[i].get(), i);
  }

  // Throws DocumentError (path "materials[i]...") for what cannot be expressed.
  Json Material(const host::Mtl& m, const std::string& path, bool topLevel, int depth = 0) {
    if (depth > kMaxMaterialDepth) Fail(path, "sub-materials nested too deeply (a material inside itself?)");
    const auto* base = dynamic_cast<const MaterialBase*>(&m);
    if (!base) Fail(path, "\"" + m.GetName() + "\" is not a material the workbench can save");
    Json j = Json::object();
    const host::ClassId id = m.GetClassId();
    if (dynamic_cast<const StandardMtl*>(&m)) {
      j["class"] = "Standard";
      j["name"] = m.GetName();
      StandardBody(static_cast<const StandardMtl&>(m), j);
    } else if (const auto* multi = dynamic_cast<const MultiMtl*>(&m)) {
      j["class"] = "Multi";
      j["name"] = m.GetName();
      Json subs = Json::array();
      for (std::size_t i = 0; i < multi->subs.size(); ++i) {
        const host::Mtl* s = multi->subs[i].get();
        auto it = s ? index_.find(s) : index_.end();
        if (!s)
          subs.push_back(nullptr);
        else if (topLevel && it != index_.end() && s->GetClassId() != host::kMultiMtlClassId)
          subs.push_back(it->second);
        else
          subs.push_back(Material(*s, At(Key(path, "subs"), i), false, depth + 1));
      }
      j["subs"] = std::move(subs);
    } else if (const auto* pm = dynamic_cast<const ParamMtl*>(&m);
               pm && (id == host::kVexaMatClassId || id == host::kVexaLayerClassId)) {
      const bool vexaMat = id == host::kVexaMatClassId;
      j["class"] = vexaMat ? "VexaMat" : "VexaLayer";
      j["name"] = m.GetName();
      if (pm->paramBlocks.size() != 1 || !pm->paramBlocks[0])
        Fail(path, "material \"" + m.GetName() + "\" has parameter blocks other than its class's own");
      Json params = Params(*pm->paramBlocks[0], vexaMat, Key(path, "params"));
      if (!params.empty()) j["params"] = std::move(params);
      if (vexaMat) {
        if (!pm->reference0) {
          j["standard"] = nullptr;
        } else {
          const auto* s = dynamic_cast<const StandardMtl*>(pm->reference0.get());
          if (!s)
            Fail(Key(path, "standard"), "the underlying material of a VexaMat must be a Standard material");
          Json body = Json::object();
          StandardBody(*s, body);
          if (!body.empty()) j["standard"] = std::move(body);
        }
      } else if (pm->reference0) {
        Fail(path, "a VexaLayer has no underlying material");
      }
    } else if (dynamic_cast<const OtherMtl*>(&m)) {
      j["class"] = "Other";
      j["name"] = m.GetName();
      j["classId"] = ClassIdJson(id);
      if (base->ClassName() != "Material") j["className"] = base->ClassName();
    } else {
      Fail(path, "\"" + m.GetName() + "\" is not a material the workbench can save");
    }
    if (!base->appData.All().empty()) j["appData"] = WriteAppData(base->appData);
    return j;
  }

 private:
  static void StandardBody(const StandardMtl& m, Json& j) {
    if (m.twoSided) j["twoSided"] = true;
    if (m.wire) j["wire"] = true;
    // Colours from interchange files survive a save; the defaults are left out.
    if (m.diffuse != host::Point3{0.5f, 0.5f, 0.5f}) j["diffuse"] = {m.diffuse.x, m.diffuse.y, m.diffuse.z};
    if (m.opacity != 1.0f) j["opacity"] = m.opacity;
    if (m.selfIllumColor != host::Point3{}) j["selfIllum"] = PointJson(m.selfIllumColor);
    if (m.glossiness != 0.0f) j["glossiness"] = FloatJson(m.glossiness);
    if (m.pbr) j["pbr"] = Pbr(*m.pbr);
    Json maps = Json::array();
    for (int s = 0; s < m.NumSubTexmaps(); ++s) {
      const MapSlot& slot = m.Map(s);
      if (!slot.map && slot.on && slot.amount == 1.0f) continue;
      Json e = {{"slot", s}};
      if (!slot.on) e["on"] = false;
      if (slot.amount != 1.0f) e["amount"] = FloatJson(slot.amount);
      if (slot.map) e["texture"] = Texture(*slot.map);
      maps.push_back(std::move(e));
    }
    if (!maps.empty()) j["maps"] = std::move(maps);
  }

  static Json Pbr(const PbrValues& v) {
    const PbrValues d;
    static constexpr const char* kModes[] = {"opaque", "mask", "blend"};
    Json j = Json::object();
    if (v.metallic != d.metallic) j["metallic"] = FloatJson(v.metallic);
    if (v.metallicRoughnessMap) j["metallicRoughnessMap"] = Texture(*v.metallicRoughnessMap);
    if (v.emissiveStrength != d.emissiveStrength) j["emissiveStrength"] = FloatJson(v.emissiveStrength);
    if (v.alphaMode != d.alphaMode) j["alphaMode"] = kModes[static_cast<int>(v.alphaMode)];
    if (v.alphaCutoff != d.alphaCutoff) j["alphaCutoff"] = FloatJson(v.alphaCutoff);
    if (v.normalScale != d.normalScale) j["normalScale"] = FloatJson(v.normalScale);
    if (v.occlusionStrength != d.occlusionStrength) j["occlusionStrength"] = FloatJson(v.occlusionStrength);
    return j;
  }

  static Json UVGen(const host::UVGenState& g) {
    const host::UVGenState d;
    Json j = Json::object();
    if (g.axis != d.axis) j["axis"] = g.axis;
    if (g.tilingFlags != d.tilingFlags) j["tiling"] = g.tilingFlags;
    if (g.mipMap != d.mipMap) j["mipMap"] = FloatJson(g.mipMap);
    if (g.mapChannel != d.mapChannel) j["channel"] = g.mapChannel;
    if (g.uOffset != d.uOffset) j["uOffset"] = FloatJson(g.uOffset);
    if (g.vOffset != d.vOffset) j["vOffset"] = FloatJson(g.vOffset);
    if (g.uTiling != d.uTiling) j["uTiling"] = FloatJson(g.uTiling);
    if (g.vTiling != d.vTiling) j["vTiling"] = FloatJson(g.vTiling);
    if (g.angle != d.angle) j["angle"] = FloatJson(g.angle);
    return j;
  }

  static Json Texture(const host::Texmap& t) {
    Json j = Json::object();
    if (const auto* b = dynamic_cast<const BitmapTex*>(&t)) {
      j["class"] = "Bitmap";
      j["name"] = b->name;
      j["path"] = StorePath(b->path);
      if (Json g = UVGen(b->uvGen); !g.empty()) j["uvGen"] = std::move(g);
      const BitmapTex::Crop c = b->GetCrop(), d;
      Json crop = Json::object();
      if (c.apply != d.apply) crop["apply"] = c.apply;
      if (c.u != d.u) crop["u"] = FloatJson(c.u);
      if (c.v != d.v) crop["v"] = FloatJson(c.v);
      if (c.w != d.w) crop["w"] = FloatJson(c.w);
      if (c.h != d.h) crop["h"] = FloatJson(c.h);
      if (!crop.empty()) j["crop"] = std::move(crop);
      if (!b->appData.All().empty()) j["appData"] = WriteAppData(b->appData);
      return j;
    }
    j["class"] = "Other";
    j["name"] = t.GetName();
    j["classId"] = ClassIdJson(t.GetClassId());
    if (const host::UVGenState* g = t.GetUVGen()) j["uvGen"] = UVGen(*g);
    if (const auto* o = dynamic_cast<const OtherTex*>(&t); o && !o->appData.All().empty())
      j["appData"] = WriteAppData(o->appData);
    return j;
  }

  static Json Value(const ParamBlockImpl& pb, int param, int tab) {
    return WriteParamValue(pb, param, tab).value_or(Json(nullptr));
  }

  // The parameters that differ from a new material's, by internal name.
  static Json Params(const ParamBlockImpl& pb, bool vexaMat, const std::string& path) {
    ParamBlockImpl fresh(pb.BlockName());
    if (vexaMat)
      AddVexaMatParams(fresh);
    else
      AddVexaLayerParams(fresh);
    Json out = Json::object();
    for (int i = 0; i < pb.NumParams(); ++i) {
      const host::ParamDef def = pb.Def(i);
      auto f = fresh.Find(def.internalName);
      if (!f || fresh.Def(*f).type != def.type || fresh.Def(*f).isTable != def.isTable)
        Fail(path, "parameter \"" + def.internalName + "\" is not one of the class's parameters");
      if (def.isTable) {
        Json values = Json::array();
        bool same = pb.Count(i) == fresh.Count(*f);
        for (int k = 0; k < pb.Count(i); ++k) {
          values.push_back(Value(pb, i, k));
          same = same && values.back() == Value(fresh, *f, k);
        }
        if (!same) out[def.internalName] = std::move(values);
      } else if (Json v = Value(pb, i, 0); v != Value(fresh, *f, 0)) {
        out[def.internalName] = std::move(v);
      }
    }
    return out;
  }

  std::unordered_map<const host::Mtl*, std::size_t> index_;
};

bool ReadAll(const Json& materials, std::vector<std::shared_ptr<host::Mtl>>& out, std::string& error) {
  try {
    Array(materials, "materials");
    Reader r(materials);
    std::vector<std::shared_ptr<host::Mtl>> read;
    read.reserve(materials.size());
    for (std::size_t i = 0; i < materials.size(); ++i)
      read.push_back(r.Material(materials[i], At("materials", i), true));
    r.Resolve(read);
    out.insert(out.end(), read.begin(), read.end());
    return true;
  } catch (const DocumentError& e) {
    error = e.what();
    return false;
  }
}

bool WriteAll(const std::vector<std::shared_ptr<host::Mtl>>& materials, Json& out, std::string& error) {
  try {
    Writer w(materials);
    Json arr = Json::array();
    for (std::size_t i = 0; i < materials.size(); ++i) {
      if (!materials[i]) Fail(At("materials", i), "an empty material cannot be saved");
      arr.push_back(w.Material(*materials[i], At("materials", i), true));
    }
    out = std::move(arr);
    return true;
  } catch (const DocumentError& e) {
    error = e.what();
    return false;
  }
}

}  // namespace

MaterialCodec MaterialDocumentCodec() { return MaterialCodec{ReadAll, WriteAll}; }

void RegisterMaterialDocumentCodec() { SetMaterialCodec(MaterialDocumentCodec()); }

}  // namespace vorlan::workbench

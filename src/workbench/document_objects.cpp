#include "workbench/document_objects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include "support/bytes.h"
#include "support/memmgr.h"
#include "support/two_halves.h"
#include "workbench/character.h"
#include "workbench/document_buffer.h"

namespace vorlan::workbench::docjson {

using host::ClassId;
using host::ParamType;
using host::Point3;

namespace {

// ---------------------------------------------------------------------------------------
// Parameter blocks

struct TypeName {
  ParamType type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {{ParamType::Int, "int"},       {ParamType::Float, "float"},
                                   {ParamType::String, "string"}, {ParamType::Colour, "colour"},
                                   {ParamType::Point, "point"},   {ParamType::Node, "node"},
                                   {ParamType::Bool, "bool"}};

const char* NameOf(ParamType t) {
  for (const auto& n : kTypeNames)
    if (n.type == t) return n.name;
  return "int";
}

ParamType TypeOf(const Json& j, const std::string& path) {
  std::string s = String(j, path);
  if (s == "color") return ParamType::Colour;
  for (const auto& n : kTypeNames)
    if (s == n.name) return n.type;
  Fail(path,
       "expected a parameter type (int, float, bool, string, colour, point or node), found \"" + s + "\"");
}

void ReadValue(ParamBlockImpl& pb, int param, int tab, const Json& v, const std::string& path,
               std::vector<NodeRefFixup>& fixups) {
  if (ReadParamValue(pb, param, tab, v, path)) return;
  pb.SetNode(param, nullptr, tab);
  if (!v.is_null()) fixups.push_back({&pb, param, tab, String(v, path), path});
}

// The values of one parameter: "value" for a plain one, "values" for a table.
void ReadValues(ParamBlockImpl& pb, int param, const Json& j, const std::string& path,
                std::vector<NodeRefFixup>& fixups) {
  if (pb.Def(param).isTable) {
    if (const Json* values = Find(j, "values")) {
      std::string vp = Key(path, "values");
      Array(*values, vp);
      if (!pb.SetCount(param, static_cast<int>(std::min<std::size_t>(values->size(), 1u << 30))))
        Fail(vp, "table has too many entries");
      for (std::size_t k = 0; k < values->size(); ++k)
        ReadValue(pb, param, static_cast<int>(k), (*values)[k], At(vp, k), fixups);
    }
    if (Find(j, "value")) Fail(Key(path, "value"), "a table takes \"values\"");
  } else {
    if (const Json* value = Find(j, "value")) ReadValue(pb, param, 0, *value, Key(path, "value"), fixups);
    if (Find(j, "values")) Fail(Key(path, "values"), "a plain parameter takes \"value\"");
  }
}

std::unique_ptr<ParamBlockImpl> ReadParamBlock(const Json& j, const std::string& path,
                                               std::vector<NodeRefFixup>& fixups) {
  Object(j, path);
  OnlyKeys(j, path, {"name", "params"});
  const Json* name = Find(j, "name");
  if (!name) Fail(path, "expected the block's \"name\"");
  auto pb = std::make_unique<ParamBlockImpl>(String(*name, Key(path, "name")));
  if (const Json* params = Find(j, "params")) {
    std::string pp = Key(path, "params");
    Array(*params, pp);
    for (std::size_t i = 0; i < params->size(); ++i) {
      std::string p = At(pp, i);
      const Json& def = Object((*params)[i], p);
      OnlyKeys(def, p, {"name", "type", "table", "value", "values"});
      const Json* pname = Find(def, "name");
      const Json* ptype = Find(def, "type");
      if (!pname || !ptype) Fail(p, "expected a parameter with \"name\" and \"type\"");
      std::string n = String(*pname, Key(p, "name"));
      if (pb->Find(n)) Fail(Key(p, "name"), "parameter \"" + n + "\" is defined twice in this block");
      const Json* table = Find(def, "table");
      int index = pb->AddParam({.internalName = n,
                                .type = TypeOf(*ptype, Key(p, "type")),
                                .isTable = table && Bool(*table, Key(p, "table"))});
      ReadValues(*pb, index, def, p, fixups);
    }
  }
  return pb;
}

Json WriteValue(const ParamBlockImpl& pb, int param, int tab) {
  if (std::optional<Json> v = WriteParamValue(pb, param, tab)) return *v;
  host::Node* n = pb.GetNode(param, 0, tab);
  return n ? Json(n->GetName()) : Json(nullptr);
}

Json WriteParamBlock(const ParamBlockImpl& pb) {
  Json params = Json::array();
  for (int i = 0; i < pb.NumParams(); ++i) {
    host::ParamDef def = pb.Def(i);
    Json p = {{"name", def.internalName}, {"type", NameOf(def.type)}};
    if (def.isTable) {
      p["table"] = true;
      Json values = Json::array();
      for (int k = 0; k < pb.Count(i); ++k) values.push_back(WriteValue(pb, i, k));
      p["values"] = std::move(values);
    } else {
      p["value"] = WriteValue(pb, i, 0);
    }
    params.push_back(std::move(p));
  }
  return {{"name", pb.BlockName()}, {"params", std::move(params)}};
}

// ---------------------------------------------------------------------------------------
// Meshes

using support::ByteWriter;
using support::LoadF32;
using support::LoadU16;
using support::LoadU32;

// Large arrays of a mesh go to the document's buffer (when it has one) with these element
// types; everything else stays inline JSON.
std::optional<Json> PointsToBuffer(const std::vector<Point3>& points) {
  return WriteArray(kF32x3, points.size(), [&points](uint64_t i, uint8_t* out) {
    const Point3& p = points[static_cast<std::size_t>(i)];
    ByteWriter::StoreF32(out, p.x);
    ByteWriter::StoreF32(out + 4, p.y);
    ByteWriter::StoreF32(out + 8, p.z);
  });
}

// Index triangles take two bytes an index where every index fits, four otherwise: most
// meshes have fewer than 65536 vertices, and their faces are a third of a document.
template <typename Corners>
std::optional<Json> IndicesToBuffer(std::size_t count, Corners corners) {
  uint32_t top = 0;
  for (std::size_t i = 0; i < count; ++i)
    for (uint32_t v : corners(i)) top = std::max(top, v);
  if (top <= 0xFFFF)
    return WriteArray(kU16x3, count, [corners](uint64_t i, uint8_t* out) {
      const std::array<uint32_t, 3>& t = corners(static_cast<std::size_t>(i));
      for (std::size_t k = 0; k < 3; ++k) ByteWriter::StoreU16(out + 2 * k, static_cast<uint16_t>(t[k]));
    });
  return WriteArray(kU32x3, count, [corners](uint64_t i, uint8_t* out) {
    const std::array<uint32_t, 3>& t = corners(static_cast<std::size_t>(i));
    for (std::size_t k = 0; k < 3; ++k) ByteWriter::StoreU32(out + 4 * k, t[k]);
  });
}

std::optional<Json> TrianglesToBuffer(const std::vector<std::array<uint32_t, 3>>& tris) {
  return IndicesToBuffer(tris.size(),
                         [&tris](std::size_t i) -> const std::array<uint32_t, 3>& { return tris[i]; });
}

// Whether a channel's triangles are the faces' own: then the document names the faces' array.
bool SameCorners(const std::vector<std::array<uint32_t, 3>>& tris, const std::vector<host::MeshFace>& faces) {
  if (tris.size() != faces.size()) return false;
  for (std::size_t i = 0; i < tris.size(); ++i)
    if (tris[i] != faces[i].v) return false;
  return true;
}

// The element type of an index array in the buffer: u16x3 or u32x3.
ElementType IndexType(const Json& ref, const std::string& path) {
  return ArrayType(ref, path) == kU16x3 ? kU16x3 : kU32x3;
}

std::vector<Point3> PointsFromBuffer(const Json& ref, const std::string& path) {
  std::vector<Point3> out;
  support::ReserveFresh(out, static_cast<std::size_t>(ArrayCount(ref, path, kF32x3)));
  ReadArrayPieces(ref, path, kF32x3, [&out](uint64_t, uint64_t n, const uint8_t* in) {
    for (uint64_t i = 0; i < n; ++i, in += 12) out.push_back({LoadF32(in), LoadF32(in + 4), LoadF32(in + 8)});
  });
  return out;
}

// Triangles whose indices must stay below `limit`; `each` receives every one. Decoded a
// piece at a time: the faces are the largest arrays of a document.
template <typename Each>
void TrianglesFromBuffer(const Json& ref, const std::string& path, std::size_t limit, const char* table,
                         Each each) {
  const bool narrow = IndexType(ref, path) == kU16x3;
  const ElementType type = narrow ? kU16x3 : kU32x3;
  const std::size_t size = type.Bytes();
  ReadArrayPieces(ref, path, type, [&](uint64_t first, uint64_t n, const uint8_t* in) {
    for (uint64_t i = 0; i < n; ++i, in += size) {
      std::array<uint32_t, 3> t =
          narrow ? std::array<uint32_t, 3>{LoadU16(in), LoadU16(in + 2), LoadU16(in + 4)}
                 : std::array<uint32_t, 3>{LoadU32(in), LoadU32(in + 4), LoadU32(in + 8)};
      for (std::size_t k = 0; k < 3; ++k)
        if (t[k] >= limit)
          Fail(At(At(path, first + i), k),
               "index " + std::to_string(t[k]) + " is past the " + std::to_string(limit) + " " + table);
      each(t);
    }
  });
}

// The number of entries of a per-face list in the buffer, which must be one per face.
uint64_t PerFaceCount(const Json& ref, const std::string& path, ElementType type, std::size_t faces,
                      const char* what) {
  uint64_t n = ArrayCount(ref, path, type);
  if (n != faces)
    Fail(path,
         "expected " + std::to_string(faces) + " " + what + ", one per face, found " + std::to_string(n));
  return n;
}

std::array<uint32_t, 3> Triangle(const Json& j, const std::string& path, std::size_t limit,
                                 const char* table) {
  if (!j.is_array() || j.size() != 3) Fail(path, "expected a triangle [a, b, c]");
  return {Index(j[0], At(path, 0), limit, table), Index(j[1], At(path, 1), limit, table),
          Index(j[2], At(path, 2), limit, table)};
}

Json TriangleJson(const std::array<uint32_t, 3>& t) { return Json::array({t[0], t[1], t[2]}); }

// A per-face list must have one entry per face.
const Json& PerFace(const Json& j, const std::string& path, std::size_t faces, const char* what) {
  Array(j, path);
  if (j.size() != faces)
    Fail(path, "expected " + std::to_string(faces) + " " + what + ", one per face, found " +
                   std::to_string(j.size()));
  return j;
}

host::Mesh ReadMesh(const Json& j, const std::string& path) {
  Object(j, path);
  OnlyKeys(j, path,
           {"verts", "faces", "smGroups", "matIds", "edgeVis", "maps", "normals", "vertSel", "faceSel"});
  host::Mesh m;
  if (const Json* verts = Find(j, "verts"); verts && IsArrayRef(*verts)) {
    m.verts = PointsFromBuffer(*verts, Key(path, "verts"));
  } else if (verts) {
    std::string vp = Key(path, "verts");
    Array(*verts, vp);
    m.verts.reserve(verts->size());
    for (std::size_t i = 0; i < verts->size(); ++i) m.verts.push_back(Point((*verts)[i], At(vp, i)));
  }
  if (const Json* faces = Find(j, "faces"); faces && IsArrayRef(*faces)) {
    std::string fp = Key(path, "faces");
    support::ReserveFresh(m.faces, static_cast<std::size_t>(ArrayCount(*faces, fp, IndexType(*faces, fp))));
    TrianglesFromBuffer(*faces, fp, m.verts.size(), "vertices",
                        [&m](const std::array<uint32_t, 3>& t) { m.faces.push_back({.v = t}); });
  } else if (faces) {
    std::string fp = Key(path, "faces");
    Array(*faces, fp);
    m.faces.reserve(faces->size());
    for (std::size_t i = 0; i < faces->size(); ++i)
      m.faces.push_back({.v = Triangle((*faces)[i], At(fp, i), m.verts.size(), "vertices")});
  }
  std::size_t nf = m.faces.size();
  if (const Json* sg = Find(j, "smGroups"); sg && IsArrayRef(*sg)) {
    std::string p = Key(path, "smGroups");
    PerFaceCount(*sg, p, kU32, nf, "smoothing groups");
    ReadArrayPieces(*sg, p, kU32, [&m](uint64_t first, uint64_t n, const uint8_t* in) {
      for (uint64_t i = 0; i < n; ++i) m.faces[first + i].smGroup = LoadU32(in + 4 * i);
    });
  } else if (sg) {
    std::string p = Key(path, "smGroups");
    PerFace(*sg, p, nf, "smoothing groups");
    for (std::size_t i = 0; i < nf; ++i) m.faces[i].smGroup = U32((*sg)[i], At(p, i));
  }
  if (const Json* ids = Find(j, "matIds"); ids && IsArrayRef(*ids)) {
    std::string p = Key(path, "matIds");
    PerFaceCount(*ids, p, kU16, nf, "material ids");
    ReadArray(*ids, p, kU16, [&m](uint64_t i, const uint8_t* in) { m.faces[i].matId = LoadU16(in); });
  } else if (ids) {
    std::string p = Key(path, "matIds");
    PerFace(*ids, p, nf, "material ids");
    for (std::size_t i = 0; i < nf; ++i)
      m.faces[i].matId = static_cast<uint16_t>(Index((*ids)[i], At(p, i), 65536, "material ids"));
  }
  if (const Json* ev = Find(j, "edgeVis"); ev && IsArrayRef(*ev)) {
    std::string p = Key(path, "edgeVis");
    PerFaceCount(*ev, p, kU8, nf, "edge visibility flags");
    ReadArray(*ev, p, kU8, [&](uint64_t i, const uint8_t* in) {
      if (*in > 7) Fail(At(p, i), "index " + std::to_string(*in) + " is past the 8 edge flag values");
      m.faces[i].edgeVis = *in;
    });
  } else if (ev) {
    std::string p = Key(path, "edgeVis");
    PerFace(*ev, p, nf, "edge visibility flags");
    for (std::size_t i = 0; i < nf; ++i)
      m.faces[i].edgeVis = static_cast<uint8_t>(Index((*ev)[i], At(p, i), 8, "edge flag values"));
  }
  if (const Json* maps = Find(j, "maps")) {
    std::string mp = Key(path, "maps");
    Array(*maps, mp);
    std::array<bool, host::kMaxMapChannels> seen{};
    for (std::size_t c = 0; c < maps->size(); ++c) {
      std::string p = At(mp, c);
      const Json& map = Object((*maps)[c], p);
      OnlyKeys(map, p, {"channel", "tverts", "tfaces"});
      const Json* ch = Find(map, "channel");
      if (!ch) Fail(p, "expected the map \"channel\"");
      int channel = static_cast<int>(Index(*ch, Key(p, "channel"), host::kMaxMapChannels, "map channels"));
      if (seen[static_cast<std::size_t>(channel)])
        Fail(Key(p, "channel"), "channel " + std::to_string(channel) + " is given twice");
      seen[static_cast<std::size_t>(channel)] = true;
      host::MapChannel& mc = m.Map(channel);
      if (const Json* tv = Find(map, "tverts"); tv && IsArrayRef(*tv)) {
        std::string tp = Key(p, "tverts");
        // Two components where every w is 0, three otherwise.
        const ElementType type = ArrayType(*tv, tp).components == 2 ? kF32x2 : kF32x3;
        support::ReserveFresh(mc.tverts, static_cast<std::size_t>(ArrayCount(*tv, tp, type)));
        const bool uvw = type == kF32x3;
        ReadArrayPieces(*tv, tp, type, [&mc, uvw, &type](uint64_t, uint64_t n, const uint8_t* in) {
          for (uint64_t i = 0; i < n; ++i, in += type.Bytes())
            mc.tverts.push_back({LoadF32(in), LoadF32(in + 4), uvw ? LoadF32(in + 8) : 0.0f});
        });
      } else if (tv) {
        std::string tp = Key(p, "tverts");
        Array(*tv, tp);
        mc.tverts.reserve(tv->size());
        for (std::size_t i = 0; i < tv->size(); ++i) {
          const Json& uvw = (*tv)[i];
          std::string up = At(tp, i);
          if (!uvw.is_array() || (uvw.size() != 2 && uvw.size() != 3))
            Fail(up, "expected [u, v] or [u, v, w]");
          mc.tverts.push_back({Float(uvw[0], At(up, 0)), Float(uvw[1], At(up, 1)),
                               uvw.size() == 3 ? Float(uvw[2], At(up, 2)) : 0.0f});
        }
      }
      if (const Json* tf = Find(map, "tfaces"); tf && IsArrayRef(*tf)) {
        std::string tp = Key(p, "tfaces");
        support::ReserveFresh(
            mc.tfaces, static_cast<std::size_t>(PerFaceCount(*tf, tp, IndexType(*tf, tp), nf, "map faces")));
        TrianglesFromBuffer(*tf, tp, mc.tverts.size(), "map vertices",
                            [&mc](const std::array<uint32_t, 3>& t) { mc.tfaces.push_back(t); });
      } else if (tf) {
        std::string tp = Key(p, "tfaces");
        PerFace(*tf, tp, nf, "map faces");
        mc.tfaces.reserve(nf);
        for (std::size_t i = 0; i < nf; ++i)
          mc.tfaces.push_back(Triangle((*tf)[i], At(tp, i), mc.tverts.size(), "map vertices"));
      }
    }
  }
  if (const Json* normals = Find(j, "normals")) {
    std::string np = Key(path, "normals");
    Object(*normals, np);
    OnlyKeys(*normals, np, {"values", "faces"});
    if (const Json* values = Find(*normals, "values"); values && IsArrayRef(*values)) {
      m.explicitNormals = PointsFromBuffer(*values, Key(np, "values"));
    } else if (values) {
      std::string vp = Key(np, "values");
      Array(*values, vp);
      for (std::size_t i = 0; i < values->size(); ++i)
        m.explicitNormals.push_back(Point((*values)[i], At(vp, i)));
    }
    const Json* faces = Find(*normals, "faces");
    if (!faces) Fail(np, "expected the normal \"faces\"");
    std::string fp = Key(np, "faces");
    if (IsArrayRef(*faces)) {
      support::ReserveFresh(m.normalFaces, static_cast<std::size_t>(PerFaceCount(
                                               *faces, fp, IndexType(*faces, fp), nf, "normal faces")));
      TrianglesFromBuffer(*faces, fp, m.explicitNormals.size(), "normals",
                          [&m](const std::array<uint32_t, 3>& t) { m.normalFaces.push_back(t); });
    } else {
      PerFace(*faces, fp, nf, "normal faces");
    }
    for (std::size_t i = 0; i < nf && !IsArrayRef(*faces); ++i)
      m.normalFaces.push_back(Triangle((*faces)[i], At(fp, i), m.explicitNormals.size(), "normals"));
  }
  auto selection = [&](const char* key, std::size_t count, std::vector<uint8_t>& out) {
    const Json* sel = Find(j, key);
    if (!sel) return;
    std::string p = Key(path, key);
    if (IsArrayRef(*sel)) {
      uint64_t n = ArrayCount(*sel, p, kU8);
      if (n != count) Fail(p, "expected " + std::to_string(count) + " flags, found " + std::to_string(n));
      out.reserve(count);
      ReadArray(*sel, p, kU8, [&](uint64_t i, const uint8_t* in) {
        if (*in > 1) Fail(At(p, i), "expected true, false, 0 or 1");
        out.push_back(*in);
      });
      return;
    }
    Array(*sel, p);
    if (sel->size() != count)
      Fail(p, "expected " + std::to_string(count) + " flags, found " + std::to_string(sel->size()));
    for (std::size_t i = 0; i < count; ++i) out.push_back(Bool((*sel)[i], At(p, i)) ? 1 : 0);
  };
  selection("vertSel", m.verts.size(), m.vertSel);
  selection("faceSel", nf, m.faceSel);
  return m;
}

Json WriteMesh(const host::Mesh& m) {
  Json j = Json::object();
  if (auto ref = PointsToBuffer(m.verts)) {
    j["verts"] = std::move(*ref);
  } else {
    Json verts = Json::array();
    for (Point3 p : m.verts) verts.push_back(PointJson(p));
    j["verts"] = std::move(verts);
  }
  bool anySg = false, anyMat = false, anyHidden = false;
  for (const auto& f : m.faces) {
    anySg = anySg || f.smGroup != 0;
    anyMat = anyMat || f.matId != 0;
    anyHidden = anyHidden || f.edgeVis != 7;
  }
  const auto& faces = m.faces;
  std::optional<Json> facesRef = IndicesToBuffer(
      faces.size(), [&faces](std::size_t i) -> const std::array<uint32_t, 3>& { return faces[i].v; });
  if (facesRef) {
    j["faces"] = *facesRef;
  } else {
    Json list = Json::array();
    for (const auto& f : faces) list.push_back(TriangleJson(f.v));
    j["faces"] = std::move(list);
  }
  // Per-face lists are written only when they hold something other than the defaults.
  if (anySg) {
    if (auto ref = WriteArray(kU32, faces.size(), [&faces](uint64_t i, uint8_t* out) {
          ByteWriter::StoreU32(out, faces[i].smGroup);
        })) {
      j["smGroups"] = std::move(*ref);
    } else {
      Json sg = Json::array();
      for (const auto& f : faces) sg.push_back(f.smGroup);
      j["smGroups"] = std::move(sg);
    }
  }
  if (anyMat) {
    if (auto ref = WriteArray(kU16, faces.size(), [&faces](uint64_t i, uint8_t* out) {
          ByteWriter::StoreU16(out, faces[i].matId);
        })) {
      j["matIds"] = std::move(*ref);
    } else {
      Json ids = Json::array();
      for (const auto& f : faces) ids.push_back(f.matId);
      j["matIds"] = std::move(ids);
    }
  }
  if (anyHidden) {
    if (auto ref =
            WriteArray(kU8, faces.size(), [&faces](uint64_t i, uint8_t* out) { *out = faces[i].edgeVis; })) {
      j["edgeVis"] = std::move(*ref);
    } else {
      Json ev = Json::array();
      for (const auto& f : faces) ev.push_back(f.edgeVis);
      j["edgeVis"] = std::move(ev);
    }
  }
  Json maps = Json::array();
  for (std::size_t c = 0; c < m.maps.size(); ++c) {
    const host::MapChannel& mc = m.maps[c];
    if (mc.tverts.empty() && mc.tfaces.empty()) continue;
    Json map = {{"channel", c}};
    const auto& tv = mc.tverts;
    const bool flat =
        std::all_of(tv.begin(), tv.end(), [](Point3 t) { return t.z == 0.0f && !std::signbit(t.z); });
    if (auto ref = WriteArray(flat ? kF32x2 : kF32x3, tv.size(), [&tv, flat](uint64_t i, uint8_t* out) {
          ByteWriter::StoreF32(out, tv[i].x);
          ByteWriter::StoreF32(out + 4, tv[i].y);
          if (!flat) ByteWriter::StoreF32(out + 8, tv[i].z);
        })) {
      map["tverts"] = std::move(*ref);
    } else {
      Json tverts = Json::array();
      for (Point3 t : tv) {
        if (t.z == 0.0f && !std::signbit(t.z))
          tverts.push_back(Json::array({FloatJson(t.x), FloatJson(t.y)}));
        else
          tverts.push_back(PointJson(t));
      }
      map["tverts"] = std::move(tverts);
    }
    if (!mc.tfaces.empty()) {
      if (facesRef && SameCorners(mc.tfaces, faces)) {
        map["tfaces"] = *facesRef;
      } else if (auto ref = TrianglesToBuffer(mc.tfaces)) {
        map["tfaces"] = std::move(*ref);
      } else {
        Json tfaces = Json::array();
        for (const auto& tf : mc.tfaces) tfaces.push_back(TriangleJson(tf));
        map["tfaces"] = std::move(tfaces);
      }
    }
    maps.push_back(std::move(map));
  }
  if (!maps.empty()) j["maps"] = std::move(maps);
  if (!m.normalFaces.empty()) {
    Json normals = Json::object();
    if (auto ref = PointsToBuffer(m.explicitNormals)) {
      normals["values"] = std::move(*ref);
    } else {
      Json values = Json::array();
      for (Point3 n : m.explicitNormals) values.push_back(PointJson(n));
      normals["values"] = std::move(values);
    }
    if (facesRef && SameCorners(m.normalFaces, faces)) {
      normals["faces"] = *facesRef;
    } else if (auto ref = TrianglesToBuffer(m.normalFaces)) {
      normals["faces"] = std::move(*ref);
    } else {
      Json list = Json::array();
      for (const auto& nf : m.normalFaces) list.push_back(TriangleJson(nf));
      normals["faces"] = std::move(list);
    }
    j["normals"] = std::move(normals);
  }
  auto flags = [](const std::vector<uint8_t>& sel) {
    if (auto ref = WriteArray(kU8, sel.size(), [&sel](uint64_t i, uint8_t* out) { *out = sel[i] ? 1 : 0; }))
      return std::move(*ref);
    Json a = Json::array();
    for (uint8_t s : sel) a.push_back(s ? 1 : 0);
    return a;
  };
  if (!m.vertSel.empty() && m.vertSel.size() == m.verts.size()) j["vertSel"] = flags(m.vertSel);
  if (!m.faceSel.empty() && m.faceSel.size() == m.faces.size()) j["faceSel"] = flags(m.faceSel);
  return j;
}

// Tangents: {"values": [[x, y, z, w], ...], "faces": [[a, b, c], ...]}, one tangent face
// per mesh face.
void ReadTangents(const Json& j, const std::string& path, MeshObject& o) {
  Object(j, path);
  OnlyKeys(j, path, {"values", "faces"});
  const Json* values = Find(j, "values");
  const Json* faces = Find(j, "faces");
  if (!values || !faces) Fail(path, "expected the tangent \"values\" and \"faces\"");
  const std::string vp = Key(path, "values"), fp = Key(path, "faces");
  if (IsArrayRef(*values)) {
    support::ReserveFresh(o.tangents, static_cast<std::size_t>(ArrayCount(*values, vp, kF32x4)));
    ReadArray(*values, vp, kF32x4, [&o](uint64_t, const uint8_t* in) {
      o.tangents.push_back({LoadF32(in), LoadF32(in + 4), LoadF32(in + 8), LoadF32(in + 12)});
    });
  } else {
    Array(*values, vp);
    for (std::size_t i = 0; i < values->size(); ++i) {
      const Json& t = ArrayOf((*values)[i], At(vp, i), 4);
      o.tangents.push_back({Float(t[0], At(At(vp, i), 0)), Float(t[1], At(At(vp, i), 1)),
                            Float(t[2], At(At(vp, i), 2)), Float(t[3], At(At(vp, i), 3))});
    }
  }
  const std::size_t nf = o.mesh.faces.size();
  if (IsArrayRef(*faces)) {
    support::ReserveFresh(o.tangentFaces, static_cast<std::size_t>(PerFaceCount(
                                              *faces, fp, IndexType(*faces, fp), nf, "tangent faces")));
    TrianglesFromBuffer(*faces, fp, o.tangents.size(), "tangents",
                        [&o](const std::array<uint32_t, 3>& t) { o.tangentFaces.push_back(t); });
  } else {
    PerFace(*faces, fp, nf, "tangent faces");
    for (std::size_t i = 0; i < nf; ++i)
      o.tangentFaces.push_back(Triangle((*faces)[i], At(fp, i), o.tangents.size(), "tangents"));
  }
}

Json WriteTangents(const MeshObject& o) {
  Json j = Json::object();
  const auto& t = o.tangents;
  if (auto ref = WriteArray(kF32x4, t.size(), [&t](uint64_t i, uint8_t* out) {
        for (std::size_t k = 0; k < 4; ++k) ByteWriter::StoreF32(out + 4 * k, t[i][k]);
      })) {
    j["values"] = std::move(*ref);
  } else {
    Json values = Json::array();
    for (const auto& v : t)
      values.push_back(Json::array({FloatJson(v[0]), FloatJson(v[1]), FloatJson(v[2]), FloatJson(v[3])}));
    j["values"] = std::move(values);
  }
  if (auto ref = TrianglesToBuffer(o.tangentFaces)) {
    j["faces"] = std::move(*ref);
  } else {
    Json faces = Json::array();
    for (const auto& f : o.tangentFaces) faces.push_back(TriangleJson(f));
    j["faces"] = std::move(faces);
  }
  return j;
}

// ---------------------------------------------------------------------------------------
// Lights, cameras, helpers

struct LightKindName {
  ClassId id;
  const char* name;
};
constexpr LightKindName kLightKinds[] = {
    {host::kOmniLightClassId, "omni"},
    {host::kSpotLightClassId, "targetSpot"},
    {host::kFreeSpotLightClassId, "freeSpot"},
    {host::kDirectionalLightClassId, "targetDirectional"},
    {host::kFreeDirectionalLightClassId, "freeDirectional"},
    {host::kAmbientLightClassId, "ambient"},
};

// Helper classes that may be named instead of given by id.
struct HelperName {
  const char* name;
  ClassId id;
};
constexpr HelperName kHelperNames[] = {
    {"VexaLight", host::kVexaLightClassId},
    {"VexaIKJoint", host::kVexaIKJointClassId},
    {"VexaSoundEvent", host::kVexaSoundEventClassId},
    {"VexaParticleEvent", host::kVexaParticleEventClassId},
    {"ExtDummy", host::kExtDummyClassId},
    {"Point", host::kPointHelperClassId},
    {"Bone", host::kBoneHelperClassId},
    {"Dummy", host::kDummyClassId},
};

ClassId HelperClass(const Json& j, const std::string& path) {
  if (j.is_string()) {
    std::string s = j.get<std::string>();
    for (const auto& h : kHelperNames)
      if (s == h.name) return h.id;
    Fail(path, "expected a class id [a, b] or a helper class name, found \"" + s + "\"");
  }
  return ClassIdOf(j, path);
}

constexpr double kDegPerRad = 180.0 / std::numbers::pi;

host::Box3 ReadBox(const Json& j, const std::string& path) {
  Object(j, path);
  OnlyKeys(j, path, {"min", "max"});
  const Json* mn = Find(j, "min");
  const Json* mx = Find(j, "max");
  if (!mn || !mx) Fail(path, "expected a box with \"min\" and \"max\"");
  host::Box3 b;
  b.min = Point(*mn, Key(path, "min"));
  b.max = Point(*mx, Key(path, "max"));
  return b;
}

Json BoxJson(const host::Box3& b) { return {{"min", PointJson(b.min)}, {"max", PointJson(b.max)}}; }

template <typename T>
void ReadIf(const Json& j, const char* key, const std::string& path, T& out,
            T (*read)(const Json&, const std::string&)) {
  if (const Json* v = Find(j, key)) out = read(*v, Key(path, key));
}

std::shared_ptr<SceneObject> ReadLight(const Json& j, const std::string& path) {
  OnlyKeys(j, path,
           {"id", "type", "kind", "on", "shadows", "color", "multiplier", "attenEnd", "hotspot", "falloff",
            "appData"});
  ClassId id = host::kOmniLightClassId;
  if (const Json* kind = Find(j, "kind")) {
    std::string k = String(*kind, Key(path, "kind"));
    bool found = false;
    for (const auto& lk : kLightKinds)
      if (k == lk.name) id = lk.id, found = true;
    if (!found)
      Fail(Key(path, "kind"),
           "expected omni, targetSpot, freeSpot, targetDirectional, freeDirectional or ambient, found \"" +
               k + "\"");
  }
  auto l = std::make_shared<LightObject>(id);
  ReadIf(j, "on", path, l->on, Bool);
  ReadIf(j, "shadows", path, l->shadow, Bool);
  ReadIf(j, "color", path, l->color, Point);
  ReadIf(j, "multiplier", path, l->multiplier, Float);
  ReadIf(j, "attenEnd", path, l->attenEnd, Float);
  ReadIf(j, "hotspot", path, l->hotspot, Float);
  ReadIf(j, "falloff", path, l->falloff, Float);
  return l;
}

std::shared_ptr<SceneObject> ReadHelper(const Json& j, const std::string& path,
                                        std::vector<NodeRefFixup>& fixups) {
  OnlyKeys(j, path,
           {"id", "type", "classId", "className", "superClass", "paramBlocks", "params", "box", "appData"});
  const Json* cid = Find(j, "classId");
  if (!cid) Fail(path, "expected the helper's \"classId\"");
  ClassId id = HelperClass(*cid, Key(path, "classId"));
  // The class's own defaults, then whatever the document says.
  auto defaults = HelperObject::Create(id);
  std::string className = defaults->ClassName();
  host::SuperClassId sc = defaults->GetSuperClassId();
  ReadIf(j, "className", path, className, String);
  ReadIf(j, "superClass", path, sc, U32);
  auto h = std::make_shared<HelperObject>(id, className, sc);
  h->box = defaults->box;
  h->paramBlocks = std::move(defaults->paramBlocks);
  if (const Json* blocks = Find(j, "paramBlocks")) {
    std::string bp = Key(path, "paramBlocks");
    Array(*blocks, bp);
    h->paramBlocks.clear();
    for (std::size_t i = 0; i < blocks->size(); ++i)
      h->paramBlocks.push_back(ReadParamBlock((*blocks)[i], At(bp, i), fixups));
  }
  if (const Json* params = Find(j, "params")) {
    std::string pp = Key(path, "params");
    Object(*params, pp);
    for (auto it = params->begin(); it != params->end(); ++it) {
      host::ParamRef ref = h->FindParam(it.key());
      std::string p = Key(pp, it.key());
      if (!ref) Fail(p, "class \"" + className + "\" has no parameter of this name");
      auto* pb = static_cast<ParamBlockImpl*>(ref.block);
      if (pb->Def(ref.index).isTable) {
        Array(it.value(), p);
        if (!pb->SetCount(ref.index, static_cast<int>(std::min<std::size_t>(it.value().size(), 1u << 30))))
          Fail(p, "table has too many entries");
        for (std::size_t k = 0; k < it.value().size(); ++k)
          ReadValue(*pb, ref.index, static_cast<int>(k), it.value()[k], At(p, k), fixups);
      } else {
        ReadValue(*pb, ref.index, 0, it.value(), p, fixups);
      }
    }
  }
  if (const Json* box = Find(j, "box")) h->box = ReadBox(*box, Key(path, "box"));
  return h;
}

void ReadMeshArrays(const MeshRead& read) {
  if (read.mesh) read.object->mesh = ReadMesh(*read.mesh, Key(read.path, "mesh"));
  if (read.tangents) ReadTangents(*read.tangents, Key(read.path, "tangents"), *read.object);
}

// Faces of a mesh as its document states them, to share the reading out evenly; 0 when the
// statement is not one (the read itself reports it).
uint64_t StatedFaces(const MeshRead& read) {
  const Json* faces = read.mesh && read.mesh->is_object() ? Find(*read.mesh, "faces") : nullptr;
  if (!faces) return 0;
  if (faces->is_array()) return faces->size();
  const Json* count = faces->is_object() ? Find(*faces, "count") : nullptr;
  return count && count->is_number_unsigned() ? count->get<uint64_t>() : 0;
}

// Faces from which a document's meshes are read on two threads.
constexpr uint64_t kFacesForTwoThreads = 1 << 16;

}  // namespace

void ReadMeshes(std::vector<MeshRead>& reads) {
  // The split falls where half of the faces lie before it.
  uint64_t total = 0;
  for (const MeshRead& r : reads) total = std::min<uint64_t>(total + StatedFaces(r), uint64_t{1} << 62);
  std::size_t split = 0;
  for (uint64_t before = 0; split < reads.size() && before < total / 2; ++split)
    before += StatedFaces(reads[split]);
  const bool two = split > 0 && split < reads.size() &&
                   support::WorthTwoThreads(static_cast<std::size_t>(total), kFacesForTwoThreads);
  DocumentScope* scope = DocumentScope::Current();
  // Two units of work, the reads before the split and those after it; an error in the first
  // is thrown in preference to one in the second, which keeps the error of reading in order.
  support::RunInTwoHalves(2, two, [&](std::size_t begin, std::size_t end) {
    // One unit for both (no second thread) reads them all, on this thread and in its scope.
    const std::size_t from = begin == 0 ? 0 : split, to = end == 2 ? reads.size() : split;
    std::optional<DocumentScope> shared;
    if (scope && DocumentScope::Current() != scope)
      shared.emplace(scope->writing, scope->reading, scope->folder);
    for (std::size_t i = from; i < to; ++i) ReadMeshArrays(reads[i]);
  });
}

std::shared_ptr<SceneObject> ReadObject(const Json& j, const std::string& path,
                                        std::vector<NodeRefFixup>& fixups, std::vector<MeshRead>* later) {
  Object(j, path);
  const Json* type = Find(j, "type");
  if (!type) Fail(path, "expected the object's \"type\"");
  std::string t = String(*type, Key(path, "type"));
  std::shared_ptr<SceneObject> o;
  if (t == "mesh") {
    OnlyKeys(j, path, {"id", "type", "mesh", "tangents", "appData"});
    MeshRead read{Find(j, "mesh"), Find(j, "tangents"), path, nullptr};
    auto meshObject = std::make_shared<MeshObject>();
    read.object = meshObject.get();
    if (later)
      later->push_back(std::move(read));
    else
      ReadMeshArrays(read);
    o = meshObject;
  } else if (t == "camera") {
    OnlyKeys(j, path, {"id", "type", "target", "fov", "appData"});
    bool target = false;
    ReadIf(j, "target", path, target, Bool);
    auto cam = std::make_shared<CameraObject>(target);
    if (const Json* fov = Find(j, "fov")) {
      // Any value is kept as it is (the viewport copes with odd ones); only a value that
      // does not fit a float is refused, since converting it would be undefined.
      double rad = Double(*fov, Key(path, "fov")) / kDegPerRad;
      if (std::isfinite(rad) && std::fabs(rad) > double(std::numeric_limits<float>::max()))
        Fail(Key(path, "fov"), "expected a number within the float range");
      cam->fov = static_cast<float>(rad);
    }
    o = cam;
  } else if (t == "light") {
    o = ReadLight(j, path);
  } else if (t == "dummy") {
    OnlyKeys(j, path, {"id", "type", "box", "appData"});
    host::Box3 box;
    box.Include({-0.5f, -0.5f, -0.5f});
    box.Include({0.5f, 0.5f, 0.5f});
    if (const Json* b = Find(j, "box")) box = ReadBox(*b, Key(path, "box"));
    o = HelperObject::Dummy(box);
  } else if (t == "helper") {
    o = ReadHelper(j, path, fixups);
  } else if (t == "skeleton") {
    OnlyKeys(j, path, {"id", "type", "size", "appData"});
    auto root = std::make_shared<SkeletonRootObject>();
    ReadIf(j, "size", path, root->size, Float);
    o = root;
  } else if (t == "shape") {
    OnlyKeys(j, path, {"id", "type", "appData"});
    o = std::make_shared<ShapeObject>();
  } else if (t == "geometry") {
    OnlyKeys(j, path, {"id", "type", "classId", "className", "appData"});
    ClassId id = UnconvertibleGeomObject().GetClassId();
    std::string name = UnconvertibleGeomObject().ClassName();
    if (const Json* c = Find(j, "classId")) id = ClassIdOf(*c, Key(path, "classId"));
    ReadIf(j, "className", path, name, String);
    o = std::make_shared<UnconvertibleGeomObject>(id, name);
  } else {
    Fail(Key(path, "type"),
         "expected mesh, camera, light, dummy, helper, skeleton, shape or geometry, found \"" + t + "\"");
  }
  if (const Json* ad = Find(j, "appData")) ReadAppData(*ad, Key(path, "appData"), o->appData);
  return o;
}

Json WriteObject(const SceneObject& o) {
  Json j;
  if (auto* mesh = dynamic_cast<const MeshObject*>(&o)) {
    j = {{"type", "mesh"}, {"mesh", WriteMesh(mesh->mesh)}};
    if (!mesh->tangentFaces.empty() && mesh->tangentFaces.size() == mesh->mesh.faces.size())
      j["tangents"] = WriteTangents(*mesh);
  } else if (auto* cam = dynamic_cast<const CameraObject*>(&o)) {
    j = {{"type", "camera"}, {"target", cam->IsTarget()}};
    // Degrees in double precision read back as the same radians in single precision.
    j["fov"] = std::isfinite(cam->fov) ? Json(double(cam->fov) * kDegPerRad) : FloatJson(cam->fov);
  } else if (auto* light = dynamic_cast<const LightObject*>(&o)) {
    const char* kind = "omni";
    for (const auto& lk : kLightKinds)
      if (lk.id == light->GetClassId()) kind = lk.name;
    j = {{"type", "light"},
         {"kind", kind},
         {"on", light->on},
         {"shadows", light->shadow},
         {"color", PointJson(light->color)},
         {"multiplier", FloatJson(light->multiplier)},
         {"attenEnd", FloatJson(light->attenEnd)},
         {"hotspot", FloatJson(light->hotspot)},
         {"falloff", FloatJson(light->falloff)}};
  } else if (auto* helper = dynamic_cast<const HelperObject*>(&o)) {
    auto defaults = HelperObject::Create(helper->GetClassId());
    if (helper->GetClassId() == host::kDummyClassId && helper->ClassName() == defaults->ClassName() &&
        helper->GetSuperClassId() == host::kHelperClass && helper->paramBlocks.empty() && helper->box) {
      j = {{"type", "dummy"}, {"box", BoxJson(*helper->box)}};
    } else {
      j = {{"type", "helper"}, {"classId", ClassIdJson(helper->GetClassId())}};
      if (helper->ClassName() != defaults->ClassName()) j["className"] = helper->ClassName();
      if (helper->GetSuperClassId() != defaults->GetSuperClassId())
        j["superClass"] = HexJson(helper->GetSuperClassId());
      Json blocks = Json::array();
      for (const auto& pb : helper->paramBlocks) blocks.push_back(WriteParamBlock(*pb));
      j["paramBlocks"] = std::move(blocks);
      if (helper->box && !(defaults->box && defaults->box->min == helper->box->min &&
                           defaults->box->max == helper->box->max))
        j["box"] = BoxJson(*helper->box);
    }
  } else if (auto* skel = dynamic_cast<const SkeletonRootObject*>(&o)) {
    j = {{"type", "skeleton"}};
    if (skel->size != 1.0f) j["size"] = FloatJson(skel->size);
  } else if (dynamic_cast<const ShapeObject*>(&o)) {
    j = {{"type", "shape"}};
  } else if (auto m = o.CanConvertToTriMesh() ? o.ConvertToTriMesh(0) : std::nullopt) {
    // Other geometry is kept as the triangles it evaluates to.
    j = {{"type", "mesh"}, {"mesh", WriteMesh(*m)}};
  } else {
    j = {{"type", "geometry"}, {"classId", ClassIdJson(o.GetClassId())}, {"className", o.ClassName()}};
  }
  if (!o.appData.All().empty()) j["appData"] = WriteAppData(o.appData);
  return j;
}

void ReadAppData(const Json& j, const std::string& path, AppDataStore& out) {
  Array(j, path);
  for (std::size_t i = 0; i < j.size(); ++i) {
    std::string p = At(path, i);
    const Json& e = Object(j[i], p);
    OnlyKeys(e, p, {"owner", "superClass", "sub", "hex", "base64"});
    const Json* owner = Find(e, "owner");
    const Json* sc = Find(e, "superClass");
    const Json* sub = Find(e, "sub");
    if (!owner || !sc || !sub) Fail(p, "expected \"owner\", \"superClass\" and \"sub\"");
    const Json* hex = Find(e, "hex");
    const Json* b64 = Find(e, "base64");
    if (bool(hex) == bool(b64)) Fail(p, "expected the data as either \"hex\" or \"base64\"");
    std::vector<uint8_t> bytes;
    if (hex && !FromHex(String(*hex, Key(p, "hex")), bytes))
      Fail(Key(p, "hex"), "expected an even number of hexadecimal digits");
    if (b64 && !FromBase64(String(*b64, Key(p, "base64")), bytes))
      Fail(Key(p, "base64"), "expected base64 text");
    out.Set(ClassIdOf(*owner, Key(p, "owner")), U32(*sc, Key(p, "superClass")), U32(*sub, Key(p, "sub")),
            std::move(bytes));
  }
}

Json WriteAppData(const AppDataStore& data) {
  Json a = Json::array();
  for (const auto& [key, bytes] : data.All()) {
    Json e = {{"owner", ClassIdJson(key.owner)}, {"superClass", HexJson(key.superClass)}, {"sub", key.sub}};
    // Short marks read best as hex; longer chunks take less room as base64.
    if (bytes.size() <= 32)
      e["hex"] = ToHex(bytes);
    else
      e["base64"] = ToBase64(bytes);
    a.push_back(std::move(e));
  }
  return a;
}

}  // namespace vorlan::workbench::docjson

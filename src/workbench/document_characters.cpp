#include "workbench/document_characters.h"

#include <utility>

#include "workbench/character.h"

namespace vorlan::workbench::docjson {

namespace {

// Arrays longer than this are refused before anything is allocated for them.
constexpr std::size_t kMaxEntries = std::size_t(1) << 26;

const Json& BoundedArray(const Json& j, const std::string& path) {
  Array(j, path);
  if (j.size() > kMaxEntries) Fail(path, "expected at most " + std::to_string(kMaxEntries) + " entries");
  return j;
}

std::vector<host::Point3> Points(const Json& j, const std::string& path) {
  BoundedArray(j, path);
  std::vector<host::Point3> out;
  out.reserve(j.size());
  for (std::size_t i = 0; i < j.size(); ++i) out.push_back(Point(j[i], At(path, i)));
  return out;
}

Json PointsJson(const std::vector<host::Point3>& points) {
  Json a = Json::array();
  for (const host::Point3& p : points) a.push_back(PointJson(p));
  return a;
}

std::shared_ptr<host::Modifier> ReadSkin(const Json& j, const std::string& path,
                                         std::vector<ModifierNodeRef>& refs) {
  OnlyKeys(j, path, {"type", "bones", "vertices", "bindPoses"});
  auto skin = std::make_shared<SkinModifierImpl>();
  std::vector<std::string> bones;
  if (const Json* b = Find(j, "bones")) {
    std::string bp = Key(path, "bones");
    BoundedArray(*b, bp);
    for (std::size_t i = 0; i < b->size(); ++i) bones.push_back(String((*b)[i], At(bp, i)));
  }
  if (const Json* v = Find(j, "vertices")) {
    std::string vp = Key(path, "vertices");
    BoundedArray(*v, vp);
    skin->vertices.resize(v->size());
    for (std::size_t i = 0; i < v->size(); ++i) {
      const Json& e = (*v)[i];
      std::string ep = At(vp, i);
      SkinVertex& out = skin->vertices[i];
      if (e.is_number()) {
        out.bones.push_back({nullptr, 1.0f});
      } else {
        BoundedArray(e, ep);
        out.type = host::SkinVertexType::RigidBlended;
        for (std::size_t k = 0; k < e.size(); ++k) {
          const Json& pair = ArrayOf(e[k], At(ep, k), 2);
          out.bones.push_back({nullptr, Float(pair[1], At(At(ep, k), 1))});
        }
      }
      // Bone indices are checked now; the nodes are set once they all exist.
      for (std::size_t k = 0; k < out.bones.size(); ++k) {
        const Json& index = e.is_number() ? e : e[k][0];
        std::string ip = e.is_number() ? ep : At(At(ep, k), 0);
        uint32_t b = Index(index, ip, bones.size(), "bones");
        refs.push_back({[skin, i, k](host::Node* n) { skin->vertices[i].bones[k].bone = n; }, bones[b], ip});
      }
    }
  }
  if (const Json* poses = Find(j, "bindPoses")) {
    std::string pp = Key(path, "bindPoses");
    BoundedArray(*poses, pp);
    for (std::size_t i = 0; i < poses->size(); ++i) {
      std::string ep = At(pp, i);
      const Json& e = ArrayOf((*poses)[i], ep, 2);
      uint32_t b = Index(e[0], At(ep, 0), bones.size(), "bones");
      const Json& rows = ArrayOf(e[1], At(ep, 1), 4);
      const host::Matrix3 m(Point(rows[0], At(At(ep, 1), 0)), Point(rows[1], At(At(ep, 1), 1)),
                            Point(rows[2], At(At(ep, 1), 2)), Point(rows[3], At(At(ep, 1), 3)));
      refs.push_back({[skin, m](host::Node* n) { skin->bindPoses[n] = m; }, bones[b], At(ep, 0)});
    }
  }
  return skin;
}

std::shared_ptr<host::Modifier> ReadMorpher(const Json& j, const std::string& path,
                                            std::vector<ModifierNodeRef>& refs) {
  OnlyKeys(j, path, {"type", "channels"});
  auto morph = std::make_shared<MorpherImpl>();
  if (const Json* c = Find(j, "channels")) {
    std::string cp = Key(path, "channels");
    BoundedArray(*c, cp);
    morph->channels.resize(c->size());
    for (std::size_t i = 0; i < c->size(); ++i) {
      std::string p = At(cp, i);
      const Json& e = Object((*c)[i], p);
      OnlyKeys(e, p, {"name", "target", "value", "points", "deltas"});
      host::MorphChannel& ch = morph->channels[i];
      if (const Json* n = Find(e, "name")) ch.name = String(*n, Key(p, "name"));
      if (const Json* v = Find(e, "value")) ch.value = Float(*v, Key(p, "value"));
      if (const Json* pts = Find(e, "points")) ch.points = Points(*pts, Key(p, "points"));
      if (const Json* d = Find(e, "deltas")) ch.deltas = Points(*d, Key(p, "deltas"));
      if (const Json* t = Find(e, "target"); t && !t->is_null())
        refs.push_back({[morph, i](host::Node* n) { morph->channels[i].target = n; },
                        String(*t, Key(p, "target")), Key(p, "target")});
    }
  }
  return morph;
}

}  // namespace

std::vector<std::shared_ptr<host::Modifier>> ReadModifiers(const Json& j, const std::string& path,
                                                           std::vector<ModifierNodeRef>& refs) {
  BoundedArray(j, path);
  std::vector<std::shared_ptr<host::Modifier>> out;
  for (std::size_t i = 0; i < j.size(); ++i) {
    std::string p = At(path, i);
    const Json& m = Object(j[i], p);
    const Json* type = Find(m, "type");
    std::string t = type ? String(*type, Key(p, "type")) : std::string();
    if (t == "Skin")
      out.push_back(ReadSkin(m, p, refs));
    else if (t == "Morpher")
      out.push_back(ReadMorpher(m, p, refs));
    else
      Fail(Key(p, "type"), "expected \"Skin\" or \"Morpher\"");
  }
  return out;
}

Json WriteModifiers(const SceneNode& node) {
  Json out = Json::array();
  for (const auto& m : node.Modifiers()) {
    if (auto* skin = dynamic_cast<const SkinModifierImpl*>(m.get())) {
      std::vector<std::string> names;
      std::vector<const host::Node*> bones;
      auto indexOf = [&](const host::Node* n) {
        for (std::size_t b = 0; b < bones.size(); ++b)
          if (bones[b] == n) return b;
        bones.push_back(n);
        names.push_back(n->GetName());
        return bones.size() - 1;
      };
      Json verts = Json::array();
      for (const SkinVertex& v : skin->vertices) {
        Json e = Json::array();
        std::vector<SkinWeight> kept;
        for (const SkinWeight& w : v.bones)
          if (w.bone) kept.push_back(w);
        if (v.type == host::SkinVertexType::Rigid && kept.size() == 1) {
          verts.push_back(indexOf(kept[0].bone));
          continue;
        }
        for (const SkinWeight& w : kept) e.push_back(Json::array({indexOf(w.bone), FloatJson(w.weight)}));
        verts.push_back(std::move(e));
      }
      // Bind poses in scene order, so that the text does not depend on where nodes live.
      std::vector<std::pair<std::size_t, const host::Node*>> posed;
      if (!skin->bindPoses.empty()) {
        const std::vector<const SceneNode*> all = std::as_const(node.GetScene()).AllNodes();
        for (std::size_t at = 0; at < all.size(); ++at)
          if (skin->bindPoses.count(all[at])) posed.emplace_back(at, all[at]);
      }
      Json poses = Json::array();
      for (const auto& [at, bone] : posed) {
        const host::Matrix3& m = skin->bindPoses.at(bone);
        poses.push_back(
            Json::array({indexOf(bone), Json::array({PointJson(m.GetRow(0)), PointJson(m.GetRow(1)),
                                                     PointJson(m.GetRow(2)), PointJson(m.GetRow(3))})}));
      }
      Json e = {{"type", "Skin"}, {"bones", names}, {"vertices", std::move(verts)}};
      if (!poses.empty()) e["bindPoses"] = std::move(poses);
      out.push_back(std::move(e));
    } else if (auto* morph = dynamic_cast<const MorpherImpl*>(m.get())) {
      Json channels = Json::array();
      for (const host::MorphChannel& c : morph->channels) {
        Json e = {{"name", c.name}};
        e["target"] = c.target ? Json(c.target->GetName()) : Json(nullptr);
        if (c.value != 0.0f) e["value"] = FloatJson(c.value);
        e["points"] = PointsJson(c.points);
        e["deltas"] = PointsJson(c.deltas);
        channels.push_back(std::move(e));
      }
      out.push_back({{"type", "Morpher"}, {"channels", std::move(channels)}});
    }
  }
  return out;
}

}  // namespace vorlan::workbench::docjson

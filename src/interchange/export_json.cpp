#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "interchange/export_parts.h"

namespace vorlan::workbench::interchange {

using nlohmann::json;

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

json ValueOf(const std::string& text) {
  if (text == "true") return true;
  if (text == "false") return false;
  if (!text.empty()) {
    int64_t i = 0;
    auto ri = std::from_chars(text.data(), text.data() + text.size(), i);
    if (ri.ec == std::errc() && ri.ptr == text.data() + text.size()) return i;
    double d = 0;
    auto rd = std::from_chars(text.data(), text.data() + text.size(), d);
    if (rd.ec == std::errc() && rd.ptr == text.data() + text.size() && std::isfinite(d)) return d;
  }
  return text;
}

json Color(host::Point3 c) { return json::array({c.x, c.y, c.z}); }

float Finite(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

// The node number Assimp's output carries as the node's name.
bool NodeNumber(const json& node, std::size_t count, std::size_t& out) {
  auto name = node.find("name");
  if (name == node.end() || !name->is_string()) return false;
  const std::string& s = name->get_ref<const std::string&>();
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && out < count;
}

void SetTexCoord(json& material, const char* key, int set, bool inPbr) {
  if (set <= 0) return;  // 0 is glTF's default
  json* holder = &material;
  if (inPbr) {
    auto pbr = material.find("pbrMetallicRoughness");
    if (pbr == material.end() || !pbr->is_object()) return;
    holder = &*pbr;
  }
  auto tex = holder->find(key);
  if (tex != holder->end() && tex->is_object()) (*tex)["texCoord"] = set;
}

void ApplyMaterial(json& m, const GltfMaterialExtras& x) {
  if (!x.name.empty()) m["name"] = x.name;
  json& pbr = m["pbrMetallicRoughness"];
  if (!pbr.is_object()) pbr = json::object();
  const float opacity = std::clamp(Finite(x.opacity, 1.0f), 0.0f, 1.0f);
  pbr["baseColorFactor"] = json::array({std::clamp(Finite(x.baseColor.x, 0.5f), 0.0f, 1.0f),
                                        std::clamp(Finite(x.baseColor.y, 0.5f), 0.0f, 1.0f),
                                        std::clamp(Finite(x.baseColor.z, 0.5f), 0.0f, 1.0f), opacity});
  // The host's Standard material is a plain dielectric surface.
  pbr["metallicFactor"] = 0.0;
  if (opacity < 1.0f)
    m["alphaMode"] = "BLEND";
  else
    m.erase("alphaMode");
  if (x.doubleSided)
    m["doubleSided"] = true;
  else
    m.erase("doubleSided");
  SetTexCoord(m, "baseColorTexture", x.baseColorSet, true);
  SetTexCoord(m, "normalTexture", x.normalSet, false);
  SetTexCoord(m, "emissiveTexture", x.emissiveSet, false);
  SetTexCoord(m, "occlusionTexture", x.occlusionSet, false);
}

// Every key of every "extensions" object in the document.
void CollectExtensionNames(const json& j, std::set<std::string>& out, int depth = 0) {
  if (depth > 64) return;
  if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (it.key() == "extensions" && it->is_object())
        for (auto e = it->begin(); e != it->end(); ++e) out.insert(e.key());
      CollectExtensionNames(*it, out, depth + 1);
    }
  } else if (j.is_array()) {
    for (const json& e : j) CollectExtensionNames(e, out, depth + 1);
  }
}

// Assimp lists extensions it did not use (and one for polygon encoding, which triangles do
// not need); only those the file uses stay.
void PruneExtensionsUsed(json& doc) {
  auto used = doc.find("extensionsUsed");
  if (used == doc.end() || !used->is_array()) return;
  std::set<std::string> present;
  CollectExtensionNames(doc, present);
  json kept = json::array();
  for (const json& e : *used)
    if (e.is_string() && present.count(e.get<std::string>())) kept.push_back(e);
  if (kept.empty())
    doc.erase("extensionsUsed");
  else
    *used = std::move(kept);
}

// Without any binary data Assimp still declares a buffer of length zero, which glTF forbids.
void DropEmptyBuffers(json& doc, std::size_t binSize) {
  if (binSize != 0) return;
  auto views = doc.find("bufferViews");
  if (views != doc.end() && views->is_array() && !views->empty()) return;
  doc.erase("bufferViews");
  doc.erase("buffers");
}

// Assimp writes the scene's root as the one node of the glTF scene. The host's root is the
// scene itself, not a node in it: when it holds nothing, its children become the scene's
// nodes, so that reading the file back gives the same nodes.
void DropEmptyRoot(json& doc) {
  auto scenes = doc.find("scenes");
  auto nodes = doc.find("nodes");
  if (scenes == doc.end() || !scenes->is_array() || scenes->size() != 1 || nodes == doc.end() ||
      !nodes->is_array())
    return;
  json& scene = (*scenes)[0];
  auto top = scene.find("nodes");
  if (top == scene.end() || !top->is_array() || top->size() != 1 || !(*top)[0].is_number_unsigned()) return;
  const auto r = (*top)[0].get<std::size_t>();
  if (r >= nodes->size() || !(*nodes)[r].is_object()) return;
  const json root = (*nodes)[r];
  for (auto it = root.begin(); it != root.end(); ++it)
    if (it.key() != "name" && it.key() != "children") return;
  auto renumber = [r](const json& i) {
    return i.get<std::size_t>() > r ? i.get<std::size_t>() - 1 : i.get<std::size_t>();
  };
  json children = json::array();
  for (const json& c : root.value("children", json::array()))
    if (c.is_number_unsigned() && c.get<std::size_t>() != r) children.push_back(renumber(c));
  nodes->erase(r);
  for (json& n : *nodes) {
    auto kids = n.find("children");
    if (kids == n.end() || !kids->is_array()) continue;
    for (json& k : *kids)
      if (k.is_number_unsigned()) k = renumber(k);
  }
  if (children.empty())
    scene.erase("nodes");
  else
    scene["nodes"] = std::move(children);
  if (nodes->empty()) doc.erase("nodes");
}

void AddExtension(json& doc, const char* name) {
  json& used = doc["extensionsUsed"];
  if (!used.is_array()) used = json::array();
  if (std::find(used.begin(), used.end(), name) == used.end()) used.push_back(name);
}

}  // namespace

json ExtrasFromUserProps(const std::string& text) {
  json out = json::object();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      const std::string key = Trim(line);
      if (!key.empty()) out[key] = true;
    } else {
      const std::string key = Trim(line.substr(0, eq));
      if (!key.empty()) out[key] = ValueOf(Trim(line.substr(eq + 1)));
    }
    start = end + 1;
  }
  return out;
}

bool AddToGltfJson(std::string& text, const GltfAdditions& add, std::size_t binSize, std::string& error) {
  json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    error = "Assimp's glTF output is not a JSON object";
    return false;
  }

  json& nodes = doc["nodes"];
  if (!nodes.is_array()) nodes = json::array();
  for (json& node : nodes) {
    std::size_t n = 0;
    if (!node.is_object() || !NodeNumber(node, add.nodes.size(), n)) {
      error = "Assimp's glTF output has a node that was not in the scene";
      return false;
    }
    const GltfNodeExtras& x = add.nodes[n];
    if (x.name.empty())
      node.erase("name");
    else
      node["name"] = x.name;
    json extras = ExtrasFromUserProps(x.userProps);
    if (!extras.empty()) node["extras"] = std::move(extras);
    if (x.camera >= 0) node["camera"] = x.camera;
    if (x.light >= 0) node["extensions"]["KHR_lights_punctual"] = {{"light", x.light}};
  }

  DropEmptyRoot(doc);

  if (!add.cameras.empty()) {
    json cams = json::array();
    for (const GltfCamera& c : add.cameras)
      cams.push_back(
          {{"type", "perspective"},
           {"perspective", {{"yfov", c.yfov}, {"aspectRatio", c.aspectRatio}, {"znear", c.znear}}}});
    doc["cameras"] = std::move(cams);
  }

  if (!add.lights.empty()) {
    json lights = json::array();
    for (const GltfLight& l : add.lights) {
      json j = {{"type", l.type}, {"color", Color(l.color)}, {"intensity", l.intensity}};
      if (l.range > 0.0f && l.type != "directional") j["range"] = l.range;
      if (l.type == "spot")
        j["spot"] = {{"innerConeAngle", l.innerConeAngle}, {"outerConeAngle", l.outerConeAngle}};
      lights.push_back(std::move(j));
    }
    doc["extensions"]["KHR_lights_punctual"] = {{"lights", std::move(lights)}};
    AddExtension(doc, "KHR_lights_punctual");
  }

  json& materials = doc["materials"];
  if (!materials.is_array()) materials = json::array();
  if (materials.size() < add.materials.size()) {
    error = "Assimp's glTF output lacks materials of the scene";
    return false;
  }
  for (std::size_t i = 0; i < add.materials.size(); ++i)
    if (materials[i].is_object()) ApplyMaterial(materials[i], add.materials[i]);
  if (materials.empty()) doc.erase("materials");

  PruneExtensionsUsed(doc);
  DropEmptyBuffers(doc, binSize);

  text = doc.dump();
  return true;
}

}  // namespace vorlan::workbench::interchange

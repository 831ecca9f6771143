// The material library of an OBJ file, as Assimp's OBJ reader turns it into aiMaterials.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "interchange/obj_reader.h"

namespace vorlan::workbench::interchange {

namespace {

// Textures in the order Assimp's reader lists them; "bump" and "map_bump" fill one slot.
struct TextureStatement {
  std::string_view keyword;
  aiTextureType type;
};
constexpr TextureStatement kTextures[] = {
    {"map_Kd", aiTextureType_DIFFUSE},  {"map_Ka", aiTextureType_AMBIENT},
    {"map_Ke", aiTextureType_EMISSIVE}, {"map_Ks", aiTextureType_SPECULAR},
    {"map_bump", aiTextureType_HEIGHT}, {"map_Bump", aiTextureType_HEIGHT},
    {"bump", aiTextureType_HEIGHT},     {"disp", aiTextureType_DISPLACEMENT},
    {"map_d", aiTextureType_OPACITY},   {"map_Ns", aiTextureType_SHININESS},
};
constexpr aiTextureType kTextureOrder[] = {
    aiTextureType_DIFFUSE, aiTextureType_AMBIENT,      aiTextureType_EMISSIVE, aiTextureType_SPECULAR,
    aiTextureType_HEIGHT,  aiTextureType_DISPLACEMENT, aiTextureType_OPACITY,  aiTextureType_SHININESS};

struct Material {
  std::string name;
  aiColor3D ambient{0, 0, 0}, diffuse{0.6f, 0.6f, 0.6f}, specular{0, 0, 0}, emissive{0, 0, 0};
  float shininess = 0, opacity = 1, refraction = 1;
  int illum = 1;
  std::map<aiTextureType, std::string> textures;
  std::vector<std::string_view> seen;  // statements given, each at most once
};

aiMaterial* Make(const Material& m) {
  auto out = std::make_unique<aiMaterial>();
  const aiString name(m.name);
  out->AddProperty(&name, AI_MATKEY_NAME);
  const int shading = m.illum == 2 ? aiShadingMode_Phong : aiShadingMode_Gouraud;
  out->AddProperty(&shading, 1, AI_MATKEY_SHADING_MODEL);
  out->AddProperty(&m.illum, 1, "$mat.illum", 0, 0);
  out->AddProperty(&m.ambient, 1, AI_MATKEY_COLOR_AMBIENT);
  out->AddProperty(&m.diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
  out->AddProperty(&m.specular, 1, AI_MATKEY_COLOR_SPECULAR);
  out->AddProperty(&m.emissive, 1, AI_MATKEY_COLOR_EMISSIVE);
  out->AddProperty(&m.shininess, 1, AI_MATKEY_SHININESS);
  out->AddProperty(&m.opacity, 1, AI_MATKEY_OPACITY);
  const aiColor3D transparent(1, 1, 1);
  out->AddProperty(&transparent, 1, AI_MATKEY_COLOR_TRANSPARENT);
  const float anisotropy = 0;
  out->AddProperty(&anisotropy, 1, AI_MATKEY_ANISOTROPY_FACTOR);
  out->AddProperty(&m.refraction, 1, AI_MATKEY_REFRACTI);
  for (aiTextureType type : kTextureOrder) {
    auto it = m.textures.find(type);
    if (it == m.textures.end()) continue;
    const aiString file(it->second);
    out->AddProperty(&file, AI_MATKEY_TEXTURE(type, 0));
    const int source = 0;
    out->AddProperty(&source, 1, AI_MATKEY_UVWSRC(type, 0));
  }
  return out.release();
}

bool Color(std::string_view rest, aiColor3D& out) {
  float v[3];
  int count = 0;
  if (!ParseObjNumbers(rest, v, 3, count) || count != 3) return false;
  out = {v[0], v[1], v[2]};
  return true;
}

bool Scalar(std::string_view rest, float& out) {
  int count = 0;
  return ParseObjNumbers(rest, &out, 1, count) && count == 1;
}

bool Integer(std::string_view rest, int& out) {
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.empty() || rest.size() > 2) return false;
  out = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

// One token, not an option ("-bm 0.5 file").
bool FileName(std::string_view rest, std::string& out) {
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
  if (rest.empty() || rest.front() == '-' || rest.find(' ') != std::string_view::npos) return false;
  out = std::string(rest);
  return true;
}

class MtlParser {
 public:
  bool Line(std::string_view line) {
    if (line.empty() || line.front() == '#') return true;
    for (char c : line)
      if (c == '\t' || c == '\r' || c == '\0') return false;
    const std::size_t space = line.find(' ');
    const std::string_view keyword = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space);
    if (keyword == "newmtl") {
      std::string name;
      if (!FileName(rest, name) || std::find(names_.begin(), names_.end(), name) != names_.end())
        return false;
      names_.push_back(name);
      materials_.push_back({});
      materials_.back().name = name;
      return true;
    }
    if (materials_.empty()) return false;
    Material& m = materials_.back();
    // Each statement once: what a repeat does is Assimp's business.
    const bool bump = keyword == "bump" || keyword == "map_bump" || keyword == "map_Bump";
    const std::string_view key = bump ? std::string_view("bump") : keyword;
    if (std::find(m.seen.begin(), m.seen.end(), key) != m.seen.end()) return false;
    m.seen.push_back(Keep(key));
    if (keyword == "Ka") return Color(rest, m.ambient);
    if (keyword == "Kd") return Color(rest, m.diffuse);
    if (keyword == "Ks") return Color(rest, m.specular);
    if (keyword == "Ke") return Color(rest, m.emissive);
    if (keyword == "Ns") return Scalar(rest, m.shininess);
    if (keyword == "Ni") return Scalar(rest, m.refraction);
    if (keyword == "d") return Scalar(rest, m.opacity);
    if (keyword == "illum") return Integer(rest, m.illum);
    for (const TextureStatement& t : kTextures)
      if (keyword == t.keyword) return FileName(rest, m.textures[t.type]);
    return false;
  }

  std::vector<Material>& Materials() { return materials_; }
  std::vector<std::string>& Names() { return names_; }

 private:
  // The statement names kept are those of the tables above, which outlive the parser.
  static std::string_view Keep(std::string_view key) {
    static constexpr std::string_view kKnown[] = {"Ka", "Kd", "Ks", "Ke", "Ns", "Ni", "d", "illum", "bump"};
    for (std::string_view k : kKnown)
      if (k == key) return k;
    for (const TextureStatement& t : kTextures)
      if (t.keyword == key) return t.keyword;
    return "?";
  }

  std::vector<Material> materials_;
  std::vector<std::string> names_;
};

}  // namespace

aiMaterial* ObjDefaultMaterial() {
  Material m;
  m.name = "DefaultMaterial";
  return Make(m);
}

bool ReadObjMaterials(const std::string& mtlPath, std::vector<aiMaterial*>& out,
                      std::vector<std::string>& names, std::string& why) {
  std::FILE* file = std::fopen(mtlPath.c_str(), "rb");
  if (!file) {
    why = "cannot open the material library";
    return false;
  }
  MtlParser parser;
  bool ok = ReadObjLines(file, [&](std::string_view line) { return parser.Line(line); });
  std::fclose(file);
  if (!ok) {
    why = "a material library of an unusual form";
    return false;
  }
  for (const Material& m : parser.Materials()) out.push_back(Make(m));
  names = std::move(parser.Names());
  return true;
}

}  // namespace vorlan::workbench::interchange

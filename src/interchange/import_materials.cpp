#include <assimp/GltfMaterial.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "interchange/convert.h"
#include "interchange/import_parts.h"
#include "support/file_io.h"
#include "workbench/png.h"

namespace vorlan::workbench::interchange {

namespace fs = std::filesystem;

namespace {

// Texture kinds in the order they claim map slots: where two kinds share a slot (diffuse
// and base colour, the normal-map kinds), the first one present wins.
constexpr std::array<aiTextureType, 21> kTypeOrder = {aiTextureType_DIFFUSE,
                                                      aiTextureType_BASE_COLOR,
                                                      aiTextureType_SPECULAR,
                                                      aiTextureType_AMBIENT,
                                                      aiTextureType_AMBIENT_OCCLUSION,
                                                      aiTextureType_LIGHTMAP,
                                                      aiTextureType_EMISSIVE,
                                                      aiTextureType_EMISSION_COLOR,
                                                      aiTextureType_NORMALS,
                                                      aiTextureType_NORMAL_CAMERA,
                                                      aiTextureType_HEIGHT,
                                                      aiTextureType_SHININESS,
                                                      aiTextureType_OPACITY,
                                                      aiTextureType_DISPLACEMENT,
                                                      aiTextureType_REFLECTION,
                                                      aiTextureType_METALNESS,
                                                      aiTextureType_DIFFUSE_ROUGHNESS,
                                                      aiTextureType_SHEEN,
                                                      aiTextureType_CLEARCOAT,
                                                      aiTextureType_TRANSMISSION,
                                                      aiTextureType_UNKNOWN};

// Images larger than this many texels are not re-encoded from raw texels.
constexpr uint64_t kMaxRawTexels = uint64_t(1) << 26;

float Unit(float v, float fallback) {
  if (!std::isfinite(v)) return fallback;
  return std::clamp(v, 0.0f, 1.0f);
}

float FiniteOr(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The file-name part of a path written on any system.
std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file name that is safe in any folder: no separators, no control characters, no leading
// dots (so never "." or "..").
std::string SafeFileName(const std::string& name) {
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|')
               ? '_'
               : c;
  }
  while (!out.empty() && (out.front() == '.' || out.front() == ' ')) out.erase(out.begin());
  if (out.size() > 120) out.resize(120);
  return out;
}

// The extension of an embedded image: Assimp's hint when it is a plain word, else what the
// bytes start with.
std::string ImageExtension(const aiTexture& t) {
  if (t.mHeight != 0) return "png";  // raw texels are written as PNG
  std::string hint;
  for (char c : t.achFormatHint) {
    if (c == 0) break;
    if (!std::isalnum(static_cast<unsigned char>(c))) return "bin";
    hint += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (!hint.empty()) return hint == "jpeg" ? "jpg" : hint;
  const auto* b = reinterpret_cast<const uint8_t*>(t.pcData);
  if (b && t.mWidth >= 4 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return "png";
  if (b && t.mWidth >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return "jpg";
  return "bin";
}

// The bytes of an embedded image as a file: compressed images as they are, raw texels as a
// PNG. Empty when the texture holds nothing usable.
std::vector<uint8_t> ImageBytes(const aiTexture& t) {
  std::vector<uint8_t> out;
  if (!t.pcData || t.mWidth == 0) return out;
  if (t.mHeight == 0) {
    const auto* b = reinterpret_cast<const uint8_t*>(t.pcData);
    out.assign(b, b + t.mWidth);
    return out;
  }
  const uint64_t texels = uint64_t(t.mWidth) * t.mHeight;
  if (texels > kMaxRawTexels || t.mWidth > 0x7FFFFFFF / 4) return out;
  std::vector<uint8_t> rgba(static_cast<std::size_t>(texels) * 4);
  for (uint64_t i = 0; i < texels; ++i) {
    const aiTexel& x = t.pcData[i];
    rgba[i * 4 + 0] = x.r, rgba[i * 4 + 1] = x.g, rgba[i * 4 + 2] = x.b, rgba[i * 4 + 3] = x.a;
  }
  return EncodePngRgba(rgba, static_cast<int>(t.mWidth), static_cast<int>(t.mHeight));
}

bool SameContent(const fs::path& file, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> existing;
  if (!support::ReadWholeFile(file.string(), existing, bytes.size() + 1)) return false;
  return existing == bytes;
}

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// A file of that name in `dir` in any letter case (files written on Windows name their
// textures in whatever case the artist typed).
std::optional<fs::path> FindIgnoringCase(const fs::path& dir, const std::string& name) {
  if (name.empty()) return std::nullopt;
  const std::string want = Lower(name);
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  for (int guard = 0; !ec && it != end && guard < 100000; it.increment(ec), ++guard) {
    if (Lower(it->path().filename().string()) == want && IsRegularFile(it->path())) return it->path();
  }
  return std::nullopt;
}

int TilingFlags(const aiTextureMapMode modes[2]) {
  int flags = 0;
  if (modes[0] == aiTextureMapMode_Wrap) flags |= 1;
  if (modes[1] == aiTextureMapMode_Wrap) flags |= 2;
  if (modes[0] == aiTextureMapMode_Mirror) flags |= 4;
  if (modes[1] == aiTextureMapMode_Mirror) flags |= 8;
  return flags;
}

void ReadUvTransform(const aiMaterial& m, aiTextureType type, unsigned index, host::UVGenState& g) {
  aiUVTransform tr;
  if (m.Get(AI_MATKEY_UVTRANSFORM(type, index), tr) != AI_SUCCESS) return;
  g.uOffset = FiniteOr(tr.mTranslation.x, 0.0f);
  g.vOffset = FiniteOr(tr.mTranslation.y, 0.0f);
  g.uTiling = FiniteOr(tr.mScaling.x, 1.0f);
  g.vTiling = FiniteOr(tr.mScaling.y, 1.0f);
  g.angle = FiniteOr(tr.mRotation, 0.0f);
}

// What a physically based material says beyond the Standard material's slots. Assimp gives
// a metallic factor only for such materials (glTF's, and FBX's physical ones).
void ReadPbr(const aiMaterial& m, StandardMtl& mtl) {
  aiColor4D emissive;
  if (m.Get(AI_MATKEY_COLOR_EMISSIVE, emissive) == AI_SUCCESS)
    mtl.selfIllumColor = {Unit(emissive.r, 0.0f), Unit(emissive.g, 0.0f), Unit(emissive.b, 0.0f)};
  float metallic = 1.0f, roughness = 1.0f;
  aiString alphaMode;
  const bool hasMetallic = m.Get(AI_MATKEY_METALLIC_FACTOR, metallic) == AI_SUCCESS;
  const bool hasAlphaMode = m.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS;
  if (!hasMetallic && !hasAlphaMode) return;
  PbrValues& pbr = mtl.pbr.emplace();
  pbr.metallic = Unit(metallic, 1.0f);
  if (m.Get(AI_MATKEY_ROUGHNESS_FACTOR, roughness) == AI_SUCCESS)
    mtl.glossiness = 1.0f - Unit(roughness, 1.0f);
  float f = 1.0f;
  if (m.Get(AI_MATKEY_EMISSIVE_INTENSITY, f) == AI_SUCCESS && std::isfinite(f) && f >= 0.0f)
    pbr.emissiveStrength = f;
  const std::string mode = alphaMode.C_Str();
  pbr.alphaMode = mode == "MASK"    ? PbrValues::AlphaMode::Mask
                  : mode == "BLEND" ? PbrValues::AlphaMode::Blend
                                    : PbrValues::AlphaMode::Opaque;
  if (m.Get(AI_MATKEY_GLTF_ALPHACUTOFF, f) == AI_SUCCESS && std::isfinite(f) && f >= 0.0f)
    pbr.alphaCutoff = f;
  if (m.Get(AI_MATKEY_GLTF_TEXTURE_SCALE(aiTextureType_NORMALS, 0), f) == AI_SUCCESS && std::isfinite(f))
    pbr.normalScale = f;
  if (m.Get(AI_MATKEY_GLTF_TEXTURE_STRENGTH(aiTextureType_LIGHTMAP, 0), f) == AI_SUCCESS && std::isfinite(f))
    pbr.occlusionStrength = f;
}

}  // namespace

MaterialBuilder::MaterialBuilder(const aiScene& scene, const std::string& sourcePath,
                                 const ImportOptions& options, WarningSink& warnings, ImportCounts& counts)
    : scene_(scene), options_(options), warnings_(warnings), counts_(counts) {
  std::error_code ec;
  fs::path source = fs::absolute(fs::path(sourcePath), ec);
  if (ec) source = fs::path(sourcePath);
  source = source.lexically_normal();
  sourceDir_ = source.parent_path().string();
  sourceStem_ = SafeFileName(source.stem().string());
  if (sourceStem_.empty()) sourceStem_ = "texture";
}

std::shared_ptr<host::Mtl> MaterialBuilder::ForParts(const std::vector<unsigned>& materials) {
  if (materials.empty()) return nullptr;
  if (materials.size() == 1) return Standard(materials.front());
  auto& multi = multi_[materials];
  if (!multi) {
    multi = std::make_shared<MultiMtl>("Multimaterial #" + std::to_string(multi_.size()), 0);
    for (unsigned m : materials) multi->subs.push_back(Standard(m));
  }
  return multi;
}

std::shared_ptr<StandardMtl> MaterialBuilder::Standard(unsigned index) {
  if (!scene_.mMaterials || index >= scene_.mNumMaterials || !scene_.mMaterials[index]) {
    if (!fallback_) {
      fallback_ = std::make_shared<StandardMtl>("Default");
      ++counts_.materials;
      warnings_.Tally("meshes naming a material the file does not hold given a default material", 1);
    }
    return fallback_;
  }
  auto& m = standard_[index];
  if (!m) m = Convert(*scene_.mMaterials[index], index);
  return m;
}

std::shared_ptr<StandardMtl> MaterialBuilder::Convert(const aiMaterial& m, unsigned index) {
  aiString aiName;
  std::string name;
  if (m.Get(AI_MATKEY_NAME, aiName) == AI_SUCCESS) name = aiName.C_Str();
  if (name.empty()) name = "Material #" + std::to_string(index);
  auto mtl = std::make_shared<StandardMtl>(name);
  ++counts_.materials;

  aiColor4D c;
  if (m.Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS || m.Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS) {
    mtl->diffuse = {Unit(c.r, 0.5f), Unit(c.g, 0.5f), Unit(c.b, 0.5f)};
    mtl->opacity = Unit(c.a, 1.0f);
  }
  float opacity = 1.0f;
  if (m.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) mtl->opacity = Unit(opacity, 1.0f);
  int flag = 0;
  if (m.Get(AI_MATKEY_TWOSIDED, flag) == AI_SUCCESS) mtl->twoSided = flag != 0;
  flag = 0;
  if (m.Get(AI_MATKEY_ENABLE_WIREFRAME, flag) == AI_SUCCESS) mtl->wire = flag != 0;
  ReadPbr(m, *mtl);

  uint64_t unheld = 0;
  std::string unheldKinds;
  for (aiTextureType type : kTypeOrder) {
    const unsigned count = m.GetTextureCount(type);
    for (unsigned k = 0; k < count; ++k) {
      aiString path;
      aiTextureMapping mapping = aiTextureMapping_UV;
      unsigned uvIndex = 0;
      ai_real blend = 1;
      aiTextureOp op = aiTextureOp_Multiply;
      aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
      if (m.GetTexture(type, k, &path, &mapping, &uvIndex, &blend, &op, modes) != AI_SUCCESS) continue;
      const std::string raw = path.C_Str();
      const int slot = SlotForTextureType(type);
      const std::string item = std::string(TextureTypeName(type)) + " " + BaseName(raw) + " of " + name;
      if (slot < 0 && mtl->pbr && k == 0 &&
          (type == aiTextureType_UNKNOWN || type == aiTextureType_METALNESS ||
           type == aiTextureType_DIFFUSE_ROUGHNESS))
        continue;  // the metallic-roughness texture, kept beside the slots below
      if (slot < 0) {
        ++unheld;
        const std::string kind(TextureTypeName(type));
        if (unheldKinds.find(kind) == std::string::npos)
          unheldKinds += (unheldKinds.empty() ? "" : ", ") + kind;
        continue;
      }
      const std::string file = ResolveTexture(raw, name);
      if (file.empty()) continue;
      if (host::Texmap* taken = mtl->GetSubTexmap(slot)) {
        if (taken->GetMapFileName() != file)
          warnings_.Tally("textures beyond one per map slot not imported", 1, item);
        continue;
      }
      auto tex = std::make_shared<BitmapTex>(file, BaseName(file));
      ++counts_.textures;
      if (uvIndex >= static_cast<unsigned>(kMaxUvSets)) {
        warnings_.Tally("textures using a texture-coordinate set beyond the eighth moved to the first", 1,
                        item);
        uvIndex = 0;
      }
      tex->uvGen.mapChannel = static_cast<int>(uvIndex) + 1;
      tex->uvGen.tilingFlags = TilingFlags(modes);
      ReadUvTransform(m, type, k, tex->uvGen);
      if (mapping != aiTextureMapping_UV)
        warnings_.Tally("textures with a projection instead of texture coordinates read as UV-mapped", 1,
                        item);
      mtl->SetMap(slot, std::move(tex), true, 1.0f);
    }
  }
  if (mtl->pbr) {
    // The metallic-roughness texture has no Standard slot; it is kept beside them.
    for (aiTextureType type :
         {aiTextureType_UNKNOWN, aiTextureType_METALNESS, aiTextureType_DIFFUSE_ROUGHNESS}) {
      aiString path;
      unsigned uvIndex = 0;
      if (m.GetTextureCount(type) == 0 || m.GetTexture(type, 0, &path, nullptr, &uvIndex) != AI_SUCCESS)
        continue;
      const std::string file = ResolveTexture(path.C_Str(), name);
      if (file.empty()) break;
      auto tex = std::make_shared<BitmapTex>(file, BaseName(file));
      ++counts_.textures;
      tex->uvGen.mapChannel = static_cast<int>(std::min<unsigned>(uvIndex, kMaxUvSets - 1)) + 1;
      ReadUvTransform(m, type, 0, tex->uvGen);
      mtl->pbr->metallicRoughnessMap = std::move(tex);
      break;
    }
  }
  if (unheld)
    warnings_.Tally("textures of kinds the Standard material has no slot for not imported", unheld,
                    name + " (" + unheldKinds + ")");
  return mtl;
}

std::string MaterialBuilder::ResolveTexture(const std::string& raw, const std::string& material) {
  if (raw.empty()) return {};
  if (auto it = resolved_.find(raw); it != resolved_.end()) return it->second;
  std::string& out = resolved_[raw];

  unsigned index = 0;
  if (IsEmbeddedReference(raw, index)) {
    if (scene_.mTextures && index < scene_.mNumTextures && scene_.mTextures[index]) {
      out = EmbeddedFile(index);
    } else {
      warnings_.Add("material \"" + material + "\" names embedded image " + raw +
                    ", which the file does not hold");
    }
    return out;
  }
  // Some formats name their embedded images by file name.
  const std::string base = BaseName(raw);
  for (unsigned i = 0; scene_.mTextures && i < scene_.mNumTextures; ++i) {
    const aiTexture* t = scene_.mTextures[i];
    if (t && t->mFilename.length && BaseName(t->mFilename.C_Str()) == base) return out = EmbeddedFile(i);
  }

  std::string p = raw;
  std::replace(p.begin(), p.end(), '\\', '/');
  if (p.rfind("file://", 0) == 0) p = p.substr(7);
  const fs::path dir(sourceDir_);
  // A path from another machine ("D:/art/wood.jpg") can only mean a file beside the source.
  const bool foreign = p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
  fs::path candidate = foreign ? dir / BaseName(p) : (fs::path(p).is_absolute() ? fs::path(p) : dir / p);
  candidate = candidate.lexically_normal();
  if (IsRegularFile(candidate)) return out = candidate.string();
  if (IsRegularFile(dir / BaseName(p))) return out = (dir / BaseName(p)).lexically_normal().string();
  if (auto found = FindIgnoringCase(dir, BaseName(p))) return out = found->lexically_normal().string();
  warnings_.Add("texture \"" + raw + "\" of material \"" + material + "\" not found (looked for \"" +
                candidate.string() + "\")");
  return out = foreign ? raw : candidate.string();
}

std::string MaterialBuilder::EmbeddedFile(unsigned index) {
  if (auto it = embedded_.find(index); it != embedded_.end()) return it->second;
  const aiTexture& t = *scene_.mTextures[index];
  const std::string ext = ImageExtension(t);
  std::string stem = SafeFileName(fs::path(BaseName(t.mFilename.C_Str())).stem().string());
  if (stem.empty()) stem = sourceStem_ + "_" + std::to_string(index);

  // Names handed out in this import stay distinct even when the file reuses one.
  std::string name = stem + "." + ext;
  for (int n = 1; usedNames_.count(Lower(name)); ++n) name = stem + "_" + std::to_string(n) + "." + ext;
  usedNames_[Lower(name)] = 1;

  if (options_.textureDir.empty()) {
    ++unwrittenEmbedded_;
    return embedded_[index] = name;
  }
  return embedded_[index] = ExtractEmbedded(t, index, name);
}

std::string MaterialBuilder::ExtractEmbedded(const aiTexture& t, unsigned index, const std::string& name) {
  const std::string stem = fs::path(name).stem().string(), ext = fs::path(name).extension().string();
  const std::vector<uint8_t> bytes = ImageBytes(t);
  if (bytes.empty()) {
    warnings_.Add("embedded image " + std::to_string(index) + " holds no usable data; not written");
    return name;
  }
  std::error_code ec;
  // Maps name the files absolutely: a scene document that keeps them may be read from
  // another working folder.
  fs::path dir = fs::absolute(fs::path(options_.textureDir), ec);
  if (ec) dir = fs::path(options_.textureDir);
  dir = dir.lexically_normal();
  fs::create_directories(dir, ec);
  // Never overwrite a different file: an existing file with the same bytes is reused, one
  // with other bytes makes the name take a number.
  fs::path target = dir / name;
  for (int n = 1; n < 10000; ++n) {
    if (!fs::exists(target, ec) || SameContent(target, bytes)) break;
    target = dir / (stem + "_" + std::to_string(n) + ext);
  }
  if (!IsRegularFile(target) || !SameContent(target, bytes)) {
    if (auto r = support::WriteFileAtomic(target.string(), bytes); !r) {
      warnings_.Add("embedded image " + std::to_string(index) + " not written: " + r.error);
      return target.string();
    }
  }
  return target.string();
}

}  // namespace vorlan::workbench::interchange

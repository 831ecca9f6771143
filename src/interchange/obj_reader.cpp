#include "interchange/obj_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <utility>

#include "interchange/vertex_join.h"

namespace vorlan::workbench::interchange {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr std::size_t kChunk = std::size_t(1) << 20;
// Longer lines are no OBJ data this reader takes (and would make it hold a large buffer).
constexpr std::size_t kMaxLine = std::size_t(1) << 16;
constexpr int kMaxDigits = 15;
constexpr int kMaxExponent = 30;

// Powers of ten below one, as doubles: the fraction is digits times one of them.
constexpr double kFraction[kMaxDigits + 1] = {1.0,  1e-1, 1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                              1e-8, 1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The file a line at a time, without ever holding more than a piece of it.
class LineReader {
 public:
  explicit LineReader(std::FILE* file) : file_(file), buffer_(kChunk) {}

  // False at the end of the file or on a read error or an overlong line (see Failed). The
  // line comes without its "\n" or "\r\n".
  bool Next(std::string_view& line) {
    for (;;) {
      const char* begin = buffer_.data() + begin_;
      const std::size_t held = end_ - begin_;
      if (const void* nl = std::memchr(begin, '\n', held)) {
        const auto length = static_cast<std::size_t>(static_cast<const char*>(nl) - begin);
        begin_ += length + 1;
        return Take(begin, length, line);
      }
      if (held > kMaxLine) return overlong_ = true, false;
      if (eof_) {
        if (held == 0) return false;
        begin_ = end_;
        return Take(begin, held, line);
      }
      std::memmove(buffer_.data(), begin, held);
      begin_ = 0;
      end_ = held;
      const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
      end_ += got;
      if (got == 0) {
        eof_ = true;
        error_ = std::ferror(file_) != 0;
        if (error_) return false;
      }
    }
  }

  bool Failed() const { return error_ || overlong_; }

 private:
  static bool Take(const char* begin, std::size_t length, std::string_view& line) {
    if (length && begin[length - 1] == '\r') --length;
    line = {begin, length};
    return true;
  }

  std::FILE* file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  bool eof_ = false, error_ = false, overlong_ = false;
};

// Splits a statement's arguments at single or repeated spaces.
class Tokens {
 public:
  explicit Tokens(std::string_view rest) : rest_(rest) {}
  bool Next(std::string_view& token) {
    while (!rest_.empty() && rest_.front() == ' ') rest_.remove_prefix(1);
    if (rest_.empty()) return false;
    const std::size_t end = std::min(rest_.find(' '), rest_.size());
    token = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return true;
  }

 private:
  std::string_view rest_;
};

}  // namespace

bool ParseObjNumbers(std::string_view rest, float* out, int max, int& count) {
  Tokens tokens(rest);
  std::string_view t;
  count = 0;
  while (tokens.Next(t)) {
    if (count == max || !ParseObjFloat(t, out[count])) return false;
    ++count;
  }
  return true;
}

namespace {

// An OBJ index: 1 is the first value read so far, -1 the last one.
bool ParseIndex(std::string_view text, std::size_t count, uint32_t& out) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') negative = true, text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value == 0 || value > count) return false;
  out = static_cast<uint32_t>(negative ? count - value : value - 1);
  return true;
}

std::string SingleName(std::string_view rest) {
  Tokens tokens(rest);
  std::string_view name, more;
  if (!tokens.Next(name) || tokens.Next(more)) return {};
  return std::string(name);
}

}  // namespace

bool ParseObjFloat(std::string_view text, float& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint64_t whole = 0, fraction = 0;
  int wholeDigits = 0, fractionDigits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++wholeDigits)
    whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
  if (wholeDigits == 0 || wholeDigits > kMaxDigits) return false;
  if (i < text.size() && text[i] == '.') {
    // Assimp's reader takes the first 15 digits of a fraction and passes over the others.
    for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      if (fractionDigits == kMaxDigits) continue;
      fraction = fraction * 10 + static_cast<uint64_t>(text[i] - '0');
      ++fractionDigits;
    }
  }
  int exponent = 0;
  bool hasExponent = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    hasExponent = true;
    bool negativeExponent = false;
    if (++i < text.size() && (text[i] == '-' || text[i] == '+')) negativeExponent = text[i++] == '-';
    int digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
      if (digits == 2) return false;  // before the value can overflow
      exponent = exponent * 10 + (text[i] - '0');
    }
    if (digits == 0 || exponent > kMaxExponent) return false;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return false;
  float value = static_cast<float>(whole);
  if (fractionDigits) value += static_cast<float>(static_cast<double>(fraction) * kFraction[fractionDigits]);
  if (hasExponent) value *= static_cast<float>(std::pow(10.0, exponent));
  out = negative ? -value : value;
  return true;
}

// Follows the file statement by statement, as Assimp's reader shapes the scene.
class ObjParser {
 public:
  ObjParser(ObjScene& out, std::string folder) : out_(out), folder_(std::move(folder)) {}

  bool Line(std::string_view line) {
    if (line.empty() || line.front() == '#') return true;
    // Tabs, stray carriage returns and NULs: Assimp's reader has its own ideas about them.
    for (char c : line)
      if (c == '\t' || c == '\r' || c == '\0' || c == '\\') return Give("unusual characters in a line");
    const std::size_t space = line.find(' ');
    const std::string_view keyword = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space);
    for (const Statement& s : kStatements)
      if (keyword == s.keyword) {
        if ((this->*s.read)(rest)) return true;
        why_ += " in \"" + std::string(line.substr(0, 60)) + "\"";
        return false;
      }
    return Give("the statement \"" + std::string(keyword.substr(0, 16)) + "\"");
  }

  bool Finish(const std::string& fileName);

  const std::string& Why() const { return why_; }

 private:
  // Assimp's reader keeps a current object, which new meshes join, and a current mesh, which
  // faces join; "o" with an earlier object's name changes only the first. A mesh's `part`
  // numbers it once it has faces; Finish puts the parts in Assimp's order (by object).
  struct Mesh {
    std::string name;
    unsigned material = 0;
    int part = -1;
  };
  struct Object {
    std::string name;
    std::vector<std::size_t> meshes;
  };
  struct Statement {
    std::string_view keyword;
    bool (ObjParser::*read)(std::string_view);
  };
  static const Statement kStatements[9];

  bool Give(std::string why) {
    why_ = std::move(why);
    return false;
  }

  // Exactly three numbers: a fourth (weight) or six (vertex colours) go to Assimp.
  bool Vector(std::string_view rest, std::vector<std::array<float, 3>>& to) {
    std::array<float, 3> v{};
    int count = 0;
    if (!ParseObjNumbers(rest, v.data(), 3, count) || count < 3) return Give("a vector of an unusual form");
    to.push_back(v);
    return true;
  }
  bool Position(std::string_view rest) { return Vector(rest, out_.positions_); }
  bool TexCoord(std::string_view rest) {
    std::array<float, 3> v{};
    int count = 0;
    if (!ParseObjNumbers(rest, v.data(), 3, count) || count < 2)
      return Give("a texture vertex of an unusual form");
    out_.texcoords_.push_back(v);
    uvw_ = uvw_ || count == 3;
    return true;
  }
  bool Normal(std::string_view rest) { return Vector(rest, out_.normals_); }

  bool Face(std::string_view rest) {
    Tokens tokens(rest);
    std::string_view corner;
    std::array<std::array<uint32_t, 3>, 4> corners{};
    int n = 0;
    while (tokens.Next(corner)) {
      if (n == 4) return Give("polygons of more than four corners");
      if (!Corner(corner, corners[static_cast<std::size_t>(n)]))
        return Give("a face corner of an unusual form");
      ++n;
    }
    if (n < 3) return Give("points or lines");
    // Assimp's reader pairs a face's texture vertices and normals with its corners in order,
    // so a face whose corners differ in what they give shifts them onto the wrong corners.
    for (int k = 0; k < n; ++k) {
      const auto& c = corners[static_cast<std::size_t>(k)];
      if ((c[1] == kNone) != (corners[0][1] == kNone) || (c[2] == kNone) != (corners[0][2] == kNone))
        return Give("a face whose corners differ in form");
    }
    // Assimp splits a quad at the corner it finds concave; a clearly convex, flat one it
    // splits from its first corner, and those are all this reader takes.
    if (n == 4 && !ClearlyConvex(corners)) return Give("a quad that is not clearly convex and flat");
    if (object_ < 0) NewObject("defaultobject");
    Mesh& mesh = CurrentMesh();
    if (mesh.part < 0) {
      mesh.part = static_cast<int>(out_.parts_.size());
      out_.parts_.emplace_back();
      part_ = {};
      joiner_.emplace(part_.corners);
    }
    // The corners are numbered in the polygon's order, as Assimp numbers its vertices.
    std::array<uint32_t, 4> id{};
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
      const auto& c = corners[k];
      id[k] = joiner_->Add(c);
      part_.uv = part_.uv || c[1] != kNone;
      part_.normals = part_.normals || c[2] != kNone;
    }
    part_.triangles.insert(part_.triangles.end(), {id[0], id[1], id[2]});
    if (n == 4) part_.triangles.insert(part_.triangles.end(), {id[0], id[2], id[3]});
    return true;
  }

  // Every corner turns the same way by a clear margin, seen along the quad's normal and in
  // the coordinate plane most across it, and the quad is close to flat: then no projection
  // Assimp may choose can make a corner look concave.
  bool ClearlyConvex(const std::array<std::array<uint32_t, 3>, 4>& corners) const {
    using V = std::array<double, 3>;
    V p[4];
    for (std::size_t k = 0; k < 4; ++k)
      for (std::size_t a = 0; a < 3; ++a) p[k][a] = out_.positions_[corners[k][0]][a];
    auto sub = [](const V& a, const V& b) { return V{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
    auto cross = [](const V& a, const V& b) {
      return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    auto dot = [](const V& a, const V& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto length = [&](const V& a) { return std::sqrt(dot(a, a)); };
    const V normal = cross(sub(p[2], p[0]), sub(p[3], p[1]));
    const double nl = length(normal);
    if (!(nl > 0) || !std::isfinite(nl)) return false;
    std::size_t axis = 0;
    for (std::size_t a = 1; a < 3; ++a)
      if (std::abs(normal[a]) > std::abs(normal[axis])) axis = a;
    const std::size_t u = (axis + 1) % 3, w = (axis + 2) % 3;
    constexpr double kMargin = 1e-3, kFlatness = 0.1;
    double longest = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const V e1 = sub(p[k], p[(k + 3) % 4]), e2 = sub(p[(k + 1) % 4], p[k]);
      const double scale = length(e1) * length(e2);
      longest = std::max(longest, length(e1));
      if (!(dot(cross(e1, e2), normal) > kMargin * scale * nl)) return false;
      const double planar = e1[u] * e2[w] - e1[w] * e2[u];
      if (!(planar * (normal[axis] > 0 ? 1 : -1) > kMargin * scale)) return false;
    }
    // The fourth corner's distance from the plane of the first three.
    const V n012 = cross(sub(p[1], p[0]), sub(p[2], p[0]));
    const double l012 = length(n012);
    return l012 > 0 && std::abs(dot(sub(p[3], p[0]), n012)) / l012 <= kFlatness * longest;
  }

  // "v", "v/t", "v//n" or "v/t/n".
  bool Corner(std::string_view text, std::array<uint32_t, 3>& out) {
    out = {kNone, kNone, kNone};
    const std::size_t s1 = text.find('/');
    if (!ParseIndex(text.substr(0, s1), out_.positions_.size(), out[0])) return false;
    if (s1 == std::string_view::npos) return true;
    text.remove_prefix(s1 + 1);
    const std::size_t s2 = text.find('/');
    const std::string_view t = text.substr(0, s2);
    if (!t.empty() && !ParseIndex(t, out_.texcoords_.size(), out[1])) return false;
    if (s2 == std::string_view::npos) return !t.empty();
    return ParseIndex(text.substr(s2 + 1), out_.normals_.size(), out[2]);
  }

  // "o" with an earlier object's name makes that object current again, but not its mesh.
  bool ObjectStatement(std::string_view rest) {
    const std::string name = SingleName(rest);
    if (name.empty()) return Give("an object name of an unusual form");
    const auto it = names_.find(name);
    if (it == names_.end()) {
      NewObject(name);
    } else {
      // Which of several objects of one name Assimp picks is its own business.
      if (it->second < 0) return Give("an object name several objects have");
      object_ = it->second;
    }
    return true;
  }
  // "g" with the name of the last group continues the current object (whatever "o" did since);
  // any other name starts a new one.
  bool GroupStatement(std::string_view rest) {
    std::string name = SingleName(rest);
    if (name.empty()) return Give("a group name of an unusual form");
    if (group_ && *group_ == name) return true;
    NewObject(name);
    group_ = std::move(name);
    return true;
  }

  void NewObject(const std::string& name) {
    objects_.push_back({name, {}});
    object_ = static_cast<int>(objects_.size() - 1);
    auto [it, fresh] = names_.try_emplace(name, object_);
    if (!fresh) it->second = -1;
    NewMesh(name);
  }

  // A new current mesh in the current object, of the current material.
  void NewMesh(const std::string& name) {
    Close();
    objects_[static_cast<std::size_t>(object_)].meshes.push_back(meshes_.size());
    meshes_.push_back({name, material_, -1});
  }

  Mesh& CurrentMesh() { return meshes_.back(); }

  // The current mesh's faces go into their part.
  void Close() {
    if (meshes_.empty()) return;
    const Mesh& mesh = CurrentMesh();
    if (mesh.part < 0) return;
    joiner_.reset();
    out_.parts_[static_cast<std::size_t>(mesh.part)] = std::move(part_);
    part_ = {};
  }

  // Another material than the current one starts a new mesh named after it in the current
  // object once that mesh has faces; before, it only changes the mesh's material.
  bool UseMaterial(std::string_view rest) {
    const std::string name = SingleName(rest);
    if (name.empty()) return Give("a material name of an unusual form");
    // Assimp's reader complains without an object.
    if (object_ < 0) return Give("a material before any object");
    const auto it = std::find(materialNames_.begin(), materialNames_.end(), name);
    if (it == materialNames_.end()) return Give("a material the library does not hold");
    const unsigned material = static_cast<unsigned>(it - materialNames_.begin()) + 1;
    if (material == material_) return true;
    material_ = material;
    if (CurrentMesh().part < 0)
      CurrentMesh().material = material;
    else
      NewMesh(name);
    return true;
  }

  bool Library(std::string_view rest) {
    const std::string name = SingleName(rest);
    if (name.empty() || libraryRead_) return Give("a material library statement of an unusual form");
    libraryRead_ = true;
    const std::string path = (fs::path(folder_) / name).string();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return Give("a missing material library");
    if (!ReadObjMaterials(path, materials_, materialNames_, why_)) return false;
    if (materialNames_.empty()) return Give("an empty material library");
    // Assimp's reader goes on with the library's last material as the current one, and gives
    // it to the current object too, faces or not.
    material_ = static_cast<unsigned>(materialNames_.size());
    if (!meshes_.empty()) CurrentMesh().material = material_;
    return true;
  }

  bool Smoothing(std::string_view) { return true; }

  ObjScene& out_;
  std::string folder_;
  std::string why_;
  std::vector<Object> objects_;
  std::vector<Mesh> meshes_;
  std::unordered_map<std::string, int> names_;  // the object of each name, -1 for several
  std::optional<std::string> group_;
  int object_ = -1;
  unsigned material_ = 0;
  ObjScene::Part part_;
  std::optional<IdenticalJoiner<std::array<uint32_t, 3>>> joiner_;
  bool uvw_ = false;  // a texture vertex with three numbers anywhere in the file
  bool libraryRead_ = false;
  std::vector<aiMaterial*> materials_;
  std::vector<std::string> materialNames_;

 public:
  ~ObjParser() {
    for (aiMaterial* m : materials_) delete m;
  }
};

const ObjParser::Statement ObjParser::kStatements[] = {
    {"v", &ObjParser::Position},         {"vt", &ObjParser::TexCoord},
    {"vn", &ObjParser::Normal},          {"f", &ObjParser::Face},
    {"o", &ObjParser::ObjectStatement},  {"g", &ObjParser::GroupStatement},
    {"usemtl", &ObjParser::UseMaterial}, {"mtllib", &ObjParser::Library},
    {"s", &ObjParser::Smoothing},
};

bool ObjParser::Finish(const std::string& fileName) {
  Close();
  if (out_.parts_.empty()) return Give("no faces");
  auto scene = std::make_unique<aiScene>();
  scene->mNumMaterials = static_cast<unsigned>(materials_.size() + 1);
  scene->mMaterials = new aiMaterial*[scene->mNumMaterials]();
  scene->mMaterials[0] = ObjDefaultMaterial();
  for (std::size_t i = 0; i < materials_.size(); ++i) scene->mMaterials[i + 1] = materials_[i];
  materials_.clear();

  scene->mNumMeshes = static_cast<unsigned>(out_.parts_.size());
  scene->mMeshes = new aiMesh*[scene->mNumMeshes]();
  auto* root = new aiNode(fileName);
  scene->mRootNode = root;
  root->mNumChildren = static_cast<unsigned>(objects_.size());
  root->mChildren = new aiNode*[root->mNumChildren]();
  // Assimp lists the meshes with faces object by object.
  std::vector<ObjScene::Part> parts(out_.parts_.size());
  unsigned next = 0;
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    const Object& o = objects_[i];
    auto* node = new aiNode(o.name);
    node->mParent = root;
    root->mChildren[i] = node;
    std::vector<unsigned> indices;
    for (std::size_t k : o.meshes) {
      const Mesh& m = meshes_[k];
      if (m.part < 0) continue;
      auto* mesh = new aiMesh();
      mesh->mName = aiString(m.name);
      mesh->mMaterialIndex = m.material;
      mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
      scene->mMeshes[next] = mesh;
      parts[next] = std::move(out_.parts_[static_cast<std::size_t>(m.part)]);
      indices.push_back(next++);
    }
    if (indices.empty()) continue;
    node->mNumMeshes = static_cast<unsigned>(indices.size());
    node->mMeshes = new unsigned[indices.size()];
    std::copy(indices.begin(), indices.end(), node->mMeshes);
  }
  out_.parts_ = std::move(parts);
  // One texture vertex with three numbers makes Assimp's reader give every mesh three, and
  // its scene check takes them back, saying so, from meshes whose third numbers are all 0.
  for (ObjScene::Part& p : out_.parts_) {
    if (!p.uv || !uvw_) continue;
    p.uvw = std::any_of(p.corners.begin(), p.corners.end(),
                        [&](const auto& c) { return c[1] != kNone && out_.texcoords_[c[1]][2] != 0.0f; });
    if (!p.uvw && out_.messages_.empty())
      out_.messages_.push_back(
          "ScenePreprocessor: UVs are declared to be 3D but they're obviously not. Reverting to 2D.");
  }
  out_.scene_ = std::move(scene);
  return true;
}

ObjScene::ObjScene() = default;

ObjScene::~ObjScene() = default;

void ObjScene::Fill(unsigned index) {
  static_assert(sizeof(unsigned) == sizeof(uint32_t));
  Part& p = parts_[index];
  aiMesh& m = *scene_->mMeshes[index];
  const auto n = static_cast<unsigned>(p.corners.size());
  m.mNumVertices = n;
  m.mVertices = new aiVector3D[n];
  if (p.normals) m.mNormals = new aiVector3D[n];
  if (p.uv) {
    m.mTextureCoords[0] = new aiVector3D[n];
    m.mNumUVComponents[0] = p.uvw ? 3 : 2;
  }
  auto vec = [](const std::array<float, 3>& a) { return aiVector3D(a[0], a[1], a[2]); };
  for (unsigned i = 0; i < n; ++i) {
    const auto& c = p.corners[i];
    m.mVertices[i] = vec(positions_[c[0]]);
    if (m.mNormals) m.mNormals[i] = c[2] == kNone ? aiVector3D() : vec(normals_[c[2]]);
    if (m.mTextureCoords[0]) m.mTextureCoords[0][i] = c[1] == kNone ? aiVector3D() : vec(texcoords_[c[1]]);
  }
  // The faces point into the part's own triangle list instead of three allocations each.
  const auto faces = static_cast<unsigned>(p.triangles.size() / 3);
  m.mFaces = new aiFace[faces];
  m.mNumFaces = faces;
  for (unsigned f = 0; f < faces; ++f) {
    m.mFaces[f].mNumIndices = 3;
    m.mFaces[f].mIndices = p.triangles.data() + std::size_t(f) * 3;
  }
}

void ObjScene::Release(unsigned index) {
  aiMesh& m = *scene_->mMeshes[index];
  for (unsigned f = 0; m.mFaces && f < m.mNumFaces; ++f) {
    m.mFaces[f].mIndices = nullptr;
    m.mFaces[f].mNumIndices = 0;
  }
  delete[] m.mFaces;
  delete[] m.mVertices;
  delete[] m.mNormals;
  delete[] m.mTextureCoords[0];
  m.mFaces = nullptr;
  m.mVertices = m.mNormals = m.mTextureCoords[0] = nullptr;
  m.mNumFaces = m.mNumVertices = 0;
  parts_[index] = Part{};
}

BuiltMesh ObjScene::Build(std::span<const unsigned> parts, float scale, WarningSink& warnings) {
  // Released however the build ends: the aiMesh must never delete the part's triangles.
  struct Filled {
    ObjScene& obj;
    std::vector<unsigned> done;
    ~Filled() {
      for (unsigned i : done) obj.Release(i);
    }
  } filled{*this, {}};
  for (unsigned i : parts) {
    if (i >= parts_.size() || std::find(filled.done.begin(), filled.done.end(), i) != filled.done.end())
      continue;
    filled.done.push_back(i);
    Fill(i);
  }
  return BuildMesh(*scene_, parts, scale, warnings);
}

bool ReadObjLines(std::FILE* file, const std::function<bool(std::string_view)>& take) {
  LineReader lines(file);
  std::string_view line;
  while (lines.Next(line))
    if (!take(line)) return false;
  return !lines.Failed();
}

std::unique_ptr<ObjScene> ReadObjScene(const std::string& path, std::string& why) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    why = "cannot open the file";
    return nullptr;
  }
  auto out = std::make_unique<ObjScene>();
  ObjParser parser(*out, fs::path(path).parent_path().string());
  const bool ok = ReadObjLines(file, [&](std::string_view line) { return parser.Line(line); });
  std::fclose(file);
  if (!ok) {
    why = parser.Why().empty() ? "a read error or an overlong line" : parser.Why();
    return nullptr;
  }
  if (!parser.Finish(fs::path(path).filename().string())) {
    why = parser.Why();
    return nullptr;
  }
  return out;
}

}  // namespace vorlan::workbench::interchange

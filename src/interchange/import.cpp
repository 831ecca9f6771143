#include "interchange/import.h"

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <unordered_set>

#include "interchange/convert.h"
#include "interchange/glb.h"
#include "interchange/import_animation.h"
#include "interchange/import_characters.h"
#include "interchange/import_parts.h"
#include "interchange/obj_reader.h"
#include "support/file_io.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench {

namespace fs = std::filesystem;
using host::Matrix3;
using namespace interchange;

namespace {

// Assimp's own warnings reach the artist too, but only this many different ones.
constexpr std::size_t kMaxAssimpWarnings = 10;
// glTF files are read a second time for what Assimp drops without a word; larger ones are not.
constexpr std::size_t kMaxProbeBytes = std::size_t(1) << 30;
// Names listed with a tallied warning.
constexpr std::size_t kMaxListed = 8;

std::string LowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  if (!ext.empty()) ext.erase(0, 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

class CaptureStream : public Assimp::LogStream {
 public:
  void write(const char* message) override {
    std::string line = message ? message : "";
    // "Warn,  T0: text\n" -> "text"
    if (std::size_t colon = line.find(": "); colon != std::string::npos && colon < 16)
      line.erase(0, colon + 2);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';
    if (!line.empty() && seen_.insert(line).second) lines_.push_back(line);
  }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  std::set<std::string> seen_;
};

class LoggerScope {
 public:
  explicit LoggerScope(CaptureStream& stream) : lock_(AssimpLoggerMutex()), stream_(stream) {
    Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
    Assimp::DefaultLogger::get()->attachStream(&stream_, Assimp::Logger::Warn | Assimp::Logger::Err);
  }
  ~LoggerScope() {
    // Detached first: the logger deletes the streams it still holds.
    Assimp::DefaultLogger::get()->detachStream(&stream_, Assimp::Logger::Warn | Assimp::Logger::Err);
    Assimp::DefaultLogger::kill();
  }
  LoggerScope(const LoggerScope&) = delete;
  LoggerScope& operator=(const LoggerScope&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
  CaptureStream& stream_;
};

std::string NameOr(const aiString& s, const std::string& fallback) {
  return s.length ? std::string(s.C_Str()) : fallback;
}

// Builds the workbench's nodes from one Assimp scene.
class Converter {
 public:
  Converter(const aiScene& ai, Scene& scene, const std::string& path, const ImportOptions& options,
            ImportResult& result, MeshSource* meshes)
      : ai_(ai),
        meshSource_(meshes),
        scene_(scene),
        path_(path),
        options_(options),
        result_(result),
        frame_(options.scale, options.upAxis),
        materials_(ai, path, options, warnings_, result.counts) {
    const std::string ext = LowerExtension(path);
    fbx_ = ext == "fbx";
    gltf_ = ext == "gltf" || ext == "glb";
  }

  // Precondition: ai_.mRootNode is not null.
  void Run() {
    const std::vector<SceneNode*> before = scene_.Root().Children();
    IndexObjects();
    Traverse();
    // Keys are made relative to each node's parent as it stands: this comes after anything
    // that moves nodes to other parents.
    BuildCharacters(ai_, characters_, scene_, frame_, warnings_);
    BuildAnimations(ai_, animated_, path_, gltf_, frame_.Scale(), scene_, warnings_);
    // Characters move nodes under a skeleton and add targets: what this import added at the
    // top is what an undo removes.
    topLevel_.clear();
    for (SceneNode* n : scene_.Root().Children())
      if (std::find(before.begin(), before.end(), n) == before.end()) topLevel_.push_back(n);
    ReportScene();
    result_.warnings = warnings_.Lines();
  }

  // Top-level nodes made so far, for undoing a failed import.
  const std::vector<SceneNode*>& TopLevel() const { return topLevel_; }

 private:
  struct Task {
    const aiNode* node;
    SceneNode* parent;
    Matrix3 parentWorld;
    int depth;
  };
  struct MeshEntry {
    bool built = false;
    std::shared_ptr<MeshObject> object;
    std::shared_ptr<host::Mtl> mtl;
  };

  void IndexObjects() {
    for (unsigned i = 0; ai_.mCameras && i < ai_.mNumCameras; ++i)
      if (ai_.mCameras[i]) cameras_[ai_.mCameras[i]->mName.C_Str()].push_back(i);
    for (unsigned i = 0; ai_.mLights && i < ai_.mNumLights; ++i)
      if (ai_.mLights[i]) lights_[ai_.mLights[i]->mName.C_Str()].push_back(i);
    usable_.assign(ai_.mMeshes ? ai_.mNumMeshes : 0, false);
    for (unsigned i = 0; i < usable_.size(); ++i)
      usable_[i] = ai_.mMeshes[i] && !IsGeneratedSkeletonMesh(ai_, *ai_.mMeshes[i]);
  }

  bool NamesObject(const std::string& name) const {
    auto c = cameras_.find(name);
    auto l = lights_.find(name);
    return (c != cameras_.end() && !c->second.empty()) || (l != lights_.end() && !l->second.empty());
  }

  void Traverse() {
    const aiNode* root = ai_.mRootNode;
    std::vector<Task> stack;
    // Assimp's root is a node of its own making in most formats (a holder, or the turn that
    // made a Z-up file Y-up), and in glTF when the file has several root nodes ("ROOT");
    // without content of its own it is folded into its children's world transforms. A
    // glTF file's single root is one of its own nodes and stays.
    const bool synthetic = !gltf_ || std::string_view(root->mName.C_Str()) == "ROOT";
    const bool keepRoot = !synthetic || (root->mNumMeshes > 0 && root->mMeshes) ||
                          NamesObject(root->mName.C_Str()) || !UserPropsText(root->mMetaData, fbx_).empty();
    if (keepRoot) {
      stack.push_back({root, nullptr, Matrix3(), 0});
    } else {
      visited_.insert(root);
      PushChildren(stack, root, nullptr, FromAssimp(root->mTransformation), 0);
    }
    while (!stack.empty()) {
      Task t = stack.back();
      stack.pop_back();
      if (!t.node || !visited_.insert(t.node).second) continue;
      const Matrix3 world = FromAssimp(t.node->mTransformation) * t.parentWorld;
      SceneNode& node = MakeNode(*t.node, t.parent, world);
      if (t.depth + 1 < kMaxNodeDepth) {
        PushChildren(stack, t.node, &node, world, t.depth + 1);
      } else {
        // Transforms are world transforms, so hanging a too-deep subtree higher up loses
        // only the nesting.
        if (t.node->mNumChildren)
          warnings_.Tally("nodes nested too deep attached higher up", t.node->mNumChildren);
        PushChildren(stack, t.node, t.parent, world, t.depth);
      }
    }
  }

  static void PushChildren(std::vector<Task>& stack, const aiNode* n, SceneNode* parent, const Matrix3& world,
                           int depth) {
    if (!n->mChildren) return;
    for (unsigned i = n->mNumChildren; i-- > 0;) stack.push_back({n->mChildren[i], parent, world, depth});
  }

  SceneNode& NewNode(const std::string& name, SceneNode* parent) {
    SceneNode& n = scene_.CreateNode(name, parent);
    if (!parent) topLevel_.push_back(&n);
    ++result_.counts.nodes;
    return n;
  }

  SceneNode& MakeNode(const aiNode& an, SceneNode* parent, const Matrix3& world) {
    const std::string name = NameOr(an.mName, "Node " + std::to_string(result_.counts.nodes + 1));
    SceneNode& node = NewNode(name, parent);
    node.SetTransform(frame_.ToHost(world));
    animated_[&an] = {&node, Matrix3()};
    node.SetUserProps(UserPropsText(an.mMetaData, fbx_));

    bool taken = false;
    // The node holds its first object; further ones get child nodes of their own.
    auto holder = [&](const char* suffix) -> SceneNode& {
      if (!taken) return taken = true, node;
      return NewNode(name + " " + suffix, &node);
    };

    std::vector<unsigned> parts;
    for (unsigned k = 0; an.mMeshes && k < an.mNumMeshes; ++k) {
      const unsigned idx = an.mMeshes[k];
      if (idx < usable_.size() && usable_[idx]) {
        parts.push_back(idx);
      } else if (idx >= usable_.size() || !ai_.mMeshes[idx]) {
        warnings_.Tally("mesh references to meshes the file does not hold ignored", 1, name);
      }
    }
    if (!parts.empty()) {
      MeshEntry& e = Mesh(parts);
      if (e.object) {
        SceneNode& n = holder("mesh");
        n.SetObject(e.object);
        n.SetMtl(e.mtl);
        if (HasCharacterData(ai_, parts)) characters_.push_back({&n, parts});
      }
    }
    if (auto i = Take(cameras_, name)) {
      PlacedCamera c = BuildCamera(*ai_.mCameras[*i], gltf_, warnings_);
      SceneNode& n = holder("camera");
      n.SetTransform(frame_.ToHost(c.local * world));
      if (&n == &node) animated_[&an].pre = c.local;
      n.SetObject(c.object);
      ++result_.counts.cameras;
    }
    if (auto i = Take(lights_, name)) {
      PlacedLight l = BuildLight(*ai_.mLights[*i], gltf_, warnings_);
      SceneNode& n = holder("light");
      n.SetTransform(frame_.ToHost(l.local * world));
      if (&n == &node) animated_[&an].pre = l.local;
      n.SetObject(l.object);
      ++result_.counts.lights;
    }
    if (!taken) {
      // A node with nothing of its own (a group, a bone, an attachment point) is a dummy,
      // so that the exporters keep its place in the hierarchy.
      const float h = 0.5f * frame_.Scale();
      node.SetObject(HelperObject::Dummy(host::Box3{{-h, -h, -h}, {h, h, h}}));
    }
    return node;
  }

  static std::optional<unsigned> Take(std::map<std::string, std::vector<unsigned>>& byName,
                                      const std::string& name) {
    auto it = byName.find(name);
    if (it == byName.end() || it->second.empty()) return std::nullopt;
    unsigned i = it->second.front();
    it->second.erase(it->second.begin());
    return i;
  }

  MeshEntry& Mesh(const std::vector<unsigned>& parts) {
    MeshEntry& e = meshes_[parts];
    if (e.built) return e;
    e.built = true;
    BuiltMesh built = meshSource_ ? meshSource_->Build(parts, frame_.Scale(), warnings_)
                                  : BuildMesh(ai_, parts, frame_.Scale(), warnings_);
    for (unsigned idx : parts) used_.insert(idx);
    // A mesh without triangles is no mesh to the exporters (they would drop the node and
    // its children); such a node stays a dummy.
    if (built.mesh.faces.empty()) return e;
    ++result_.counts.meshes;
    result_.counts.triangles += built.mesh.faces.size();
    e.object = std::make_shared<MeshObject>(std::move(built.mesh));
    e.object->tangents = std::move(built.tangents);
    e.object->tangentFaces = std::move(built.tangentFaces);
    e.mtl = materials_.ForParts(built.materials);
    return e;
  }

  void ReportScene() {
    for (auto& [name, left] : cameras_)
      if (!left.empty())
        warnings_.Tally("cameras without a node of their name not imported", left.size(), name);
    for (auto& [name, left] : lights_)
      if (!left.empty())
        warnings_.Tally("lights without a node of their name not imported", left.size(), name);

    for (unsigned i = 0; i < usable_.size(); ++i) {
      if (!usable_[i]) continue;
      const aiMesh& m = *ai_.mMeshes[i];
      const std::string name = NameOr(m.mName, "(unnamed)");
      if (!used_.count(i)) {
        warnings_.Tally("meshes that no node uses not imported", 1, name);
        continue;
      }
    }

    if (materials_.UnwrittenEmbedded())
      warnings_.Add(
          std::to_string(materials_.UnwrittenEmbedded()) +
          " embedded images not written (no texture folder given): their maps name files that do not exist");

    if (gltf_) ProbeGltf();
    if (fbx_ && options_.upAxis == ImportOptions::Y && ai_.mMetaData) {
      int32_t up = 1;
      if (ai_.mMetaData->Get("UpAxis", up) && up == 2)
        warnings_.Add(
            "the file says its up axis is Z but was read as Y-up; import it with up axis z to keep its axes");
    }
  }

  // Assimp keeps eight texture-coordinate sets and drops the others silently; glTF says in
  // its JSON how many there were.
  void ProbeGltf() {
    std::vector<uint8_t> bytes;
    if (!support::ReadWholeFile(path_, bytes, kMaxProbeBytes)) return;
    for (const GltfUvSets& m : GltfMeshesOverUvLimit(bytes, kMaxUvSets))
      warnings_.Tally("meshes with more than 8 texture-coordinate sets keep the first 8", 1,
                      m.mesh + " (" + std::to_string(m.sets) + " sets)");
  }

  const aiScene& ai_;
  MeshSource* meshSource_;
  Scene& scene_;
  std::string path_;
  ImportOptions options_;
  ImportResult& result_;
  Frame frame_;
  WarningSink warnings_;
  MaterialBuilder materials_;
  bool fbx_ = false, gltf_ = false;
  std::map<std::string, std::vector<unsigned>> cameras_, lights_;
  std::vector<bool> usable_;
  std::set<unsigned> used_;
  std::map<std::vector<unsigned>, MeshEntry> meshes_;
  std::unordered_set<const aiNode*> visited_;
  std::vector<SceneNode*> topLevel_;
  AnimationTargets animated_;
  std::vector<CharacterMesh> characters_;
};

ImportResult Fail(const std::string& path, const std::string& why) {
  ImportResult r;
  r.error = "\"" + path + "\": " + why;
  return r;
}

ImportResult Import(const std::string& path, Scene& scene, const ImportOptions& options, bool ownReaders) {
  if (!UsableScale(options.scale)) return Fail(path, "the scale must be a number above zero");
  std::error_code ec;
  if (!fs::exists(path, ec)) return Fail(path, "no such file");
  if (!fs::is_regular_file(path, ec)) return Fail(path, "not a regular file");

  if (ownReaders && LowerExtension(path) == "obj") {
    std::string why;
    if (std::unique_ptr<ObjScene> obj = ReadObjScene(path, why)) {
      ImportResult result = interchange::ConvertAssimpScene(obj->Scene(), path, scene, options, obj.get());
      for (const std::string& line : obj->Messages()) result.warnings.push_back("Assimp: " + line);
      result.ok = true;
      return result;
    }
    // Read by Assimp instead; the artist gets the same scene either way.
    if (std::getenv("VORLAN_DEBUG_IMPORT")) std::fprintf(stderr, "obj: read by Assimp: %s\n", why.c_str());
  }

  Assimp::Importer importer;
  // Pivots become one transform per node instead of a chain of helper nodes.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  CaptureStream assimpLog;
  const aiScene* ai = nullptr;
  {
    LoggerScope scope(assimpLog);
    ai = importer.ReadFile(path, aiProcess_Triangulate);
  }
  if (!ai) {
    std::string why = importer.GetErrorString();
    if (why.empty()) why = "unknown reason";
    return Fail(path, "Assimp cannot read it: " + why);
  }
  if (!ai->mRootNode) return Fail(path, "Assimp read no scene from it");

  ImportResult result = interchange::ConvertAssimpScene(*ai, path, scene, options);
  std::size_t shown = 0;
  for (const std::string& line : assimpLog.Lines()) {
    if (shown++ == kMaxAssimpWarnings) {
      result.warnings.push_back("Assimp: " + std::to_string(assimpLog.Lines().size() - kMaxAssimpWarnings) +
                                " more messages");
      break;
    }
    result.warnings.push_back("Assimp: " + line);
  }
  result.ok = true;
  return result;
}

std::string LogTime() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string ScaleText(float scale) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, scale);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
}

std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

}  // namespace

namespace interchange {

std::mutex& AssimpLoggerMutex() {
  static std::mutex m;
  return m;
}

ImportResult ConvertAssimpScene(const aiScene& ai, const std::string& path, Scene& scene,
                                const ImportOptions& options, MeshSource* meshes) {
  ImportResult result;
  if (!ai.mRootNode) return Fail(path, "Assimp read no scene from it");
  Converter converter(ai, scene, path, options, result, meshes);
  try {
    converter.Run();
  } catch (...) {
    // Undo what was built, then let the caller's handler say why.
    for (SceneNode* n : converter.TopLevel()) scene.DeleteNode(*n);
    throw;
  }
  result.ok = true;
  return result;
}

void WarningSink::Add(std::string line) { lines_.push_back(OneLine(std::move(line))); }

void WarningSink::Tally(const std::string& what, uint64_t n, const std::string& item) {
  auto [it, fresh] = kinds_.try_emplace(what);
  Kind& k = it->second;
  if (fresh) {
    k.order = lines_.size();
    lines_.emplace_back();  // the line is written when asked for
  }
  k.count += n;
  if (!item.empty() && k.items.size() <= kMaxListed &&
      std::find(k.items.begin(), k.items.end(), item) == k.items.end())
    k.items.push_back(OneLine(item));
}

std::vector<std::string> WarningSink::Lines() const {
  std::vector<std::string> out = lines_;
  for (const auto& [what, k] : kinds_) {
    std::string line = std::to_string(k.count) + " " + what;
    for (std::size_t i = 0; i < k.items.size() && i < kMaxListed; ++i) line += (i ? ", " : ": ") + k.items[i];
    if (k.items.size() > kMaxListed) line += ", ...";
    out[k.order] = std::move(line);
  }
  return out;
}

}  // namespace interchange

namespace {

ImportResult GuardedImport(const std::string& path, Scene& scene, const ImportOptions& options,
                           bool ownReaders) {
  try {
    return Import(path, scene, options, ownReaders);
  } catch (const std::bad_alloc&) {
    return Fail(path, "not enough memory to import it");
  } catch (const std::exception& e) {
    return Fail(path, std::string("the import failed: ") + e.what());
  } catch (...) {
    return Fail(path, "the import failed");
  }
}

}  // namespace

ImportResult ImportInterchange(const std::string& path, Scene& scene, const ImportOptions& options) {
  return GuardedImport(path, scene, options, true);
}

ImportResult interchange::ImportThroughAssimp(const std::string& path, Scene& scene,
                                              const ImportOptions& options) {
  return GuardedImport(path, scene, options, false);
}

bool IsInterchangeExtension(std::string_view ext) {
  return ext == "gltf" || ext == "glb" || ext == "fbx" || ext == "obj" || ext == "dae" || ext == "3ds";
}

const char* UpAxisName(ImportOptions::UpAxis axis) { return axis == ImportOptions::Z ? "z" : "y"; }

bool ParseUpAxis(std::string_view text, ImportOptions::UpAxis& out) {
  if (text == "y" || text == "Y") return out = ImportOptions::Y, true;
  if (text == "z" || text == "Z") return out = ImportOptions::Z, true;
  return false;
}

std::string ImportLogLine(const std::string& path, const ImportOptions& options, const ImportResult& result) {
  std::string line = LogTime() + " import \"" + OneLine(path) + "\" scale=" + ScaleText(options.scale) +
                     " up=" + UpAxisName(options.upAxis);
  if (!result.ok) return line + " failed: " + OneLine(result.error);
  const ImportCounts& c = result.counts;
  line += " nodes=" + std::to_string(c.nodes) + " meshes=" + std::to_string(c.meshes) +
          " triangles=" + std::to_string(c.triangles) + " materials=" + std::to_string(c.materials) +
          " textures=" + std::to_string(c.textures) + " cameras=" + std::to_string(c.cameras) +
          " lights=" + std::to_string(c.lights) + " warnings=" + std::to_string(result.warnings.size());
  for (std::size_t i = 0; i < result.warnings.size(); ++i)
    line += (i ? " | " : ": ") + OneLine(result.warnings[i]);
  return line;
}

bool AppendInterchangeLog(const std::string& logDir, const std::string& line, std::string& error) {
  std::error_code ec;
  fs::create_directories(logDir, ec);
  const fs::path file = fs::path(logDir) / "interchange.log";
  std::ofstream out(file, std::ios::app | std::ios::binary);
  if (out) out << line << '\n';
  out.flush();
  if (!out) {
    error = "\"" + file.string() + "\": cannot write the interchange log";
    return false;
  }
  return true;
}

}  // namespace vorlan::workbench

#include "workbench/scene_document.h"

#include <cmath>
#include <map>
#include <new>
#include <numbers>
#include <unordered_map>
#include <unordered_set>

#include "support/file_io.h"
#include "workbench/document_animation.h"
#include "workbench/document_buffer.h"
#include "workbench/document_characters.h"
#include "workbench/document_io.h"
#include "workbench/document_json.h"
#include "workbench/document_objects.h"

namespace vorlan::workbench {

using namespace docjson;
using host::Matrix3;
using host::Point3;
using host::Quat;

namespace {

MaterialCodec& CodecSlot() {
  static MaterialCodec codec;
  return codec;
}

constexpr float kRadPerDeg = static_cast<float>(std::numbers::pi / 180.0);
// Arrays and objects per node level (the node and its "children"), plus what a node holds.
constexpr int kMaxJsonDepth = 2 * kMaxNodeDepth + 16;

// A node as read, before anything is put into the scene.
struct NodeDesc {
  std::string name;
  bool selected = false;
  Matrix3 tm;
  Point3 offPos;
  Quat offRot;
  Point3 offScale{1, 1, 1};
  std::string userProps;
  AppDataStore appData;
  std::shared_ptr<SceneObject> object;
  std::vector<std::shared_ptr<host::Modifier>> modifiers;  // top first
  std::shared_ptr<host::Mtl> mtl;
  std::optional<ControllerDesc> controller;
  std::vector<NodeDesc> children;
};

Matrix3 RotationOf(const Json& j, const std::string& path) {
  if (j.is_array() && j.size() == 3) {
    Point3 deg = Point(j, path);
    return Matrix3::RotationX(deg.x * kRadPerDeg) * Matrix3::RotationY(deg.y * kRadPerDeg) *
           Matrix3::RotationZ(deg.z * kRadPerDeg);
  }
  if (j.is_array() && j.size() == 4) {
    Quat q{Float(j[0], At(path, 0)), Float(j[1], At(path, 1)), Float(j[2], At(path, 2)),
           Float(j[3], At(path, 3))};
    float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(len > 0.0f) || !std::isfinite(len)) Fail(path, "expected a non-zero quaternion");
    return Matrix3::Rotation(host::Normalize(q));
  }
  Fail(path, "expected Euler angles [x, y, z] in degrees or a quaternion [x, y, z, w]");
}

Point3 ScaleOf(const Json& j, const std::string& path) {
  if (j.is_number()) {
    float s = Float(j, path);
    return {s, s, s};
  }
  return Point(j, path);
}

Matrix3 ReadTransform(const Json& j, const std::string& path) {
  if (j.is_array()) {
    if (j.size() != 4) Fail(path, "expected 4 rows of 3 numbers");
    return Matrix3(Point(j[0], At(path, 0)), Point(j[1], At(path, 1)), Point(j[2], At(path, 2)),
                   Point(j[3], At(path, 3)));
  }
  Object(j, path);
  OnlyKeys(j, path, {"position", "rotation", "scale"});
  Matrix3 m;
  if (const Json* s = Find(j, "scale")) m = Matrix3::Scale(ScaleOf(*s, Key(path, "scale")));
  if (const Json* r = Find(j, "rotation")) m = m * RotationOf(*r, Key(path, "rotation"));
  if (const Json* p = Find(j, "position")) m = m * Matrix3::Translation(Point(*p, Key(path, "position")));
  return m;
}

Json TransformJson(const Matrix3& m) {
  return Json::array(
      {PointJson(m.GetRow(0)), PointJson(m.GetRow(1)), PointJson(m.GetRow(2)), PointJson(m.GetRow(3))});
}

// The document side of a load: everything is read and checked before the scene changes.
class Reader {
 public:
  Reader(const MaterialCodec& codec, const Scene& scene) : codec_(codec), scene_(scene) {}

  void Read(const Json& doc) {
    Object(doc, "document");
    OnlyKeys(doc, "",
             {"version", "hostVersion", "animation", "activeView", "properties", "materials", "objects",
              "nodes", "buffer"});
    const Json* version = Find(doc, "version");
    if (!version) Fail("version", "expected the document version " + std::to_string(kSceneDocumentVersion));
    if (!version->is_number_integer() && !version->is_number_unsigned())
      Fail("version", "expected an integer");
    if (*version != kSceneDocumentVersion && *version != kSceneDocumentBufferVersion)
      Fail("version", "expected " + std::to_string(kSceneDocumentVersion) + " or " +
                          std::to_string(kSceneDocumentBufferVersion) + ", found " + version->dump());
    if (Find(doc, "buffer") && *version != kSceneDocumentBufferVersion)
      Fail("buffer",
           "a document with a binary buffer has version " + std::to_string(kSceneDocumentBufferVersion));
    if (const Json* hv = Find(doc, "hostVersion")) hostVersion = U32(*hv, "hostVersion");
    if (const Json* anim = Find(doc, "animation")) ReadAnimation(*anim);
    if (const Json* av = Find(doc, "activeView")) activeView = String(*av, "activeView");
    if (const Json* props = Find(doc, "properties")) ReadProperties(*props);
    if (const Json* mats = Find(doc, "materials")) ReadMaterials(*mats);
    if (const Json* objects = Find(doc, "objects")) {
      Array(*objects, "objects");
      for (std::size_t i = 0; i < objects->size(); ++i) {
        std::string p = At("objects", i);
        if (!Find(Object((*objects)[i], p), "id")) Fail(p, "expected the object's \"id\"");
        Define((*objects)[i], p);
      }
    }
    if (const Json* nodes = Find(doc, "nodes")) {
      Array(*nodes, "nodes");
      // Objects defined inline with an id may be used before their definition.
      for (std::size_t i = 0; i < nodes->size(); ++i) CollectInline((*nodes)[i], At("nodes", i), 1);
      for (std::size_t i = 0; i < nodes->size(); ++i) roots.push_back(ReadNode((*nodes)[i], At("nodes", i)));
    }
    for (const auto& f : fixups)
      if (!names_.count(f.name) && !scene_.FindNode(f.name))
        Fail(f.path, "no node is named \"" + f.name + "\"");
    for (const auto& r : modifierRefs)
      if (!names_.count(r.name) && !scene_.FindNode(r.name))
        Fail(r.path, "no node is named \"" + r.name + "\"");
    // The meshes' arrays last, all at once: a large document reads them on two threads.
    ReadMeshes(meshReads_);
  }

  std::optional<uint32_t> hostVersion;
  std::optional<host::TimeValue> animStart, animEnd;
  std::optional<int> frameRate, ticksPerFrame;
  std::optional<host::TimeValue> time;
  std::optional<std::string> activeView;
  std::map<std::string, host::SceneProperty> properties;
  std::vector<NodeDesc> roots;
  std::vector<NodeRefFixup> fixups;
  std::vector<ModifierNodeRef> modifierRefs;

 private:
  void ReadAnimation(const Json& j) {
    Object(j, "animation");
    OnlyKeys(j, "animation", {"start", "end", "frameRate", "ticksPerFrame", "time"});
    if (const Json* s = Find(j, "start")) animStart = Int(*s, "animation.start");
    if (const Json* e = Find(j, "end")) animEnd = Int(*e, "animation.end");
    if (const Json* f = Find(j, "frameRate")) {
      frameRate = Int(*f, "animation.frameRate");
      // Frames are whole numbers of ticks.
      if (*frameRate <= 0 || host::kTicksPerSecond % *frameRate != 0)
        Fail("animation.frameRate", "expected a frame rate that divides 4800 ticks per second");
    }
    if (const Json* t = Find(j, "ticksPerFrame")) {
      ticksPerFrame = Int(*t, "animation.ticksPerFrame");
      if (*ticksPerFrame <= 0) Fail("animation.ticksPerFrame", "expected a positive number of ticks");
    }
    if (const Json* t = Find(j, "time")) time = Int(*t, "animation.time");
  }

  void ReadProperties(const Json& j) {
    Object(j, "properties");
    for (auto it = j.begin(); it != j.end(); ++it) {
      std::string p = Key("properties", it.key());
      const Json& v = it.value();
      if (v.is_string())
        properties[it.key()] = v.get<std::string>();
      else if (v.is_boolean())
        properties[it.key()] = v.get<bool>() ? 1 : 0;
      else if (v.is_number_float())
        properties[it.key()] = Float(v, p);
      else if (v.is_number())
        properties[it.key()] = Int(v, p);
      else
        Fail(p, "expected a number, a boolean or a string");
    }
  }

  void ReadMaterials(const Json& j) {
    Array(j, "materials");
    if (j.empty()) return;
    if (!codec_.read) Fail("materials", "no material reader is registered");
    std::string error;
    bool ok = false;
    try {
      ok = codec_.read(j, materials_, error);
    } catch (const DocumentError&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      Fail("materials", e.what());
    }
    if (!ok) throw std::runtime_error(error.empty() ? "materials: not readable" : error);
    if (materials_.size() != j.size())
      Fail("materials", "the material reader gave " + std::to_string(materials_.size()) + " materials for " +
                            std::to_string(j.size()) + " entries");
  }

  void Define(const Json& j, const std::string& path) {
    std::string id = String(j["id"], Key(path, "id"));
    if (objects_.count(id)) Fail(Key(path, "id"), "object id \"" + id + "\" is defined twice");
    objects_[id] = ReadObject(j, path, fixups, &meshReads_);
    defined_[&j] = objects_[id];
  }

  void CollectInline(const Json& node, const std::string& path, int depth) {
    if (depth > kMaxNodeDepth)
      Fail(path, "nodes nest deeper than " + std::to_string(kMaxNodeDepth) + " levels");
    if (!node.is_object()) return;  // reported by ReadNode
    if (const Json* o = Find(node, "object"); o && o->is_object() && Find(*o, "id"))
      Define(*o, Key(path, "object"));
    if (const Json* c = Find(node, "children"); c && c->is_array())
      for (std::size_t i = 0; i < c->size(); ++i)
        CollectInline((*c)[i], At(Key(path, "children"), i), depth + 1);
  }

  NodeDesc ReadNode(const Json& j, const std::string& path) {
    Object(j, path);
    OnlyKeys(j, path,
             {"name", "selected", "transform", "objectOffset", "userProps", "appData", "material", "object",
              "controller", "modifiers", "children"});
    NodeDesc n;
    const Json* name = Find(j, "name");
    if (!name) Fail(path, "expected the node's \"name\"");
    n.name = String(*name, Key(path, "name"));
    names_.insert(n.name);
    if (const Json* s = Find(j, "selected")) n.selected = Bool(*s, Key(path, "selected"));
    if (const Json* t = Find(j, "transform")) n.tm = ReadTransform(*t, Key(path, "transform"));
    if (const Json* o = Find(j, "objectOffset")) ReadOffset(*o, Key(path, "objectOffset"), n);
    if (const Json* u = Find(j, "userProps")) n.userProps = String(*u, Key(path, "userProps"));
    if (const Json* a = Find(j, "appData")) ReadAppData(*a, Key(path, "appData"), n.appData);
    if (const Json* m = Find(j, "material")) n.mtl = MaterialRef(*m, Key(path, "material"));
    if (const Json* o = Find(j, "object")) n.object = ObjectRef(*o, Key(path, "object"));
    if (const Json* c = Find(j, "controller")) n.controller = ReadNodeController(*c, Key(path, "controller"));
    if (const Json* m = Find(j, "modifiers"))
      n.modifiers = ReadModifiers(*m, Key(path, "modifiers"), modifierRefs);
    if (const Json* c = Find(j, "children")) {
      std::string cp = Key(path, "children");
      Array(*c, cp);
      n.children.reserve(c->size());
      for (std::size_t i = 0; i < c->size(); ++i) n.children.push_back(ReadNode((*c)[i], At(cp, i)));
    }
    return n;
  }

  void ReadOffset(const Json& j, const std::string& path, NodeDesc& n) {
    Object(j, path);
    OnlyKeys(j, path, {"position", "rotation", "scale"});
    if (const Json* p = Find(j, "position")) n.offPos = Point(*p, Key(path, "position"));
    if (const Json* s = Find(j, "scale")) n.offScale = ScaleOf(*s, Key(path, "scale"));
    if (const Json* r = Find(j, "rotation")) {
      std::string rp = Key(path, "rotation");
      // Kept as given (not normalised), so that a saved offset reads back bit for bit.
      if (r->is_array() && r->size() == 4)
        n.offRot = {Float((*r)[0], At(rp, 0)), Float((*r)[1], At(rp, 1)), Float((*r)[2], At(rp, 2)),
                    Float((*r)[3], At(rp, 3))};
      else if (r->is_array() && r->size() == 3)
        n.offRot = host::EulerXYZToQuat(Point(*r, rp) * kRadPerDeg);
      else
        Fail(rp, "expected Euler angles [x, y, z] in degrees or a quaternion [x, y, z, w]");
    }
  }

  std::shared_ptr<host::Mtl> MaterialRef(const Json& j, const std::string& path) {
    if (j.is_string()) {
      std::string name = j.get<std::string>();
      for (const auto& m : materials_)
        if (m && m->GetName() == name) return m;
      Fail(path, "no material is named \"" + name + "\"");
    }
    if (j.is_null()) return nullptr;
    return materials_[Index(j, path, materials_.size(), "materials")];
  }

  std::shared_ptr<SceneObject> ObjectRef(const Json& j, const std::string& path) {
    if (j.is_string()) {
      auto it = objects_.find(j.get<std::string>());
      if (it == objects_.end()) Fail(path, "no object has the id \"" + j.get<std::string>() + "\"");
      return it->second;
    }
    if (j.is_null()) return nullptr;
    if (auto it = defined_.find(&j); it != defined_.end()) return it->second;
    return ReadObject(j, path, fixups, &meshReads_);
  }

  const MaterialCodec& codec_;
  const Scene& scene_;
  std::vector<MeshRead> meshReads_;
  std::vector<std::shared_ptr<host::Mtl>> materials_;
  std::map<std::string, std::shared_ptr<SceneObject>> objects_;
  std::unordered_map<const Json*, std::shared_ptr<SceneObject>> defined_;
  std::unordered_set<std::string> names_;
};

void Build(const NodeDesc& d, SceneNode* parent, Scene& scene) {
  SceneNode& n = scene.CreateNode(d.name, parent);
  n.SetSelected(d.selected);
  n.SetTransform(d.tm);
  n.SetObjectOffset(d.offPos, d.offRot, d.offScale);
  n.SetUserProps(d.userProps);
  n.appData = d.appData;
  n.SetObject(d.object);
  n.SetMtl(d.mtl);
  if (d.controller) ApplyNodeController(*d.controller, n);
  for (auto m = d.modifiers.rbegin(); m != d.modifiers.rend(); ++m) n.AddModifier(*m);
  for (const auto& c : d.children) Build(c, &n, scene);
}

// "[json.exception.parse_error.101] parse error at ..." -> "parse error at ...".
std::string JsonMessage(const std::exception& e) {
  std::string s = e.what();
  if (!s.empty() && s[0] == '[') {
    auto p = s.find("] ");
    if (p != std::string::npos) s.erase(0, p + 2);
  }
  return s;
}

}  // namespace

void SetMaterialCodec(MaterialCodec codec) { CodecSlot() = std::move(codec); }
const MaterialCodec& GetMaterialCodec() { return CodecSlot(); }

namespace docio {

DocumentResult ParseDocument(std::string_view text, Scene& scene, const std::string& file,
                             const DocumentOptions& options, const BufferOpener& buffers) {
  const MaterialCodec& codec = options.materials ? *options.materials : GetMaterialCodec();
  try {
    if (NestingDepth(text, kMaxJsonDepth) > kMaxJsonDepth)
      return {false, file + ": nested deeper than " + std::to_string(kMaxJsonDepth) + " levels"};
    Json doc = Json::parse(text, nullptr, true, /*ignore_comments=*/true);
    RefuseNulTexts(doc, "");
    support::FileReader bufferFile;
    BufferSource source;
    if (doc.is_object())
      if (const Json* b = Find(doc, "buffer")) {
        std::string error;
        if (!buffers.open(*b, bufferFile, source, error)) return {false, file + ": " + error};
      }
    DocumentScope scope(nullptr, source.file ? &source : nullptr, buffers.folder);
    Reader reader(codec, scene);
    reader.Read(doc);

    // Everything is sound: only now does the scene change.
    if (reader.hostVersion) scene.hostVersion = *reader.hostVersion;
    if (reader.animStart) scene.animStart = *reader.animStart;
    if (reader.animEnd) scene.animEnd = *reader.animEnd;
    if (reader.frameRate) {
      scene.frameRate = *reader.frameRate;
      scene.ticksPerFrame = host::kTicksPerSecond / *reader.frameRate;
    }
    if (reader.ticksPerFrame) scene.ticksPerFrame = *reader.ticksPerFrame;
    if (reader.time) scene.currentTime = *reader.time;
    if (reader.activeView) scene.activeViewCamera = *reader.activeView;
    for (auto& [k, v] : reader.properties) scene.properties[k] = v;
    for (const auto& root : reader.roots) Build(root, nullptr, scene);
    for (const auto& f : reader.fixups) f.block->SetNode(f.param, scene.FindNode(f.name), f.tab);
    for (const auto& r : reader.modifierRefs) r.set(scene.FindNode(r.name));
    return {true, {}};
  } catch (const DocumentError& e) {
    return {false, file + ": " + e.what()};
  } catch (const Json::parse_error& e) {
    return {false, file + ": " + JsonMessage(e)};
  } catch (const std::bad_alloc&) {
    return {false, file + ": not enough memory to read the document (" + std::to_string(text.size()) +
                       " bytes of JSON and its buffer)"};
  } catch (const std::exception& e) {
    return {false, file + ": " + JsonMessage(e)};
  }
}

}  // namespace docio

DocumentResult ParseSceneDocument(std::string_view text, Scene& scene, std::string_view name,
                                  const DocumentOptions& options) {
  const std::string file(name);
  return docio::ParseDocument(text, scene, file, options, docio::BufferBeside(file));
}

namespace {

class Writer {
 public:
  explicit Writer(const Scene& scene) : scene_(scene) {
    // Objects used by several nodes get ids; materials are numbered in order of first use.
    std::unordered_map<const SceneObject*, int> uses;
    for (const SceneNode* n : scene.AllNodes()) {
      if (const SceneObject* o = n->ObjectPtr().get()) ++uses[o];
      if (const auto& m = n->MtlPtr(); m && !materialIndex_.count(m.get())) {
        materialIndex_[m.get()] = materials.size();
        materials.push_back(m);
      }
    }
    for (const SceneNode* n : scene.AllNodes())
      if (const SceneObject* o = n->ObjectPtr().get(); o && uses[o] > 1 && !ids_.count(o))
        ids_[o] = "object" + std::to_string(ids_.size() + 1);
  }

  Json Nodes() {
    Json a = Json::array();
    for (const SceneNode* c : scene_.Root().Children()) a.push_back(Node(*c, 1));
    return a;
  }

  std::vector<std::shared_ptr<host::Mtl>> materials;

 private:
  Json Node(const SceneNode& n, int depth) {
    if (depth > kMaxNodeDepth)
      Fail(n.GetName(), "nodes nest deeper than " + std::to_string(kMaxNodeDepth) + " levels");
    Json j = {{"name", n.GetName()}};
    if (n.Selected()) j["selected"] = true;
    if (!(n.StaticTransform() == Matrix3())) j["transform"] = TransformJson(n.StaticTransform());
    Point3 pos = n.GetObjOffsetPos(), scale = n.GetObjOffsetScale();
    Quat rot = n.GetObjOffsetRot();
    if (!(pos == Point3{}) || !(rot == Quat{}) || !(scale == Point3{1, 1, 1})) {
      Json off = Json::object();
      if (!(pos == Point3{})) off["position"] = PointJson(pos);
      if (!(rot == Quat{}))
        off["rotation"] =
            Json::array({FloatJson(rot.x), FloatJson(rot.y), FloatJson(rot.z), FloatJson(rot.w)});
      if (!(scale == Point3{1, 1, 1})) off["scale"] = PointJson(scale);
      j["objectOffset"] = std::move(off);
    }
    if (!n.GetUserPropBuffer().empty()) j["userProps"] = n.GetUserPropBuffer();
    if (!n.appData.All().empty()) j["appData"] = WriteAppData(n.appData);
    if (const auto& m = n.MtlPtr()) j["material"] = materialIndex_.at(m.get());
    if (const SceneObject* o = n.ObjectPtr().get()) {
      auto id = ids_.find(o);
      if (id == ids_.end()) {
        j["object"] = WriteObject(*o);
      } else if (written_.insert(o).second) {
        Json def = {{"id", id->second}};
        Json body = WriteObject(*o);
        for (auto& [k, v] : body.items()) def[k] = std::move(v);
        j["object"] = std::move(def);
      } else {
        j["object"] = id->second;
      }
    }
    if (auto c = WriteNodeController(n)) j["controller"] = std::move(*c);
    if (!n.Modifiers().empty()) j["modifiers"] = WriteModifiers(n);
    if (n.NumberOfChildren() > 0) {
      Json children = Json::array();
      for (const SceneNode* c : n.Children()) children.push_back(Node(*c, depth + 1));
      j["children"] = std::move(children);
    }
    return j;
  }

  const Scene& scene_;
  std::unordered_map<const host::Mtl*, std::size_t> materialIndex_;
  std::unordered_map<const SceneObject*, std::string> ids_;
  std::unordered_set<const SceneObject*> written_;
};

bool IsScalar(const Json& j) { return !j.is_array() && !j.is_object(); }

// Like dump(2), but arrays of numbers or texts, and small flat objects, stay on one line:
// a mesh reads as one vertex or triangle per line.
void Pretty(const Json& j, int indent, std::string& out) {
  bool flat = true;
  for (const auto& e : j) flat = flat && IsScalar(e);
  if (IsScalar(j) || j.empty()) {
    out += j.dump();
    return;
  }
  if (flat) {
    std::string line = j.dump(-1, ' ', false);
    // dump(-1) separates with "," and ":"; a space after each reads better.
    std::string spaced;
    spaced.reserve(line.size() + line.size() / 4);
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      spaced += c;
      if (inString) {
        if (c == '\\')
          spaced += line[++i];
        else if (c == '"')
          inString = false;
      } else if (c == '"') {
        inString = true;
      } else if (c == ',' || c == ':') {
        spaced += ' ';
      }
    }
    if (j.is_array() || spaced.size() <= 100) {
      out += spaced;
      return;
    }
  }
  std::string pad(static_cast<std::size_t>(indent + 2), ' ');
  out += j.is_array() ? "[\n" : "{\n";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out += pad;
    if (j.is_object()) out += Json(it.key()).dump() + ": ";
    Pretty(*it, indent + 2, out);
  }
  out += "\n" + std::string(static_cast<std::size_t>(indent), ' ') + (j.is_array() ? "]" : "}");
}

}  // namespace

namespace docio {

Json DocumentJson(const Scene& scene, const DocumentOptions& options) {
  const MaterialCodec& codec = options.materials ? *options.materials : GetMaterialCodec();
  Writer w(scene);
  Json doc = {{"version", kSceneDocumentVersion}, {"hostVersion", scene.hostVersion}};
  doc["animation"] = {{"start", scene.animStart}, {"end", scene.animEnd}, {"frameRate", scene.frameRate}};
  if (scene.frameRate <= 0 || scene.ticksPerFrame != host::kTicksPerSecond / scene.frameRate)
    doc["animation"]["ticksPerFrame"] = scene.ticksPerFrame;
  if (scene.currentTime != 0) doc["animation"]["time"] = scene.currentTime;
  if (!scene.activeViewCamera.empty()) doc["activeView"] = scene.activeViewCamera;
  if (!scene.properties.empty()) {
    Json props = Json::object();
    for (const auto& [k, v] : scene.properties) {
      if (auto* i = std::get_if<int>(&v))
        props[k] = *i;
      else if (auto* f = std::get_if<float>(&v))
        props[k] = FloatJson(*f);
      else
        props[k] = std::get<std::string>(v);
    }
    doc["properties"] = std::move(props);
  }
  if (!w.materials.empty()) {
    if (!codec.write) Fail("materials", "no material writer is registered");
    Json mats = Json::array();
    std::string why;
    if (!codec.write(w.materials, mats, why))
      throw std::runtime_error(why.empty() ? "materials: not writable" : why);
    doc["materials"] = std::move(mats);
  }
  doc["nodes"] = w.Nodes();
  // What would not load again is not saved.
  RefuseNulTexts(doc, "");
  return doc;
}

std::string DocumentText(const Json& doc) {
  std::string text;
  Pretty(doc, 0, text);
  return text + "\n";
}

std::string WriteError(const std::exception& e) {
  // Texts must be UTF-8 to be stored; bytes in another encoding are refused, not altered.
  if (dynamic_cast<const Json::type_error*>(&e)) return "a name or text is not UTF-8: " + JsonMessage(e);
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "out of memory";
  return e.what();
}

}  // namespace docio

std::string SceneDocumentText(const Scene& scene, std::string& error, const DocumentOptions& options) {
  error.clear();
  try {
    return docio::DocumentText(docio::DocumentJson(scene, options));
  } catch (const std::exception& e) {
    error = docio::WriteError(e);
  }
  return {};
}

}  // namespace vorlan::workbench

#include "interchange/import_animation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "interchange/channel_change.h"
#include "interchange/convert.h"
#include "interchange/gltf_animation.h"
#include "support/file_io.h"
#include "workbench/controllers.h"

namespace vorlan::workbench::interchange {

using host::Point3;
using host::Quat;
using host::TimeValue;

namespace {

constexpr double kTicksPerSecond = 4800.0;
// glTF files are read a second time for their samplers; larger ones are not.
constexpr std::size_t kMaxGltfBytes = std::size_t(1) << 30;

// One animated channel of one node, in the file's terms. Values are `components` floats
// per element (rotations x, y, z, w); cubic splines have in-tangent, value, out-tangent.
struct Track {
  const aiNode* node = nullptr;
  GltfPath path = GltfPath::Translation;
  GltfInterpolation interpolation = GltfInterpolation::Linear;
  std::vector<double> seconds;
  std::vector<float> values;
  int components = 3;
};

struct Clip {
  std::string name;
  std::vector<Track> tracks;
};

// --- Reading the file's channels ---------------------------------------------------------

// glTF node index -> Assimp node: Assimp keeps the file's tree (under a "ROOT" of its own
// when the scene has several roots), so the two are walked side by side; a node whose name
// does not agree is looked up by name instead.
class GltfNodeMap {
 public:
  GltfNodeMap(const GltfAnimationFile& file, const aiNode& root) : file_(file), root_(root) {
    if (file.roots.size() == 1) {
      Walk(file.roots[0], &root, 0);
    } else if (root.mNumChildren == file.roots.size() && root.mChildren) {
      for (std::size_t i = 0; i < file.roots.size(); ++i) Walk(file.roots[i], root.mChildren[i], 0);
    }
  }

  const aiNode* Find(int node) const {
    if (auto it = map_.find(node); it != map_.end()) return it->second;
    const std::string& name = node >= 0 && static_cast<std::size_t>(node) < file_.names.size()
                                  ? file_.names[static_cast<std::size_t>(node)]
                                  : std::string();
    return name.empty() ? nullptr : root_.FindNode(name.c_str());
  }

 private:
  void Walk(int g, const aiNode* a, int depth) {
    if (!a || depth > 4096 || map_.count(g)) return;
    const std::string& name = file_.names[static_cast<std::size_t>(g)];
    if (!name.empty() && name != a->mName.C_Str()) return;
    map_[g] = a;
    const auto& kids = file_.children[static_cast<std::size_t>(g)];
    if (kids.size() != a->mNumChildren || !a->mChildren) return;
    for (std::size_t i = 0; i < kids.size(); ++i) Walk(kids[i], a->mChildren[i], depth + 1);
  }

  const GltfAnimationFile& file_;
  const aiNode& root_;
  std::map<int, const aiNode*> map_;
};

bool GltfClips(const std::string& path, const aiScene& ai, std::vector<Clip>& clips, WarningSink& warnings) {
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(path, bytes, kMaxGltfBytes)) return false;
  GltfAnimationFile file;
  std::string error;
  const std::size_t slash = path.find_last_of('/');
  if (!ReadGltfAnimations(bytes, slash == std::string::npos ? "." : path.substr(0, slash), file, error))
    return false;
  GltfNodeMap nodes(file, *ai.mRootNode);
  for (GltfClip& c : file.clips) {
    Clip clip{c.name, {}};
    for (const std::string& p : c.problems)
      warnings.Tally("animation channels that cannot be read dropped", 1, p);
    for (GltfTrack& t : c.tracks) {
      Track track{nodes.Find(t.node), t.path, t.interpolation, {}, std::move(t.values), t.components};
      track.seconds.assign(t.times.begin(), t.times.end());
      if (!track.node)
        warnings.Tally("animation channels whose node was not imported dropped", 1, c.name);
      else
        clip.tracks.push_back(std::move(track));
    }
    clips.push_back(std::move(clip));
  }
  return true;
}

// Assimp's channels: key values only, interpolated linearly.
void AssimpClips(const aiScene& ai, std::vector<Clip>& clips, WarningSink& warnings) {
  for (unsigned a = 0; ai.mAnimations && a < ai.mNumAnimations; ++a) {
    const aiAnimation* anim = ai.mAnimations[a];
    if (!anim) continue;
    Clip clip{anim->mName.length ? anim->mName.C_Str() : "animations[" + std::to_string(a) + "]", {}};
    // Assimp's own default when a file names no rate.
    const double perSecond = anim->mTicksPerSecond > 0 ? anim->mTicksPerSecond : 25.0;
    for (unsigned c = 0; anim->mChannels && c < anim->mNumChannels; ++c) {
      const aiNodeAnim* ch = anim->mChannels[c];
      if (!ch) continue;
      const aiNode* node = ai.mRootNode->FindNode(ch->mNodeName);
      if (!node) {
        warnings.Tally("animation channels whose node was not imported dropped", 1, clip.name);
        continue;
      }
      auto add = [&](GltfPath path, unsigned n, int components, auto key) {
        if (!n) return;
        Track t{node, path, GltfInterpolation::Linear, {}, {}, components};
        for (unsigned k = 0; k < n; ++k) key(k, t);
        clip.tracks.push_back(std::move(t));
      };
      if (ch->mPositionKeys)
        add(GltfPath::Translation, ch->mNumPositionKeys, 3, [&](unsigned k, Track& t) {
          const aiVectorKey& v = ch->mPositionKeys[k];
          t.seconds.push_back(v.mTime / perSecond);
          t.values.insert(t.values.end(), {v.mValue.x, v.mValue.y, v.mValue.z});
        });
      if (ch->mRotationKeys)
        add(GltfPath::Rotation, ch->mNumRotationKeys, 4, [&](unsigned k, Track& t) {
          const aiQuatKey& q = ch->mRotationKeys[k];
          t.seconds.push_back(q.mTime / perSecond);
          t.values.insert(t.values.end(), {q.mValue.x, q.mValue.y, q.mValue.z, q.mValue.w});
        });
      if (ch->mScalingKeys)
        add(GltfPath::Scale, ch->mNumScalingKeys, 3, [&](unsigned k, Track& t) {
          const aiVectorKey& v = ch->mScalingKeys[k];
          t.seconds.push_back(v.mTime / perSecond);
          t.values.insert(t.values.end(), {v.mValue.x, v.mValue.y, v.mValue.z});
        });
    }
    clips.push_back(std::move(clip));
  }
}

// --- Keys ----------------------------------------------------------------------------------

// The file's times in ticks; keys that round onto the tick of the key before them are
// left out (they are less than 1/4800 s apart). Nullopt for times the host cannot hold.
std::optional<std::vector<std::pair<std::size_t, TimeValue>>> Ticks(const Track& t, WarningSink& warnings,
                                                                    const std::string& clip) {
  constexpr double kLimit = double(std::numeric_limits<TimeValue>::max()) / 2;
  std::vector<std::pair<std::size_t, TimeValue>> out;
  for (std::size_t i = 0; i < t.seconds.size(); ++i) {
    const double ticks = std::round(t.seconds[i] * kTicksPerSecond);
    if (!std::isfinite(ticks) || std::abs(ticks) > kLimit) return std::nullopt;
    const auto tick = static_cast<TimeValue>(ticks);
    if (!out.empty() && tick <= out.back().second) {
      warnings.Tally("animation keys less than a tick after the key before them left out", 1, clip);
      continue;
    }
    out.emplace_back(i, tick);
  }
  return out;
}

Point3 P3(const float* v) { return {v[0], v[1], v[2]}; }
Quat Q4(const float* v) { return {v[0], v[1], v[2], v[3]}; }

template <class K>
std::unique_ptr<KeyframeControl<K>> Control(host::ClassId id, host::SuperClassId sc, std::vector<K> keys) {
  auto c = std::make_unique<KeyframeControl<K>>(id, sc);
  c->keys = std::move(keys);
  return c;
}

// Linear keys; a step holds its value until one tick before the next key.
template <class K, class F>
std::vector<K> LinearKeys(const Track& t, const std::vector<std::pair<std::size_t, TimeValue>>& ticks,
                          F value) {
  std::vector<K> keys;
  keys.reserve(ticks.size() * (t.interpolation == GltfInterpolation::Step ? 2 : 1));
  const std::size_t n = static_cast<std::size_t>(t.components);
  for (const auto& [i, tick] : ticks) {
    if (t.interpolation == GltfInterpolation::Step && !keys.empty() && tick - 1 > keys.back().time) {
      K held = keys.back();
      held.time = tick - 1;
      keys.push_back(held);
    }
    keys.push_back(K{tick, 0, value(&t.values[i * n])});
  }
  return keys;
}

std::unique_ptr<host::Control> PositionControl(const Track& t,
                                               const std::vector<std::pair<std::size_t, TimeValue>>& ticks,
                                               const ChannelChange& ch) {
  if (t.interpolation == GltfInterpolation::CubicSpline) {
    std::vector<host::BezPoint3Key> keys;
    for (const auto& [i, tick] : ticks) {
      const float* v = &t.values[i * 9];
      host::BezPoint3Key k;
      k.time = tick;
      k.val = ch.Position(P3(v + 3));
      k.inTan = ch.Tangent(P3(v)) / float(kTicksPerSecond);
      k.outTan = ch.Tangent(P3(v + 6)) / float(kTicksPerSecond);
      keys.push_back(k);
    }
    return Control(host::kBezierPositionClassId, host::kCtrlPositionClass, std::move(keys));
  }
  return Control(
      host::kLinearPositionClassId, host::kCtrlPositionClass,
      LinearKeys<host::LinearPoint3Key>(t, ticks, [&](const float* v) { return ch.Position(P3(v)); }));
}

std::unique_ptr<host::Control> RotationControl(const Track& t,
                                               const std::vector<std::pair<std::size_t, TimeValue>>& ticks,
                                               const ChannelChange& ch) {
  if (t.interpolation == GltfInterpolation::CubicSpline) {
    std::vector<host::BezQuatKey> keys;
    for (const auto& [i, tick] : ticks) keys.push_back({tick, 0, ch.Rotation(Q4(&t.values[i * 12 + 4]))});
    return Control(host::kBezierRotationClassId, host::kCtrlRotationClass, std::move(keys));
  }
  return Control(
      host::kLinearRotationClassId, host::kCtrlRotationClass,
      LinearKeys<host::LinearRotKey>(t, ticks, [&](const float* v) { return ch.Rotation(Q4(v)); }));
}

std::unique_ptr<host::Control> ScaleControl(const Track& t,
                                            const std::vector<std::pair<std::size_t, TimeValue>>& ticks,
                                            const ChannelChange& ch) {
  if (t.interpolation == GltfInterpolation::CubicSpline) {
    std::vector<host::BezScaleKey> keys;
    for (const auto& [i, tick] : ticks) {
      const float* v = &t.values[i * 9];
      host::BezScaleKey k;
      k.time = tick;
      k.val.s = ch.Scale(P3(v + 3));
      k.inTan = ch.Scale(P3(v)) / float(kTicksPerSecond);
      k.outTan = ch.Scale(P3(v + 6)) / float(kTicksPerSecond);
      keys.push_back(k);
    }
    return Control(host::kBezierScaleClassId, host::kCtrlScaleClass, std::move(keys));
  }
  return Control(host::kLinearScaleClassId, host::kCtrlScaleClass,
                 LinearKeys<host::LinearScaleKey>(t, ticks, [&](const float* v) {
                   return host::ScaleValue{ch.Scale(P3(v)), {}};
                 }));
}

// --- Putting the keys on the nodes --------------------------------------------------------

class Builder {
 public:
  Builder(const AnimationTargets& targets, float scale, Scene& scene, WarningSink& warnings)
      : targets_(targets), scale_(scale), scene_(scene), warnings_(warnings) {}

  void Add(const Clip& clip) {
    // A clip goes onto the timeline whole or not at all.
    std::vector<std::pair<SceneNode*, GltfPath>> claims;
    for (const Track& t : clip.tracks) {
      if (t.path == GltfPath::Weights) continue;
      auto it = targets_.find(t.node);
      if (it == targets_.end() || !it->second.node) continue;
      if (claimed_.count({it->second.node, t.path})) {
        warnings_.Tally(
            "animations not imported: they animate nodes an earlier animation animates (one timeline)", 1,
            clip.name);
        return;
      }
      claims.emplace_back(it->second.node, t.path);
    }
    claimed_.insert(claims.begin(), claims.end());
    for (const Track& t : clip.tracks) AddTrack(clip.name, t);
  }

  void Finish() {
    if (!any_) return;
    scene_.animStart = std::min<TimeValue>(0, first_);
    if (last_ > scene_.animStart) scene_.animEnd = last_;
  }

 private:
  void AddTrack(const std::string& clip, const Track& t) {
    if (t.path == GltfPath::Weights) {
      warnings_.Tally("morph target weight animations not imported", 1, clip);
      return;
    }
    auto target = targets_.find(t.node);
    if (target == targets_.end() || !target->second.node) {
      warnings_.Tally("animation channels whose node was not imported dropped", 1, clip);
      return;
    }
    SceneNode& node = *target->second.node;
    const ChannelChange* ch = Change(*t.node, target->second);
    if (!ch || (t.path == GltfPath::Scale && !ch->CarriesNonUniformScale())) {
      warnings_.Tally("animations of nodes whose transform cannot take their keys not imported", 1,
                      node.GetName());
      return;
    }
    auto ticks = Ticks(t, warnings_, clip);
    if (!ticks || ticks->empty()) {
      warnings_.Tally("animation channels with times the host cannot hold dropped", 1, clip);
      return;
    }
    TransformControl* tm = node.TMControl();
    if (!tm) return;
    switch (t.path) {
      case GltfPath::Translation:
        tm->SetPositionController(PositionControl(t, *ticks, *ch));
        break;
      case GltfPath::Rotation:
        if (t.interpolation == GltfInterpolation::CubicSpline)
          warnings_.Tally("cubic-spline rotations imported as smooth rotations: their tangents are not kept",
                          1, node.GetName());
        tm->SetRotationController(RotationControl(t, *ticks, *ch));
        break;
      case GltfPath::Scale:
        tm->SetScaleController(ScaleControl(t, *ticks, *ch));
        break;
      case GltfPath::Weights:
        break;
    }
    first_ = any_ ? std::min(first_, ticks->front().second) : ticks->front().second;
    last_ = any_ ? std::max(last_, ticks->back().second) : ticks->back().second;
    any_ = true;
  }

  // The node's change from the file's local transform to the host's, made once.
  const ChannelChange* Change(const aiNode& ai, const AnimationTarget& target) {
    auto [it, fresh] = changes_.try_emplace(&ai);
    if (!fresh) return it->second ? &*it->second : nullptr;
    host::Matrix3 from = FromAssimp(ai.mTransformation);
    from.SetTrans(from.GetTrans() * scale_);
    host::Matrix3 pre = target.pre;
    pre.SetTrans(pre.GetTrans() * scale_);
    const SceneNode* parent = target.node->Parent();
    const host::Matrix3 parentRest =
        parent && !parent->IsRootNode() ? parent->StaticTransform() : host::Matrix3::Identity();
    const host::Matrix3 to = target.node->StaticTransform() * host::Inverse(parentRest);
    it->second = ChannelChange::Between(from, to, scale_, pre);
    return it->second ? &*it->second : nullptr;
  }

  const AnimationTargets& targets_;
  float scale_;
  Scene& scene_;
  WarningSink& warnings_;
  std::set<std::pair<SceneNode*, GltfPath>> claimed_;
  std::map<const aiNode*, std::optional<ChannelChange>> changes_;
  bool any_ = false;
  TimeValue first_ = 0, last_ = 0;
};

}  // namespace

void BuildAnimations(const aiScene& ai, const AnimationTargets& targets, const std::string& path, bool gltf,
                     float scale, Scene& scene, WarningSink& warnings) {
  if (!ai.mRootNode) return;
  std::vector<Clip> clips;
  if (!gltf || !GltfClips(path, ai, clips, warnings)) {
    clips.clear();
    AssimpClips(ai, clips, warnings);
  }
  Builder builder(targets, scale, scene, warnings);
  for (const Clip& clip : clips) builder.Add(clip);
  builder.Finish();
}

}  // namespace vorlan::workbench::interchange

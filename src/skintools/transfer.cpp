#include "skintools/transfer.h"

#include <algorithm>
#include <limits>

#include "skintools/point_index.h"

namespace vorlan::skintools {

namespace {

// Closes the target's skin when a method leaves, whichever way it leaves.
class OpenedSkin {
 public:
  explicit OpenedSkin(SkinTarget& target) : target_(target), open_(target.OpenSkin()) {}
  ~OpenedSkin() {
    if (open_) target_.CloseSkin();
  }
  explicit operator bool() const { return open_; }

 private:
  SkinTarget& target_;
  bool open_;
};

std::vector<host::Point3> RecordPositions(const SkdData& data) {
  std::vector<host::Point3> out;
  out.reserve(data.records.size());
  for (const SkdRecord& r : data.records) out.push_back(r.position);
  return out;
}

void Message(const TransferHost& host, const char* text) {
  if (host.message) host.message(text);
}

void Assign(SkinTarget& target, int v, const SkdRecord& record) {
  std::vector<BoneWeight> w = RecordWeights(record);
  target.SetWeights(v, w);
}

// The candidates of an interpolation at p, as a scan would list them: every saved vertex
// within the radius, by increasing (float) distance and in file order among equals, cut to
// those within `threshold` times the first one's distance.
void KeptCandidates(const PointIndex& index, host::Point3 p, float radius, float threshold,
                    std::vector<uint32_t>& kept, std::vector<float>& distances) {
  kept.clear();
  distances.clear();
  double least = 0;
  if (!index.MinDistance(p, least) || !(least <= double(radius))) return;
  const float cut = threshold * static_cast<float>(least);
  const double bound =
      std::min(double(radius), double(std::nextafter(cut, std::numeric_limits<float>::infinity())));
  std::vector<uint32_t> near;
  index.Within(p, bound, near);
  std::vector<std::pair<float, uint32_t>> sorted;
  for (uint32_t i : near) {
    double d = ScanDistance(p, index.Points()[i]);
    if (d <= double(radius) && static_cast<float>(d) <= cut) sorted.push_back({static_cast<float>(d), i});
  }
  std::sort(sorted.begin(), sorted.end());
  for (auto [d, i] : sorted) {
    kept.push_back(i);
    distances.push_back(d);
  }
}

}  // namespace

void ProgressSteps::Step(std::size_t i) {
  int percent = n_ ? static_cast<int>(uint64_t(i) * 100 / n_) : 0;
  if (percent == last_) return;
  last_ = percent;
  if (host_.progress) host_.progress(percent);
}

std::vector<BoneWeight> RecordWeights(const SkdRecord& record) {
  std::vector<BoneWeight> out;
  for (const SkdBone& b : record.bones)
    if (double(b.weight) > kWeightFloor) out.push_back({b.name, b.weight});
  return out;
}

std::vector<BoneWeight> InterpolatedWeights(const std::vector<const SkdRecord*>& kept,
                                            const std::vector<float>& distances) {
  if (kept.empty()) return {};
  // A vertex on a saved position takes that vertex's weights as they are.
  if (distances.front() == 0.0f) return RecordWeights(*kept.front());
  std::vector<BoneWeight> sums;
  for (std::size_t c = 0; c < kept.size(); ++c)
    for (const SkdBone& b : kept[c]->bones) {
      auto it = std::find_if(sums.begin(), sums.end(), [&](const BoneWeight& s) { return s.bone == b.name; });
      if (it == sums.end()) it = sums.insert(sums.end(), BoneWeight{b.name, 0.0f});
      it->weight += b.weight / distances[c];
    }
  std::stable_sort(sums.begin(), sums.end(),
                   [](const BoneWeight& a, const BoneWeight& b) { return a.weight > b.weight; });
  if (sums.size() > kMaxInterpolatedBones) sums.resize(kMaxInterpolatedBones);
  float total = 0;
  for (const BoneWeight& s : sums) total += s.weight;
  std::vector<BoneWeight> out;
  for (const BoneWeight& s : sums)
    if (double(s.weight / total) > kWeightFloor) out.push_back({s.bone, s.weight / total});
  return out;
}

bool ApplyExactMatch(const SkdData& data, SkinTarget& target, const TransferHost& host) {
  std::vector<host::Point3> pos;
  if (!target.GetWorldPositions(pos) || pos.size() != data.records.size()) return false;
  for (std::size_t i = 0; i < pos.size(); ++i)
    if (!EqualWithin(data.records[i].position, pos[i], kExactTolerance)) return false;
  OpenedSkin skin(target);
  if (!skin) return false;
  ProgressSteps progress(host, pos.size());
  for (std::size_t i = 0; i < pos.size(); ++i) {
    progress.Step(i);
    if (!target.HasVertex(static_cast<int>(i))) {
      Message(host, "ApplyExactMatch(): vi = NULL");
      return false;
    }
    Assign(target, static_cast<int>(i), data.records[i]);
  }
  return true;
}

bool ApplyExact_Selection(const SkdData& data, SkinTarget& target, const TransferHost& host) {
  std::vector<host::Point3> pos;
  if (!target.GetWorldPositions(pos)) return false;
  OpenedSkin skin(target);
  if (!skin) return false;
  PointIndex index(pos);
  ProgressSteps progress(host, data.records.size());
  for (std::size_t i = 0; i < data.records.size(); ++i) {
    progress.Step(i);
    int j = index.FirstInBox(data.records[i].position, kExactTolerance);
    if (j < 0) return false;
    if (!target.HasVertex(j)) {
      Message(host, "ApplyExact_Selection(): vi = NULL");
      return false;
    }
    Assign(target, j, data.records[i]);
  }
  return true;
}

bool ApplyNearest_Selection(const SkdData& data, SkinTarget& target, const TransferHost& host,
                            float maxDistance) {
  std::vector<host::Point3> pos;
  if (!target.GetWorldPositions(pos)) return false;
  OpenedSkin skin(target);
  if (!skin) return false;
  PointIndex index(pos);
  ProgressSteps progress(host, data.records.size());
  for (std::size_t i = 0; i < data.records.size(); ++i) {
    progress.Step(i);
    ScanHit hit = index.FindNearest(data.records[i].position);
    if (hit.index < 0 || !(hit.distance <= maxDistance)) continue;
    if (!target.HasVertex(hit.index)) {
      // The message names the exact method: both selection methods share it.
      Message(host, "ApplyExact_Selection(): vi = NULL");
      return false;
    }
    Assign(target, hit.index, data.records[i]);
  }
  return true;
}

namespace {
// The nearest saved vertex of every target vertex, answered in spatial order (see
// PointIndex::SpatialOrder) but stored by vertex.
std::vector<ScanHit> NearestHits(const PointIndex& index, std::span<const host::Point3> pos) {
  std::vector<ScanHit> hits(pos.size());
  for (uint32_t v : PointIndex::SpatialOrder(pos)) hits[v] = index.FindNearest(pos[v]);
  return hits;
}
}  // namespace

bool ApplyFindNearest(const SkdData& data, SkinTarget& target, const TransferHost& host) {
  std::vector<host::Point3> pos;
  if (!target.GetWorldPositions(pos)) return false;
  OpenedSkin skin(target);
  if (!skin) return false;
  std::vector<host::Point3> saved = RecordPositions(data);
  PointIndex index(saved);
  // The skin and the mesh may disagree on the count: only vertices both have are written.
  std::size_t count = std::min(pos.size(), static_cast<std::size_t>(std::max(0, target.SkinVertexCount())));
  std::vector<ScanHit> hits = NearestHits(index, std::span(pos.data(), count));
  ProgressSteps progress(host, count);
  bool told = false;
  for (std::size_t v = 0; v < count; ++v) {
    progress.Step(v);
    if (!target.HasVertex(static_cast<int>(v))) {
      if (!told) Message(host, "ApplyFindNearest(): vi = NULL");
      told = true;
      continue;
    }
    if (hits[v].index >= 0)
      Assign(target, static_cast<int>(v), data.records[static_cast<std::size_t>(hits[v].index)]);
  }
  return true;
}

bool ApplyInterpolateWeights(const SkdData& data, SkinTarget& target, const TransferHost& host, float radius,
                             float threshold) {
  std::vector<host::Point3> pos;
  if (!target.GetWorldPositions(pos)) return false;
  OpenedSkin skin(target);
  if (!skin) return false;
  std::vector<host::Point3> saved = RecordPositions(data);
  PointIndex index(saved);
  std::size_t count = std::min(pos.size(), static_cast<std::size_t>(std::max(0, target.SkinVertexCount())));
  std::vector<std::vector<BoneWeight>> weights(count);
  {
    std::vector<uint32_t> kept;
    std::vector<float> distances;
    std::vector<const SkdRecord*> records;
    for (uint32_t v : PointIndex::SpatialOrder(std::span(pos.data(), count))) {
      KeptCandidates(index, pos[v], radius, threshold, kept, distances);
      records.clear();
      for (uint32_t i : kept) records.push_back(&data.records[i]);
      weights[v] = InterpolatedWeights(records, distances);
    }
  }
  ProgressSteps progress(host, count);
  bool told = false;
  for (std::size_t v = 0; v < count; ++v) {
    progress.Step(v);
    if (!target.HasVertex(static_cast<int>(v))) {
      if (!told) Message(host, "ApplyInterpolateWeights(): vi = NULL");
      told = true;
      continue;
    }
    target.SetWeights(static_cast<int>(v), weights[v]);
  }
  return true;
}

float CoverageDistance(const SkdData& data, SkinTarget& target) {
  std::vector<host::Point3> pos;
  if (!target.GetWorldPositions(pos)) return 0.0f;
  std::vector<host::Point3> saved = RecordPositions(data);
  PointIndex index(saved);
  float widest = 0.0f;
  for (const ScanHit& hit : NearestHits(index, pos)) widest = std::max(widest, hit.distance);
  return widest;
}

bool ApplyPhysique(const SkdData& data, SkinTarget& target, const ApplySettings& settings,
                   const TransferHost& host) {
  if (data.records.empty()) return false;
  const bool selected = data.selectedOnly;
  bool result = false;
  if (settings.flags & kApplyExact)
    result = selected ? ApplyExact_Selection(data, target, host) : ApplyExactMatch(data, target, host);
  if (result) return true;
  if (selected) return ApplyNearest_Selection(data, target, host, settings.maxDistance);
  if (settings.flags & kApplyNearest) return ApplyFindNearest(data, target, host);
  if (settings.flags & kApplyInterpolate) {
    float radius = settings.threshold * CoverageDistance(data, target);
    return ApplyInterpolateWeights(data, target, host, radius, settings.threshold);
  }
  return false;
}

}  // namespace vorlan::skintools

// Weight transfer: every vertex of a target takes bone weights from the saved vertices of a
// skin data file, matched by world position.
//
// The methods work on SkinTarget, a small view of one target node (its mesh positions and
// its skin), so they run the same on the host's skin modifier and on plain test data.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/math3d.h"
#include "skintools/skd_file.h"

namespace vorlan::skintools {

// Method flags of the Apply dialog.
inline constexpr uint32_t kApplyExact = 1;
inline constexpr uint32_t kApplyNearest = 2;
inline constexpr uint32_t kApplyInterpolate = 4;

// Tolerance of an exact match, per coordinate.
inline constexpr float kExactTolerance = 0.003f;
// Weights of this value or less are not assigned.
inline constexpr double kWeightFloor = 0.0001;
// Bones kept per interpolated vertex.
inline constexpr std::size_t kMaxInterpolatedBones = 3;

struct ApplySettings {
  uint32_t flags = kApplyExact | kApplyNearest;
  float threshold = 2.0f;
  float maxDistance = 0.05f;
};

struct BoneWeight {
  std::string_view bone;
  float weight = 0;
};

// One target node as the transfer sees it.
class SkinTarget {
 public:
  virtual ~SkinTarget() = default;
  virtual std::string NodeName() const = 0;
  // World positions of the target mesh's vertices at time 0. On failure the target has
  // told the user ("Node '%s' doesn't have a mesh!").
  virtual bool GetWorldPositions(std::vector<host::Point3>& out) = 0;
  // Opens the node's skin for writing. On failure the target has told the user ("There is
  // no Physique modifier on '%s'.").
  virtual bool OpenSkin() = 0;
  // Number of vertices the open skin has.
  virtual int SkinVertexCount() const = 0;
  // Whether the open skin gives vertex v to write to.
  virtual bool HasVertex(int v) = 0;
  // Replaces vertex v's bones by these, in order, and locks it. Names the target cannot
  // resolve are skipped and counted.
  virtual void SetWeights(int v, std::span<const BoneWeight> weights) = 0;
  virtual void CloseSkin() = 0;
};

// What the methods show: messages (error boxes) and the progress percentage.
struct TransferHost {
  std::function<void(const std::string& text)> message;
  std::function<void(int percent)> progress;
};

bool ApplyExactMatch(const SkdData& data, SkinTarget& target, const TransferHost& host);
bool ApplyExact_Selection(const SkdData& data, SkinTarget& target, const TransferHost& host);
bool ApplyNearest_Selection(const SkdData& data, SkinTarget& target, const TransferHost& host,
                            float maxDistance);
bool ApplyFindNearest(const SkdData& data, SkinTarget& target, const TransferHost& host);
bool ApplyInterpolateWeights(const SkdData& data, SkinTarget& target, const TransferHost& host, float radius,
                             float threshold);

// The largest distance from a target vertex to its nearest saved vertex; 0 when the
// target has no mesh.
float CoverageDistance(const SkdData& data, SkinTarget& target);

// Chooses and runs the methods for one target. An empty list applies nothing (false).
bool ApplyPhysique(const SkdData& data, SkinTarget& target, const ApplySettings& settings,
                   const TransferHost& host);

// The weights one vertex gets by interpolation from candidates at positions near `p`:
// exposed for the tests' reference. `records` and `recordIndex` give the kept candidates.
std::vector<BoneWeight> InterpolatedWeights(const std::vector<const SkdRecord*>& kept,
                                            const std::vector<float>& distances);

// The assignments a record gives: its entries above the weight floor, in order.
std::vector<BoneWeight> RecordWeights(const SkdRecord& record);

// Sends the percentage of item i of n whenever it changes.
class ProgressSteps {
 public:
  ProgressSteps(const TransferHost& host, std::size_t n) : host_(host), n_(n) {}
  void Step(std::size_t i);

 private:
  const TransferHost& host_;
  std::size_t n_;
  int last_ = -1;
};

}  // namespace vorlan::skintools

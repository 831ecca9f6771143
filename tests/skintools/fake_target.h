// A target for the transfer methods that records what they write.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "skintools/transfer.h"

namespace vorlan::skintools::testing {

struct Written {
  std::vector<std::pair<std::string, float>> bones;
  int writes = 0;
};

class FakeTarget : public SkinTarget {
 public:
  explicit FakeTarget(std::vector<host::Point3> positions) : positions(std::move(positions)) {
    skinVertices = static_cast<int>(this->positions.size());
  }

  std::string NodeName() const override { return "Target"; }
  bool GetWorldPositions(std::vector<host::Point3>& out) override {
    ++meshRequests;
    if (!hasMesh) return false;
    out = positions;
    return true;
  }
  bool OpenSkin() override {
    ++skinOpens;
    open = hasSkin;
    return hasSkin;
  }
  int SkinVertexCount() const override { return skinVertices; }
  bool HasVertex(int v) override { return open && v >= 0 && v < skinVertices && !missing.count(v); }
  void SetWeights(int v, std::span<const BoneWeight> weights) override {
    Written& w = written[v];
    w.bones.clear();
    for (const BoneWeight& b : weights) w.bones.emplace_back(std::string(b.bone), b.weight);
    ++w.writes;
    order.push_back(v);
  }
  void CloseSkin() override {
    open = false;
    ++skinCloses;
  }

  std::vector<host::Point3> positions;
  int skinVertices = 0;
  bool hasMesh = true, hasSkin = true, open = false;
  std::set<int> missing;
  std::map<int, Written> written;
  std::vector<int> order;
  int meshRequests = 0, skinOpens = 0, skinCloses = 0;
};

// Records messages and progress.
struct Shown {
  std::vector<std::string> messages;
  std::vector<int> progress;
  TransferHost Host() {
    return {[this](const std::string& t) { messages.push_back(t); },
            [this](int p) { progress.push_back(p); }};
  }
};

inline SkdRecord Record(host::Point3 p, std::vector<std::pair<std::string, float>> bones) {
  SkdRecord r;
  r.position = p;
  for (auto& [name, w] : bones) r.bones.push_back({w, {}, name});
  return r;
}

}  // namespace vorlan::skintools::testing

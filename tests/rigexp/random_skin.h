// Random skinned parts for the split's tests and benchmark: vertices along a body axis, bones
// spread along it, each vertex weighted to bones near it, faces joining nearby vertices.
#pragma once

#include <algorithm>
#include <random>

#include "rigexp/skin_split.h"

namespace vorlan::rigexp::testing {

struct RandomSkinShape {
  uint32_t vertices = 300;
  uint32_t faces = 500;
  uint32_t bones = 20;
  uint32_t maxInfluences = 4;
  uint32_t reach = 3;        // how far (in bones) a vertex's bones spread around its own
  float unweighted = 0.02f;  // share of vertices without bones
};

inline SplitInput RandomSkin(const RandomSkinShape& shape, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  SplitInput in;
  in.influences.resize(shape.vertices);
  for (uint32_t v = 0; v < shape.vertices; ++v) {
    if (unit(rng) < shape.unweighted) continue;
    const uint32_t home = static_cast<uint32_t>(uint64_t(v) * shape.bones / shape.vertices);
    const uint32_t count = 1 + static_cast<uint32_t>(rng() % shape.maxInfluences);
    std::vector<uint32_t> chosen;
    for (uint32_t k = 0; k < count * 3 && chosen.size() < count; ++k) {
      int offset = static_cast<int>(rng() % (2 * shape.reach + 1)) - static_cast<int>(shape.reach);
      int b = std::clamp(static_cast<int>(home) + offset, 0, static_cast<int>(shape.bones) - 1);
      if (std::find(chosen.begin(), chosen.end(), uint32_t(b)) == chosen.end()) chosen.push_back(uint32_t(b));
    }
    std::sort(chosen.begin(), chosen.end());  // influences come in bone-list order
    float total = 0;
    std::vector<float> w(chosen.size());
    for (float& x : w) total += (x = 0.05f + unit(rng));
    for (std::size_t k = 0; k < chosen.size(); ++k) in.influences[v].push_back({chosen[k], w[k] / total});
  }
  for (uint32_t f = 0; f < shape.faces; ++f) {
    const uint32_t a = static_cast<uint32_t>(rng() % shape.vertices);
    auto near = [&] { return std::min<uint32_t>(shape.vertices - 1, a + static_cast<uint32_t>(rng() % 6)); };
    in.faces.push_back({a, near(), near()});
  }
  return in;
}

}  // namespace vorlan::rigexp::testing

// The block rule as plainly as it can be said: every pending face visited in order against
// the block being built, lists searched linearly. The exporter's split must give exactly the
// same blocks.
#pragma once

#include <algorithm>
#include <vector>

#include "rigexp/skin_split.h"

namespace vorlan::rigexp::reference {

inline bool Contains(const std::vector<uint32_t>& v, uint32_t x) { return std::find(v.begin(), v.end(), x) != v.end(); }

inline SplitResult SplitPart(const SplitInput& in) {
  SplitResult result;
  std::vector<bool> pending(in.faces.size(), true);
  auto anyPending = [&] { return std::find(pending.begin(), pending.end(), true) != pending.end(); };
  while (anyPending()) {
    SplitBlock block;
    for (std::size_t f = 0; f < in.faces.size(); ++f) {
      if (!pending[f]) continue;
      std::vector<uint32_t> fresh;
      for (uint32_t v : in.faces[f])
        if (!Contains(block.vertices, v) && !Contains(fresh, v)) fresh.push_back(v);
      std::vector<uint32_t> faceBones;
      for (uint32_t v : fresh)
        for (const Influence& i : in.influences[v])
          if (!Contains(faceBones, i.bone)) faceBones.push_back(i.bone);
      std::vector<uint32_t> trial = block.bones;
      for (uint32_t b : faceBones)
        if (!Contains(trial, b)) trial.push_back(b);
      if (trial.size() > kMaxBlockBones) {
        if (!block.vertices.empty()) continue;
        std::vector<std::pair<uint32_t, float>> ordered;
        for (uint32_t b : faceBones) {
          float sum = 0;
          for (uint32_t v : fresh)
            for (const Influence& i : in.influences[v])
              if (i.bone == b) sum += i.weight;
          auto at = ordered.begin();
          while (at != ordered.end() && !(at->second < sum)) ++at;
          ordered.insert(at, {b, sum});
        }
        trial.clear();
        for (std::size_t k = 0; k < kMaxBlockBones; ++k) trial.push_back(ordered[k].first);
        ++result.cuts.reducedFaces;
        for (uint32_t v : fresh)
          for (const Influence& i : in.influences[v])
            if (!Contains(trial, i.bone)) result.cuts.largestCut = std::max(result.cuts.largestCut, i.weight);
      }
      block.bones = trial;
      std::array<uint32_t, 3> local{};
      for (std::size_t k = 0; k < 3; ++k) {
        auto it = std::find(block.vertices.begin(), block.vertices.end(), in.faces[f][k]);
        if (it == block.vertices.end()) {
          block.vertices.push_back(in.faces[f][k]);
          it = block.vertices.end() - 1;
        }
        local[k] = static_cast<uint32_t>(it - block.vertices.begin());
      }
      block.faces.push_back(local);
      pending[f] = false;
    }
    if (anyPending() && block.vertices.empty()) {
      result.failed = true;
      break;
    }
    result.blocks.push_back(block);
  }
  return result;
}

}  // namespace vorlan::rigexp::reference

#include "rigexp/skin_split.h"

#include <algorithm>
#include <bit>

namespace vorlan::rigexp {

namespace {

// Bone sets as bit masks of `words` 64-bit words, so that a face is tested against a block
// with a few word operations instead of list searches.
class MaskTable {
 public:
  MaskTable(std::size_t rows, std::size_t words) : words_(words), bits_(rows * words, 0) {}
  uint64_t* Row(std::size_t r) { return bits_.data() + r * words_; }
  const uint64_t* Row(std::size_t r) const { return bits_.data() + r * words_; }

 private:
  std::size_t words_;
  std::vector<uint64_t> bits_;
};

class Splitter {
 public:
  explicit Splitter(const SplitInput& in) : in_(in) {
    uint32_t maxBone = 0;
    bool any = false;
    for (const auto& infl : in.influences)
      for (const Influence& i : infl) {
        maxBone = std::max(maxBone, i.bone);
        any = true;
      }
    words_ = any ? (std::size_t(maxBone) / 64 + 1) : 0;
    vertexMasks_ = MaskTable(in.influences.size(), words_);
    faceMasks_ = MaskTable(in.faces.size(), words_);
    for (std::size_t v = 0; v < in.influences.size(); ++v)
      for (const Influence& i : in.influences[v]) vertexMasks_.Row(v)[i.bone / 64] |= uint64_t(1) << (i.bone % 64);
    for (std::size_t f = 0; f < in.faces.size(); ++f)
      for (uint32_t v : in.faces[f])
        for (std::size_t w = 0; w < words_; ++w) faceMasks_.Row(f)[w] |= vertexMasks_.Row(v)[w];
    stamp_.assign(in.influences.size(), 0);
    local_.assign(in.influences.size(), 0);
    blockMask_.assign(words_, 0);
  }

  SplitResult Run() {
    SplitResult result;
    std::vector<uint32_t> pending(in_.faces.size()), rejected;
    for (uint32_t f = 0; f < pending.size(); ++f) pending[f] = f;
    while (!pending.empty()) {
      SplitBlock block;
      ++blockStamp_;
      std::fill(blockMask_.begin(), blockMask_.end(), 0);
      foreignInBlock_ = false;
      rejected.clear();
      for (uint32_t f : pending)
        if (!Visit(f, block, result.cuts)) rejected.push_back(f);
      if (!rejected.empty() && block.vertices.empty()) {
        result.failed = true;
        break;
      }
      result.blocks.push_back(std::move(block));
      pending.swap(rejected);
    }
    return result;
  }

 private:
  bool InBlock(uint32_t v) const { return stamp_[v] == blockStamp_; }
  bool HasBone(uint32_t bone) const { return (blockMask_[bone / 64] >> (bone % 64)) & 1; }
  void AddBone(SplitBlock& block, uint32_t bone) {
    blockMask_[bone / 64] |= uint64_t(1) << (bone % 64);
    block.bones.push_back(bone);
  }

  // Takes face f into the block or leaves it pending (false).
  bool Visit(uint32_t f, SplitBlock& block, SplitCuts& cuts) {
    const std::array<uint32_t, 3>& face = in_.faces[f];
    if (block.bones.size() == kMaxBlockBones && !foreignInBlock_) {
      // A full block whose vertices all live on its bones takes exactly the faces whose
      // vertices do too: a vertex with another bone would be new and overflow the set.
      const uint64_t* u = faceMasks_.Row(f);
      for (std::size_t w = 0; w < words_; ++w)
        if (u[w] & ~blockMask_[w]) return false;
      Accept(face, block);
      return true;
    }

    // The face's vertices that are new to the block, each once, in corner order.
    uint32_t fresh[3];
    int freshCount = 0;
    for (uint32_t v : face)
      if (!InBlock(v) && std::find(fresh, fresh + freshCount, v) == fresh + freshCount) fresh[freshCount++] = v;
    int trial = 0;
    for (std::size_t w = 0; w < words_; ++w) {
      uint64_t m = blockMask_[w];
      for (int k = 0; k < freshCount; ++k) m |= vertexMasks_.Row(fresh[k])[w];
      trial += std::popcount(m);
    }
    if (static_cast<std::size_t>(trial) <= kMaxBlockBones) {
      for (int k = 0; k < freshCount; ++k)
        for (const Influence& i : in_.influences[fresh[k]])
          if (!HasBone(i.bone)) AddBone(block, i.bone);
      Accept(face, block);
      return true;
    }
    if (!block.vertices.empty()) return false;
    Reduce(fresh, freshCount, block, cuts);
    Accept(face, block);
    return true;
  }

  // The first face of a block needs more than five bones: keep the five with the largest
  // weight summed over its vertices; equal sums keep their order of appearance.
  void Reduce(const uint32_t* fresh, int freshCount, SplitBlock& block, SplitCuts& cuts) {
    struct Sum {
      uint32_t bone;
      float sum;
    };
    std::vector<Sum> appearance;
    for (int k = 0; k < freshCount; ++k)
      for (const Influence& i : in_.influences[fresh[k]]) {
        auto it = std::find_if(appearance.begin(), appearance.end(), [&](const Sum& s) { return s.bone == i.bone; });
        if (it == appearance.end())
          appearance.push_back({i.bone, i.weight});
        else
          it->sum += i.weight;
      }
    std::vector<Sum> ordered;
    for (const Sum& s : appearance) {
      auto before = std::find_if(ordered.begin(), ordered.end(), [&](const Sum& o) { return o.sum < s.sum; });
      ordered.insert(before, s);
    }
    for (std::size_t k = 0; k < ordered.size() && k < kMaxBlockBones; ++k) AddBone(block, ordered[k].bone);

    ++cuts.reducedFaces;
    for (int k = 0; k < freshCount; ++k)
      for (const Influence& i : in_.influences[fresh[k]])
        if (!HasBone(i.bone)) {
          foreignInBlock_ = true;
          cuts.largestCut = std::max(cuts.largestCut, i.weight);
        }
  }

  void Accept(const std::array<uint32_t, 3>& face, SplitBlock& block) {
    std::array<uint32_t, 3> local{};
    for (int k = 0; k < 3; ++k) {
      uint32_t v = face[static_cast<std::size_t>(k)];
      if (!InBlock(v)) {
        stamp_[v] = blockStamp_;
        local_[v] = static_cast<uint32_t>(block.vertices.size());
        block.vertices.push_back(v);
      }
      local[static_cast<std::size_t>(k)] = local_[v];
    }
    block.faces.push_back(local);
  }

  const SplitInput& in_;
  std::size_t words_ = 0;
  MaskTable vertexMasks_{0, 0}, faceMasks_{0, 0};
  std::vector<uint32_t> stamp_, local_;
  uint32_t blockStamp_ = 0;
  std::vector<uint64_t> blockMask_;
  // A reduced face left vertices in the block whose other bones the block does not have.
  bool foreignInBlock_ = false;
};

}  // namespace

SplitResult SplitPart(const SplitInput& input) { return Splitter(input).Run(); }

}  // namespace vorlan::rigexp

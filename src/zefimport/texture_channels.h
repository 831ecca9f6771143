// Where the texture coordinates and textures of a material record go in the host.
//
// A vertex carries one (u, v) pair per set bit of its material's texture-channel mask. The
// pairs are in the order in which the exporter writes them: by texture slot, except that
// the engine's second diffuse texture (slot 13) comes after its overlay texture (slot 14).
// Each pair goes to a host map channel that depends on the file's version, the material's
// kind and the bit.
#pragma once

#include <cstdint>
#include <vector>

namespace vorlan::zefimport {

struct PairTarget {
  uint32_t bit = 0;  // the mask bit the pair belongs to
  int channel = 1;   // host map channel
};

// One entry per set bit of `mask`, in the order of the pairs in a vertex.
std::vector<PairTarget> PairTargets(uint32_t version, int kind, uint32_t mask);

// The host map channel of the pair of `bit`, or 1 when the bit is not in the mask.
int ChannelOfBit(uint32_t version, int kind, uint32_t mask, uint32_t bit);

// The Standard material map slot (or engine material channel) of a mask bit; -1 for none.
int TextureSlotOfBit(uint32_t bit);

}  // namespace vorlan::zefimport

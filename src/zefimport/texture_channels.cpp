#include "zefimport/texture_channels.h"

#include <algorithm>
#include <array>

#include "zef/blocks.h"
#include "zefimport/import_context.h"

namespace vorlan::zefimport {

namespace {

struct BitSlot {
  uint32_t bit;
  int slot;
};

// Standard map slots as the material records number them, and the engine material's
// channels by their type bits.
constexpr std::array<BitSlot, 20> kBitSlots{{{0x1, 1},       {0x2, 11},      {0x4, 8},       {0x8, 0},
                                             {0x10, 2},      {0x20, 3},      {0x40, 4},      {0x80, 5},
                                             {0x100, 6},     {0x200, 7},     {0x400, 9},     {0x800, 10},
                                             {0x10000, 12},  {0x20000, 13},  {0x40000, 14},  {0x80000, 19},
                                             {0x100000, 18}, {0x200000, 18}, {0x400000, 19}, {0x800000, 14}}};

// Host channel of a bit in a current file for the two non-layered kinds.
constexpr std::array<BitSlot, 7> kBitChannels{
    {{0x20000, 2}, {0x40000, 3}, {0x80000, 4}, {0x100000, 5}, {0x200000, 5}, {0x400000, 4}, {0x800000, 3}}};

int BitPosition(uint32_t bit) {
  int p = 0;
  while (bit > 1) bit >>= 1, ++p;
  return p;
}

// Where a bit's pair lies among the pairs of a vertex.
int PairOrderKey(int kind, uint32_t bit) {
  if (kind == kKindVexaLayer) return BitPosition(bit);
  int slot = TextureSlotOfBit(bit);
  if (slot < 0) return 100 + BitPosition(bit);
  if (slot == 13) return 14 * 2 + 1;  // the second diffuse texture follows the overlay
  return slot * 2;
}

}  // namespace

int TextureSlotOfBit(uint32_t bit) {
  for (const BitSlot& b : kBitSlots)
    if (b.bit == bit) return b.slot;
  return -1;
}

std::vector<PairTarget> PairTargets(uint32_t version, int kind, uint32_t mask) {
  std::vector<uint32_t> bits;
  for (int i = 0; i < 32; ++i)
    if (mask & (1u << i)) bits.push_back(1u << i);
  std::stable_sort(bits.begin(), bits.end(),
                   [kind](uint32_t a, uint32_t b) { return PairOrderKey(kind, a) < PairOrderKey(kind, b); });
  std::vector<PairTarget> out;
  out.reserve(bits.size());
  for (std::size_t k = 0; k < bits.size(); ++k) {
    PairTarget t{bits[k], 1};
    // A Standard material's textures each keep a channel of their own: the record does not
    // say which channel a texture used, and putting every pair into channel 1 would lose all
    // but the first set of coordinates.
    if (version != zef::kVersion0100 || kind == kKindStandard) {
      t.channel = static_cast<int>(k) + 1;
    } else if (kind == kKindVexaLayer) {
      t.channel = BitPosition(bits[k]) + 1;
    } else {
      for (const BitSlot& c : kBitChannels)
        if (c.bit == bits[k]) t.channel = c.slot;
    }
    out.push_back(t);
  }
  return out;
}

int ChannelOfBit(uint32_t version, int kind, uint32_t mask, uint32_t bit) {
  for (const PairTarget& t : PairTargets(version, kind, mask))
    if (t.bit == bit) return t.channel;
  return 1;
}

}  // namespace vorlan::zefimport

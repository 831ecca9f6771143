// Which texture coordinates a face's material needs, and how each pair is scaled.
//
// A material names up to 20 texture positions: the map slots of a Standard material (or of
// an engine material's underlying Standard material), or the layers of a layered engine
// material. Each used position points at a host map channel. A corner carries one (u, v)
// pair per used position, taken in the order 0 to 12, 14, 13, 15 to 19: the engine reads
// the first diffuse, overlay and second diffuse textures of its own material in that order.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/material.h"
#include "host/mesh.h"
#include "zef/material_table.h"
#include "zefexport/mesh_export.h"

namespace vorlan::zefexport {

// 0: any material but the two engine ones, 1: VexaMat, 2: VexaLayer.
int MaterialKind(const host::Mtl* mtl);

// The order in which list positions become pairs.
inline constexpr std::array<int, kTextureSlots> kPairOrder = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                              10, 11, 12, 14, 13, 15, 16, 17, 18, 19};

// How one pair is computed from a map vertex (a, b) picked by the axis setting:
//   x = (tu * a + ou) * s,  y = (tv * (1 - b) + ov) * s,
//   u = cu * x - cu / 2 + 0.5 + trunc(cu / 2)  (u = x when cu is 1), likewise v from y.
struct PairRule {
  int slot = 0;       // list position
  int channel = 0;    // host map channel
  int fallback = -1;  // channel to use when `channel` has no map faces (slot 11 only)
  float s = 1, tu = 1, tv = 1, ou = 0, ov = 0, cu = 1, cv = 1;
};

struct TexturePlan {
  int kind = 0;
  int axis = 0;              // 0: (x, y), 1: (y, z), 2: (z, x) of the map vertex
  bool noGenerator = false;  // kind 0 with pairs but no coordinate generator to take the axis from
  uint32_t wanted = 0;       // positions the material uses
  uint32_t pairCount = 0;    // pairs each corner carries: wanted, at most kMaxTexturePairs
  std::array<PairRule, kMaxTexturePairs> rules{};
};

// The plan of a face whose material is `mtl` (may be null: no pairs), whose MatList record
// has `crop` in the crop list (null when it has none) and, for a VexaLayer, whose layer
// settings are `layers` (null: no layer carries coordinates).
TexturePlan PlanTextures(const host::Mtl* mtl, const zef::CropEntry* crop, const zef::LayerTable* layers);

// The rules of a plan bound to one mesh: each rule's map channel, or null where the corner
// stops taking pairs (its channel has no map faces and there is no usable fallback).
struct BoundPlan {
  uint32_t pairCount = 0;
  int axis = 0;
  uint32_t computed = 0;  // rules before the first unusable channel
  std::array<const host::MapChannel*, kMaxTexturePairs> maps{};
  std::array<PairRule, kMaxTexturePairs> rules{};
};
BoundPlan BindPlan(const TexturePlan& plan, const host::Mesh& mesh);

// Writes the 2 * plan.pairCount floats of corner `corner` (0..2) of host face `face`.
// Pairs after the first unusable channel are zero.
void ComputeCornerPairs(const BoundPlan& plan, uint32_t face, int corner, float* out);

}  // namespace vorlan::zefexport

// Node animation in the glTF writer: the keys of a node's position, rotation and scale
// controllers become the channels of one glTF animation.
//
// - Linear keys are written as LINEAR samplers, Bezier position and scale keys as
//   CUBICSPLINE ones with the keys' own tangents (per second instead of per tick): the same
//   curve, as long as the handles reach a third of their segment, which is what the host
//   makes and the importer gives.
// - TCB position and scale keys become CUBICSPLINE samplers with the tangents the TCB curve
//   is drawn with: exact while every key's ease is 0.
// - Smooth (Bezier) rotations are written as CUBICSPLINE samplers through their keys with
//   tangents estimated from the neighbouring keys.
// - What glTF cannot draw exactly (TCB rotations, TCB keys with ease, Bezier handles of
//   other lengths, keys sharing a time) is written as one LINEAR key per frame of the scene,
//   and the warnings say so, one line per kind.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "host/math3d.h"
#include "interchange/gltf_builder.h"
#include "interchange/import_parts.h"
#include "workbench/scene.h"

namespace vorlan::workbench::interchange {

class GltfAnimationWriter {
 public:
  // `scale` divides lengths, as everywhere in the writer.
  GltfAnimationWriter(GltfBuilder& gltf, WarningSink& warnings, float scale, int ticksPerFrame)
      : gltf_(gltf),
        warnings_(warnings),
        scale_(scale),
        ticksPerFrame_(ticksPerFrame > 0 ? ticksPerFrame : 1) {}

  // Whether a node has keys of its own: such a node is written with its local transform in
  // parts (glTF animates only those) and gets channels.
  static bool Animates(const SceneNode& node);

  // Writes the node's translation, rotation and scale into `n` and adds its channels.
  // `hostLocal` is the node's transform relative to its parent in the scene at time 0,
  // `local` the one the file gives it (axes and units of the file).
  void AddNode(const SceneNode& node, int index, const host::Matrix3& hostLocal, const host::Matrix3& local,
               nlohmann::json& n);

  // Adds the animation to the document when any node has channels.
  void Finish();

 private:
  // One sampler and its channel. `values` holds `components` floats per key, three times
  // that for cubic splines (in-tangent, value, out-tangent).
  void Channel(int node, const char* path, std::vector<float> times, std::vector<float> values,
               int components, bool cubic);

  GltfBuilder& gltf_;
  WarningSink& warnings_;
  float scale_;
  int ticksPerFrame_;
  nlohmann::json samplers_ = nlohmann::json::array();
  nlohmann::json channels_ = nlohmann::json::array();
};

}  // namespace vorlan::workbench::interchange

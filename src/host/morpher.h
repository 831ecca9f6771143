// The Morpher modifier: channels that blend a base mesh towards target shapes.
#pragma once

#include <string>
#include <vector>

#include "host/modifier.h"

namespace vorlan::host {

struct MorphChannel {
  std::string name;
  // The target's vertices in the base's space; a channel without points is unused.
  std::vector<Point3> points;
  // Per base-mesh vertex (by host vertex number): target minus base.
  std::vector<Point3> deltas;
  // The node the target was taken from; may be absent (deleted, or never picked).
  Node* target = nullptr;
  float value = 0.0f;  // percent, 0..100

  bool HasPoints() const { return !points.empty(); }
  // The delta of a base vertex; zero for a vertex the table does not reach.
  Point3 Delta(int vertex) const {
    return vertex >= 0 && static_cast<std::size_t>(vertex) < deltas.size()
               ? deltas[static_cast<std::size_t>(vertex)]
               : Point3{};
  }
};

class MorphModifier : public Modifier {
 public:
  ClassId GetClassId() const override { return kMorpherClassId; }
  virtual int NumChannels() const = 0;
  // Channel i, or null outside 0..NumChannels()-1.
  virtual const MorphChannel* GetChannel(int i) const = 0;
};

}  // namespace vorlan::host

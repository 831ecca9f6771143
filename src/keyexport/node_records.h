// One node's record of a .manm file: the keys of its position, rotation and scale
// keyframe controllers as they are, or for cameras sampled position, orientation and
// field-of-view keys.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/interface.h"

namespace vorlan::keyexport {

struct ExportChoice {
  bool selectedOnly = false;
  bool hierarchy = false;
};

// Visits the nodes an export writes, depth first below the root, children in order. A node
// that is not chosen still has its children visited. `visit` returns false to stop.
void WalkChosenNodes(host::Node& root, const ExportChoice& choice,
                     const std::function<bool(host::Node&)>& visit);

// Whether a node's object at time 0 is one of the host's cameras.
bool IsCamera(const host::Node& node);

// Appends the node's whole record (head with its counts and size, name, key blocks). Shows
// the unsupported-controller messages through the host. A record larger than its 32-bit
// size field can say is refused with a message and nothing appended: false.
bool WriteNodeRecord(host::Interface& ip, host::Node& node, std::vector<uint8_t>& out);

}  // namespace vorlan::keyexport

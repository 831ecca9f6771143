// What the five-bone rule cut, per mesh: the faces whose bones were reduced to five and the
// largest weight left out. The engine shows nothing of it, so the exporter tells the artist
// on the log, on standard error and, through the host, as JSON.
#pragma once

#include <string>
#include <vector>

#include "rigexp/rig_state.h"

namespace vorlan::rigexp {

struct MeshCutReport {
  std::string mesh;
  uint32_t faces = 0;
  uint32_t blocks = 0;
  uint32_t reducedFaces = 0;
  float largestCut = 0.0f;
};

std::vector<MeshCutReport> CollectCuts(const RigState& state);
// One line per mesh, each ending in "\n".
std::string CutReportText(const std::vector<MeshCutReport>& cuts);
// {"exporter": "RigExp", "file": ..., "meshes": [{"name", "faces", "blocks", "reducedFaces", "largestCutWeight"}]}
std::string CutReportJson(const std::string& file, const std::vector<MeshCutReport>& cuts);

}  // namespace vorlan::rigexp

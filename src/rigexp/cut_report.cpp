#include "rigexp/cut_report.h"

#include <cmath>
#include <cstdio>

namespace vorlan::rigexp {

namespace {

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Number(float f) {
  if (!std::isfinite(f)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", double(f));
  return buf;
}

}  // namespace

std::vector<MeshCutReport> CollectCuts(const RigState& state) {
  std::vector<MeshCutReport> out;
  for (const RigMesh& m : state.meshes) {
    MeshCutReport r{m.name, 0, static_cast<uint32_t>(m.blocks.size()), m.cuts.reducedFaces, m.cuts.largestCut};
    for (const RigPart& p : m.parts) r.faces += static_cast<uint32_t>(p.faces.size());
    out.push_back(r);
  }
  return out;
}

std::string CutReportText(const std::vector<MeshCutReport>& cuts) {
  std::string text;
  for (const MeshCutReport& c : cuts) {
    char line[160];
    std::snprintf(line, sizeof line, ": %u of %u faces reduced to five bones, largest weight cut %.4f\n",
                  c.reducedFaces, c.faces, double(c.largestCut));
    text += "Mesh \"" + c.mesh + "\"" + line;
  }
  return text;
}

std::string CutReportJson(const std::string& file, const std::vector<MeshCutReport>& cuts) {
  std::string j = "{\"exporter\": \"RigExp\", \"file\": " + JsonString(file) + ", \"meshes\": [";
  for (std::size_t i = 0; i < cuts.size(); ++i) {
    const MeshCutReport& c = cuts[i];
    j += (i ? ", " : "") + std::string("{\"name\": ") + JsonString(c.mesh) + ", \"faces\": " + std::to_string(c.faces) +
         ", \"blocks\": " + std::to_string(c.blocks) + ", \"reducedFaces\": " + std::to_string(c.reducedFaces) +
         ", \"largestCutWeight\": " + Number(c.largestCut) + "}";
  }
  return j + "]}";
}

}  // namespace vorlan::rigexp

#include "zef/inspect.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "support/bytes.h"

namespace vorlan::zef {

namespace {

std::string Hex(uint32_t v, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*" PRIX32, digits, v);
  return text;
}

// The four version bytes as they read, e.g. "0100".
std::string VersionText(uint32_t version) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((version >> (8 * i)) & 0xFF);
  return "\"" + Escape(bytes) + "\"";
}

void PrintBlock(const BlockInfo& b, int depth, std::string& out) {
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  const char* name = BlockName(b.id);
  out += Hex(b.id, 4) + " " + (name ? name : "unknown") + " size " + std::to_string(b.size) + " @" +
         std::to_string(b.offset);
  if (b.Truncated()) out += " (truncated: " + std::to_string(b.available) + " bytes present)";
  for (const Field& f : b.fields) {
    out += "  " + f.key + " ";
    out += f.text ? "\"" + Escape(f.value) + "\"" : f.value;
  }
  out += '\n';
  for (const BlockInfo& c : b.children) PrintBlock(c, depth + 1, out);
}

void Summarize(std::span<const uint8_t> data, const BlockInfo& b, ZefSummary& s) {
  switch (b.id) {
    case kNode:
    case kSkeletonObj:
      if (const Field* name = b.Find("name")) s.nodeNames.push_back(name->value);
      break;
    case kInfo:
      if (b.available >= kInfoFixedSize) s.infoTriangles = support::LoadU32(data.data() + b.offset + 16);
      break;
    case kMatList:
      s.materialRecords += b.children.size();
      break;
    case kFaces:
      if (b.available >= kFacesHeadSize) s.triangles += support::LoadU32(data.data() + b.offset + 8);
      break;
    case kVertices:
      if (b.available >= kVerticesHeadSize) {
        const uint8_t* head = data.data() + b.offset;
        const uint32_t count = support::LoadU32(head + 8);
        const uint32_t stride = support::LoadU32(head + 12);
        s.vertices += count;
        if (stride < 12) break;
        // Only the vertices whose position is actually present.
        const uint64_t present = std::min<uint64_t>(count, (b.available - kVerticesHeadSize) / stride);
        for (uint64_t i = 0; i < present; ++i) {
          const uint8_t* p = head + kVerticesHeadSize + i * stride;
          host::Point3 pos{support::LoadF32(p), support::LoadF32(p + 4), support::LoadF32(p + 8)};
          if (std::isfinite(pos.x) && std::isfinite(pos.y) && std::isfinite(pos.z)) s.bounds.Include(pos);
        }
      }
      break;
    default:
      break;
  }
  for (const BlockInfo& c : b.children) Summarize(data, c, s);
}

}  // namespace

std::string InspectZef(std::span<const uint8_t> data) {
  ZefFile file;
  const ZefResult result = ParseZef(data, file);
  std::string out;
  if (result == ZefResult::kNotZef) return "not a ZEF file\n";
  if (result == ZefResult::kUnknownVersion) return "unknown ZEF version " + Hex(file.version, 8) + "\n";
  if (file.family == VersionFamily::kUnknown)
    return "ZEF header truncated: " + std::to_string(data.size()) + " bytes\n";

  out += "ZEF version " + VersionText(file.version) + " (" + Hex(file.version, 8) + ")";
  if (file.family == VersionFamily::kOld) out += " old format";
  if (file.hasHostFields)
    out += ", host version " + Hex(file.hostVersion, 8) + ", nodes " + std::to_string(file.nodeCount);
  out += ", blocks from offset " + std::to_string(file.firstBlock) + ", file size " +
         std::to_string(data.size()) + "\n";
  for (const BlockInfo& b : file.blocks) PrintBlock(b, 0, out);

  std::vector<std::string> findings = ValidateZef(data, file);
  if (!file.problems.empty() || !findings.empty()) {
    out += "problems:\n";
    for (const std::string& p : file.problems) out += "  " + p + "\n";
    for (const std::string& f : findings) out += "  " + f + "\n";
  }
  return out;
}

ZefSummary SummarizeZef(std::span<const uint8_t> data) {
  ZefSummary s;
  ZefFile file;
  s.result = ParseZef(data, file);
  s.version = file.version;
  s.headerNodeCount = file.nodeCount;
  for (const BlockInfo& b : file.blocks) Summarize(data, b, s);
  s.problems = std::move(file.problems);
  if (s.result != ZefResult::kNotZef && s.result != ZefResult::kUnknownVersion)
    for (std::string& f : ValidateZef(data, file)) s.problems.push_back(std::move(f));
  return s;
}

}  // namespace vorlan::zef

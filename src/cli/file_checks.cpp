#include "file_checks.h"

#include <nlohmann/json.hpp>
#include <span>
#include <string_view>

#include "interchange/glb.h"
#include "scene_loading.h"
#include "support/mapped_file.h"
#include "workbench/scene_document.h"
#include "zef/inspect.h"
#include "zef/reader.h"

namespace vorlan::cli {

namespace {

using Problems = std::vector<std::string>;

void CheckZef(std::span<const uint8_t> bytes, const std::string&, Problems& problems) {
  zef::ZefFile file;
  zef::ZefResult result = zef::ParseZef(bytes, file);
  if (result == zef::ZefResult::kNotZef || result == zef::ZefResult::kUnknownVersion) {
    problems.push_back(zef::ToString(result));
    return;
  }
  for (std::string& p : file.problems) problems.push_back(std::move(p));
  for (std::string& f : zef::ValidateZef(bytes, file)) problems.push_back(std::move(f));
  if (result != zef::ZefResult::kSuccess && problems.empty()) problems.push_back(zef::ToString(result));
}

// The same findings as CheckZef, from one reading that also counts what a report shows.
void CheckAndCountZef(std::span<const uint8_t> bytes, FileCheck& result) {
  zef::ZefSummary s = zef::SummarizeZef(bytes);
  if (s.result == zef::ZefResult::kNotZef || s.result == zef::ZefResult::kUnknownVersion) {
    result.problems.push_back(zef::ToString(s.result));
    return;
  }
  result.problems = std::move(s.problems);
  if (s.result != zef::ZefResult::kSuccess && result.problems.empty())
    result.problems.push_back(zef::ToString(s.result));
  result.counts = {{"nodes", s.nodeNames.size()},
                   {"triangles", s.triangles},
                   {"vertices", s.vertices},
                   {"materialRecords", s.materialRecords}};
}

void CheckSceneDocument(std::span<const uint8_t> bytes, const std::string& path, Problems& problems) {
  workbench::Scene scene;
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  workbench::DocumentResult r = workbench::ParseSceneDocument(text, scene, path);
  if (!r) problems.push_back(r.error.substr(r.error.rfind(path + ": ", 0) == 0 ? path.size() + 2 : 0));
}

void CheckGltfJson(const std::string& json, Problems& problems) {
  nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
  if (doc.is_discarded()) {
    problems.push_back("the glTF JSON does not parse");
    return;
  }
  if (!doc.is_object() || !doc.contains("asset") || !doc["asset"].is_object() ||
      !doc["asset"].contains("version"))
    problems.push_back("the glTF JSON has no asset.version");
}

void CheckGlb(std::span<const uint8_t> bytes, const std::string&, Problems& problems) {
  workbench::interchange::GlbParts parts;
  std::string error;
  if (!workbench::interchange::SplitGlb(bytes, parts, error)) {
    problems.push_back(error);
    return;
  }
  CheckGltfJson(parts.json, problems);
}

void CheckGltf(std::span<const uint8_t> bytes, const std::string&, Problems& problems) {
  CheckGltfJson(std::string(bytes.begin(), bytes.end()), problems);
}

struct Checker {
  std::string_view extension;
  void (*check)(std::span<const uint8_t> bytes, const std::string& path, Problems& problems);
  // Checks and fills FileCheck::counts; none where the format has nothing to count.
  void (*checkAndCount)(std::span<const uint8_t> bytes, FileCheck& result) = nullptr;
};

constexpr Checker kCheckers[] = {
    {"glb", CheckGlb},
    {"gltf", CheckGltf},
    {"vscene", CheckSceneDocument},
    {"zef", CheckZef, CheckAndCountZef},
};

}  // namespace

FileCheck CheckFile(const std::string& path, bool count) {
  FileCheck result;
  const std::string ext = LowerExtension(path);
  const Checker* checker = nullptr;
  for (const Checker& c : kCheckers)
    if (c.extension == ext) checker = &c;
  if (!checker) return result;
  result.known = true;
  // Mapped, not read: a large output was just written and is in the page cache, and
  // copying it into a buffer of our own would cost more than checking it.
  support::MappedFile file;
  if (auto r = file.Open(path); !r) {
    result.readable = false;
    result.problems.push_back(r.error);
    return result;
  }
  if (count && checker->checkAndCount)
    checker->checkAndCount(file.Bytes(), result);
  else
    checker->check(file.Bytes(), path, result.problems);
  return result;
}

std::string CheckedExtensions() {
  std::string list;
  for (const Checker& c : kCheckers) list += (list.empty() ? "." : ", .") + std::string(c.extension);
  return list;
}

}  // namespace vorlan::cli

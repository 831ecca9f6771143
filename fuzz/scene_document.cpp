// Feeds arbitrary bytes to the scene document reader: it must answer with a result, never
// crash, hang or read out of bounds. A successful load is saved and read back once more, so
// the writer sees every scene the reader can build.
#include "workbench/scene_document.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "workbench/materials.h"

namespace {

// Materials as {"name": "..."} so that documents with a "materials" array get further.
vorlan::workbench::MaterialCodec NameCodec() {
  using vorlan::workbench::Json;
  vorlan::workbench::MaterialCodec c;
  c.read = [](const Json& a, std::vector<std::shared_ptr<vorlan::host::Mtl>>& out, std::string& error) {
    for (const auto& m : a) {
      if (!m.is_object() || !m.contains("name") || !m["name"].is_string()) {
        error = "materials: expected {\"name\": text}";
        return false;
      }
      out.push_back(std::make_shared<vorlan::workbench::OtherMtl>(vorlan::host::ClassId{1, 1}, "Fuzz",
                                                                  m["name"].get<std::string>()));
    }
    return true;
  };
  c.write = [](const std::vector<std::shared_ptr<vorlan::host::Mtl>>& mats, Json& out, std::string&) {
    for (const auto& m : mats) out.push_back({{"name", m->GetName()}});
    return true;
  };
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const vorlan::workbench::MaterialCodec codec = NameCodec();
  vorlan::workbench::DocumentOptions options{.materials = &codec};
  vorlan::workbench::Scene scene;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = vorlan::workbench::ParseSceneDocument(text, scene, "fuzz", options);
  if (!result.ok) return 0;
  std::string error;
  std::string saved = vorlan::workbench::SceneDocumentText(scene, error, options);
  if (saved.empty()) return 0;
  vorlan::workbench::Scene again;
  auto second = vorlan::workbench::ParseSceneDocument(saved, again, "fuzz-resaved", options);
  // What the writer wrote, the reader must take; and it must write the same text again.
  if (!second.ok || vorlan::workbench::SceneDocumentText(again, error, options) != saved) __builtin_trap();
  return 0;
}

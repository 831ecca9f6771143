// Any bytes imported as a .zef file into a workbench scene must end cleanly: no read outside
// the file, no hang, no unbounded allocation, and a scene whose meshes are all valid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "support/log.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"
#include "zefimport/importer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorlan;
  workbench::Scene scene;
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  wb.SetPlugCfgDir("/nonexistent/vorlan-fuzz/cfg");
  wb.SetLogDir("/nonexistent/vorlan-fuzz/logs");
  // The log stays closed: writes fail quietly.
  support::LogSetMessageHandler([](const std::string&, const std::string&) {});

  zefimport::ImportContext ctx(wb);
  // Texture searches look in a folder that does not exist, and never ask.
  ctx.fileName = "/nonexistent/vorlan-fuzz/in.zef";
  ctx.noneForAll = true;
  if (!ctx.heap.InitMemMgr("ZefImport")) return 0;
  if (ctx.reader.LoadBytes(std::span<const uint8_t>(data, size)) != zefimport::LoadStatus::kOk) return 0;
  zefimport::ImportWalk(ctx);
  ctx.reader.Release();
  ctx.heap.ReleaseMemMgr();

  for (workbench::SceneNode* n : scene.AllNodes()) {
    host::Object* o = n->ObjectPtr().get();
    host::Mesh* m = o ? o->GetEditableMesh() : nullptr;
    if (m && !m->IsValid()) std::abort();
  }
  support::LogSetMessageHandler({});
  return 0;
}

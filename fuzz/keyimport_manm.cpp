// Any bytes read by the animation importer onto a small scene must end cleanly: no read
// outside the file, no allocation beyond what the file holds, and nodes whose keys came from
// the file evaluate at any time.
#include <cstddef>
#include <cstdint>

#include "keyimport/manm_reader.h"
#include "workbench/scene.h"
#include "workbench/user_interface.h"
#include "workbench/workbench.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorlan;
  workbench::Scene scene;
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  auto& a = scene.CreateNode("A");
  scene.CreateNode("B", &a);
  scene.CreateNode("Camera01").SetObject(std::make_shared<workbench::CameraObject>(false));

  keyimport::ManmBuffer buffer;
  if (!buffer.Assign(data, size)) return 0;
  keyimport::ParseManm(wb, buffer);
  for (auto* node : scene.AllNodes()) {
    for (host::TimeValue t : {-100000, 0, 80, 160, 4800, 1 << 30}) {
      node->GetNodeTM(t);
      node->NodeTMValidity(t);
    }
  }
  return 0;
}

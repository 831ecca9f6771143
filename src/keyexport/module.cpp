// KeyExport.dle: the animation exporter's module frame.
#include <new>

#include "host/plugin.h"
#include "keyexport/key_exporter.h"

namespace {

using namespace vorlan;

class KeyExportClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return new (std::nothrow) keyexport::KeyExporter(); }
  const char* ClassName() override { return keyexport::KeyExportStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kSceneExportClass; }
  host::ClassId ClassID() override { return host::kKeyExportClassId; }
  const char* Category() override { return keyexport::KeyExportStrings().Get(host::IDS_CATEGORY); }
};

KeyExportClassDesc keyExportDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::keyexport::KeyExportStrings(), keyExportDesc)

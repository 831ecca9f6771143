// ZefExport.dle: the scene exporter's module frame.
#include <new>

#include "host/plugin.h"
#include "zefexport/exporter.h"

namespace {

using namespace vorlan;

class ZefExportClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return new (std::nothrow) zefexport::ZefExporter(); }
  const char* ClassName() override { return zefexport::ZefExportStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kSceneExportClass; }
  host::ClassId ClassID() override { return host::kZefExportClassId; }
  const char* Category() override { return zefexport::ZefExportStrings().Get(host::IDS_CATEGORY); }
  const char* InternalName() override { return zefexport::ZefExportStrings().Get(host::IDS_INTERNAL_NAME); }
};

ZefExportClassDesc zefExportDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::zefexport::ZefExportStrings(), zefExportDesc)

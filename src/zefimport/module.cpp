// ZefImport.dli: the scene importer's module frame.
#include <new>

#include "host/plugin.h"
#include "zefimport/importer.h"

namespace {

using namespace vorlan;

class ZefImportClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return new (std::nothrow) zefimport::ZefImporter(); }
  const char* ClassName() override { return zefimport::ZefImportStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kSceneImportClass; }
  host::ClassId ClassID() override { return host::kZefImportClassId; }
  const char* Category() override { return zefimport::ZefImportStrings().Get(host::IDS_CATEGORY); }
};

ZefImportClassDesc zefImportDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::zefimport::ZefImportStrings(), zefImportDesc)

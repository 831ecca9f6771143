// KeyImport.dli: the animation importer's module frame.
#include <new>

#include "host/plugin.h"
#include "keyimport/key_importer.h"

namespace {

using namespace vorlan;

class KeyImportClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return new (std::nothrow) keyimport::KeyImporter(); }
  const char* ClassName() override { return keyimport::KeyImportStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kSceneImportClass; }
  host::ClassId ClassID() override { return host::kKeyImportClassId; }
  const char* Category() override { return keyimport::KeyImportStrings().Get(host::IDS_CATEGORY); }
};

KeyImportClassDesc keyImportDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::keyimport::KeyImportStrings(), keyImportDesc)

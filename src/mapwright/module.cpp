// Mapwright.dlu: the texture-coordinate editor's module frame.
#include "host/plugin.h"
#include "mapwright/utility.h"

namespace {

using namespace vorlan;

class MapwrightClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return &mapwright::TheMapwrightUtility(); }
  const char* ClassName() override { return mapwright::MapwrightStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kUtilityClass; }
  host::ClassId ClassID() override { return host::kMapwrightClassId; }
  const char* Category() override { return mapwright::MapwrightStrings().Get(host::IDS_CATEGORY); }
};

MapwrightClassDesc mapwrightDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::mapwright::MapwrightStrings(), mapwrightDesc)

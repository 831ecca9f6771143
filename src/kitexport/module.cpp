// KitExport.dlu: the equipment utility's module frame.
#include "host/plugin.h"
#include "kitexport/kit_panel.h"

namespace {

using namespace vorlan;

class KitExportClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return &kitexport::TheKitExport(); }
  const char* ClassName() override { return kitexport::KitExportStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kUtilityClass; }
  host::ClassId ClassID() override { return host::kKitExportClassId; }
  const char* Category() override { return kitexport::KitExportStrings().Get(host::IDS_CATEGORY); }
};

KitExportClassDesc kitExportDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::kitexport::KitExportStrings(), kitExportDesc)

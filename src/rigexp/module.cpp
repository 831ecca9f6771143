// RigExp.dle: the character exporter's module frame.
#include <new>

#include "host/plugin.h"
#include "rigexp/exporter.h"

namespace {

using namespace vorlan;

class RigExpClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return new (std::nothrow) rigexp::RigExporter(); }
  const char* ClassName() override { return rigexp::RigExpStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kSceneExportClass; }
  host::ClassId ClassID() override { return host::kRigExpClassId; }
  const char* Category() override { return rigexp::RigExpStrings().Get(host::IDS_CATEGORY); }
};

RigExpClassDesc rigExpDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::rigexp::RigExpStrings(), rigExpDesc)

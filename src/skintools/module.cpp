// SkinTools.dlu: the skin weight utility's module frame.
#include "host/plugin.h"
#include "skintools/skin_panel.h"

namespace {

using namespace vorlan;

class SkinToolsClassDesc : public host::ClassDesc {
 public:
  int IsPublic() override { return 1; }
  host::Plugin* Create(bool) override { return &skintools::TheSkinTools(); }
  const char* ClassName() override { return skintools::SkinToolsStrings().Get(host::IDS_CLASS_NAME); }
  host::SuperClassId SuperClassID() override { return host::kUtilityClass; }
  host::ClassId ClassID() override { return host::kSkinToolsClassId; }
  const char* Category() override { return skintools::SkinToolsStrings().Get(host::IDS_CATEGORY); }
};

SkinToolsClassDesc skinToolsDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(vorlan::skintools::SkinToolsStrings(), skinToolsDesc)

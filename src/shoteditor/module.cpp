// ShotEditor.dlu: the module's entry points and its one class, the shared utility object.
#include "host/plugin.h"
#include "shoteditor/shot_editor_utility.h"

namespace {

using namespace vorlan::host;

const StringTable kStrings{{IDS_LIBDESCRIPTION, "ShotEditor: camera cuts of in-game cinematics"},
                           {IDS_CLASS_NAME, "ShotEditor"},
                           {IDS_CATEGORY, "Vorlan Utilities"}};

vorlan::shoteditor::ShotEditorUtility gUtility;

class ShotEditorDesc : public ClassDesc {
 public:
  int IsPublic() override { return 1; }
  Plugin* Create(bool) override { return &gUtility; }
  const char* ClassName() override { return kStrings.Get(IDS_CLASS_NAME); }
  SuperClassId SuperClassID() override { return kUtilityClass; }
  ClassId ClassID() override { return kShotEditorClassId; }
  const char* Category() override { return kStrings.Get(IDS_CATEGORY); }
};

ShotEditorDesc gDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(kStrings, gDesc)

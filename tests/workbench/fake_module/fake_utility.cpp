// A minimal utility for the loader tests: one shared instance that counts its panel openings.
#include "host/plugin.h"

namespace {

using namespace vorlan::host;

const StringTable kStrings{{IDS_LIBDESCRIPTION, "Fake utility for tests"}, {IDS_CLASS_NAME, "FakeUtility"}};

class FakeUtility : public UtilityObj {
 public:
  void BeginEditParams(Interface& ip) override {
    ++opened;
    ip.UI().MessageBox({.text = "opened " + std::to_string(opened), .caption = "FakeUtility"});
  }
  void EndEditParams(Interface&) override {}
  void DeleteThis() override {}
  int opened = 0;
};

FakeUtility gUtility;

class FakeUtilityDesc : public ClassDesc {
 public:
  int IsPublic() override { return 1; }
  Plugin* Create(bool) override { return &gUtility; }
  const char* ClassName() override { return kStrings.Get(IDS_CLASS_NAME); }
  SuperClassId SuperClassID() override { return kUtilityClass; }
  ClassId ClassID() override { return {0xFA4E0003, 0x1}; }
  const char* Category() override { return "Test Utilities"; }
};

FakeUtilityDesc gDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(kStrings, gDesc)

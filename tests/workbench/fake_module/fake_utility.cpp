// A minimal utility for the loader and panel tests: one shared instance that counts its
// panel openings and shows a rollup page with a counter, a check box and a "Close" button.
#include "host/plugin.h"

namespace {

using namespace vorlan::host;

const StringTable kStrings{{IDS_LIBDESCRIPTION, "Fake utility for tests"}, {IDS_CLASS_NAME, "FakeUtility"}};

enum { kCount = 10, kDelete = 11, kClose = 12, kCheck = 13, kLabel = 14 };

class FakeUtility : public UtilityObj, public RollupHandler {
 public:
  void BeginEditParams(Interface& ip) override {
    ++opened;
    ip.UI().MessageBox({.text = "opened " + std::to_string(opened), .caption = "FakeUtility"});
    DialogModel page{.title = "Fake Parameters"};
    page.controls.push_back({.id = kCount, .kind = ControlKind::Button, .label = "Count"});
    page.controls.push_back({.id = kDelete, .kind = ControlKind::Button, .label = "Delete page"});
    page.controls.push_back({.id = kClose, .kind = ControlKind::Button, .label = "Close"});
    page.controls.push_back({.id = kCheck, .kind = ControlKind::CheckBox, .label = "Check"});
    page.controls.push_back({.id = kLabel, .kind = ControlKind::Static, .label = "0"});
    ip_ = &ip;
    page_ = ip.AddRollupPage(page, *this);
  }
  void EndEditParams(Interface& ip) override {
    ip.UI().MessageBox({.text = "closed", .caption = "FakeUtility"});
    ip.DeleteRollupPage(page_);
    page_ = nullptr;
  }
  void OnRollupCommand(RollupPage& page, int id) override {
    if (id == kCount) {
      page.Model().Find(kLabel)->label = std::to_string(++presses);
      page.Update();
    } else if (id == kDelete) {
      ip_->DeleteRollupPage(&page);
      // The page stays readable until this handler returns.
      page.Model().Find(kLabel)->label = "deleted";
      page_ = nullptr;
    } else if (id == kClose) {
      ip_->CloseUtility();
      page.Model().Find(kLabel)->label = "closing";
    } else if (id == kCheck) {
      page.Model().Find(kLabel)->label = page.Model().Find(kCheck)->value ? "on" : "off";
      page.Update();
    }
  }
  void DeleteThis() override {}
  int opened = 0;
  int presses = 0;
  Interface* ip_ = nullptr;
  RollupPage* page_ = nullptr;
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

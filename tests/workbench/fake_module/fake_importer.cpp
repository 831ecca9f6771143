// A minimal importer for the loader tests: accepts ".fki" files and changes nothing.
#include "host/plugin.h"

namespace {

using namespace vorlan::host;

const StringTable kStrings{{IDS_LIBDESCRIPTION, "Fake importer for tests"}, {IDS_CLASS_NAME, "FakeImport"}};

class FakeImport : public SceneImport {
 public:
  int ExtCount() override { return 2; }
  const char* Ext(int n) override { return n == 0 ? "fki" : "FKJ"; }
  const char* LongDesc() override { return "Fake importer"; }
  const char* ShortDesc() override { return "Fake"; }
  const char* AuthorName() override { return ""; }
  const char* CopyrightMessage() override { return ""; }
  const char* OtherMessage1() override { return ""; }
  const char* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 100; }
  void ShowAbout(Interface& ip) override { ShowAboutBox(ip, kStrings); }
  int DoImport(const char*, Interface&, bool) override { return 1; }
  void DeleteThis() override { delete this; }
};

class FakeImportDesc : public ClassDesc {
 public:
  int IsPublic() override { return 1; }
  Plugin* Create(bool) override { return new FakeImport; }
  const char* ClassName() override { return kStrings.Get(IDS_CLASS_NAME); }
  SuperClassId SuperClassID() override { return kSceneImportClass; }
  ClassId ClassID() override { return {0xFA4E0002, 0x1}; }
  const char* Category() override { return ""; }
};

FakeImportDesc gDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(kStrings, gDesc)

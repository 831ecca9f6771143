// A minimal exporter for the loader and workbench tests: writes the scene's node names, one
// per line, depth first, indented by depth.
#include <cstdio>
#include <string>

#include "host/plugin.h"

namespace {

using namespace vorlan::host;

const StringTable kStrings{{IDS_LIBDESCRIPTION, "Fake exporter for tests"},
                           {IDS_CLASS_NAME, "FakeExport"},
                           {IDS_EXT, "fkx"},
                           {IDS_SHORT_DESC, "Fake"},
                           {IDS_LONG_DESC, "Fake scene writer"},
                           {IDS_COPYRIGHT, "none"},
                           {IDS_INTERNAL_NAME, "FakeExporter"}};

void Walk(const Node& n, int depth, std::string& out) {
  for (int i = 0; i < n.NumberOfChildren(); ++i) {
    const Node* c = n.GetChildNode(i);
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + c->GetName() + "\n";
    Walk(*c, depth + 1, out);
  }
}

class FakeExport : public SceneExport {
 public:
  int ExtCount() override { return 1; }
  const char* Ext(int) override { return kStrings.Get(IDS_EXT); }
  const char* LongDesc() override { return kStrings.Get(IDS_LONG_DESC); }
  const char* ShortDesc() override { return kStrings.Get(IDS_SHORT_DESC); }
  const char* AuthorName() override { return ""; }
  const char* CopyrightMessage() override { return kStrings.Get(IDS_COPYRIGHT); }
  const char* OtherMessage1() override { return ""; }
  const char* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 100; }
  void ShowAbout(Interface& ip) override { ShowAboutBox(ip, kStrings); }
  int DoExport(const char* name, Interface& ip, bool suppressPrompts, uint32_t options) override {
    std::string text;
    Walk(*ip.GetRootNode(), 0, text);
    text += "options " + std::to_string(options) + "\n";
    std::FILE* f = std::fopen(name, "wb");
    if (!f) {
      ip.UI().MessageBox({.text = "Cannot open the file", .caption = "Error", .icon = Icon::Error});
      return 0;
    }
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    if (!suppressPrompts) ip.UI().MessageBox({.text = "Done", .caption = "FakeExport"});
    return 1;
  }
  void DeleteThis() override { delete this; }
};

class FakeExportDesc : public ClassDesc {
 public:
  int IsPublic() override { return 1; }
  Plugin* Create(bool) override { return new FakeExport; }
  const char* ClassName() override { return kStrings.Get(IDS_CLASS_NAME); }
  SuperClassId SuperClassID() override { return kSceneExportClass; }
  ClassId ClassID() override { return {0xFA4E0001, 0x1}; }
  const char* Category() override { return ""; }
  const char* InternalName() override { return kStrings.Get(IDS_INTERNAL_NAME); }
};

FakeExportDesc gDesc;

}  // namespace

VORLAN_PLUGIN_MODULE(kStrings, gDesc)

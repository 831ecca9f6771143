// An import through the File menu's path with its dialogs answered in the window.
#include "desktop/main_window.h"
#include "desktop/window_test_support.h"

using namespace vorlan;
using namespace vorlan::testing;

TEST(MainWindowImport, NoneForAllAnswersEveryMissingTextureAtOnce) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  ASSERT_TRUE(w.OpenScene(kSample));
  const std::string zef = (dir.path / "sample.zef").string();
  {
    ModalScript ok({[](QWidget* d) { Click(d, "OK"); }});
    ASSERT_EQ(w.ExportWith("ZefExport", zef), 1);
  }

  // The sample's textures are nowhere near the file: the first missing one asks, and "None
  // for all" answers it and every one after it.
  const QString textureTitle = "ZEF Import is not sure which texture is the right one...";
  ModalScript script(
      {[](QWidget* options) { Click(options, "OK"); },
       [](QWidget* texture) {
         SaveScreenshot(texture, "texture-dialog");
         Click(texture, "None for all");
       },
       // The import's closing note; a second texture question would fail the
       // count below rather than hang.
       [&](QWidget* next) { Click(next, next->windowTitle() == textureTitle ? "None for all" : "OK"); }});
  EXPECT_EQ(w.ImportWith("ZefImport", zef), 1);
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(std::count(script.titles.begin(), script.titles.end(), textureTitle), 1);
  EXPECT_NE(w.GetScene().FindNode("Crate"), nullptr);
}

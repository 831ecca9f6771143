// Mapwright's window driven through its keys, mouse and menus, with the texture view checked
// by pixel.
#include "desktop/mapwright_view.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <sstream>

#include "desktop/main_window.h"
#include "desktop/shot_rows.h"
#include "desktop/window_test_support.h"
#include "desktop/workbench_app.h"
#include "mapwright/image_codecs.h"
#include "workbench/materials.h"
#include "workbench/scene.h"

using namespace vorlan;
using namespace vorlan::testing;
using mapwright::Command;

namespace {

constexpr uint32_t kPaper = mapwright::Rgb(40, 90, 160);

// A square picture of one colour, or of two in squares of 32 pixels.
std::string Bitmap(const fs::path& path, int size = 64, bool checked = false) {
  mapwright::Image img = *mapwright::NewImage(size, size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      img.SetPixel(x, y, checked && ((x / 32 + y / 32) % 2) ? mapwright::Rgb(70, 120, 190) : kPaper);
  std::vector<uint8_t> bytes = mapwright::EncodeBmp(img);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path.string();
}

// A quad of two triangles whose map coordinates sit inside the picture.
void AddQuad(desktop::MainWindow& w, const std::string& picture) {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
  m.faces = {{.v = {0, 1, 2}}, {.v = {0, 2, 3}}};
  auto& map = m.Map(1);
  map.tverts = {{0.1f, 0.2f, 0}, {0.7f, 0.2f, 0}, {0.7f, 0.9f, 0}, {0.1f, 0.9f, 0}};
  map.tfaces = {{0, 1, 2}, {0, 2, 3}};
  auto mtl = std::make_shared<workbench::StandardMtl>("Paper");
  mtl->SetMap(1, std::make_shared<workbench::BitmapTex>(picture, "Paper map"));
  workbench::SceneNode& node =
      w.Host().CreateNode("Quad", nullptr, std::make_shared<workbench::MeshObject>(m));
  node.SetMtl(mtl);
}

const mapwright::TextureSet& Corners(desktop::MapwrightView& v, int face) {
  return v.GetSession().editor.model.faces[std::size_t(face)].textures[0];
}

QPoint ViewPoint(desktop::MapwrightView& v, const mapwright::UvCorner& c) {
  double x = 0, y = 0;
  v.GetSession().view.TextureToView(c.u, c.v, 64, x, y);
  return QPoint(int(std::floor(x)), int(std::floor(y)));
}

QAction* MenuAction(QWidget* w, const QString& text) {
  for (QAction* a : w->findChildren<QAction*>())
    if (a->text() == text) return a;
  return nullptr;
}

}  // namespace

TEST(MapwrightView, KeysMouseAndPenEditTheMappingAndTheSaveKeepsABackup) {
  App();
  TempDir dir;
  desktop::MainWindow w(Options(dir));
  w.show();
  const std::string picture = Bitmap(dir.path / "paper.bmp");
  const std::string original = ReadBytes(picture);
  AddQuad(w, picture);

  desktop::MapwrightView* view = w.OpenMapwright("Quad");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "Vorlan Mapwright! v0.8");
  EXPECT_GE(view->minimumWidth(), 540);
  EXPECT_GE(view->minimumHeight(), 745);
  // The mesh's own mapping, chosen with its radio button.
  for (QRadioButton* r : view->findChildren<QRadioButton*>())
    if (r->text() == "Get MAX mapping") QTest::mouseClick(r, Qt::LeftButton);
  ASSERT_EQ(view->GetSettings().method, 1);
  EXPECT_EQ(view->FacesCount()->text(), "2");
  EXPECT_EQ(view->SizeLabel()->text(), "64 x 64");
  EXPECT_EQ(view->TexelsField()->text(), "1.00000");
  EXPECT_EQ(view->MaterialList()->currentText(), "Paper");
  QWidget* tex = view->Texture();

  // "." turns the faces a quarter: the selection's box turns with them about its centre.
  auto box = [&] { return *view->GetSession().editor.Selection(); };
  const mapwright::Rect before = box();
  const mapwright::TextureSet corners = Corners(*view, 0);
  QTest::keyClick(tex, Qt::Key_Period);
  const mapwright::Rect turned = box();
  EXPECT_NEAR(turned.Width(), before.Height(), 1e-4);
  EXPECT_NEAR(turned.Height(), before.Width(), 1e-4);
  EXPECT_NEAR(turned.CentreX(), before.CentreX(), 1e-4);
  EXPECT_NE(Corners(*view, 0)[1].u, corners[1].u);
  // "[" undoes it to the bit.
  QTest::keyClick(tex, Qt::Key_BracketLeft);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Corners(*view, 0)[std::size_t(i)].u, corners[std::size_t(i)].u);
    EXPECT_EQ(Corners(*view, 0)[std::size_t(i)].v, corners[std::size_t(i)].v);
  }
  // A map channel outside 1 to 99 is refused with the interval.
  {
    ModalScript refuse({[](QWidget* box) {
      EXPECT_EQ(qobject_cast<QMessageBox*>(box)->text(), "Only values in interval 1 - 99 are valid.");
      Click(box, "OK");
    }});
    QLineEdit* channel = view->findChild<QLineEdit*>("mapChannel");
    ASSERT_NE(channel, nullptr);
    channel->setFocus();
    channel->selectAll();
    QTest::keyClicks(channel, "100");
    QTest::keyClick(channel, Qt::Key_Return);
    EXPECT_TRUE(refuse.Done());
  }
  // Keys typed into a number field stay there.
  view->TexelsField()->setFocus();
  QTest::keyClick(view->TexelsField(), Qt::Key_Period);
  EXPECT_EQ(box().Width(), before.Width());

  // Vertex mode, weld on target, move: one corner dragged next to another one is joined by it.
  for (Qt::Key k : {Qt::Key_V, Qt::Key_W, Qt::Key_M}) QTest::keyClick(tex, k);
  EXPECT_TRUE(view->ToolAction(Command::ToggleVertexMode)->isChecked());
  EXPECT_TRUE(view->ToolAction(Command::ToggleWeldOnTarget)->isChecked());
  EXPECT_TRUE(view->ToolAction(Command::ToolMove)->isChecked());
  const QPoint from = ViewPoint(*view, Corners(*view, 0)[1]);  // (0.7, 0.2), on face 0 only
  const QPoint to = ViewPoint(*view, Corners(*view, 1)[2]);    // (0.1, 0.9), on face 1 only
  QTest::mousePress(tex, Qt::LeftButton, {}, from);
  ASSERT_TRUE(Corners(*view, 0)[1].selected);
  QTest::mouseMove(tex, to);
  QTest::mouseRelease(tex, Qt::LeftButton, {}, to);
  const mapwright::UvCorner& dragged = Corners(*view, 0)[1];
  const mapwright::UvCorner& target = Corners(*view, 1)[2];
  EXPECT_NEAR(dragged.u, corners[1].u + (to.x() - from.x()), 1e-9);
  EXPECT_EQ(target.u, dragged.u);
  EXPECT_EQ(target.v, dragged.v);

  // The pen draws into the picture in the line colour.
  QTest::keyClick(tex, Qt::Key_N);
  const mapwright::Image* image = view->GetSession().editor.CurrentTexture()->image;
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->PixelAt(20, 40), kPaper);
  QTest::mousePress(tex, Qt::LeftButton, {}, QPoint(10, 40));
  QTest::mouseMove(tex, QPoint(30, 40));
  QTest::mouseRelease(tex, Qt::LeftButton, {}, QPoint(30, 40));
  EXPECT_EQ(image->PixelAt(20, 40), view->GetSettings().lineColor);
  EXPECT_EQ(image->PixelAt(20, 41), kPaper);

  // Saving keeps the picture as it was in a backup beside it.
  MenuAction(view, "&Save")->trigger();
  EXPECT_EQ(ReadBytes(picture + "_1"), original);
  EXPECT_NE(ReadBytes(picture), original);
  // Without backups (Tools, Options) the next save keeps no second copy.
  {
    ModalScript options({[](QWidget* d) {
      EXPECT_EQ(d->windowTitle(), "Options");
      for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
        if (b->text() == "Create backup files") b->setChecked(false);
      Click(d, "OK");
    }});
    MenuAction(view, "&Options")->trigger();
    EXPECT_TRUE(options.Done());
  }
  EXPECT_FALSE(view->GetSettings().createBackups);
  MenuAction(view, "&Save")->trigger();
  EXPECT_FALSE(fs::exists(picture + "_2"));
  EXPECT_EQ(ReadBytes(picture + "_1"), original);

  // Pixels: zoomed in four times, a selected corner is a cross in the marker colour over the
  // picture, which shows where no face is; the view's background lies beyond it.
  QTest::keyClick(tex, Qt::Key_N);  // pen down again
  for (int i = 0; i < 3; ++i) QTest::keyClick(tex, Qt::Key_Plus, Qt::KeypadModifier);
  ASSERT_EQ(view->GetSession().view.Zoom(), 4);
  view->GetSession().PickAt(ViewPoint(*view, Corners(*view, 1)[0]).x(),
                            ViewPoint(*view, Corners(*view, 1)[0]).y());
  view->Refresh();
  QApplication::processEvents();
  SaveScreenshot(view, "mapwright-edited");
  const QImage shot = tex->grab().toImage();
  const QPoint c = ViewPoint(*view, Corners(*view, 1)[0]);
  const QColor marker = desktop::FromColourRef(view->GetSettings().vertexColor);
  for (QPoint d : {QPoint(-3, 0), QPoint(3, 0), QPoint(0, -3), QPoint(0, 3), QPoint(0, 0)})
    EXPECT_EQ(shot.pixelColor(c + d), marker) << d.x() << "," << d.y();
  EXPECT_EQ(shot.pixelColor(c + QPoint(-6, 6)), desktop::FromColourRef(kPaper));
  EXPECT_EQ(shot.pixelColor(4 * 60 + 2, 4 * 60 + 2), desktop::FromColourRef(kPaper));
  EXPECT_EQ(shot.pixelColor(4 * 64 + 10, 4 * 64 + 10),
            desktop::FromColourRef(view->GetSettings().backgroundColor));
}

TEST(MapwrightView, TheWindowProgramShowsANodesMappingAndKeepsTheWindowsLeastSize) {
  App();
  TempDir dir;
  std::string scene;
  {
    desktop::MainWindow w(Options(dir));
    AddQuad(w, Bitmap(dir.path / "paper.bmp", 256, true));
    scene = (dir.path / "quad.vscene").string();
    ASSERT_TRUE(w.SaveScene(scene));
  }
  const std::string png = (dir.path / "quad.png").string();
  std::ostringstream err;
  ASSERT_EQ(desktop::RunWorkbenchApp({scene, "--mapwright", "Quad", "--screenshot", png, "--plugin-dir",
                                      VORLAN_PLUGIN_DIR, "--config-dir", (dir.path / "cfg").string()},
                                     err),
            0)
      << err.str();
  QImage img(QString::fromStdString(png));
  ASSERT_FALSE(img.isNull());
  EXPECT_GE(img.width(), 540);
  EXPECT_GE(img.height(), 745);
  EXPECT_GT(PixelsUnlike(img, img.pixel(img.width() / 2, 200)), 1000);
  const fs::path shots = fs::path(VORLAN_BINARY_DIR) / "screenshots";
  fs::create_directories(shots);
  fs::copy_file(png, shots / "mapwright.png", fs::copy_options::overwrite_existing);
  // Closing the window kept its size in the configuration file.
  EXPECT_EQ(fs::file_size(dir.path / "cfg" / "Mapwright!.cfg"), 52u);

  EXPECT_EQ(
      desktop::RunWorkbenchApp({scene, "--mapwright", "Nobody", "--plugin-dir", VORLAN_PLUGIN_DIR}, err), 1);
  EXPECT_NE(err.str().find("no node \"Nobody\""), std::string::npos);
}

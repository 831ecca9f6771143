#include "desktop/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "scene_loading.h"
#include "workbench/scene_document.h"

namespace vorlan::desktop {

namespace {

constexpr const char* kUtilityCategory = "Vorlan Utilities";

QString Describe(const workbench::LoadedClass& c) {
  QStringList exts;
  for (const std::string& e : c.extensions) exts << "*." + QString::fromStdString(e);
  return QString::fromStdString(c.className) + " (" + exts.join(' ') + ")";
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      ui_(this),
      scene_(std::make_unique<workbench::Scene>()) {
  setObjectName("mainWindow");
  // The host may change the pages from a plug-in call's thread: the panel is redrawn on
  // this one, once no call runs.
  ui_.SetRollupsHandler([this] {
    QMetaObject::invokeMethod(
        this, [this] { RollupsChanged(); }, Qt::QueuedConnection);
  });
  ui_.SetCancelHandler([this] {
    if (workbench_) workbench_->RequestCancel();
  });
  workbench_ = std::make_unique<workbench::Workbench>(*scene_, ui_);
  if (!options_.pluginDir.empty()) plugins_.LoadFolder(options_.pluginDir);
  workbench_->SetPlugins(&plugins_);
  if (!options_.configDir.empty()) workbench_->SetPlugCfgDir(options_.configDir);
  if (!options_.logDir.empty()) workbench_->SetLogDir(options_.logDir);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(2, 2, 2, 2);
  viewport_ = new ViewportWidget(*scene_, central);
  layout->addWidget(viewport_, 1);
  auto* timeRow = new QHBoxLayout;
  auto* play = new QPushButton("Play", central);
  play->setObjectName("play");
  auto* stop = new QPushButton("Stop", central);
  stop->setObjectName("stop");
  slider_ = new QSlider(Qt::Horizontal, central);
  slider_->setObjectName("timeSlider");
  frameLabel_ = new QLabel("0", central);
  frameLabel_->setMinimumWidth(48);
  timeRow->addWidget(play);
  timeRow->addWidget(stop);
  timeRow->addWidget(slider_, 1);
  timeRow->addWidget(frameLabel_);
  layout->addLayout(timeRow);
  setCentralWidget(central);

  hostClock_ = new QTimer(this);
  connect(hostClock_, &QTimer::timeout, this, [this] { StepHostPlayback(); });
  connect(play, &QPushButton::clicked, this, [this] { Play(true); });
  connect(stop, &QPushButton::clicked, this, [this] { Play(false); });
  connect(slider_, &QSlider::valueChanged, this, [this](int f) {
    // The slider is the host's time: plug-ins that follow the time hear it move.
    workbench_->SetTime(f * std::max(1, workbench_->GetTicksPerFrame()));
    SetFrame(f);
  });

  BuildDocks();
  BuildMenus();
  RefreshScene();
  resize(1100, 720);
  statusBar()->showMessage(QString("%1 plug-in classes loaded").arg(plugins_.classes().size()));
}

MainWindow::~MainWindow() {
  hostClock_->stop();
  delete shotEditor_;
  if (mapwright_) mapwright_->close();
  delete mapwright_;
  ui_.SetRollupsHandler(nullptr);
  // The open utility ends while the window can still show its last questions.
  workbench_->Utilities().Close();
}

void MainWindow::BuildDocks() {
  auto* sceneDock = new QDockWidget("Scene", this);
  sceneDock->setObjectName("sceneDock");
  tree_ = new QTreeWidget(sceneDock);
  tree_->setObjectName("sceneTree");
  tree_->setHeaderLabels({"Name", "Class"});
  tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  sceneDock->setWidget(tree_);
  addDockWidget(Qt::LeftDockWidgetArea, sceneDock);
  connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });

  auto* utilDock = new QDockWidget("Utilities", this);
  utilDock->setObjectName("utilitiesDock");
  auto* panel = new QWidget(utilDock);
  auto* v = new QVBoxLayout(panel);
  v->addWidget(new QLabel(kUtilityCategory, panel));
  utilities_ = new QListWidget(panel);
  utilities_->setObjectName("utilities");
  utilities_->setMaximumHeight(120);
  for (const workbench::LoadedClass* c : plugins_.BySuperClass(host::kUtilityClass))
    if (c->category == kUtilityCategory) utilities_->addItem(QString::fromStdString(c->className));
  v->addWidget(utilities_);
  if (utilities_->count() == 0) v->addWidget(new QLabel("No utility plug-ins loaded.", panel));
  rollups_ = new RollupPanel([this](host::RollupPage* page, const host::DialogModel& values,
                                    int id) { PressRollup(page, values, id); },
                             [this](host::RollupPage* page, int id, bool gained) {
                               // Quick by nature (a utility turns the shortcuts off while a path is typed):
                               // heard on this thread.
                               std::vector<host::RollupPage*> pages = workbench_->Utilities().Pages();
                               if (std::find(pages.begin(), pages.end(), page) != pages.end())
                                 workbench_->Utilities().Focus(*page, id, gained);
                             },
                             panel);
  auto* scroll = new QScrollArea(panel);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // pages fit the panel's width
  scroll->setWidget(rollups_);
  v->addWidget(scroll, 1);
  utilDock->setWidget(panel);
  utilitiesDock_ = utilDock;
  addDockWidget(Qt::RightDockWidgetArea, utilDock);
  resizeDocks({sceneDock, utilDock}, {260, 270}, Qt::Horizontal);
  connect(utilities_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { OpenUtility(item->text().toStdString()); });
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&Open...", this, [this] {
    QString path =
        QFileDialog::getOpenFileName(this, "Open Scene", QString(),
                                     "Scenes (*.vscene *.gltf *.glb *.fbx *.obj *.dae *.3ds);;All files (*)");
    if (!path.isEmpty()) OpenScene(path.toStdString());
  });
  file->addAction("Save &As...", this, [this] {
    QString path = QFileDialog::getSaveFileName(this, "Save Scene", QString::fromStdString(scenePath_),
                                                "Scene documents (*.vscene)");
    if (!path.isEmpty()) SaveScene(path.toStdString());
  });
  QMenu* import = file->addMenu("&Import");
  for (const workbench::LoadedClass* c : plugins_.BySuperClass(host::kSceneImportClass)) {
    std::string name = c->className;
    QString filter = Describe(*c);
    import->addAction(filter, this, [this, name, filter] {
      QString path = QFileDialog::getOpenFileName(this, "Import", QString(), filter);
    if (!path.isEmpty()) ImportWith(name, path.toStdString());
  });
}
QMenu* exportMenu = file->addMenu("&Export");
for (const workbench::LoadedClass* c : plugins_.BySuperClass(host::kSceneExportClass)) {
  std::string name = c->className;
  QString filter = Describe(*c);
  exportMenu->addAction(filter, this, [this, name, filter] {
    QString path = QFileDialog::getSaveFileName(this, "Export", QString(), filter);
    if (!path.isEmpty()) ExportWith(name, path.toStdString());
  });
}
file->addSeparator();
file->addAction("&Quit", this, &QWidget::close);

viewMenu_ = menuBar()->addMenu("&View");
auto* group = new QActionGroup(this);
const std::pair<const char*, workbench::ViewDirection> views[] = {
    {"Perspective", workbench::ViewDirection::Perspective},
    {"Front", workbench::ViewDirection::Front},
    {"Top", workbench::ViewDirection::Top},
    {"Left", workbench::ViewDirection::Left},
};
for (const auto& [label, dir] : views) {
  QAction* a = viewMenu_->addAction(label, this, [this, d = dir] {
    ViewThroughCamera("");
    viewport_->SetDirection(d);
  });
  a->setCheckable(true);
  a->setChecked(dir == workbench::ViewDirection::Perspective);
  group->addAction(a);
}
}  // namespace vorlan::desktop

void MainWindow::RefreshScene() {
  updatingTree_ = true;
  tree_->clear();
  std::function<void(const workbench::SceneNode&, QTreeWidgetItem*)> add = [&](const workbench::SceneNode& n,
                                                                               QTreeWidgetItem* parent) {
    for (const workbench::SceneNode* child : n.Children()) {
      const host::Object* o = child->EvalWorldState(0);
      auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(child->GetName()),
                                                   o ? QString::fromStdString(o->ClassName()) : QString()});
      if (parent)
        parent->addChild(item);
      else
        tree_->addTopLevelItem(item);
      item->setSelected(child->Selected());
      add(*child, item);
    }
  };
  add(scene_->Root(), nullptr);
  tree_->expandAll();
  updatingTree_ = false;

  // Cameras become views of their own, so the viewport can look through each of them.
  for (QAction* a : viewMenu_->actions())
    if (a->property("camera").isValid()) viewMenu_->removeAction(a);
  for (const workbench::SceneNode* n : scene_->AllNodes()) {
    const host::Object* o = n->EvalWorldState(0);
    if (!o || o->GetSuperClassId() != host::kCameraClass) continue;
    std::string name = n->GetName();
    QAction* a =
        viewMenu_->addAction(QString::fromStdString(name), this, [this, name] { ViewThroughCamera(name); });
    a->setProperty("camera", true);
  }

  const int fps = std::max(1, scene_->frameRate);
  const int ticksPerFrame = host::kTicksPerSecond / fps;
  slider_->blockSignals(true);
  slider_->setRange(scene_->animStart / ticksPerFrame, scene_->animEnd / ticksPerFrame);
  slider_->blockSignals(false);
  hostClock_->setInterval(1000 / fps);
  viewport_->Invalidate();
  setWindowTitle(QString("Vorlan Workbench - %1")
                     .arg(scenePath_.empty() ? QString("untitled") : QString::fromStdString(scenePath_)));
}

void MainWindow::SelectionChanged() {
  if (updatingTree_) return;
  // Tree items are made in AllNodes() order, depth first, as the scene lists its nodes.
  std::vector<workbench::SceneNode*> nodes = scene_->AllNodes();
  int i = 0;
  std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
    if (i < int(nodes.size())) nodes[i++]->SetSelected(item->isSelected());
    for (int c = 0; c < item->childCount(); ++c) walk(item->child(c));
  };
  for (int t = 0; t < tree_->topLevelItemCount(); ++t) walk(tree_->topLevelItem(t));
}

bool MainWindow::CloseToolWindows() {
  // The tool windows refer to the host that is about to go; they ask about unsaved work.
  if (shotEditor_) {
    if (!shotEditor_->AskToClose()) return false;
    delete shotEditor_;
  }
  if (mapwright_) mapwright_->close();  // keeps its settings; edits live in the scene's mesh
  delete mapwright_;
  return true;
}

bool MainWindow::OpenScene(const std::string& path) {
  if (!CloseToolWindows()) return false;
  auto scene = std::make_unique<workbench::Scene>();
  cli::SceneLoadOptions o;
  o.logDir = options_.logDir;
  o.import.textureDir = cli::OutputFolder(path);
  cli::LoadResult r = cli::LoadScene(path, *scene, o);
  if (!r) {
    ui_.MessageBox({.text = r.error, .caption = "Open Scene", .icon = host::Icon::Error});
    return false;
  }
  // The viewport and the host refer to the scene: rebuild them around the new one.
  scene_ = std::move(scene);
  workbench_ = std::make_unique<workbench::Workbench>(*scene_, ui_);
  workbench_->SetPlugins(&plugins_);
  if (!options_.configDir.empty()) workbench_->SetPlugCfgDir(options_.configDir);
  if (!options_.logDir.empty()) workbench_->SetLogDir(options_.logDir);
  auto* old = viewport_;
  viewport_ = new ViewportWidget(*scene_, old->parentWidget());
  static_cast<QVBoxLayout*>(centralWidget()->layout())->replaceWidget(old, viewport_);
  delete old;
  scenePath_ = path;
  if (!scene_->activeViewCamera.empty()) viewport_->SetCamera(scene_->activeViewCamera);
  RefreshScene();
  for (const std::string& w : r.warnings) statusBar()->showMessage(QString::fromStdString(w));
  return true;
}

bool MainWindow::SaveScene(const std::string& path) {
  workbench::DocumentResult r = workbench::SaveSceneDocument(*scene_, path);
  if (!r.ok) {
    ui_.MessageBox({.text = r.error, .caption = "Save Scene", .icon = host::Icon::Error});
    return false;
  }
  scenePath_ = path;
  RefreshScene();
  return true;
}

int MainWindow::RunPluginCall(const std::function<int()>& call) {
  // The call runs on a worker thread; its dialogs come back to this thread, whose event loop
  // keeps running here. The window itself takes no input meanwhile.
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  utilitiesDock_->setEnabled(false);
  callRunning_ = true;
  std::atomic<int> result{0};
  QEventLoop loop;
  std::thread worker([&] {
    try {
      result = call();
    } catch (...) {
      result = 0;
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  callRunning_ = false;
  centralWidget()->setEnabled(true);
  menuBar()->setEnabled(true);
  utilitiesDock_->setEnabled(true);
  if (rollupsDirty_) RollupsChanged();
  if (shotEditor_) shotEditor_->RefreshIfPending();
  RefreshScene();
  return result;
}

int MainWindow::ExportWith(const std::string& className, const std::string& path, bool selectedOnly) {
  const workbench::LoadedClass* c = plugins_.ByName(className);
  if (!c || c->superClass != host::kSceneExportClass) return 0;
  auto exporter = plugins_.CreateExporter(*c);
  if (!exporter) return 0;
  // The host's progress display with its Cancel button stays up while the exporter runs;
  // an exporter that looks at the cancel flag stops and keeps the old file.
  workbench_->ProgressStart("Exporting \"" + path + "\"", true);
  int r = RunPluginCall(
      [&] { return exporter->DoExport(path.c_str(), *workbench_, false, selectedOnly ? 1u : 0u); });
  const bool cancelled = workbench_->GetCancel();
  workbench_->ProgressEnd();
  statusBar()->showMessage(QString("%1 %2 \"%3\"")
                               .arg(QString::fromStdString(className),
                                    cancelled ? "cancelled the export of"
                                    : r       ? "exported"
                                              : "failed to export",
                                    QString::fromStdString(path)));
  return r;
}

int MainWindow::ImportWith(const std::string& className, const std::string& path) {
  const workbench::LoadedClass* c = plugins_.ByName(className);
  if (!c || c->superClass != host::kSceneImportClass) return 0;
  auto importer = plugins_.CreateImporter(*c);
  if (!importer) return 0;
  int r = RunPluginCall([&] { return importer->DoImport(path.c_str(), *workbench_, false); });
  statusBar()->showMessage(QString("%1 %2 \"%3\"")
                               .arg(QString::fromStdString(className), r ? "imported" : "failed to import",
                                    QString::fromStdString(path)));
  return r;
}

bool MainWindow::OpenUtility(const std::string& className) {
  const bool opened = workbench_->Utilities().Open(className);
  RollupsChanged();
  return opened;
}

void MainWindow::RollupsChanged() {
  if (callRunning_) {
    rollupsDirty_ = true;
    return;
  }
  rollupsDirty_ = false;
  rollups_->Show(workbench_->Utilities().Pages());
}

void MainWindow::PressRollup(host::RollupPage* page, const host::DialogModel& values, int id) {
  std::vector<host::RollupPage*> pages = workbench_->Utilities().Pages();
  if (std::find(pages.begin(), pages.end(), page) == pages.end()) return;
  page->Model().controls = values.controls;
  // The utilities whose window is drawn here: their button opens the window over the same
  // model the plug-in runs, on this thread, instead of the module's window.
  const host::DialogControl* control = values.Find(id);
  const workbench::LoadedClass* current = workbench_->Utilities().Current();
  struct OwnWindow {
    const char* className;
    const char* button;
    void (*open)(MainWindow&);
  };
  static const OwnWindow kOwnWindows[] = {
      {"ShotEditor", "Open Shot-Editor", [](MainWindow& w) { w.OpenShotEditor(); }},
      {"Mapwright", "Texture!",
       [](MainWindow& w) {
         // The window edits the first selected node, as the utility's own window does.
         for (const workbench::SceneNode* n : w.GetScene().AllNodes())
           if (n->Selected()) {
             w.OpenMapwright(n->GetName());
             return;
           }
         w.OpenMapwright("");
       }},
  };
  for (const OwnWindow& o : kOwnWindows)
    if (control && current && current->className == o.className && control->label == o.button)
      return o.open(*this);
  RunPluginCall([&] { return workbench_->Utilities().Press(*page, id) ? 1 : 0; });
}

ShotEditorView* MainWindow::OpenShotEditor() {
  if (!shotEditor_) {
    shotEditor_ = new ShotEditorView(*workbench_, this);
    shotEditor_->setAttribute(Qt::WA_DeleteOnClose);
    shotEditor_->SetHostChangedHandler([this] { FollowHost(); });
  }
  shotEditor_->show();
  shotEditor_->raise();
  return shotEditor_;
}

MapwrightView* MainWindow::OpenMapwright(const std::string& nodeName) {
  workbench::SceneNode* node = nodeName.empty() ? nullptr : scene_->FindNode(nodeName);
  if (node) {
    for (workbench::SceneNode* n : scene_->AllNodes()) n->SetSelected(n == node);
    if (auto* mesh = dynamic_cast<workbench::MeshObject*>(node->ObjectPtr().get())) {
      std::vector<uint8_t>& sel = mesh->mesh.faceSel;
      if (std::find(sel.begin(), sel.end(), 1) == sel.end()) sel.assign(mesh->mesh.faces.size(), 1);
    }
    RefreshScene();
  }
  if (!mapwright_) {
    mapwright_ = new MapwrightView(*workbench_, this);
    mapwright_->setAttribute(Qt::WA_DeleteOnClose);
  }
  mapwright_->show();
  mapwright_->raise();
  mapwright_->Reload();  // says "Select object to texture, please." when nothing is selected
  return mapwright_;
}

void MainWindow::ViewThroughCamera(const std::string& nodeName) {
  workbench::SceneNode* node = nodeName.empty() ? nullptr : scene_->FindNode(nodeName);
  if (node) {
    workbench_->GetActiveViewport()->SetViewCamera(node);
    viewport_->SetCamera(nodeName);
  } else {
    workbench_->SetViewType(host::ViewType::Perspective);
    viewport_->SetCamera("");
  }
}

void MainWindow::FollowHost() {
  host::ViewExp* view = workbench_->GetActiveViewport();
  if (view->GetViewType() == host::ViewType::Camera)
    if (host::Node* camera = view->GetViewCamera()) viewport_->SetCamera(camera->GetName());
  const int tpf = std::max(1, workbench_->GetTicksPerFrame());
  SetFrame(workbench_->GetTime() / tpf);
  if (workbench_->IsAnimPlaying() && !hostClock_->isActive()) hostClock_->start();
  if (!workbench_->IsAnimPlaying()) hostClock_->stop();
}

bool MainWindow::StepHostPlayback() {
  const bool stepped = workbench_->StepPlayback();
  FollowHost();
  return stepped;
}

void MainWindow::SetFrame(int frame) {
  frame = std::clamp(frame, slider_->minimum(), slider_->maximum());
  if (slider_->value() != frame) {
    slider_->blockSignals(true);
    slider_->setValue(frame);
    slider_->blockSignals(false);
  }
  frameLabel_->setText(QString::number(frame));
  const int fps = std::max(1, scene_->frameRate);
  viewport_->SetTime(frame * (host::kTicksPerSecond / fps));
}

void MainWindow::Play(bool on) {
  // Play and Stop are the host's playback: plug-ins that follow the time see it run.
  if (on)
    workbench_->StartAnimPlayback();
  else
    workbench_->EndAnimPlayback();
  FollowHost();
}

}  // namespace vorlan::desktop

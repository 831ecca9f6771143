#include "desktop/workbench_app.h"

#include <QApplication>
#include <ostream>

#include "desktop/main_window.h"
#include "plugin_folder.h"
#include "workbench/materials_document.h"

namespace vorlan::desktop {

bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& o, std::string& error) {
  // Options that take a value, and where it goes.
  const std::pair<const char*, std::string AppOptions::*> valued[] = {
      {"--screenshot", &AppOptions::screenshot}, {"--plugin-dir", &AppOptions::pluginDir},
      {"--config-dir", &AppOptions::configDir},  {"--log-dir", &AppOptions::logDir},
      {"--shoteditor", &AppOptions::shotFile},   {"--mapwright", &AppOptions::mapwrightNode},
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool matched = false;
    for (const auto& [name, field] : valued) {
      if (a != name) continue;
      if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      o.*field = args[++i];
      matched = true;
    }
    if (matched) continue;
    if (a.starts_with("-")) {
      error = "unknown option \"" + a + "\"";
      return false;
    }
    if (!o.scene.empty()) {
      error = "one scene at a time (\"" + o.scene + "\" and \"" + a + "\")";
      return false;
    }
    o.scene = a;
  }
  return true;
}

int RunWorkbenchApp(const std::vector<std::string>& args, std::ostream& err) {
  AppOptions o;
  std::string error;
  if (!ParseAppOptions(args, o, error)) {
    err << "vorlan-workbench: " << error << "\n";
    return 2;
  }
  workbench::RegisterMaterialDocumentCodec();
  MainWindowOptions wo;
  wo.pluginDir = cli::ResolvePluginDir(o.pluginDir);
  wo.configDir = o.configDir;
  wo.logDir = o.logDir;
  MainWindow window(wo);
  window.resize(o.width, o.height);
  if (!o.scene.empty() && !window.OpenScene(o.scene)) return 1;
  window.show();
  QWidget* shown = &window;
  if (!o.shotFile.empty()) {
    ShotEditorView* editor = window.OpenShotEditor();
    if (!editor->LoadFile(o.shotFile)) {
      err << "vorlan-workbench: cannot read the shot list \"" << o.shotFile << "\"\n";
      return 1;
    }
    shown = editor;
  }
  if (!o.mapwrightNode.empty()) {
    if (!window.GetScene().FindNode(o.mapwrightNode)) {
      err << "vorlan-workbench: no node \"" << o.mapwrightNode << "\" in the scene\n";
      return 1;
    }
    shown = window.OpenMapwright(o.mapwrightNode);
  }
  if (!o.screenshot.empty()) {
    QApplication::processEvents();
    if (!shown->grab().save(QString::fromStdString(o.screenshot), "PNG")) {
      err << "vorlan-workbench: cannot write \"" << o.screenshot << "\"\n";
      return 1;
    }
    return 0;
  }
  return QApplication::exec();
}

}  // namespace vorlan::desktop

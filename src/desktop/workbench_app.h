// The window program's command line, apart from main so that the tests run it too.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vorlan::desktop {

struct AppOptions {
  std::string scene;
  std::string screenshot;     // save the window to this PNG and exit
  std::string shotFile;       // open the ShotEditor's window on this data file
  std::string mapwrightNode;  // open Mapwright's window on this node
  std::string pluginDir, configDir, logDir;
  int width = 1280, height = 800;
};

// Parses the arguments; false with a one-line message on `error` for a bad one.
bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options, std::string& error);

// Runs the program under an existing QApplication: 0 on success, 1 on failure, 2 on a usage
// error. Without --screenshot it returns when the window is closed.
int RunWorkbenchApp(const std::vector<std::string>& args, std::ostream& err);

}  // namespace vorlan::desktop

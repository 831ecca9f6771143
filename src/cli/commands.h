// One function per `vorlan` command; vorlan.cpp parses the arguments and calls them.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace vorlan::cli {

struct CommonOptions {
  std::string pluginDir;  // empty: next to the program, or $VORLAN_PLUGIN_DIR
  std::string configDir;  // empty: the workbench default
  std::string logDir;
};

// How interchange scenes (glTF, FBX, OBJ, Collada, 3DS) are read: --scale and --up.
struct InterchangeOptions {
  float scale = 1.0f;
  std::string up = "y";
};

struct ExportOptions {
  std::string scene;
  std::string out;
  std::string plugin;  // class name or internal name; empty: by the output's extension
  bool selected = false;
  bool interactive = false;
  std::optional<bool> answer;  // --yes / --no
  InterchangeOptions interchange;
};

struct ConvertOptions {
  std::string in;
  std::string out;  // .vscene or .glb
  InterchangeOptions interchange;
};

int RunPlugins(const CommonOptions& common, std::ostream& out, std::ostream& err);
int RunExport(const CommonOptions& common, const ExportOptions& options, std::ostream& out,
              std::ostream& err);
int RunInspect(const std::string& file, std::ostream& out, std::ostream& err);
int RunConvert(const CommonOptions& common, const ConvertOptions& options, std::ostream& out, std::ostream& err);

// The plug-in folder to use: the option, $VORLAN_PLUGIN_DIR, or ../plugins beside the program.
std::string ResolvePluginDir(const std::string& option);

}  // namespace vorlan::cli

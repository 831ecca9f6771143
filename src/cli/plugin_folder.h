// Where `vorlan` finds the plug-in modules.
#pragma once

#include <string>

namespace vorlan::cli {

// The plug-in folder to use: the option, $VORLAN_PLUGIN_DIR, or ../plugins beside the program.
std::string ResolvePluginDir(const std::string& option);

}  // namespace vorlan::cli

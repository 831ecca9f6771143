// The recursive search for a model file of a given name, ignoring case.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vorlan::kitexport {

// Turns a host path into a path of this system.
using PathMapper = std::function<std::string(const std::string& hostPath)>;

// Every file under `hostDir` (a host path ending in a backslash) whose name equals `name`
// without regard to ASCII case, as host paths (`hostDir` + sub-folders + entry name). A
// folder's files come before those of its sub-folders; entries follow the file system's
// own order; sub-folders whose name begins with '.' are not entered. A folder reached a
// second time through a link is not searched again, so link cycles end.
std::vector<std::string> FindFilesNoCase(const std::string& hostDir, const std::string& name,
                                         const PathMapper& toNative);

bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace vorlan::kitexport

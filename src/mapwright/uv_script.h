// Texture-coordinate edits without a window: a node, which faces, which mapping, and a list
// of operations applied in order to every group, then written back as "Update Max UVWs" does.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/interface.h"
#include "mapwright/uv_editor.h"

namespace vorlan::mapwright {

struct UvOperation {
  enum Kind { Rotate90Left, Rotate90Right, FlipU, FlipV, Move, Scale, Merge, Texels, ToOrigin, Fit } kind;
  double x = 0, y = 0;  // Move: pixels; Scale: factors; Texels: the value in x
};

// One operation from its option name (without dashes) and value: "rotate90" left|right,
// "flip" u|v, "move" DX,DY, "scale" SX,SY (or one factor for both), "merge", "texels" T,
// "to-origin", "fit". Nothing, with `error` set, for a name or value it does not take.
std::optional<UvOperation> ParseUvOperation(std::string_view name, std::string_view value,
                                            std::string& error);
// Whether the option takes a value.
bool UvOperationTakesValue(std::string_view name);

// Applies one operation to the editor's current group and texture; every corner takes part
// (merge collapses them onto the first). Returns whether coordinates changed.
bool ApplyUvOperation(UvEditor& editor, const UvOperation& op);

struct UvScript {
  std::string node;
  std::string faces = "all";  // "all", "selected", or a list of face numbers and ranges "0,4,7-9"
  std::string map = "mesh";   // planar-x, planar-y, planar-z, mesh, unfold
  int mapChannel = 1;
  int texture = 0;  // which texture of each group (its own map channel is written)
  std::vector<UvOperation> operations;
};

struct UvScriptResult {
  bool ok = false;
  std::string error;
  int faces = 0;   // faces edited
  int groups = 0;  // materials written back
};

// Runs the script on the host's scene. The chosen faces are selected in the node's mesh for
// the run and its face selection is put back afterwards. The editor's messages go to the
// host's user interface.
UvScriptResult RunUvScript(host::Interface& ip, const UvScript& script);

// Face numbers from "0,4,7-9"; nothing for a malformed list or a number >= faceCount.
std::optional<std::vector<int>> ParseFaceList(std::string_view text, int faceCount);

}  // namespace vorlan::mapwright

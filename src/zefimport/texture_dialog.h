// Choosing the file of a texture: the automatic search, and the texture dialog when that
// does not find exactly one file.
#pragma once

#include <optional>
#include <string>

#include "host/ui.h"
#include "zefimport/import_context.h"

namespace vorlan::zefimport {

// Control ids of the texture dialog.
enum TextureDialogId : int {
  IDC_TEX_OK = 1,
  IDC_TEX_LIST = 1006,
  IDC_TEX_BROWSE = 1008,
  IDC_TEX_NONE = 1009,
  IDC_TEX_MATERIAL = 1010,
  IDC_TEX_NONE_FOR_ALL = 1011,
  IDC_TEX_SEARCH = 1012,
  IDC_TEX_STATUS = 1013,
  IDC_TEX_NAME = 1014,
  IDC_TEX_FOLDER = 1015,
  IDC_TEX_AUTO = 1016,
};

inline constexpr const char* kTextureDialogTitle = "ZEF Import is not sure which texture is the right one...";
inline constexpr const char* kEngineIniName = "vexaMondrel.ini";

host::DialogModel MakeTextureDialog(const std::string& materialName, const std::string& textureName,
                                    const std::vector<std::string>& candidates, const std::string& folder,
                                    bool autoSearch, const std::string& status);

// The path of the texture `textureName` (a stored file name) that `materialName` wants, or
// nothing. May ask the user; remembers their search folder and choices in `ctx`.
std::optional<std::string> ResolveTexture(ImportContext& ctx, const std::string& textureName,
                                          const std::string& materialName);

}  // namespace vorlan::zefimport

#include "zefimport/texture_dialog.h"

#include <chrono>

#include "support/log.h"
#include "zefimport/texture_search.h"

namespace vorlan::zefimport {

namespace {

using host::ControlKind;

constexpr std::size_t kMaxFolderText = 259;
// A dialog that keeps asking for a new search is given up after this many rounds.
constexpr int kMaxDialogRounds = 1000;

constexpr const char* kTextureFilter =
    "All textures|*.tga;*.jpg;*.jpeg;*.bmp;*.dds|Targa (*.tga)|*.tga|JPEG (*.jpg)|*.jpg;*.jpeg|"
    "DDS (*.dds)|*.dds|BeeMPecko (*.bmp)|*.bmp|All files|*.*";

// Runs a folder search for `name` and waits for it; the host's cancel request stops it as
// the dialog's "Stop" button would. Returns the candidates and the last folder searched.
std::vector<std::string> RunFolderSearch(ImportContext& ctx, const std::string& name, std::string& status) {
  const EnginePaths paths =
      ReadEnginePaths(ctx.ip.MapHostPath(ctx.ip.GetPlugCfgDir() + "\\" + kEngineIniName));
  std::vector<std::string> folders;
  for (const std::string& f : {ctx.searchFolder, paths.TexturesFolder(), paths.enginePath})
    folders.push_back(f.empty() ? std::string() : ctx.ip.MapHostPath(f));
  std::mutex statusMutex;
  std::string lastFolder;
  FolderSearch search;
  search.Start(folders, name, ctx.caseInsensitive, [&](const std::string& folder) {
    std::lock_guard lock(statusMutex);
    lastFolder = folder;
  });
  while (search.Running()) {
    if (ctx.ip.GetCancel()) {
      search.Stop();
      ctx.ip.SetCancel(false);
      support::LogWrite(" <search for texture cancelled> ", support::LOG_RAW);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  search.Wait();
  {
    std::lock_guard lock(statusMutex);
    status = lastFolder;
  }
  return search.Candidates().Snapshot();
}

}  // namespace

host::DialogModel MakeTextureDialog(const std::string& materialName, const std::string& textureName,
                                    const std::vector<std::string>& candidates, const std::string& folder,
                                    bool autoSearch, const std::string& status) {
  host::DialogModel d;
  d.title = kTextureDialogTitle;
  d.controls = {
      {.id = 0, .kind = ControlKind::Group, .label = " Press Search or find it manually:"},
      {.id = 0, .kind = ControlKind::Static, .label = "Material name:"},
      {.id = IDC_TEX_MATERIAL, .kind = ControlKind::Static, .label = materialName},
      {.id = 0, .kind = ControlKind::Static, .label = "Texture name:"},
      {.id = IDC_TEX_NAME, .kind = ControlKind::Static, .label = textureName},
      {.id = 0, .kind = ControlKind::Static, .label = "Textures:"},
      {.id = IDC_TEX_LIST,
       .kind = ControlKind::ListBox,
       .value = candidates.empty() ? -1 : 0,
       .items = candidates},
      {.id = 0, .kind = ControlKind::Static, .label = "Search from:"},
      {.id = IDC_TEX_FOLDER, .kind = ControlKind::Edit, .text = folder, .maxLength = kMaxFolderText},
      {.id = IDC_TEX_SEARCH, .kind = ControlKind::Button, .label = "Search"},
      {.id = IDC_TEX_AUTO,
       .kind = ControlKind::CheckBox,
       .label = "Auto search",
       .value = autoSearch ? 1 : 0},
      {.id = IDC_TEX_BROWSE, .kind = ControlKind::Button, .label = "Browse"},
      {.id = IDC_TEX_NONE, .kind = ControlKind::Button, .label = "None"},
      {.id = IDC_TEX_NONE_FOR_ALL, .kind = ControlKind::Button, .label = "None for all"},
      {.id = IDC_TEX_OK, .kind = ControlKind::Button, .label = "OK"},
      {.id = IDC_TEX_STATUS, .kind = ControlKind::Static, .label = status},
  };
  return d;
}

std::optional<std::string> ResolveTexture(ImportContext& ctx, const std::string& textureName,
                                          const std::string& materialName) {
  const std::string name = SearchableName(textureName);
  // A record without a file name has nothing to look for.
  if (name.empty()) return std::nullopt;
  std::vector<std::string> candidates = AutomaticSearch(ctx.fileName, name, ctx.caseInsensitive);
  if (candidates.size() == 1) return candidates.front();
  if (ctx.noneForAll) return std::nullopt;

  std::string status;
  bool searchNow = ctx.autoSearch;
  for (int round = 0; round < kMaxDialogRounds; ++round) {
    if (searchNow) candidates = RunFolderSearch(ctx, name, status);
    searchNow = false;
    host::DialogModel d =
        MakeTextureDialog(materialName, textureName, candidates, ctx.searchFolder, ctx.autoSearch, status);
    const int closedBy = ctx.ip.UI().RunModal(d);
    if (const host::DialogControl* f = d.Find(IDC_TEX_FOLDER))
      ctx.searchFolder = f->text.substr(0, kMaxFolderText);
    if (const host::DialogControl* a = d.Find(IDC_TEX_AUTO)) ctx.autoSearch = a->value != 0;
    switch (closedBy) {
      case IDC_TEX_OK: {
        const host::DialogControl* list = d.Find(IDC_TEX_LIST);
        const int sel = list ? list->value : -1;
        if (sel < 0 || static_cast<std::size_t>(sel) >= candidates.size()) return std::nullopt;
        return candidates[static_cast<std::size_t>(sel)];
      }
      case IDC_TEX_BROWSE: {
        auto picked = ctx.ip.UI().PickFile({.title = "Choose texture...", .filter = kTextureFilter});
        if (picked) return picked;
        break;
      }
      case IDC_TEX_NONE_FOR_ALL:
        ctx.noneForAll = true;
        return std::nullopt;
      case IDC_TEX_SEARCH:
        searchNow = true;
        break;
      default:  // "None", or the dialog closed some other way
        return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace vorlan::zefimport

#include "workbench/plugin_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "host/paramblock.h"

namespace vorlan::workbench {

namespace fs = std::filesystem;

namespace {

bool IsModuleFile(const fs::path& p) {
  std::string ext = p.extension().string();
  return host::EqualsNoCase(ext, ".dle") || host::EqualsNoCase(ext, ".dli") ||
         host::EqualsNoCase(ext, ".dlu");
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string Str(const char* s) { return s ? std::string(s) : std::string(); }

// Entry points are data pointers to dlsym; converting them to function pointers is what
// POSIX promises to work.
template <typename Fn>
Fn Resolve(void* handle, const char* name) {
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

void CollectExtensions(LoadedClass& c) {
  if (c.superClass == host::kSceneExportClass) {
    PluginPtr<host::SceneExport> e(static_cast<host::SceneExport*>(c.desc->Create(false)));
    if (!e) return;
    for (int i = 0, n = e->ExtCount(); i < n && i < 64; ++i) c.extensions.push_back(Str(e->Ext(i)));
  } else if (c.superClass == host::kSceneImportClass) {
    PluginPtr<host::SceneImport> im(static_cast<host::SceneImport*>(c.desc->Create(false)));
    if (!im) return;
    for (int i = 0, n = im->ExtCount(); i < n && i < 64; ++i) c.extensions.push_back(Str(im->Ext(i)));
  }
}

}  // namespace

PluginLoader::~PluginLoader() {
  for (auto it = handles_.rbegin(); it != handles_.rend(); ++it) dlclose(*it);
}

bool PluginLoader::Refuse(const std::string& path, const std::string& reason, void* handle) {
  if (handle) dlclose(handle);
  errors_.push_back(path + ": " + reason);
  return false;
}

bool PluginLoader::LoadModule(const std::string& path) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return Refuse(path, std::string("cannot be loaded: ") + (why ? why : "unknown error"), nullptr);
  }
  auto libDescription = Resolve<host::LibDescriptionFn>(handle, "LibDescription");
  auto libNumberClasses = Resolve<host::LibNumberClassesFn>(handle, "LibNumberClasses");
  auto libClassDesc = Resolve<host::LibClassDescFn>(handle, "LibClassDesc");
  auto libVersion = Resolve<host::LibVersionFn>(handle, "LibVersion");
  std::string missing;
  if (!libDescription) missing += " LibDescription";
  if (!libNumberClasses) missing += " LibNumberClasses";
  if (!libClassDesc) missing += " LibClassDesc";
  if (!libVersion) missing += " LibVersion";
  if (!missing.empty())
    return Refuse(path, "not a plug-in module, missing entry point(s):" + missing, handle);

  uint32_t version = libVersion();
  if (version != host::kHostApiVersion)
    return Refuse(path,
                  "built for host interface version " + Hex(version) + ", this host needs " +
                      Hex(host::kHostApiVersion),
                  handle);
  int count = libNumberClasses();
  if (count < 1)
    return Refuse(path, "offers no classes (LibNumberClasses returned " + std::to_string(count) + ")",
                  handle);
  host::ClassDesc* desc = libClassDesc(0);
  if (!desc) return Refuse(path, "LibClassDesc(0) returned no class descriptor", handle);

  LoadedClass c;
  c.modulePath = path;
  c.desc = desc;
  // Copy each string before asking for the next: modules hand them out in one buffer.
  c.libDescription = Str(libDescription());
  c.className = Str(desc->ClassName());
  c.category = Str(desc->Category());
  c.superClass = desc->SuperClassID();
  c.classId = desc->ClassID();
  if (const LoadedClass* other = ByClassId(c.classId))
    return Refuse(path,
                  "class id (" + Hex(c.classId.a) + ", " + Hex(c.classId.b) + ") is already provided by " +
                      other->modulePath,
                  handle);
  CollectExtensions(c);
  handles_.push_back(handle);
  classes_.push_back(std::move(c));
  return true;
}

int PluginLoader::LoadFolder(const std::string& folder) {
  std::error_code ec;
  std::vector<fs::path> files;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    errors_.push_back(folder + ": plug-in folder cannot be read: " + ec.message());
    return 0;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::error_code fileEc;
    if (IsModuleFile(it->path()) && it->is_regular_file(fileEc)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  int loaded = 0;
  for (const auto& f : files) loaded += LoadModule(f.string()) ? 1 : 0;
  return loaded;
}

std::vector<const LoadedClass*> PluginLoader::BySuperClass(host::SuperClassId sc) const {
  std::vector<const LoadedClass*> out;
  for (const auto& c : classes_)
    if (c.superClass == sc) out.push_back(&c);
  return out;
}

const LoadedClass* PluginLoader::ByClassId(host::ClassId id) const {
  for (const auto& c : classes_)
    if (c.classId == id) return &c;
  return nullptr;
}

const LoadedClass* PluginLoader::ByName(std::string_view name) const {
  for (const auto& c : classes_)
    if (host::EqualsNoCase(c.className, name)) return &c;
  for (const auto& c : classes_)
    if (host::EqualsNoCase(Str(c.desc->InternalName()), name)) return &c;
  return nullptr;
}

std::vector<const LoadedClass*> PluginLoader::ByExtension(std::string_view ext, host::SuperClassId sc) const {
  if (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
  std::vector<const LoadedClass*> out;
  for (const auto& c : classes_) {
    if (c.superClass != sc) continue;
    for (const auto& e : c.extensions)
      if (host::EqualsNoCase(e, ext)) {
        out.push_back(&c);
        break;
      }
  }
  return out;
}

PluginPtr<host::SceneExport> PluginLoader::CreateExporter(const LoadedClass& c) const {
  if (c.superClass != host::kSceneExportClass) return nullptr;
  return PluginPtr<host::SceneExport>(static_cast<host::SceneExport*>(c.desc->Create(false)));
}

PluginPtr<host::SceneImport> PluginLoader::CreateImporter(const LoadedClass& c) const {
  if (c.superClass != host::kSceneImportClass) return nullptr;
  return PluginPtr<host::SceneImport>(static_cast<host::SceneImport*>(c.desc->Create(false)));
}

PluginPtr<host::UtilityObj> PluginLoader::CreateUtility(const LoadedClass& c) const {
  if (c.superClass != host::kUtilityClass) return nullptr;
  return PluginPtr<host::UtilityObj>(static_cast<host::UtilityObj*>(c.desc->Create(false)));
}

}  // namespace vorlan::workbench

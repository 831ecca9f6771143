// Loads plug-in modules as the host does at start-up: every *.dle, *.dli and *.dlu file of a
// folder is opened, its four entry points are resolved, its version is checked and its one
// class descriptor is listed.
//
// A module that cannot be used is refused with a message naming the file and the reason
// (see errors()); loading goes on with the next file. Nothing a module does wrong at this
// stage crashes the workbench, short of crashing inside its own entry points.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/plugin.h"

namespace vorlan::workbench {

struct LoadedClass {
  std::string modulePath;
  host::ClassDesc* desc = nullptr;  // owned by the module; valid while the loader lives
  // Copied from the module when it was loaded (its strings live in one shared buffer).
  std::string libDescription;
  std::string className;
  std::string category;
  host::SuperClassId superClass = 0;
  host::ClassId classId;
  // Exporters and importers: their file extensions, without the dot.
  std::vector<std::string> extensions;
};

// Deletes a plug-in object through DeleteThis(), as the module that made it expects.
struct PluginDeleter {
  void operator()(host::Plugin* p) const {
    if (p) p->DeleteThis();
  }
};
template <typename T>
using PluginPtr = std::unique_ptr<T, PluginDeleter>;

class PluginLoader {
 public:
  PluginLoader() = default;
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;
  // Closes the modules. Precondition: no plug-in object made by them is still alive.
  ~PluginLoader();

  // Loads every module of the folder in file-name order; returns how many were accepted.
  // A missing folder is an error entry, not a failure of the program.
  int LoadFolder(const std::string& folder);
  // Loads one module; false (with an entry in errors()) when it is refused.
  bool LoadModule(const std::string& path);

  const std::vector<LoadedClass>& classes() const { return classes_; }
  // "<file>: <reason>" per refused module, in the order they were met.
  const std::vector<std::string>& errors() const { return errors_; }

  std::vector<const LoadedClass*> BySuperClass(host::SuperClassId sc) const;
  const LoadedClass* ByClassId(host::ClassId id) const;
  // By class name or internal name, without regard to case.
  const LoadedClass* ByName(std::string_view name) const;
  // Exporters (or importers, by `sc`) that handle a file extension, given with or without
  // its dot and without regard to case.
  std::vector<const LoadedClass*> ByExtension(std::string_view ext,
                                              host::SuperClassId sc = host::kSceneExportClass) const;

  // New plug-in objects of a loaded class; null when the class is not of that kind or the
  // descriptor returns nothing.
  PluginPtr<host::SceneExport> CreateExporter(const LoadedClass& c) const;
  PluginPtr<host::SceneImport> CreateImporter(const LoadedClass& c) const;
  // Utilities hand out one shared instance; DeleteThis() on it is harmless.
  PluginPtr<host::UtilityObj> CreateUtility(const LoadedClass& c) const;

 private:
  bool Refuse(const std::string& path, const std::string& reason, void* handle);

  std::vector<void*> handles_;
  std::vector<LoadedClass> classes_;
  std::vector<std::string> errors_;
};

}  // namespace vorlan::workbench

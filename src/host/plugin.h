// The plug-in frame: what a module exports and how the host creates its one class.
//
// A module is a shared library with four C entry points (LibDescription, LibNumberClasses,
// LibClassDesc, LibVersion). The host asks LibClassDesc(0) for the class descriptor and
// creates plug-in objects through it. Objects cross the boundary as pointers to the
// abstract classes below; the host never uses RTTI on them (type identity does not survive
// hidden-visibility modules), it goes by the descriptor's super class instead.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "host/ids.h"
#include "host/interface.h"

namespace vorlan::host {

class Plugin {
 public:
  // The module frees what it allocated; utilities hand out one static instance and ignore it.
  virtual void DeleteThis() = 0;

 protected:
  virtual ~Plugin() = default;
};

// What the host asks an exporter or importer for its menus and its About box.
class FileFormatPlugin : public Plugin {
 public:
  virtual int ExtCount() = 0;
  virtual const char* Ext(int n) = 0;
  virtual const char* LongDesc() = 0;
  virtual const char* ShortDesc() = 0;
  virtual const char* AuthorName() = 0;
  virtual const char* CopyrightMessage() = 0;
  virtual const char* OtherMessage1() = 0;
  virtual const char* OtherMessage2() = 0;
  virtual unsigned int Version() = 0;  // 100 = 1.00
  virtual void ShowAbout(Interface& ip) = 0;
};

// Options bit 0 of an export: the selected nodes only.
inline constexpr uint32_t kExportSelected = 0x1;

class SceneExport : public FileFormatPlugin {
 public:
  // Whether the exporter honours the given option bits for extension `ext`.
  virtual bool SupportsOptions(int /*ext*/, uint32_t /*options*/) { return false; }
  // Options bit 0: export the selected nodes only. Returns 1 on success, 0 on failure.
  virtual int DoExport(const char* name, Interface& ip, bool suppressPrompts, uint32_t options) = 0;
};

class SceneImport : public FileFormatPlugin {
 public:
  virtual int DoImport(const char* name, Interface& ip, bool suppressPrompts) = 0;
};

class UtilityObj : public Plugin {
 public:
  virtual void BeginEditParams(Interface& ip) = 0;
  virtual void EndEditParams(Interface& ip) = 0;
};

class ClassDesc {
 public:
  virtual ~ClassDesc() = default;
  virtual int IsPublic() = 0;
  // A new exporter, importer or utility object, by the descriptor's super class.
  virtual Plugin* Create(bool loading) = 0;
  virtual const char* ClassName() = 0;
  virtual SuperClassId SuperClassID() = 0;
  virtual ClassId ClassID() = 0;
  virtual const char* Category() = 0;
  virtual const char* InternalName() { return ClassName(); }
};

// The module's string table. Strings are handed out through one static buffer of 256
// characters, as the host's resource loader does, so a caller must copy a string before it
// asks for the next one.
class StringTable {
 public:
  StringTable(std::initializer_list<std::pair<const int, std::string>> entries) : entries_(entries) {}
  const char* Get(int id) const;

 private:
  std::map<int, std::string> entries_;
};

// Common string ids of every module's table.
enum StringId : int {
  IDS_LIBDESCRIPTION = 1,
  IDS_CLASS_NAME = 2,
  IDS_CATEGORY = 3,
  IDS_EXT = 4,
  IDS_SHORT_DESC = 5,
  IDS_LONG_DESC = 6,
  IDS_AUTHOR = 7,
  IDS_COPYRIGHT = 8,
  IDS_INTERNAL_NAME = 9,
};

// Shows the About box of an exporter or importer: a modal dialog with one button.
void ShowAboutBox(Interface& ip, const StringTable& strings);

// The menu and About-box answers of a one-extension exporter or importer, all taken from
// the module's string table, so a format plug-in states only what it does.
// `Base` is SceneExport or SceneImport; `Strings` returns the module's table.
template <class Base, const StringTable& (*Strings)()>
class TabledFormatPlugin : public Base {
 public:
  int ExtCount() override { return 1; }
  const char* Ext(int n) override { return n == 0 ? Strings().Get(IDS_EXT) : ""; }
  const char* LongDesc() override { return Strings().Get(IDS_LONG_DESC); }
  const char* ShortDesc() override { return Strings().Get(IDS_SHORT_DESC); }
  const char* AuthorName() override { return Strings().Get(IDS_AUTHOR); }
  const char* CopyrightMessage() override { return Strings().Get(IDS_COPYRIGHT); }
  const char* OtherMessage1() override { return ""; }
  const char* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 100; }
  void ShowAbout(Interface& ip) override { ShowAboutBox(ip, Strings()); }
  void DeleteThis() override { delete this; }
};

// Signatures of the four entry points, for the loader.
using LibDescriptionFn = const char* (*)();
using LibNumberClassesFn = int (*)();
using LibClassDescFn = ClassDesc* (*)(int);
using LibVersionFn = uint32_t (*)();

}  // namespace vorlan::host

// Defines the four entry points of a module whose one class descriptor is `desc`.
#define VORLAN_PLUGIN_MODULE(strings, desc)                                                          \
  extern "C" __attribute__((visibility("default"))) const char* LibDescription() {                   \
    return (strings).Get(::vorlan::host::IDS_LIBDESCRIPTION);                                        \
  }                                                                                                  \
  extern "C" __attribute__((visibility("default"))) int LibNumberClasses() { return 1; }             \
  extern "C" __attribute__((visibility("default"))) ::vorlan::host::ClassDesc* LibClassDesc(int i) { \
    return i == 0 ? &(desc) : nullptr;                                                               \
  }                                                                                                  \
  extern "C" __attribute__((visibility("default"))) uint32_t LibVersion() {                          \
    return ::vorlan::host::kHostApiVersion;                                                          \
  }

// Paths as KitExport keeps them: the host's form with backslashes, joined by plain
// concatenation, and made relative to the engine's data root by cutting its length off.
#pragma once

#include <string>
#include <string_view>

namespace vorlan::kitexport {

// The settings a run and the panel share; the paths as the user typed or picked them.
struct KitSettings {
  std::string enginePath;  // absolute, e.g. D:\Vexn\Data
  std::string exportPath;  // relative to the engine path, e.g. G\Equipments
  std::string zefPath;     // relative to the engine path, e.g. G\Objects
  bool generateIndex = false;
  bool rewrite = false;
  friend bool operator==(const KitSettings&, const KitSettings&) = default;
};

// The part with a backslash appended unless it is empty or already ends in a separator
// ('\\', or '/' on this system).
std::string WithBackslash(std::string_view part);
// Each non-empty part with its backslash, concatenated.
std::string JoinDir(std::string_view first, std::string_view second);

// engine + export, engine + zef: the folders a run writes to and searches.
std::string ExportDir(const KitSettings& s);
std::string ZefRoot(const KitSettings& s);

// The full path with as many leading characters removed as the engine path (with its
// backslash) has. No test is made that the path starts with it; a shorter path gives "".
std::string RelativeToEngine(std::string_view fullPath, std::string_view enginePath);

// Every backslash written twice, as the index file's keyed lines hold paths.
std::string DoubleBackslashes(std::string_view path);

// The index file's name for a scene file: its name up to its first '.', then ".ini".
std::string IndexFileName(std::string_view sceneFileName);

// What the folder picker gives an export or zef path: the chosen folder after the engine
// path (with its backslash) when that is a byte-for-byte prefix, '/' and '\' counting as one
// separator; the rest in the settings' backslash form. False otherwise.
bool RelativeFromPicked(std::string_view picked, std::string_view enginePath, std::string& relative);

}  // namespace vorlan::kitexport

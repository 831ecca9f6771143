// One generation run: an equipment file for every selected geometry or helper object that
// hangs on a bone of a character, and, on request, the index file pairing them with models.
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "host/interface.h"
#include "kitexport/kit_paths.h"

namespace vorlan::kitexport {

inline constexpr const char* kKitLogFile = "C:\\kitExport.log";

struct KitRunResult {
  // One line per equipment file written, relative to the export folder ("sword_01.eqp").
  std::vector<std::string> generated;
  std::string indexPath;  // host path of the index file; empty when none was asked for
  int indexSections = 0;
};

// Runs a generation over the whole scene, whose file is `sceneFile` (its name up to the
// first dot names the index file; empty for a scene never saved). Messages go to the host's
// user interface and the log "C:\kitExport.log".
KitRunResult RunKitExport(host::Interface& ip, const KitSettings& settings, const std::string& sceneFile);

// The class identifier of the transform controller of a character's non-root bone.
inline constexpr host::ClassId kBipedBoneControlClassId{0x9154, 0};

// Whether equipment linked to `parent` gets a file: the parent's transform controller is
// that of a non-root bone.
bool IsEquipmentBone(const host::Node* parent);

// The name of the bone an equipment file names: the parent's first child when it has one
// (the bone's own link node), else the parent's.
std::string AttachBoneName(const host::Node& parent);

// The node's world axes with its offset from the parent's origin in world axes.
host::Matrix3 EquipmentPlacement(const host::Node& node, const host::Node& parent);

// Chooses the file of one node: name.eqp, or name_01.eqp, name_02.eqp, ... when taken. A
// taken file is reused only with `rewrite`, when it cannot be read or was last written
// before `runStart` and not by this run (`writtenThisRun`, host paths).
std::string ChooseEqpPath(const std::string& exportDir, const std::string& nodeName, bool rewrite,
                          std::filesystem::file_time_type runStart,
                          const std::set<std::string>& writtenThisRun,
                          const std::function<std::string(const std::string&)>& toNative);

}  // namespace vorlan::kitexport

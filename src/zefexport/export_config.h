// The exporter's persistent options (MaxExport.cfg), the host's option bits and the scene
// file properties that override them when the host asks for an export without prompts.
#pragma once

#include <cstdint>
#include <string>

#include "host/interface.h"
#include "zefexport/export_context.h"

namespace vorlan::zefexport {

inline constexpr const char* kConfigFileName = "MaxExport.cfg";
inline constexpr uint32_t kConfigFormat = 1;

// Option bits of the export call.
inline constexpr uint32_t kOptSelected = 0x001;
inline constexpr uint32_t kOptSmoothWholeScene = 0x100;
inline constexpr uint32_t kOptNoDialog = 0x200;
inline constexpr uint32_t kOptResmoothSingle = 0x400;
inline constexpr uint32_t kOptDistinguishLODs = 0x800;

std::string ConfigPath(const host::Interface& ip);

enum class ConfigStatus { Ok, Unreadable, NewerFormat };

// Reads the three option bytes. A missing file is first created from `options`; a file of
// format 2 or later is refused (the user must remove it); a short file leaves `options` as
// they are.
ConfigStatus LoadConfig(const std::string& path, ExportOptions& options);
bool SaveConfig(const std::string& path, const ExportOptions& options);

// Bits 8 to 11 of the options word. Returns whether bit 9 asks to skip the dialog.
bool ApplyOptionBits(uint32_t bits, ExportOptions& options);

// Scene file properties: the three booleans and the "Note" text (the comment).
void ApplySceneProperties(const host::Interface& ip, ExportOptions& options, std::string& comment,
                          bool& hasComment);

// The file name with its extension (from the last dot of the file-name part) lower-cased,
// or the whole file-name part when it has no dot. Folders are left alone: on this system
// their case matters.
std::string LowerCaseExtension(const std::string& path);

}  // namespace vorlan::zefexport

// Mapwright's settings and their file "Mapwright!.cfg": thirteen little-endian 32-bit words
// (version 3, texels factor, three colours, mapping method and axis, window position, the
// backup options and the window size), and the options dialog.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/interface.h"
#include "host/ui.h"

namespace vorlan::mapwright {

inline constexpr const char* kConfigFileName = "Mapwright!.cfg";
inline constexpr uint32_t kConfigVersion = 3;
inline constexpr std::size_t kConfigBytes = 13 * 4;
inline constexpr int kMinWindowWidth = 540;
inline constexpr int kMinWindowHeight = 745;
// More numbered copies than this are not kept, whatever a damaged file says.
inline constexpr int kMaxBackups = 100;

// Colours are 0x00BBGGRR words.
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

struct Settings {
  float texels = 1.0f;
  uint32_t lineColor = Rgb(255, 255, 0);
  uint32_t vertexColor = Rgb(255, 255, 255);
  uint32_t backgroundColor = Rgb(160, 160, 160);
  int method = 0;  // 0 "Unfold faces", 1 "Get MAX mapping", 2 "Planar mapping"
  int planarAxis = 0;
  int windowLeft = 0, windowTop = 0;
  int numberOfBackups = 3;
  bool createBackups = true;
  int windowWidth = kMinWindowWidth, windowHeight = kMinWindowHeight;
  // Not stored.
  bool showInvisibleEdges = true;

  friend bool operator==(const Settings&, const Settings&) = default;
};

// The window may not be made smaller than 540 x 745 pixels.
inline void ClampWindowSize(int& width, int& height) {
  width = width < kMinWindowWidth ? kMinWindowWidth : width;
  height = height < kMinWindowHeight ? kMinWindowHeight : height;
}

std::vector<uint8_t> EncodeSettings(const Settings& s);

enum class SettingsRead { Ok, OtherVersion };
// Reads the file's words into `s`. A file of another version, or too short to hold the twelve
// values, leaves `s` alone. Values no window could use (an unknown method or axis, a size
// below the minimum, a texels factor of 0 or not finite, a negative or huge number of
// backups) are brought back into range.
SettingsRead DecodeSettings(std::span<const uint8_t> file, Settings& s);

// The path of the file in the host's plug-in configuration folder.
std::string SettingsPath(const host::Interface& ip);
// Opening the rollup: defaults, then the file, which is written first when missing and
// rewritten from the defaults (after a note) when it is of another version.
Settings LoadSettings(host::Interface& ip);
// Closing the rollup: the file is replaced with the current values; false when it cannot be.
bool SaveSettings(const host::Interface& ip, const Settings& s);

// The options dialog: "Show invisible edges", "Create backup files" and "Number of backups:".
enum OptionsControl : int {
  kOptionsOk = 1,
  kOptionsCancel = 2,
  kOptionsEdgesGroup = 100,
  kOptionsShowInvisibleEdges,
  kOptionsSavingGroup,
  kOptionsCreateBackups,
  kOptionsBackupsLabel,
  kOptionsNumberOfBackups,
};
host::DialogModel OptionsDialog(const Settings& s);
// Runs the dialog; OK stores the three values (a number that does not read keeps the old
// one), Cancel keeps them. Returns whether OK closed it.
bool RunOptionsDialog(host::UserInterface& ui, Settings& s);

}  // namespace vorlan::mapwright

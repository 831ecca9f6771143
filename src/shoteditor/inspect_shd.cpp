#include "shoteditor/inspect_shd.h"

#include <cstdio>

#include "shoteditor/shd_file.h"

namespace vorlan::shoteditor {

namespace {

std::string Format(const char* fmt, auto... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, fmt, args...);
  return s;
}

}  // namespace

ShdListing InspectShd(std::span<const uint8_t> bytes) {
  ShdReadResult r = ReadShd(bytes);
  if (r.status == ShdReadResult::Status::WrongMagic) return {false, "not a .shd file (no \"SHD\" magic)\n"};
  if (r.status == ShdReadResult::Status::Corrupted) return {false, "damaged .shd file: " + r.detail + "\n"};
  const ShdFile& f = r.file;
  std::string out = Format(".shd version %d, %zu bytes\n", f.version, bytes.size());
  out += Format("  global timeline  ticks %d .. %d, %d ticks per frame, %d frames per second\n",
                f.globalBeginTicks, f.globalEndTicks, f.ticksPerFrame, f.frameRate);
  for (const ShdBlock& b : f.blocks) {
    switch (b.id) {
      case kOptionsBlock:
        out += Format("  options  hide player's weapon %d\n", b.hideWeapon);
        break;
      case kCommandsBlock:
        out += Format("  commands  %zu\n", b.commands.size());
        for (std::size_t i = 0; i < b.commands.size(); ++i) {
          const ShotCommand& c = b.commands[i];
          out += Format("    %3zu  %-31s  %6d .. %6d  length %6d  colour 0x%06X  \"%s\"\n", i,
                        c.itemName.c_str(), c.begin, c.end, c.length, c.colour, c.description.c_str());
        }
        break;
      case kAnimationBlock:
        out += Format("  animation rows  %zu\n", b.rows.size());
        for (std::size_t i = 0; i < b.rows.size(); ++i) {
          const AnimationInfoRow& row = b.rows[i];
          out += Format("    %3zu  [%c] dummy \"%s\" entity \"%s\" start %d path \"%s\" at (%g, %g, %g)\n", i,
                        row.checked ? 'x' : ' ', row.dummyName.c_str(), row.entityName.c_str(), row.startTime,
                        row.path.c_str(), double(row.matrix[12]), double(row.matrix[13]),
                        double(row.matrix[14]));
        }
        break;
      default:
        break;
    }
  }
  return {true, out};
}

}  // namespace vorlan::shoteditor

#include <ostream>

#include "commands.h"
#include "support/file_io.h"
#include "zef/inspect.h"
#include "zef/reader.h"

namespace vorlan::cli {

int RunInspect(const std::string& file, std::ostream& out, std::ostream& err) {
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(file, bytes); !r) {
    err << "vorlan inspect: " << r.error << "\n";
    return 1;
  }
  out << zef::InspectZef(bytes);
  // The tree is printed as far as it goes; a damaged file still fails, so scripts notice.
  zef::ZefFile parsed;
  zef::ZefResult result = zef::ParseZef(bytes, parsed);
  if (result != zef::ZefResult::kSuccess) {
    err << "vorlan inspect: \"" << file << "\" is damaged: " << zef::ToString(result) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace vorlan::cli

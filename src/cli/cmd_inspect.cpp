#include <ostream>

#include "commands.h"
#include "support/file_io.h"
#include "zef/inspect.h"

namespace vorlan::cli {

int RunInspect(const std::string& file, std::ostream& out, std::ostream& err) {
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(file, bytes); !r) {
    err << "vorlan inspect: " << r.error << "\n";
    return 1;
  }
  out << zef::InspectZef(bytes);
  return 0;
}

}  // namespace vorlan::cli

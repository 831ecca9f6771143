#include "host/interface.h"

#include "support/file_io.h"

namespace vorlan::host {

std::string Interface::MapHostPath(std::string path) const { return support::NativePath(std::move(path)); }

}  // namespace vorlan::host

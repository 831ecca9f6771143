// `vorlan inspect` of the utilities' files: .skd skin data and .eqp equipment files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "command.h"

namespace vorlan::cli {

// Whether `ext` (lower case, no dot) is one of these files.
bool IsUtilityFile(const std::string& ext);
// Prints the file's listing; a file the tools would refuse fails with the reason.
int InspectUtilityFile(Context& ctx, const std::string& path, const std::string& ext,
                       const std::vector<uint8_t>& bytes);

}  // namespace vorlan::cli

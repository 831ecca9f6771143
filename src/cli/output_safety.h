// Checks a command makes before it writes an output file.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace vorlan::cli {

// Refuses an output that is one of the inputs: the same path, or the same file reached
// through a symbolic or a hard link. Writing there would replace the source with a copy
// that may have lost data. Returns the one-line message, or nothing when the output is free.
std::optional<std::string> OutputIsAnInput(const std::string& output, std::span<const std::string> inputs);

}  // namespace vorlan::cli

#include "output_safety.h"

#include <sys/stat.h>

namespace vorlan::cli {

std::optional<std::string> OutputIsAnInput(const std::string& output, std::span<const std::string> inputs) {
  struct stat out {};
  // An output that does not exist yet cannot be any input.
  if (::stat(output.c_str(), &out) != 0) return std::nullopt;
  for (const std::string& input : inputs) {
    struct stat in {};
    if (::stat(input.c_str(), &in) != 0) continue;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino)
      return "the output \"" + output + "\" is the input \"" + input + "\"; refusing to write over it";
  }
  return std::nullopt;
}

}  // namespace vorlan::cli

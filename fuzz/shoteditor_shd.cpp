// Any bytes given to the .shd reader must end cleanly: no read outside the input, no hang,
// no allocation beyond what the input can describe. What it accepts must write back to a
// file that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "shoteditor/inspect_shd.h"
#include "shoteditor/shd_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorlan::shoteditor;
  std::span<const uint8_t> bytes(data, size);
  ShdReadResult r = ReadShd(bytes);
  InspectShd(bytes);
  if (!r) return 0;
  ShdContent c;
  for (const ShdBlock& b : r.file.blocks) {
    c.commands.insert(c.commands.end(), b.commands.begin(), b.commands.end());
    c.rows.insert(c.rows.end(), b.rows.begin(), b.rows.end());
  }
  ShdReadResult again = ReadShd(WriteShd(c));
  if (!again || again.file.blocks.at(1).commands.size() != c.commands.size() ||
      again.file.blocks.at(2).rows.size() != c.rows.size())
    std::abort();
  return 0;
}

// Any bytes given to the .eqp reader and its listing must end cleanly; what it accepts
// encodes back to a file of the length it read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "kitexport/eqp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto eqp = vorlan::kitexport::DecodeEqp(std::span(data, size));
  if (!eqp) return 0;
  vorlan::kitexport::DescribeEqp(*eqp);
  std::vector<uint8_t> again = vorlan::kitexport::EncodeEqp(eqp->placement, eqp->boneName);
  if (again.size() > size || again.size() != 85 + eqp->boneName.size()) std::abort();
  return 0;
}

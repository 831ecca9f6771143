// Any bytes given to the Targa reader must end cleanly: no read outside the input, no
// unbounded allocation. What it decodes must write back to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "mapwright/image_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vorlan::mapwright;
  DecodeResult r = DecodeTga(std::span(data, size), std::size_t(1) << 20);
  if (r.image) {
    DecodeResult again = DecodeTga(EncodeTga(*r.image));
    if (!again.image || again.image->pixels != r.image->pixels) std::abort();
  }
  return 0;
}

#include "support/process_heap.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vorlan::support {

void ReturnFreedHeapPromptly() {
#if defined(__GLIBC__) && defined(M_TRIM_THRESHOLD)
  // Fixing this limit also stops the library from raising its large-block limit on its own,
  // so large blocks keep their own mappings and leave with them when freed.
  (void)mallopt(M_TRIM_THRESHOLD, 1 << 20);
#endif
}

}  // namespace vorlan::support

// How a host process (the command line, the desktop workbench) asks the C library to manage
// its heap. Call once at start-up, before the first large allocation.
#pragma once

namespace vorlan::support {

// Memory freed at the top of the heap goes back to the system once more than 1 MiB of it is
// free, instead of the C library's adaptive limit, which rises with every large block freed.
// A scene read from a large file frees the file's own lists before its output is built; with
// the adaptive limit they stayed with the process and added to its peak. Does nothing where
// the C library has no such setting.
void ReturnFreedHeapPromptly();

}  // namespace vorlan::support

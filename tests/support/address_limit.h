// Limiting a test process's address space, so that its next large mapping fails.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace vorlan::testing {

// Limits the address space to what the process uses now plus `slack`. Only for death-test
// children: the limit holds until the process ends, which it does with code 3 or 4 when the
// limit cannot be set.
inline void LimitAddressSpace(std::size_t slack) {
  long pages = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f || std::fscanf(f, "%ld", &pages) != 1) std::_Exit(3);
  std::fclose(f);
  const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + slack;
  rlimit r{limit, limit};
  if (::setrlimit(RLIMIT_AS, &r) != 0) std::_Exit(4);
}

}  // namespace vorlan::testing

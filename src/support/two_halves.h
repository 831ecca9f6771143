// Splitting a loop over [0, n) between the calling thread and one more.
#pragma once

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>

namespace vorlan::support {

// Whether a loop of `n` steps is worth a second thread here: at least `minimum` steps on a
// machine with more than one core.
inline bool WorthTwoThreads(std::size_t n, std::size_t minimum) {
  // Asked once: the C library reads the count of online processors from a file every time.
  static const bool twoCores = std::thread::hardware_concurrency() > 1;
  return n >= minimum && twoCores;
}

// Calls body(0, n / 2) on this thread and body(n / 2, n) on a second one when `two` is set,
// else body(0, n) here; returns when both are done. The halves must only write what is
// theirs. An exception from either half is thrown here once both have ended; when no thread
// can be had, the second half runs here after the first.
template <class Body>
void RunInTwoHalves(std::size_t n, bool two, Body&& body) {
  if (!two || n < 2) {
    body(std::size_t{0}, n);
    return;
  }
  const std::size_t half = n / 2;
  std::exception_ptr secondFailed;
  std::thread second;
  try {
    second = std::thread([&] {
      try {
        body(half, n);
      } catch (...) {
        secondFailed = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    body(std::size_t{0}, half);
    body(half, n);
    return;
  }
  try {
    body(std::size_t{0}, half);
  } catch (...) {
    second.join();
    throw;
  }
  second.join();
  if (secondFailed) std::rethrow_exception(secondFailed);
}

}  // namespace vorlan::support

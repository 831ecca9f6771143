#include "support/page_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace vorlan::support {

PageBytes::~PageBytes() {
  if (data_) ::munmap(data_, capacity_);
}

void PageBytes::Resize(std::size_t n) {
  if (n <= capacity_) {
    // Bytes given up read as zero when they are taken again.
    if (n < size_) std::memset(data_ + n, 0, size_ - n);
    size_ = n;
    return;
  }
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::size_t want = std::max({n, capacity_ * 2, std::size_t{1} << 16});
  if (want > SIZE_MAX - page) throw std::bad_alloc();
  want = (want + page - 1) / page * page;
  void* p = data_ ? ::mremap(data_, capacity_, want, MREMAP_MAYMOVE)
                  : ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<uint8_t*>(p);
  capacity_ = want;
  size_ = n;
}

void PageBytes::Append(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::size_t at = size_;
  Resize(size_ + bytes.size());
  std::memcpy(data_ + at, bytes.data(), bytes.size());
}

}  // namespace vorlan::support

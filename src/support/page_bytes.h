// A growable byte array in anonymous memory pages, for large buffers built by appends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorlan::support {

// Pages come zeroed from the system and grow by remapping, in place or moved without a
// copy: a buffer of hundreds of megabytes neither copies itself at each doubling nor holds
// the old and the new block at once, as a vector does while it grows.
class PageBytes {
 public:
  PageBytes() = default;
  ~PageBytes();
  PageBytes(const PageBytes&) = delete;
  PageBytes& operator=(const PageBytes&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  std::span<const uint8_t> Bytes() const { return {data_, size_}; }

  // Grows (the new bytes are zero) or shrinks to `n` bytes. Throws std::bad_alloc when the
  // system has no room; the content is then unchanged.
  void Resize(std::size_t n);
  void Append(std::span<const uint8_t> bytes);

 private:
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;  // bytes mapped
};

}  // namespace vorlan::support

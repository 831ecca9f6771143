// Joining identical values of a mesh on import. Assimp hands most formats over with one
// vertex per corner; the host keeps each distinct position once, and each map channel and
// normal set its own distinct values, so the importer numbers values as it meets them and
// gives a value it has seen before the number it had then.
//
// Values are the same when their bits are: 0.0 and -0.0 stay apart, as the file wrote them,
// and no tolerance ever moves a vertex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace vorlan::workbench::interchange {

// Numbers the distinct values of type T (whole 32-bit words: Point3, float[4]) in order of
// first appearance and collects them in `values`, which it appends to. An open-addressed
// table of indices into `values`, kept at most half full, so adding is constant time.
template <typename T>
class IdenticalJoiner {
  static_assert(std::is_trivially_copyable_v<T> && sizeof(T) % 4 == 0);
  static constexpr std::size_t kWords = sizeof(T) / 4;
  static constexpr uint32_t kEmpty = UINT32_MAX;

 public:
  // Values already in `values` are taken as distinct and keep their numbers.
  explicit IdenticalJoiner(std::vector<T>& values) : values_(values) {
    Grow(values_.size());
    for (std::size_t i = 0; i < values_.size(); ++i) Place(static_cast<uint32_t>(i));
  }

  // Room for `more` further distinct values without growing the table on the way.
  void Reserve(std::size_t more) {
    if ((values_.size() + more) * 2 > slots_.size()) Rehash(values_.size() + more);
  }

  // The number of `v`: the one of an earlier value with the same bits, or a new one.
  uint32_t Add(const T& v) {
    Words w;
    std::memcpy(w.data, &v, sizeof(T));
    std::size_t at = Hash(w) & mask_;
    while (slots_[at] != kEmpty) {
      if (std::memcmp(&values_[slots_[at]], &v, sizeof(T)) == 0) return slots_[at];
      at = (at + 1) & mask_;
    }
    const auto index = static_cast<uint32_t>(values_.size());
    values_.push_back(v);
    slots_[at] = index;
    if (values_.size() * 2 > slots_.size()) Rehash(values_.size());
    return index;
  }

 private:
  struct Words {
    uint32_t data[kWords];
  };

  static std::size_t Hash(const Words& w) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < kWords; ++i) {
      h = (h ^ w.data[i]) * 0xBF58476D1CE4E5B9ull;
      h ^= h >> 31;
    }
    return static_cast<std::size_t>(h);
  }

  void Grow(std::size_t count) {
    std::size_t size = 16;
    while (size < count * 2 + 2) size *= 2;
    slots_.assign(size, kEmpty);
    mask_ = size - 1;
  }

  void Place(uint32_t index) {
    Words w;
    std::memcpy(w.data, &values_[index], sizeof(T));
    std::size_t at = Hash(w) & mask_;
    while (slots_[at] != kEmpty) at = (at + 1) & mask_;
    slots_[at] = index;
  }

  void Rehash(std::size_t count) {
    Grow(count);
    for (std::size_t i = 0; i < values_.size(); ++i) Place(static_cast<uint32_t>(i));
  }

  std::vector<T>& values_;
  std::vector<uint32_t> slots_;
  std::size_t mask_ = 0;
};

}  // namespace vorlan::workbench::interchange

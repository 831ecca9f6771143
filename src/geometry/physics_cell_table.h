// A small open-addressing table from integer grid cells to the head of a chain, used by the
// welding, edge and plane searches of the collision model. The chains themselves live in the
// caller's arrays (one "next" index per item), so a cell costs one slot however full it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorlan::geometry {

template <std::size_t N>
class CellTable {
 public:
  using Key = std::array<int64_t, N>;
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit CellTable(std::size_t expected = 16) { Rehash(Capacity(expected)); }

  // The head stored for the cell, or kNone.
  uint32_t Find(const Key& key) const {
    std::size_t mask = keys_.size() - 1;
    for (std::size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
      if (heads_[i] == kNone) return kNone;
      if (Equal(keys_[i], key)) return heads_[i];
    }
  }

  // Makes item the new head of the cell and returns the previous head (kNone for a new cell),
  // which the caller stores as the item's "next".
  uint32_t Push(const Key& key, uint32_t item) {
    if ((count_ + 1) * 2 > keys_.size()) Rehash(keys_.size() * 2);
    std::size_t mask = keys_.size() - 1;
    for (std::size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
      if (heads_[i] == kNone) {
        keys_[i] = key;
        heads_[i] = item;
        ++count_;
        return kNone;
      }
      if (Equal(keys_[i], key)) {
        uint32_t previous = heads_[i];
        heads_[i] = item;
        return previous;
      }
    }
  }

 private:
  static bool Equal(const Key& a, const Key& b) {
    for (std::size_t k = 0; k < N; ++k)
      if (a[k] != b[k]) return false;
    return true;
  }

  static std::size_t Capacity(std::size_t expected) {
    std::size_t c = 16;
    while (c < expected * 2) c *= 2;
    return c;
  }

  static std::size_t Hash(const Key& key) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (int64_t k : key) {
      h ^= static_cast<uint64_t>(k) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
      h ^= h >> 31;
      h *= 0xBF58476D1CE4E5B9ull;
      h ^= h >> 29;
    }
    return static_cast<std::size_t>(h);
  }

  void Rehash(std::size_t capacity) {
    std::vector<Key> old_keys = std::move(keys_);
    std::vector<uint32_t> old_heads = std::move(heads_);
    keys_.assign(capacity, Key{});
    heads_.assign(capacity, kNone);
    count_ = 0;
    std::size_t mask = capacity - 1;
    for (std::size_t j = 0; j < old_keys.size(); ++j) {
      if (old_heads[j] == kNone) continue;
      std::size_t i = Hash(old_keys[j]) & mask;
      while (heads_[i] != kNone) i = (i + 1) & mask;
      keys_[i] = old_keys[j];
      heads_[i] = old_heads[j];
      ++count_;
    }
  }

  std::vector<Key> keys_;
  std::vector<uint32_t> heads_;  // kNone marks an empty slot
  std::size_t count_ = 0;
};

}  // namespace vorlan::geometry

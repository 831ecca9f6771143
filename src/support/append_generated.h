// Appending computed elements to a vector with one store per element.
#pragma once

#include <compare>
#include <cstddef>
#include <iterator>
#include <vector>

// For the generators: a generator that is not inlined hands each element back through
// memory, which costs more than making it.
#define VORLAN_INLINE __attribute__((always_inline))

namespace vorlan::support {

// A random-access iterator over positions 0, 1, ... whose element i is make(i). It lets a
// vector size itself once from the distance and then construct front to back.
template <class T, class Make>
struct GeneratedPositions {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = const T*;
  using reference = T;

  const Make* make = nullptr;
  difference_type i = 0;

  VORLAN_INLINE T operator*() const { return (*make)(static_cast<std::size_t>(i)); }
  T operator[](difference_type k) const { return (*make)(static_cast<std::size_t>(i + k)); }
  GeneratedPositions& operator++() { return ++i, *this; }
  GeneratedPositions operator++(int) { return {make, i++}; }
  GeneratedPositions& operator--() { return --i, *this; }
  GeneratedPositions operator--(int) { return {make, i--}; }
  GeneratedPositions& operator+=(difference_type k) { return i += k, *this; }
  GeneratedPositions& operator-=(difference_type k) { return i -= k, *this; }
  friend GeneratedPositions operator+(GeneratedPositions p, difference_type k) { return p += k; }
  friend GeneratedPositions operator+(difference_type k, GeneratedPositions p) { return p += k; }
  friend GeneratedPositions operator-(GeneratedPositions p, difference_type k) { return p -= k; }
  friend difference_type operator-(const GeneratedPositions& a, const GeneratedPositions& b) {
    return a.i - b.i;
  }
  friend bool operator==(const GeneratedPositions& a, const GeneratedPositions& b) { return a.i == b.i; }
  friend auto operator<=>(const GeneratedPositions& a, const GeneratedPositions& b) { return a.i <=> b.i; }
};

// Appends n elements to `v`, element i being make(i), called once per element in order.
//
// resize() followed by a fill writes every new element twice (its default value first),
// which for the arrays of a large mesh is a second pass over memory that has just been
// handed out; here each element is constructed straight from make(i).
template <class T, class Make>
void AppendGenerated(std::vector<T>& v, std::size_t n, const Make& make) {
  using Positions = GeneratedPositions<T, Make>;
  v.insert(v.end(), Positions{&make, 0}, Positions{&make, static_cast<std::ptrdiff_t>(n)});
}

}  // namespace vorlan::support

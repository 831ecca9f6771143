// Little-endian byte writers and bounded readers: every binary format goes through these.
// Values are assembled byte by byte, never by casting structures onto buffers, so the
// layout on disk does not depend on the compiler's padding or the machine's byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlan::support {

// Appends to a caller-owned byte vector; offsets returned by Pos() stay valid for Patch*.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  std::size_t Pos() const { return out_.size(); }
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    out_.insert(out_.end(), b, b + 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
  void Bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  void Bytes(const void* p, std::size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void Zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
  // The text and its terminating zero.
  void CString(std::string_view s) {
    Bytes(s.data(), s.size());
    U8(0);
  }
  // Exactly `width` bytes: at most width - 1 characters, zero-filled.
  void FixedString(std::string_view s, std::size_t width) {
    std::size_t n = s.size() < width ? s.size() : (width ? width - 1 : 0);
    Bytes(s.data(), n);
    Zeros(width - n);
  }
  void PatchU32(std::size_t at, uint32_t v) { StoreU32(out_.data() + at, v); }

  static void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  }
  static void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
  static void StoreF32(uint8_t* p, float v) { StoreU32(p, std::bit_cast<uint32_t>(v)); }
  static void StoreU64(uint8_t* p, uint64_t v) {
    StoreU32(p, static_cast<uint32_t>(v));
    StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
  }

 private:
  std::vector<uint8_t>& out_;
};

inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline float LoadF32(const uint8_t* p) { return std::bit_cast<float>(LoadU32(p)); }
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint64_t LoadU64(const uint8_t* p) { return uint64_t(LoadU32(p)) | (uint64_t(LoadU32(p + 4)) << 32); }

// Reads from a span it does not own. Every read is checked against the end; a failed read
// returns nothing, leaves the cursor where it was and sets the sticky failure flag, so a
// parser can read a whole record and check once.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  std::size_t Pos() const { return pos_; }
  std::size_t Size() const { return data_.size(); }
  std::size_t Remaining() const { return data_.size() - pos_; }
  bool Failed() const { return failed_; }
  bool Has(std::size_t n) const { return n <= Remaining(); }

  bool Seek(std::size_t pos) {
    if (pos > data_.size()) return Fail();
    pos_ = pos;
    return true;
  }
  bool Skip(std::size_t n) {
    if (!Has(n)) return Fail();
    pos_ += n;
    return true;
  }

  std::optional<uint8_t> U8() {
    if (!Has(1)) return Fail(), std::nullopt;
    return data_[pos_++];
  }
  std::optional<uint32_t> U32() {
    if (!Has(4)) return Fail(), std::nullopt;
    uint32_t v = LoadU32(data_.data() + pos_);
    pos_ += 4;
    return v;
  }
  std::optional<uint32_t> PeekU32(std::size_t ahead = 0) const {
    if (ahead > Remaining() || Remaining() - ahead < 4) return std::nullopt;
    return LoadU32(data_.data() + pos_ + ahead);
  }
  std::optional<int32_t> I32() {
    auto v = U32();
    if (!v) return std::nullopt;
    return static_cast<int32_t>(*v);
  }
  std::optional<float> F32() {
    auto v = U32();
    if (!v) return std::nullopt;
    return std::bit_cast<float>(*v);
  }
  // n bytes as a view into the source.
  std::optional<std::span<const uint8_t>> Bytes(std::size_t n) {
    if (!Has(n)) return Fail(), std::nullopt;
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  // A field of n bytes holding a zero-terminated string; text stops at the first zero or
  // at the end of the field, whichever comes first.
  std::optional<std::string> String(std::size_t n) {
    auto b = Bytes(n);
    if (!b) return std::nullopt;
    std::size_t len = 0;
    while (len < b->size() && (*b)[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(b->data()), len);
  }
  // A string that ends at its zero byte.
  std::optional<std::string> CString() {
    for (std::size_t i = pos_; i < data_.size(); ++i)
      if (data_[i] == 0) {
        std::string s(reinterpret_cast<const char*>(data_.data() + pos_), i - pos_);
        pos_ = i + 1;
        return s;
      }
    return Fail(), std::nullopt;
  }

 private:
  bool Fail() {
    failed_ = true;
    return false;
  }
  std::span<const uint8_t> data_;
  std::size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace vorlan::support

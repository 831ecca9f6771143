// Targa files: an 18-byte header, an identification field, an optional colour map, then
// pixels stored plainly or in run-length packets.
#include <algorithm>

#include "mapwright/image_codecs.h"
#include "support/bytes.h"

namespace vorlan::mapwright {

namespace {

constexpr std::size_t kTgaHeaderBytes = 18;
constexpr uint8_t kTopLeftOrigin = 0x20;
constexpr uint8_t kAlphaBitsMask = 0x0F;

enum TgaType : uint8_t {
  kMapped = 1,
  kTrueColor = 2,
  kGrey = 3,
  kRleMapped = 9,
  kRleTrueColor = 10,
  kRleGrey = 11
};

struct TgaHeader {
  uint8_t idLength, mapType, type;
  uint16_t mapFirst, mapLength;
  uint8_t mapEntryBits;
  uint16_t width, height;
  uint8_t bits, descriptor;
};

TgaHeader ParseHeader(const uint8_t* h) {
  auto u16 = [&](int at) { return uint16_t(h[at] | (h[at + 1] << 8)); };
  return {h[0], h[1], h[2], u16(3), u16(5), h[7], u16(12), u16(14), h[16], h[17]};
}

// Hands out one stored pixel after the other, expanding run-length packets. Runs out (false)
// when the data ends.
class PixelStream {
 public:
  PixelStream(std::span<const uint8_t> data, std::size_t pixelBytes, bool rle)
      : data_(data), pixelBytes_(pixelBytes), rle_(rle) {}

  const uint8_t* Next() {
    if (!rle_) return Take();
    if (left_ == 0) {
      if (pos_ >= data_.size()) return nullptr;
      uint8_t h = data_[pos_++];
      left_ = (h & 127) + 1;
      repeat_ = (h & 128) != 0;
      if (repeat_ && !(current_ = Take())) return nullptr;
    }
    --left_;
    return repeat_ ? current_ : Take();
  }

 private:
  const uint8_t* Take() {
    if (data_.size() - pos_ < pixelBytes_) return nullptr;
    const uint8_t* p = data_.data() + pos_;
    pos_ += pixelBytes_;
    return p;
  }

  std::span<const uint8_t> data_;
  std::size_t pixelBytes_;
  bool rle_;
  std::size_t pos_ = 0;
  std::size_t left_ = 0;
  bool repeat_ = false;
  const uint8_t* current_ = nullptr;
};

}  // namespace

DecodeResult DecodeTga(std::span<const uint8_t> file, std::size_t maxBytes) {
  support::ByteReader r(file);
  auto headerBytes = r.Bytes(kTgaHeaderBytes);
  if (!headerBytes) return {DecodeStatus::Damaged, {}};
  TgaHeader h = ParseHeader(headerBytes->data());
  if (!r.Skip(h.idLength)) return {DecodeStatus::Damaged, {}};

  std::span<const uint8_t> colorMap;
  std::size_t entryBytes = h.mapEntryBits / 8;
  if (h.mapLength > 0 && h.mapEntryBits > 0) {
    auto map = r.Bytes(std::size_t(h.mapLength) * h.mapEntryBits / 8);
    if (!map) return {DecodeStatus::Damaged, {}};
    colorMap = *map;
  }

  bool rle = h.type >= kRleMapped;
  uint8_t base = rle ? uint8_t(h.type - 8) : h.type;
  bool known = h.type == kMapped || h.type == kTrueColor || h.type == kGrey || h.type == kRleMapped ||
               h.type == kRleTrueColor || h.type == kRleGrey;
  if (!known || (h.type == kRleTrueColor && h.bits < 24) ||
      (base == kMapped && (colorMap.empty() || entryBytes == 0)))
    return {DecodeStatus::Unsupported, {}};

  std::optional<Image> image = NewImage(h.width, h.height, maxBytes);
  if (!image) return {DecodeStatus::Damaged, {}};

  // Plain pixel data is bounded by its own size; run-length data may be longer than the
  // pixels it encodes (one header byte per short packet), so it runs to the end of the file.
  std::size_t plainBytes = (std::size_t(h.bits) * h.width * h.height + 7) / 8;
  std::span<const uint8_t> data = file.subspan(r.Pos());
  if (!rle && data.size() > plainBytes) data = data.first(plainBytes);

  std::size_t pixelBytes = std::max<std::size_t>(1, (h.bits + 7u) / 8u);
  if (base == kTrueColor && h.bits < 24) pixelBytes = 2;
  // The alpha byte follows blue, green and red, so a pixel needs a fourth byte to carry one.
  bool withAlpha = (h.descriptor & kAlphaBitsMask) != 0 && h.bits >= 24 && pixelBytes >= 4;
  if (withAlpha) image->alpha.assign(image->size, 0xFF);

  PixelStream stream(data, pixelBytes, rle);
  const std::size_t count = std::size_t(h.width) * h.height;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = stream.Next();
    if (!p) break;
    std::size_t o = image->Offset(int(i % h.width), int(i / h.width));
    uint8_t* out = image->pixels.data() + o;
    if (base == kMapped) {
      std::size_t at = std::size_t(p[0]) * entryBytes;
      for (int c = 0; c < 3; ++c) out[c] = at + c < colorMap.size() ? colorMap[at + c] : 0;
    } else if (base == kGrey) {
      out[0] = out[1] = out[2] = p[0];
    } else if (h.bits >= 24) {
      std::copy_n(p, 3, out);
    } else {
      unsigned v = unsigned(p[0]) | (unsigned(p[1]) << 8);
      out[2] = uint8_t((v >> 7) & 0xF8);
      out[1] = uint8_t((v >> 2) & 0xF8);
      out[0] = uint8_t((v << 3) & 0xF8);
    }
    if (withAlpha) std::fill_n(image->alpha.data() + o, 3, p[3]);
  }
  if (h.descriptor & kTopLeftOrigin) image->FlipRows();
  return {DecodeStatus::Ok, std::move(image)};
}

std::vector<uint8_t> EncodeTga(const Image& image) {
  std::vector<uint8_t> out;
  out.reserve(kTgaHeaderBytes + std::size_t(image.width) * image.height * 4);
  support::ByteWriter w(out);
  w.U8(0);  // no identification field
  w.U8(0);  // no colour map
  w.U8(kTrueColor);
  w.Zeros(5);  // colour map fields
  w.U16(0);    // origin
  w.U16(0);
  w.U16(static_cast<uint16_t>(image.width));
  w.U16(static_cast<uint16_t>(image.height));
  w.U8(32);
  w.U8(8);  // eight alpha bits, bottom-left origin
  std::size_t at = out.size();
  out.resize(at + std::size_t(image.width) * image.height * 4);
  for (int row = 0; row < image.height; ++row)
    for (int x = 0; x < image.width; ++x, at += 4) {
      std::size_t o = image.Offset(x, row);
      std::copy_n(image.pixels.data() + o, 3, out.data() + at);
      out[at + 3] = image.HasAlpha() ? image.alpha[o] : 0xFF;
    }
  return out;
}

}  // namespace vorlan::mapwright

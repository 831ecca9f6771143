// Windows bitmaps: "BM", a 12-byte file header, a 40-byte information header, then rows.
#include <algorithm>
#include <cstdlib>

#include "mapwright/image_codecs.h"
#include "support/bytes.h"

namespace vorlan::mapwright {

namespace {

constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr uint32_t kBmpHeaderBytes = 54;
constexpr uint32_t kInfoHeaderBytes = 40;

uint16_t LoadU16(std::span<const uint8_t> b) { return uint16_t(b[0] | (b[1] << 8)); }

}  // namespace

DecodeResult DecodeBmp(std::span<const uint8_t> file, std::size_t maxBytes) {
  DecodeResult result;
  support::ByteReader r(file);
  auto signature = r.Bytes(2);
  if (!signature) return {DecodeStatus::Damaged, {}};
  if (LoadU16(*signature) != kBmpSignature) return result;  // not ours: nothing, no message
  auto fileSize = r.U32();
  auto reserved = r.U32();
  auto dataOffset = r.U32();
  auto infoSize = r.U32();
  auto width = r.I32();
  auto height = r.I32();
  auto planesAndBits = r.U32();
  auto compression = r.U32();
  if (r.Failed() || !r.Skip(kInfoHeaderBytes - 20)) return {DecodeStatus::Damaged, {}};
  (void)fileSize;
  (void)reserved;
  (void)infoSize;
  uint32_t bitCount = *planesAndBits >> 16;
  if (*compression != 0 || bitCount != 24) return result;

  // INT32_MIN has no positive counterpart: such a height is as absurd as zero.
  if (*width <= 0 || *height == 0 || *height == INT32_MIN) return {DecodeStatus::Damaged, {}};
  bool topDown = *height < 0;
  std::optional<Image> image = NewImage(*width, std::abs(*height), maxBytes);
  if (!image) return {DecodeStatus::Damaged, {}};

  uint32_t offset = *dataOffset >= kBmpHeaderBytes ? *dataOffset : kBmpHeaderBytes;
  if (offset > file.size() || file.size() - offset < image->size) return {DecodeStatus::Damaged, {}};
  std::copy_n(file.begin() + offset, image->size, image->pixels.begin());
  if (topDown) image->FlipRows();
  return {DecodeStatus::Ok, std::move(image)};
}

std::vector<uint8_t> EncodeBmp(const Image& image) {
  std::vector<uint8_t> out;
  out.reserve(kBmpHeaderBytes + image.size);
  support::ByteWriter w(out);
  w.U16(kBmpSignature);
  w.U32(static_cast<uint32_t>(image.size + kBmpHeaderBytes));
  w.U16(0);
  w.U16(0);
  w.U32(kBmpHeaderBytes);
  w.U32(kInfoHeaderBytes);
  w.I32(image.width);
  w.I32(image.height);
  w.U16(1);   // planes
  w.U16(24);  // bits per pixel
  w.U32(0);   // no compression
  w.U32(static_cast<uint32_t>(image.size));
  w.U32(0);  // horizontal and vertical resolution
  w.U32(0);
  w.U32(0);  // colours used, important colours
  w.U32(0);
  w.Bytes(std::span(image.pixels.data(), image.size));
  return out;
}

}  // namespace vorlan::mapwright

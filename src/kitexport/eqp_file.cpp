#include "kitexport/eqp_file.h"

#include <algorithm>
#include <cstdio>

#include "support/bytes.h"

namespace vorlan::kitexport {

namespace {

constexpr uint8_t kMagic[4] = {'E', 'Q', 'P', 'S'};

bool Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

}  // namespace

std::vector<uint8_t> EncodeEqp(const host::Matrix3& placement, const std::string& boneName) {
  std::vector<uint8_t> out;
  out.reserve(kEqpHeaderSize + kEqpBodySize + boneName.size() + 1);
  support::ByteWriter w(out);
  w.Bytes(kMagic, 4);
  w.I32(static_cast<int32_t>(kEqpVersion));
  w.I32(1);
  w.F32(1.0f);
  for (int row = 0; row < 4; ++row) {
    host::Point3 p = placement.GetRow(row);
    w.F32(p.x);
    w.F32(p.y);
    w.F32(p.z);
    w.F32(row == 3 ? 1.0f : 0.0f);
  }
  w.I32(static_cast<int32_t>(boneName.size() + 1));
  w.CString(boneName);
  return out;
}

std::optional<EqpFile> DecodeEqp(std::span<const uint8_t> bytes, std::string* error) {
  support::ByteReader r(bytes);
  auto magic = r.Bytes(4);
  if (!magic || !std::equal(magic->begin(), magic->end(), kMagic))
    return Fail(error, "not an .eqp file (no \"EQPS\" at its start)"), std::nullopt;
  EqpFile eqp;
  auto version = r.I32();
  auto one = r.I32();
  auto scale = r.F32();
  if (!version || !one || !scale) return Fail(error, "the header ends early"), std::nullopt;
  if (*version != static_cast<int32_t>(kEqpVersion)) return Fail(error, "unknown version"), std::nullopt;
  eqp.version = *version;
  eqp.one = *one;
  eqp.scale = *scale;
  for (int row = 0; row < 4; ++row) {
    auto x = r.F32(), y = r.F32(), z = r.F32(), w = r.F32();
    if (!x || !y || !z || !w) return Fail(error, "the placement ends early"), std::nullopt;
    eqp.placement.SetRow(row, {*x, *y, *z});
  }
  auto length = r.I32();
  if (!length || *length < 1 || static_cast<std::size_t>(*length) > r.Remaining())
    return Fail(error, "the bone name's length does not fit the file"), std::nullopt;
  auto name = r.Bytes(static_cast<std::size_t>(*length));
  if ((*name)[name->size() - 1] != 0) return Fail(error, "the bone name is not terminated"), std::nullopt;
  eqp.boneName = std::string(reinterpret_cast<const char*>(name->data()), name->size() - 1);
  return eqp;
}

std::string DescribeEqp(const EqpFile& eqp) {
  static const char* kRows[4] = {"x axis", "y axis", "z axis", "offset"};
  std::string out = "EQPS version " + std::to_string(eqp.version) + "\n";
  out += "bone: " + eqp.boneName + "\n";
  char line[160];
  for (int row = 0; row < 4; ++row) {
    host::Point3 p = eqp.placement.GetRow(row);
    std::snprintf(line, sizeof line, "%-7s %.6g %.6g %.6g\n", kRows[row], p.x, p.y, p.z);
    out += line;
  }
  return out;
}

}  // namespace vorlan::kitexport

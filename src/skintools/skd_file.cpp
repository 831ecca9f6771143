#include "skintools/skd_file.h"

#include <algorithm>
#include <cstdio>

#include "support/bytes.h"

namespace vorlan::skintools {

namespace {

constexpr uint8_t kMagic[4] = {'s', 'k', 'd', 0};

void WritePoint(support::ByteWriter& w, host::Point3 p) {
  w.F32(p.x);
  w.F32(p.y);
  w.F32(p.z);
}

std::optional<host::Point3> ReadPoint(support::ByteReader& r) {
  auto x = r.F32(), y = r.F32(), z = r.F32();
  if (!x || !y || !z) return std::nullopt;
  return host::Point3{*x, *y, *z};
}

// One record, or nothing when it does not fit in what is left of the file.
std::optional<SkdRecord> ReadRecord(support::ByteReader& r) {
  SkdRecord rec;
  auto index = r.I32();
  auto pos = ReadPoint(r);
  auto normal = ReadPoint(r);
  auto count = r.I32();
  if (!index || !pos || !normal || !count) return std::nullopt;
  if (*count < 0 || static_cast<std::size_t>(*count) > r.Remaining() / kSkdBoneSize) return std::nullopt;
  rec.index = *index;
  rec.position = *pos;
  rec.normal = *normal;
  rec.bones.reserve(static_cast<std::size_t>(*count));
  for (int32_t j = 0; j < *count; ++j) {
    SkdBone bone;
    bone.weight = *r.F32();
    bone.offset = *ReadPoint(r);
    bone.name = *r.String(kSkdNameField);
    auto same = std::find_if(rec.bones.begin(), rec.bones.end(),
                             [&](const SkdBone& b) { return b.name == bone.name; });
    if (same != rec.bones.end())
      same->weight += bone.weight;
    else
      rec.bones.push_back(std::move(bone));
  }
  return rec;
}

}  // namespace

bool BoneNameFits(const std::string& name) { return name.size() < kSkdNameField; }

std::vector<uint8_t> EncodeSkd(const SkdData& data) {
  std::size_t size = kSkdHeaderSize;
  for (const SkdRecord& rec : data.records) size += kSkdRecordHeadSize + kSkdBoneSize * rec.bones.size();
  std::vector<uint8_t> out;
  out.reserve(size);
  support::ByteWriter w(out);
  w.Bytes(kMagic, 4);
  w.I32(kSkdVersion);
  w.U32(static_cast<uint32_t>(data.records.size()));
  w.I32(data.selectedOnly ? 1 : 0);
  for (const SkdRecord& rec : data.records) {
    w.I32(rec.index);
    WritePoint(w, rec.position);
    WritePoint(w, rec.normal);
    w.I32(static_cast<int32_t>(rec.bones.size()));
    for (const SkdBone& bone : rec.bones) {
      w.F32(bone.weight);
      WritePoint(w, bone.offset);
      w.FixedString(bone.name, kSkdNameField);
    }
  }
  return out;
}

SkdStatus DecodeSkd(std::span<const uint8_t> bytes, SkdData& data) {
  data = {};
  support::ByteReader r(bytes);
  auto magic = r.Bytes(4);
  auto version = r.I32();
  auto count = r.U32();
  auto selected = r.I32();
  if (!magic || !std::equal(magic->begin(), magic->end(), kMagic) || !version || *version != kSkdVersion ||
      !count || *count == 0 || !selected)
    return SkdStatus::WrongVersion;
  data.selectedOnly = *selected != 0;
  // The count is not trusted for the allocation: a record takes at least 32 bytes.
  data.records.reserve(std::min<std::size_t>(*count, r.Remaining() / kSkdRecordHeadSize));
  for (uint32_t i = 0; i < *count; ++i) {
    auto rec = ReadRecord(r);
    if (!rec) break;
    data.records.push_back(std::move(*rec));
  }
  return SkdStatus::Ok;
}

std::string DescribeSkd(const SkdData& data, std::size_t claimedCount) {
  std::string out = "skd version 3, " + std::to_string(claimedCount) + " records";
  out += data.selectedOnly ? " (selected vertices only)\n" : " (all vertices)\n";
  if (data.records.size() != claimedCount)
    out += "the file ends after " + std::to_string(data.records.size()) + " whole records\n";
  char line[256];
  for (const SkdRecord& rec : data.records) {
    std::snprintf(line, sizeof line, "vertex %d at (%.6g, %.6g, %.6g):", rec.index, rec.position.x,
                  rec.position.y, rec.position.z);
    out += line;
    for (const SkdBone& b : rec.bones) {
      std::snprintf(line, sizeof line, " %s %.6g", b.name.c_str(), b.weight);
      out += line;
    }
    out += "\n";
  }
  return out;
}

}  // namespace vorlan::skintools

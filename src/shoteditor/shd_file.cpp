#include "shoteditor/shd_file.h"

#include <algorithm>

#include "support/bytes.h"

namespace vorlan::shoteditor {

using support::ByteReader;
using support::ByteWriter;

namespace {

constexpr uint8_t kMagic[4] = {'S', 'H', 'D', 0};
constexpr std::size_t kEntryFixed = 56;  // an entry's bytes before its description
constexpr std::size_t kBlockHead = 8;

std::string Cut(const std::string& s, std::size_t max) { return s.size() > max ? s.substr(0, max) : s; }

void WriteRow(ByteWriter& w, const AnimationInfoRow& row) {
  w.I32(static_cast<int32_t>(kRowSize));
  w.I32(row.checked ? 1 : 0);
  w.I32(row.startTime);
  for (float f : row.matrix) w.F32(f);
  w.FixedString(row.dummyName, kNameField);
  w.FixedString(row.entityName, kNameField);
  w.FixedString(row.path, kPathField);
}

// A zero-terminated text in a field of `width` bytes; nothing when the field holds no zero.
std::optional<std::string> TerminatedField(ByteReader& r, std::size_t width) {
  auto bytes = r.Bytes(width);
  if (!bytes) return std::nullopt;
  auto zero = std::find(bytes->begin(), bytes->end(), uint8_t{0});
  if (zero == bytes->end()) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(bytes->data()),
                     static_cast<std::size_t>(zero - bytes->begin()));
}

class Parser {
 public:
  explicit Parser(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  ShdReadResult Run() {
    ShdReadResult result;
    if (bytes_.size() < 4 || !std::equal(kMagic, kMagic + 4, bytes_.begin())) {
      result.status = ShdReadResult::Status::WrongMagic;
      return result;
    }
    if (bytes_.size() < kShdHeaderSize) return Corrupt(result, "header: shorter than 36 bytes");
    ByteReader h(bytes_);
    h.Skip(4);
    int32_t first = *h.I32();
    ShdFile& f = result.file;
    f.version = *h.I32();
    int32_t blocks = *h.I32();
    h.Skip(4);
    f.globalBeginTicks = *h.I32();
    f.globalEndTicks = *h.I32();
    f.ticksPerFrame = *h.I32();
    f.frameRate = *h.I32();
    if (blocks < 0) return Corrupt(result, "header: negative block count");
    if (first < 0) return Corrupt(result, "header: negative first block offset");

    std::size_t pos = static_cast<std::size_t>(first);
    for (int32_t i = 0; i < blocks; ++i) {
      // Every block is at least its head, so a count beyond what the file can hold ends here.
      if (pos > bytes_.size() || bytes_.size() - pos < kBlockHead)
        return Corrupt(result, Where(i, "starts past the end"));
      ByteReader r(bytes_);
      r.Seek(pos);
      int32_t id = *r.I32();
      int32_t size = *r.I32();
      if (size < static_cast<int32_t>(kBlockHead) || static_cast<std::size_t>(size) > bytes_.size() - pos)
        return Corrupt(result, Where(i, "size runs past the end"));
      std::size_t end = pos + static_cast<std::size_t>(size);
      ShdBlock block{.id = id};
      std::size_t next = end;
      bool ok = true;
      switch (id) {
        case kCommandsBlock:
          ok = ReadCommands(r, end, block, next);
          break;
        case kAnimationBlock:
          ok = ReadRows(r, end, f.version, block);
          break;
        case kOptionsBlock:
          ok = r.Skip(4) && r.Pos() + 4 <= end;
          if (ok) block.hideWeapon = *r.I32();
          break;
        default:
          break;
      }
      if (!ok) return Corrupt(result, Where(i, what_));
      if (id == kCommandsBlock || id == kAnimationBlock || id == kOptionsBlock)
        f.blocks.push_back(std::move(block));
      pos = next;
    }
    result.status = ShdReadResult::Status::Ok;
    return result;
  }

 private:
  static ShdReadResult& Corrupt(ShdReadResult& r, std::string detail) {
    r.status = ShdReadResult::Status::Corrupted;
    r.file = {};
    r.detail = std::move(detail);
    return r;
  }
  static std::string Where(int32_t i, const std::string& what) {
    return "block " + std::to_string(i) + ": " + what;
  }

  bool Fail(const char* what) {
    what_ = what;
    return false;
  }

  // A count read at the reader's position, checked against the room for entries of at
  // least `minEntry` bytes before `end`.
  std::optional<std::size_t> Count(ByteReader& r, std::size_t end, std::size_t minEntry) {
    if (r.Pos() + 4 > end) return Fail("no room for the count"), std::nullopt;
    int32_t n = *r.I32();
    if (n < 0 || static_cast<std::size_t>(n) > (end - r.Pos()) / minEntry)
      return Fail("count does not fit the block"), std::nullopt;
    return static_cast<std::size_t>(n);
  }

  bool ReadCommands(ByteReader& r, std::size_t end, ShdBlock& block, std::size_t& next) {
    auto count = Count(r, end, kEntryFixed + 1);
    if (!count) return false;
    block.commands.reserve(*count);
    for (std::size_t k = 0; k < *count; ++k) {
      std::size_t at = r.Pos();
      if (end - at < kEntryFixed) return Fail("command entry runs past the block");
      int32_t size = *r.I32();
      ShotCommand c;
      c.begin = *r.I32();
      c.end = *r.I32();
      c.length = *r.I32();
      c.colour = *r.U32();
      int32_t n = *r.I32();
      if (size < static_cast<int32_t>(kEntryFixed + 1) || static_cast<std::size_t>(size) > end - at ||
          n < 1 || static_cast<std::size_t>(n) > static_cast<std::size_t>(size) - kEntryFixed)
        return Fail("command entry size does not hold its description");
      auto name = TerminatedField(r, kNameField);
      if (!name) return Fail("item name without terminator");
      auto desc = TerminatedField(r, static_cast<std::size_t>(n));
      if (!desc) return Fail("description without terminator");
      c.itemName = *name;
      c.description = *desc;
      block.commands.push_back(std::move(c));
      r.Seek(at + static_cast<std::size_t>(size));
    }
    next = r.Pos();
    return true;
  }

  bool ReadRows(ByteReader& r, std::size_t end, int32_t version, ShdBlock& block) {
    bool v2 = version == 2;
    std::size_t layout = v2 ? kRowSizeV2 : kRowSize;
    auto count = Count(r, end, layout);
    if (!count) return false;
    block.rows.reserve(*count);
    for (std::size_t k = 0; k < *count; ++k) {
      std::size_t at = r.Pos();
      if (end - at < layout) return Fail("animation row runs past the block");
      int32_t size = *r.I32();
      if (size < static_cast<int32_t>(layout) || static_cast<std::size_t>(size) > end - at)
        return Fail("animation row size does not hold a row");
      AnimationInfoRow row;
      row.checked = v2 ? false : *r.I32() != 0;
      row.startTime = *r.I32();
      for (float& m : row.matrix) m = *r.F32();
      auto dummy = TerminatedField(r, kNameField);
      auto entity = TerminatedField(r, kNameField);
      auto path = TerminatedField(r, kPathField);
      if (!dummy || !entity || !path) return Fail("animation row text without terminator");
      row.dummyName = *dummy;
      row.entityName = *entity;
      row.path = *path;
      block.rows.push_back(std::move(row));
      r.Seek(at + static_cast<std::size_t>(size));
    }
    return true;
  }

  std::span<const uint8_t> bytes_;
  std::string what_;
};

}  // namespace

std::array<float, 16> RowMatrix(const host::Matrix3& tm) {
  std::array<float, 16> m{};
  for (int row = 0; row < 4; ++row) {
    host::Point3 p = tm.GetRow(row);
    m[static_cast<std::size_t>(row * 4 + 0)] = p.x;
    m[static_cast<std::size_t>(row * 4 + 1)] = p.y;
    m[static_cast<std::size_t>(row * 4 + 2)] = p.z;
    m[static_cast<std::size_t>(row * 4 + 3)] = row == 3 ? 1.0f : 0.0f;
  }
  return m;
}

ShdReadResult ReadShd(std::span<const uint8_t> bytes) { return Parser(bytes).Run(); }

std::vector<uint8_t> WriteShd(const ShdContent& c) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.Bytes(kMagic, 4);
  w.I32(static_cast<int32_t>(kShdHeaderSize));
  w.I32(kShdVersion);
  w.I32(3);
  w.I32(0);
  w.I32(c.globalBeginTicks);
  w.I32(c.globalEndTicks);
  w.I32(c.ticksPerFrame);
  w.I32(c.frameRate);

  w.I32(kOptionsBlock);
  w.I32(16);
  w.I32(1);
  w.I32(c.hideWeapon ? 1 : 0);

  std::size_t block = w.Pos();
  w.I32(kCommandsBlock);
  w.I32(0);
  w.I32(static_cast<int32_t>(c.commands.size()));
  for (const ShotCommand& cmd : c.commands) {
    std::string desc = Cut(cmd.description, kMaxDescription);
    w.I32(static_cast<int32_t>(kEntryFixed + 1 + desc.size()));
    w.I32(cmd.begin);
    w.I32(cmd.end);
    w.I32(cmd.length);
    w.U32(cmd.colour);
    w.I32(static_cast<int32_t>(desc.size() + 1));
    w.FixedString(cmd.itemName, kNameField);
    w.CString(desc);
  }
  w.PatchU32(block + 4, static_cast<uint32_t>(w.Pos() - block));

  w.I32(kAnimationBlock);
  w.I32(static_cast<int32_t>(12 + kRowSize * c.rows.size()));
  w.I32(static_cast<int32_t>(c.rows.size()));
  for (const AnimationInfoRow& row : c.rows) WriteRow(w, row);
  return out;
}

}  // namespace vorlan::shoteditor

#include "geometry/scene_smoothing.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <unordered_map>

#include "support/bytes.h"

namespace vorlan::geometry {

using host::Box3;
using host::Matrix3;
using host::Point3;
using support::LoadF32;
using support::LoadU32;

namespace {

// Block IDs and sizes of the image, as the container lays them out.
constexpr uint32_t kNodeId = 0x0001;
constexpr uint32_t kGObjId = 0x0030;
constexpr uint32_t kGBlockId = 0x0031;
constexpr uint32_t kVerticesId = 0x0032;
constexpr uint32_t kUserPropsId = 0x0034;
constexpr uint32_t kMagic = 0x0046455A;    // "ZEF\0"
constexpr uint32_t kVersion = 0x30303130;  // "0100"
constexpr std::size_t kHeaderSize = 12304;
constexpr std::size_t kHeadSize = 8;
constexpr std::size_t kNodeHeadSize = 16;
constexpr std::size_t kGObjHeadSize = 12;
constexpr std::size_t kGBlockHeadSize = 12;
constexpr std::size_t kVerticesHeadSize = 20;
constexpr std::size_t kNormalOffset = 12;

// ---- SMOOTH= parsing -----------------------------------------------------------------------

std::string_view TrimLeading(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  s.remove_prefix(i);
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  return s;
}

// The leading number of a field, as the C library's atof reads it (but independent of the
// locale): leading blanks skipped, trailing characters ignored, 0 when there is no number.
float ParseAngle(std::string_view field) {
  field = TrimLeading(field);
  double value = 0.0;
  auto result = std::from_chars(field.data(), field.data() + field.size(), value);
  // A number beyond double range is meaningless as an angle; 0 merges nothing.
  if (result.ec != std::errc()) return 0.0f;
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
    return value < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// The leading integer of a field, as atol reads it; values beyond 32 bits are clamped, as
// the host's own library does. False when the field holds no number.
bool ParseGroup(std::string_view field, int32_t& out) {
  field = TrimLeading(field);
  int64_t value = 0;
  auto result = std::from_chars(field.data(), field.data() + field.size(), value);
  if (result.ec == std::errc::invalid_argument) return false;
  if (result.ec == std::errc::result_out_of_range) value = field[0] == '-' ? INT64_MIN : INT64_MAX;
  out = static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
  return true;
}

// ---- Image walking -------------------------------------------------------------------------

struct Head {
  uint32_t id = 0;
  uint32_t size = 0;
};

// The block head at `pos` if the whole block lies inside [pos, end); a head that cannot be
// read, or a size below the head's own or running past `end`, gives nothing.
bool ReadBlock(std::span<const uint8_t> image, std::size_t pos, std::size_t end, Head& head) {
  if (pos > end || end - pos < kHeadSize) return false;
  head.id = LoadU32(image.data() + pos);
  head.size = LoadU32(image.data() + pos + 4);
  if (head.id == 0) return true;  // the terminating head; its size does not matter
  return head.size >= kHeadSize && head.size <= end - pos;
}

// Reads a geometry block: the SMOOTH= entry of its user properties and its vertex blocks.
// False when the block is not well formed.
bool ReadGeometry(std::span<const uint8_t> image, std::size_t pos, std::size_t end, SmoothItem& item) {
  if (end - pos < kGObjHeadSize) return false;
  std::size_t q = pos + kGObjHeadSize;
  while (q < end) {
    Head h;
    if (!ReadBlock(image, q, end, h) || h.id == 0) return false;
    const uint8_t* b = image.data() + q;
    if (h.id == kUserPropsId && h.size >= 12) {
      std::size_t room = h.size - 12;
      std::size_t len = std::min<std::size_t>(LoadU32(b + 8), room);
      std::string_view text(reinterpret_cast<const char*>(b + 12), len);
      text = text.substr(0, text.find('\0'));
      item.info = ParseSmoothInfo(text);
    } else if (h.id == kGBlockId) {
      std::size_t vpos = q + kGBlockHeadSize;
      Head v;
      if (h.size < kGBlockHeadSize || !ReadBlock(image, vpos, q + h.size, v) || v.id != kVerticesId ||
          v.size < kVerticesHeadSize)
        return false;
      const uint8_t* vb = image.data() + vpos;
      uint32_t count = LoadU32(vb + 8);
      uint32_t stride = LoadU32(vb + 12);
      uint32_t channels = (LoadU32(vb + 16) >> 8) & 0xF;
      if (channels > 8) channels = 0;
      uint32_t record = 24 + 8 * channels;
      if (stride != record || uint64_t(count) * record > v.size - kVerticesHeadSize) return false;
      item.parts.push_back({vpos + kVerticesHeadSize, count, record});
      item.vertexCount += count;
    }
    q += h.size;
  }
  return true;
}

// ---- Matching ------------------------------------------------------------------------------

bool Near(Point3 a, Point3 b) {
  return std::fabs(a.x - b.x) < kSmoothTolerance && std::fabs(a.y - b.y) < kSmoothTolerance &&
         std::fabs(a.z - b.z) < kSmoothTolerance;
}

// Whether the angle between two normals is below `angle`. Zero-length or NaN vectors never
// qualify; rounding cannot push the cosine out of acos's range.
bool WithinAngle(Point3 n, Point3 w, float angle) {
  float lengths = host::Length(n) * host::Length(w);
  if (!(lengths > 0.0f)) return false;
  float c = host::Dot(n, w) / lengths;
  if (std::isnan(c)) return false;
  c = std::clamp(c, -1.0f, 1.0f);
  return std::acos(c) < angle;
}

bool BoxesMeet(const Box3& a, const Box3& b) {
  if (a.IsEmpty() || b.IsEmpty()) return false;
  for (int i = 0; i < 3; ++i)
    if (!(a.min[i] <= b.max[i] + kSmoothTolerance && b.min[i] <= a.max[i] + kSmoothTolerance)) return false;
  return true;
}

bool LodsMayMerge(const std::string& a, const std::string& b) {
  char fa = a.empty() ? '\0' : a[0];
  char fb = b.empty() ? '\0' : b[0];
  if (fa != fb) return false;
  std::string_view ra = a.size() > 2 ? std::string_view(a).substr(2) : std::string_view();
  std::string_view rb = b.size() > 2 ? std::string_view(b).substr(2) : std::string_view();
  return ra != rb;
}

// Group lists sorted and without repeats, so a pair is tested in linear time.
std::vector<int32_t> SortedGroups(const SmoothInfo& info) {
  uint32_t n = std::min(info.groupCount, kMaxSmoothGroups);
  std::vector<int32_t> g(info.groups.begin(), info.groups.begin() + n);
  std::sort(g.begin(), g.end());
  g.erase(std::unique(g.begin(), g.end()), g.end());
  return g;
}

bool ShareGroup(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
  auto i = a.begin(), j = b.begin();
  while (i != a.end() && j != b.end()) {
    if (*i == *j) return true;
    if (*i < *j)
      ++i;
    else
      ++j;
  }
  return false;
}

Point3 LoadPoint(const uint8_t* p) { return {LoadF32(p), LoadF32(p + 4), LoadF32(p + 8)}; }
void StorePoint(uint8_t* p, Point3 v) {
  support::ByteWriter::StoreU32(p, std::bit_cast<uint32_t>(v.x));
  support::ByteWriter::StoreU32(p + 4, std::bit_cast<uint32_t>(v.y));
  support::ByteWriter::StoreU32(p + 8, std::bit_cast<uint32_t>(v.z));
}

bool Done(Point3 n) { return host::Dot(n, n) > kSmoothDoneLengthSq; }

// A uniform grid hashed by cell, over the scene positions of all vertices. Cells are larger
// than the search window (tolerance plus a margin for rounding), so a window touches at most
// two cells per axis. Members of a cell are in ascending vertex order.
class PositionGrid {
 public:
  static constexpr double kCell = 0.008;
  static constexpr double kWindow = 0.0011;

  void Build(const std::vector<Point3>& positions) {
    Reserve(64);
    std::vector<uint32_t> cellOf(positions.size(), kNone);
    std::vector<uint32_t> counts;
    for (std::size_t g = 0; g < positions.size(); ++g) {
      Point3 p = positions[g];
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;  // matches nothing
      uint32_t cell = Insert(Key{Coord(p.x), Coord(p.y), Coord(p.z)}, static_cast<uint32_t>(counts.size()));
      if (cell == counts.size()) counts.push_back(0);
      cellOf[g] = cell;
      ++counts[cell];
    }
    start_.assign(counts.size() + 1, 0);
    for (std::size_t c = 0; c < counts.size(); ++c) start_[c + 1] = start_[c] + counts[c];
    members_.resize(start_.back());
    std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t g = 0; g < positions.size(); ++g)
      if (cellOf[g] != kNone) members_[fill[cellOf[g]]++] = static_cast<uint32_t>(g);
  }

  // Calls f(vertex) for every vertex in the cells that a window around p touches.
  template <class F>
  void ForEachNear(Point3 p, F&& f) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
    int64_t lo[3], hi[3];
    for (int i = 0; i < 3; ++i) {
      lo[i] = CoordD(double(p[i]) - kWindow);
      hi[i] = CoordD(double(p[i]) + kWindow);
    }
    for (int64_t x = lo[0]; x <= hi[0]; ++x)
      for (int64_t y = lo[1]; y <= hi[1]; ++y)
        for (int64_t z = lo[2]; z <= hi[2]; ++z) {
          uint32_t cell = Find(Key{x, y, z});
          if (cell == kNone) continue;
          for (uint32_t k = start_[cell]; k < start_[cell + 1]; ++k) f(members_[k]);
        }
  }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  struct Key {
    int64_t x, y, z;
    bool operator==(const Key&) const = default;
  };
  struct Slot {
    Key key;
    uint32_t cell = kNone;  // kNone: empty
  };

  static std::size_t Hash(const Key& k) {
    uint64_t h = static_cast<uint64_t>(k.x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(k.y) * 0xC2B2AE3D27D4EB4Full;
    h ^= static_cast<uint64_t>(k.z) * 0x165667B19E3779F9ull;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return static_cast<std::size_t>(h);
  }
  // Open addressing with linear probing, kept at most half full.
  void Reserve(std::size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (const Slot& s : old)
      if (s.cell != kNone) Place(s);
  }
  void Place(const Slot& s) {
    std::size_t i = Hash(s.key) & mask_;
    while (slots_[i].cell != kNone) i = (i + 1) & mask_;
    slots_[i] = s;
  }
  uint32_t Insert(const Key& k, uint32_t next) {
    std::size_t i = Hash(k) & mask_;
    for (; slots_[i].cell != kNone; i = (i + 1) & mask_)
      if (slots_[i].key == k) return slots_[i].cell;
    slots_[i] = {k, next};
    if (++used_ * 2 > slots_.size()) Reserve(slots_.size() * 2);
    return next;
  }
  uint32_t Find(const Key& k) const {
    for (std::size_t i = Hash(k) & mask_; slots_[i].cell != kNone; i = (i + 1) & mask_)
      if (slots_[i].key == k) return slots_[i].cell;
    return kNone;
  }
  // floor(v / cell), clamped so that far-away coordinates share edge cells instead of
  // overflowing; the clamp keeps the order, so windows still find their neighbours.
  static int64_t CoordD(double v) {
    constexpr double kLimit = double(int64_t(1) << 60);
    double c = std::floor(v * (1.0 / kCell));
    return static_cast<int64_t>(std::clamp(c, -kLimit, kLimit));
  }
  static int64_t Coord(float v) { return CoordD(double(v)); }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
  std::vector<uint32_t> start_;
  std::vector<uint32_t> members_;
};

struct Prepared {
  std::vector<const SmoothItem*> items;
  std::vector<std::size_t> first;   // global index of each item's first vertex
  std::vector<std::size_t> record;  // image offset of each vertex record
  std::vector<uint32_t> itemOf;
  std::vector<Point3> position;  // in scene space
  std::vector<std::vector<int32_t>> groups;
};

bool PartsInside(const SmoothItem& item, std::size_t imageSize) {
  for (const SmoothPart& part : item.parts) {
    if (part.stride < 24 || part.offset > imageSize) return false;
    if (uint64_t(part.count) * part.stride > imageSize - part.offset) return false;
  }
  return true;
}

void Prepare(std::span<const SmoothItem> items, std::span<const uint8_t> image, Prepared& out) {
  for (const SmoothItem& item : items)
    if (PartsInside(item, image.size())) out.items.push_back(&item);
  std::size_t total = 0;
  for (const SmoothItem* item : out.items)
    for (const SmoothPart& part : item->parts) total += part.count;
  out.record.reserve(total);
  out.itemOf.reserve(total);
  out.position.reserve(total);
  for (std::size_t a = 0; a < out.items.size(); ++a) {
    const SmoothItem& item = *out.items[a];
    out.first.push_back(out.record.size());
    out.groups.push_back(SortedGroups(item.info));
    for (const SmoothPart& part : item.parts)
      for (uint32_t i = 0; i < part.count; ++i) {
        std::size_t off = part.offset + std::size_t(i) * part.stride;
        out.record.push_back(off);
        out.itemOf.push_back(static_cast<uint32_t>(a));
        out.position.push_back(item.positionTM.PointTransform(LoadPoint(image.data() + off)));
      }
  }
  out.first.push_back(out.record.size());
}

// Stores the merged normals, mapped back into their node's space; the others keep their
// bytes.
void StoreMerged(const Prepared& p, const std::vector<Point3>& normal, std::span<uint8_t> image) {
  for (std::size_t a = 0; a < p.items.size(); ++a) {
    Matrix3 back = host::Inverse(p.items[a]->directionTM);
    for (std::size_t g = p.first[a]; g < p.first[a + 1]; ++g) {
      if (!Done(normal[g])) continue;
      Point3 local = host::Normalize(back.VectorTransform(host::Normalize(normal[g])));
      StorePoint(image.data() + p.record[g] + kNormalOffset, local);
    }
  }
}

void Show(host::UserInterface& ui, const char* text) {
  ui.MessageBox({.text = text, .caption = kSmoothMessageCaption, .buttons = host::Buttons::Ok});
}

// Helper for depth-first lookup: the first node of each name, in depth-first order.
void IndexNodes(const host::Node& node, std::unordered_map<std::string, const host::Node*>& byName) {
  byName.try_emplace(node.GetName(), &node);
  for (int i = 0; i < node.NumberOfChildren(); ++i)
    if (const host::Node* child = node.GetChildNode(i)) IndexNodes(*child, byName);
}

}  // namespace

SmoothInfo ParseSmoothInfo(std::string_view userProps) {
  SmoothInfo info;
  std::string upper(userProps);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::size_t at = upper.find("SMOOTH=");
  if (at == std::string::npos) return info;
  std::size_t begin = at + 7;
  std::size_t end = upper.find_first_of("\r\n", begin);
  if (end == std::string::npos) end = upper.size();
  std::string_view value = std::string_view(upper).substr(begin, end - begin);
  if (value.size() > kMaxSmoothValue) return info;

  std::size_t comma = value.find(',');
  info.angle = ParseAngle(value.substr(0, comma));
  while (comma != std::string_view::npos && info.groupCount < kMaxSmoothGroups) {
    value.remove_prefix(comma + 1);
    comma = value.find(',');
    int32_t group;
    if (ParseGroup(value.substr(0, comma), group)) info.groups[info.groupCount++] = group;
  }
  return info;
}

std::vector<SmoothItem> CollectSmoothItems(std::span<const uint8_t> image) {
  std::vector<SmoothItem> items;
  const std::size_t end = image.size();
  if (end < kHeaderSize || LoadU32(image.data()) != kMagic || LoadU32(image.data() + 4) != kVersion)
    return items;

  // Up to the root node: the Info block and anything else before it.
  std::size_t pos = kHeaderSize;
  Head h;
  for (;;) {
    if (!ReadBlock(image, pos, end, h) || h.id == 0) return items;
    if (h.id == kNodeId) break;
    pos += h.size;
  }

  // From node to node in file order: each node's own blocks follow its head, up to the next
  // Node block, which is its first child, its next sibling or an ancestor's sibling.
  while (pos < end) {
    if (end - pos < kNodeHeadSize) break;
    std::size_t nameLength = LoadU32(image.data() + pos + 12);
    if (nameLength > end - pos - kNodeHeadSize) break;
    std::size_t q = pos + kNodeHeadSize + nameLength;

    SmoothItem item;
    item.nodeOffset = pos;
    std::string_view name(reinterpret_cast<const char*>(image.data() + pos + kNodeHeadSize), nameLength);
    item.name = std::string(name.substr(0, name.find('\0')));

    bool first = true, wellFormed = true, more = false;
    while (ReadBlock(image, q, end, h) && h.id != 0) {
      if (h.id == kNodeId) {
        more = true;
        break;
      }
      if (first && h.id == kGObjId) wellFormed = ReadGeometry(image, q, q + h.size, item);
      first = false;
      q += h.size;
    }
    if (wellFormed && item.info.HasEntry() && !item.parts.empty()) items.push_back(std::move(item));
    if (!more) break;
    pos = q;
  }
  return items;
}

void ResolveSmoothItems(std::vector<SmoothItem>& items, const host::Node& root) {
  std::unordered_map<std::string, const host::Node*> byName;
  IndexNodes(root, byName);
  std::erase_if(items, [&](SmoothItem& item) {
    auto it = byName.find(item.name);
    if (it == byName.end()) return true;
    const host::Node& node = *it->second;
    item.positionTM = node.GetNodeTM(0);
    item.directionTM = item.positionTM;
    item.directionTM.NoTrans();
    item.worldBox = Box3();
    if (const host::Object* object = node.EvalWorldState(0)) {
      Box3 local = object->GetBoundingBox(0);
      if (!local.IsEmpty()) {
        Matrix3 tm = node.GetObjTMAfterWSM(0);
        for (int corner = 0; corner < 8; ++corner) {
          Point3 c{(corner & 1) ? local.max.x : local.min.x, (corner & 2) ? local.max.y : local.min.y,
                   (corner & 4) ? local.max.z : local.min.z};
          item.worldBox.Include(tm.PointTransform(c));
        }
      }
    }
    return false;
  });
}

int Smooth(std::span<const SmoothItem> items, std::span<uint8_t> image, bool distinguishLods,
           host::UserInterface& ui, const SmoothProgress& progress) {
  if (progress) progress("Whole Scene", "Smooth");
  Prepared p;
  PositionGrid grid;
  std::vector<Point3> normal;  // the pass works on these and stores the merged ones at the end
  try {
    Prepare(items, image, p);
    grid.Build(p.position);
    normal.resize(p.record.size());
  } catch (const std::exception&) {
    Show(ui, kSmoothAllocMessage);
    return 1;
  }
  for (std::size_t g = 0; g < normal.size(); ++g)
    normal[g] = LoadPoint(image.data() + p.record[g] + kNormalOffset);

  const std::size_t itemCount = p.items.size();

  int result = 0;
  try {
    std::vector<uint8_t> mayMerge(itemCount);
    std::vector<uint32_t> candidates, matches;
    for (std::size_t a = 0; a < itemCount && result == 0; ++a) {
      const SmoothItem& A = *p.items[a];
      for (std::size_t b = 0; b < itemCount; ++b) {
        const SmoothItem& B = *p.items[b];
        mayMerge[b] = BoxesMeet(A.worldBox, B.worldBox) && ShareGroup(p.groups[a], p.groups[b]) &&
                      (!distinguishLods || LodsMayMerge(A.name, B.name));
      }
      const uint64_t limit = uint64_t(A.vertexCount) * A.vertexCount;

      for (std::size_t g = p.first[a]; g < p.first[a + 1]; ++g) {
        if (Done(normal[g])) continue;
        const Point3 P = p.position[g];
        const Point3 N = A.directionTM.VectorTransform(normal[g]);
        candidates.clear();
        grid.ForEachNear(P, [&](uint32_t w) {
          if (w != g && mayMerge[p.itemOf[w]] && Near(P, p.position[w])) candidates.push_back(w);
        });
        // Partners are summed in item order and vertex order within an item, which is the
        // global vertex order; the sum's rounding depends on it.
        std::sort(candidates.begin(), candidates.end());
        Point3 S = N;
        matches.clear();
        for (uint32_t w : candidates) {
          Point3 wn =
              Done(normal[w]) ? normal[w] : p.items[p.itemOf[w]]->directionTM.VectorTransform(normal[w]);
          if (!WithinAngle(N, wn, A.info.angle)) continue;
          if (matches.size() >= limit) {
            Show(ui, kSmoothOverflowMessage);
            result = 1;
            break;
          }
          matches.push_back(w);
          S += wn;
        }
        if (result != 0) break;
        if (matches.empty()) continue;
        S = host::Normalize(S) * 2.0f;
        for (uint32_t w : matches) normal[w] = S;
        normal[g] = S;
      }
    }
  } catch (const std::exception&) {
    Show(ui, kSmoothAllocMessage);
    result = 1;
  }

  StoreMerged(p, normal, image);
  return result;
}

int SmoothWholeScene(std::span<uint8_t> image, host::Interface& host, bool distinguishLods,
                     const SmoothProgress& progress) {
  std::vector<SmoothItem> items;
  try {
    items = CollectSmoothItems(image);
    if (const host::Node* root = host.GetRootNode())
      ResolveSmoothItems(items, *root);
    else
      items.clear();
  } catch (const std::exception&) {
    Show(host.UI(), kSmoothAllocMessage);
    return 1;
  }
  if (items.empty()) return 0;
  return Smooth(items, image, distinguishLods, host.UI(), progress);
}

}  // namespace vorlan::geometry

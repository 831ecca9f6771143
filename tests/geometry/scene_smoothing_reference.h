// The plain whole-scene smoother, kept as the oracle of the grid-based one, and helpers
// shared by its tests and its benchmark.
//
// It runs the quadratic search exactly as written down for the pass: every vertex of every
// item against every vertex of every item whose box meets it, reading and writing the image
// directly, with the same rules for spaces, boxes, angles and the final mapping back.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "geometry/scene_smoothing.h"
#include "host/ui.h"
#include "support/bytes.h"
#include "zef_image_builder.h"

namespace vorlan::zeftest {

// Answers every box with OK and keeps what was shown.
class RecordingUI : public host::UserInterface {
 public:
  host::Answer MessageBox(const host::MessageBoxRequest& request) override {
    shown.push_back(request);
    return host::Answer::Ok;
  }
  int RunModal(host::DialogModel& model) override { return model.result; }
  std::unique_ptr<host::ModelessWindow> OpenModeless(const host::DialogModel&) override { return nullptr; }
  std::optional<std::string> PickFile(const host::FilePickerRequest&) override { return std::nullopt; }
  std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }

  std::vector<host::MessageBoxRequest> shown;
};

inline host::Point3 RefLoad(const std::vector<uint8_t>& image, std::size_t at) {
  const uint8_t* p = image.data() + at;
  return {support::LoadF32(p), support::LoadF32(p + 4), support::LoadF32(p + 8)};
}
inline void RefStore(std::vector<uint8_t>& image, std::size_t at, host::Point3 v) {
  uint8_t* p = image.data() + at;
  support::ByteWriter::StoreU32(p, std::bit_cast<uint32_t>(v.x));
  support::ByteWriter::StoreU32(p + 4, std::bit_cast<uint32_t>(v.y));
  support::ByteWriter::StoreU32(p + 8, std::bit_cast<uint32_t>(v.z));
}

inline bool RefBoxesMeet(const host::Box3& a, const host::Box3& b) {
  if (a.IsEmpty() || b.IsEmpty()) return false;
  for (int i = 0; i < 3; ++i)
    if (!(a.min[i] <= b.max[i] + 0.001f && b.min[i] <= a.max[i] + 0.001f)) return false;
  return true;
}

inline bool RefShareGroup(const geometry::SmoothInfo& a, const geometry::SmoothInfo& b) {
  for (uint32_t i = 0; i < a.groupCount; ++i)
    for (uint32_t j = 0; j < b.groupCount; ++j)
      if (a.groups[i] == b.groups[j]) return true;
  return false;
}

inline bool RefLodsApart(const std::string& a, const std::string& b) {
  char fa = a.empty() ? '\0' : a[0], fb = b.empty() ? '\0' : b[0];
  std::string ra = a.size() > 2 ? a.substr(2) : "", rb = b.size() > 2 ? b.substr(2) : "";
  return fa != fb || ra == rb;
}

inline bool RefWithinAngle(host::Point3 n, host::Point3 w, float angle) {
  float lengths = host::Length(n) * host::Length(w);
  if (!(lengths > 0.0f)) return false;
  float c = host::Dot(n, w) / lengths;
  if (std::isnan(c)) return false;
  c = std::clamp(c, -1.0f, 1.0f);
  return std::acos(c) < angle;
}

// Image offsets of an item's vertex records, in vertex order.
inline std::vector<std::size_t> RefRecords(const geometry::SmoothItem& item) {
  std::vector<std::size_t> r;
  for (const geometry::SmoothPart& part : item.parts)
    for (uint32_t i = 0; i < part.count; ++i) r.push_back(part.offset + std::size_t(i) * part.stride);
  return r;
}

inline int RefSmooth(const std::vector<geometry::SmoothItem>& items, std::vector<uint8_t>& image,
                     bool distinguishLods, host::UserInterface& ui) {
  auto done = [](host::Point3 n) { return host::Dot(n, n) > 1.001f; };
  std::vector<std::vector<std::size_t>> records;
  for (const auto& item : items) records.push_back(RefRecords(item));

  int result = 0;
  for (std::size_t a = 0; a < items.size() && result == 0; ++a) {
    const geometry::SmoothItem& A = items[a];
    const uint64_t limit = uint64_t(records[a].size()) * records[a].size();
    for (std::size_t v : records[a]) {
      host::Point3 nv = RefLoad(image, v + 12);
      if (done(nv)) continue;
      host::Point3 P = A.positionTM.PointTransform(RefLoad(image, v));
      host::Point3 N = A.directionTM.VectorTransform(nv);
      host::Point3 S = N;
      std::vector<std::size_t> matches;
      for (std::size_t b = 0; b < items.size() && result == 0; ++b) {
        const geometry::SmoothItem& B = items[b];
        if (!RefBoxesMeet(A.worldBox, B.worldBox)) continue;
        if (distinguishLods && RefLodsApart(A.name, B.name)) continue;
        if (!RefShareGroup(A.info, B.info)) continue;
        for (std::size_t w : records[b]) {
          if (w == v) continue;
          host::Point3 Q = B.positionTM.PointTransform(RefLoad(image, w));
          if (!(std::fabs(P.x - Q.x) < 0.001f && std::fabs(P.y - Q.y) < 0.001f &&
                std::fabs(P.z - Q.z) < 0.001f))
            continue;
          host::Point3 wn = RefLoad(image, w + 12);
          if (!done(wn)) wn = B.directionTM.VectorTransform(wn);
          if (!RefWithinAngle(N, wn, A.info.angle)) continue;
          if (matches.size() >= limit) {
            ui.MessageBox({.text = "Smooth(1): curr > nVerts", .caption = "err"});
            result = 1;
            break;
          }
          matches.push_back(w);
          S += wn;
        }
      }
      if (result != 0) break;
      if (matches.empty()) continue;
      S = host::Normalize(S) * 2.0f;
      for (std::size_t w : matches) RefStore(image, w + 12, S);
      RefStore(image, v + 12, S);
    }
  }
  for (std::size_t a = 0; a < items.size(); ++a) {
    host::Matrix3 back = host::Inverse(items[a].directionTM);
    for (std::size_t v : records[a]) {
      host::Point3 n = RefLoad(image, v + 12);
      if (done(n)) RefStore(image, v + 12, host::Normalize(back.VectorTransform(host::Normalize(n))));
    }
  }
  return result;
}

// Identity placement, with each item's box taken from its vertex positions.
inline void PlaceAtOrigin(std::vector<geometry::SmoothItem>& items, const std::vector<uint8_t>& image) {
  for (auto& item : items) {
    item.positionTM = host::Matrix3();
    item.directionTM = host::Matrix3();
    item.worldBox = host::Box3();
    for (std::size_t r : RefRecords(item)) item.worldBox.Include(RefLoad(image, r));
  }
}

// An axis-aligned cube as 12 triangles with unshared corners. Each corner's normal is its
// face normal tilted by `tilt` towards the corner, as a partly smoothed cube has them.
inline std::vector<ImageVertex> MakeCube(host::Point3 min, float side, float tilt = 0.3f) {
  std::vector<ImageVertex> out;
  host::Point3 centre = min + host::Point3{side, side, side} * 0.5f;
  for (int axis = 0; axis < 3; ++axis)
    for (int sign = -1; sign <= 1; sign += 2) {
      host::Point3 n;
      n[axis] = static_cast<float>(sign);
      int u = (axis + 1) % 3, v = (axis + 2) % 3;
      auto corner = [&](int cu, int cv) {
        host::Point3 p = min;
        if (sign > 0) p[axis] += side;
        p[u] += cu * side;
        p[v] += cv * side;
        return ImageVertex{p, host::Normalize(n + (p - centre) * tilt), {}};
      };
      ImageVertex c00 = corner(0, 0), c10 = corner(1, 0), c11 = corner(1, 1), c01 = corner(0, 1);
      for (const ImageVertex& c : {c00, c10, c11, c00, c11, c01}) out.push_back(c);
    }
  return out;
}

}  // namespace vorlan::zeftest

#include "workbench/viewport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "support/file_io.h"
#include "support/two_halves.h"
#include "workbench/png.h"
#include "workbench/texture_image.h"

namespace vorlan::workbench {

using host::Box3;
using host::Matrix3;
using host::Point3;

namespace {

constexpr float kDefaultFov = 0.785398f;  // 45 degrees
constexpr int kMaxSide = 4096;
constexpr uint8_t kBackground = 0x58;

bool Finite(Point3 p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// World-space box of every mesh in the scene at time t, from each object's own box.
Box3 SceneMeshBounds(const Scene& scene, host::TimeValue t) {
  Box3 world;
  for (const SceneNode* n : scene.AllNodes()) {
    const host::Object* o = n->EvalWorldState(t);
    if (!o || !o->CanConvertToTriMesh()) continue;
    Box3 b = o->GetBoundingBox(t);
    if (b.IsEmpty()) continue;
    Matrix3 tm = n->GetObjectTM(t);
    for (int k = 0; k < 8; ++k) {
      Point3 corner{(k & 1) ? b.max.x : b.min.x, (k & 2) ? b.max.y : b.min.y, (k & 4) ? b.max.z : b.min.z};
      Point3 w = tm.PointTransform(corner);
      if (Finite(w)) world.Include(w);
    }
  }
  return world;
}

float BoundsRadius(const Box3& b) {
  if (b.IsEmpty()) return 0.0f;
  float r = Length(b.max - b.min) * 0.5f;
  return std::isfinite(r) ? r : 0.0f;
}

// Muted colours, chosen per node by its name so a picture does not depend on memory layout.
constexpr std::array<std::array<uint8_t, 3>, 8> kPalette{{{200, 180, 150},
                                                          {150, 180, 205},
                                                          {170, 200, 150},
                                                          {205, 150, 150},
                                                          {180, 160, 205},
                                                          {205, 200, 140},
                                                          {150, 200, 190},
                                                          {190, 190, 190}}};

std::array<uint8_t, 3> NodeColour(const std::string& name) {
  uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return kPalette[h % kPalette.size()];
}

struct Target {
  int w, h;
  float focal, cx, cy;
  std::vector<uint8_t>& pixels;  // bottom-up rows
  std::vector<float>& invDepth;  // top-down rows; larger is nearer
};

// Texture coordinates are carried divided by depth, so that they interpolate correctly in
// perspective.
struct ScreenVert {
  float x, y, invZ, uz = 0, vz = 0;
};

// How a triangle is coloured: one colour, or its texture's texels lit by the same factor.
struct Shade {
  std::array<uint8_t, 3> rgb{};
  const TextureImage* texture = nullptr;
  float light = 1.0f;
};

using Uv = std::array<float, 2>;

// Where a camera-space point in front of the near plane lands on the picture.
ScreenVert Project(const Target& t, Point3 p, Uv uv = {}) {
  const float d = -p.z;
  return {t.cx + p.x / d * t.focal, t.cy - p.y / d * t.focal, 1.0f / d, uv[0] / d, uv[1] / d};
}

// Calls `pixel(x, y, w0, w1, w2, z)` for each pixel whose centre the triangle covers where
// it lies nearer than what the picture holds, until `pixel` returns false. Drawing and the
// test of whether a face would draw anything share this walk, so that they agree exactly.
template <class Pixel>
void ForEachNearerPixel(const Target& t, const ScreenVert& a, const ScreenVert& b, const ScreenVert& c,
                        Pixel pixel) {
  float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  if (!std::isfinite(area) || area == 0.0f) return;
  // Clamp in floating point first: converting an out-of-range float to int is undefined.
  auto clampX = [&](float v) { return static_cast<int>(std::clamp(v, 0.0f, float(t.w - 1))); };
  auto clampY = [&](float v) { return static_cast<int>(std::clamp(v, 0.0f, float(t.h - 1))); };
  float minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
  float minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
  if (maxX < 0 || maxY < 0 || minX > float(t.w) || minY > float(t.h)) return;
  // Only pixels whose centre lies within the bounds can be covered. A dense mesh has many
  // faces smaller than a pixel, and most of them hold no centre at all.
  const float cx0 = std::ceil(minX - 0.5f), cx1 = std::floor(maxX - 0.5f);
  const float cy0 = std::ceil(minY - 0.5f), cy1 = std::floor(maxY - 0.5f);
  if (cx0 > cx1 || cy0 > cy1) return;
  int x0 = clampX(cx0), x1 = clampX(cx1);
  int y0 = clampY(cy0), y1 = clampY(cy1);
  float inv = 1.0f / area;
  for (int y = y0; y <= y1; ++y) {
    float py = float(y) + 0.5f;
    for (int x = x0; x <= x1; ++x) {
      float px = float(x) + 0.5f;
      float w0 = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) * inv;
      float w1 = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) * inv;
      float w2 = 1.0f - w0 - w1;
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      float z = w0 * a.invZ + w1 * b.invZ + w2 * c.invZ;
      std::size_t di =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(t.w) + static_cast<std::size_t>(x);
      if (!(z > t.invDepth[di])) continue;
      if (!pixel(x, y, w0, w1, w2, z)) return;
    }
  }
}

// Whether the triangle would change any pixel of the picture.
bool ShowsAnyPixel(const Target& t, const ScreenVert& a, const ScreenVert& b, const ScreenVert& c) {
  bool shows = false;
  ForEachNearerPixel(t, a, b, c, [&](int, int, float, float, float, float) { return !(shows = true); });
  return shows;
}

void FillTriangle(Target& t, const ScreenVert& a, const ScreenVert& b, const ScreenVert& c,
                  const Shade& shade) {
  ForEachNearerPixel(t, a, b, c, [&](int x, int y, float w0, float w1, float w2, float z) {
    t.invDepth[static_cast<std::size_t>(y) * static_cast<std::size_t>(t.w) + static_cast<std::size_t>(x)] = z;
    std::array<uint8_t, 3> rgb = shade.rgb;
    if (shade.texture) {
      const float u = (w0 * a.uz + w1 * b.uz + w2 * c.uz) / z, v = (w0 * a.vz + w1 * b.vz + w2 * c.vz) / z;
      const uint8_t* texel = shade.texture->Sample(u, v);
      for (std::size_t k = 0; k < 3; ++k) rgb[k] = static_cast<uint8_t>(float(texel[k]) * shade.light + 0.5f);
    }
    std::size_t row = static_cast<std::size_t>(t.h - 1 - y);
    uint8_t* p = &t.pixels[(row * static_cast<std::size_t>(t.w) + static_cast<std::size_t>(x)) * 4];
    p[0] = rgb[2];
    p[1] = rgb[1];
    p[2] = rgb[0];
    p[3] = 0xFF;
    return true;
  });
}

// Draws one camera-space triangle: clipped against the near plane, projected, filled.
void DrawTriangle(Target& t, float nearPlane, const std::array<Point3, 3>& tri, const std::array<Uv, 3>& uv,
                  const Shade& shade) {
  // Visible points lie in front of the camera, at z <= -near.
  std::array<Point3, 4> poly;
  std::array<Uv, 4> polyUv;
  int n = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t a = static_cast<std::size_t>(i), b = static_cast<std::size_t>((i + 1) % 3);
    Point3 p = tri[a], q = tri[b];
    bool pin = p.z <= -nearPlane, qin = q.z <= -nearPlane;
    if (pin) {
      polyUv[static_cast<std::size_t>(n)] = uv[a];
      poly[static_cast<std::size_t>(n++)] = p;
    }
    if (pin != qin) {
      float s = (-nearPlane - p.z) / (q.z - p.z);
      polyUv[static_cast<std::size_t>(n)] = {uv[a][0] + (uv[b][0] - uv[a][0]) * s,
                                             uv[a][1] + (uv[b][1] - uv[a][1]) * s};
      poly[static_cast<std::size_t>(n++)] = p + (q - p) * s;
    }
  }
  if (n < 3) return;
  std::array<ScreenVert, 4> sv;
  for (int i = 0; i < n; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    sv[k] = Project(t, poly[k], polyUv[k]);
  }
  FillTriangle(t, sv[0], sv[1], sv[2], shade);
  if (n == 4) FillTriangle(t, sv[0], sv[2], sv[3], shade);
}

// The Standard material's diffuse map slot.
constexpr int kDiffuseSlot = 1;

// The diffuse bitmap a face shows: through Multi/Sub-Object by the face's material id and
// through an engine material to the Standard material it keeps.
const host::Texmap* DiffuseBitmap(const host::Mtl* mtl, uint16_t matId) {
  for (int hops = 0; mtl && hops < 8; ++hops) {
    if (int n = mtl->NumSubMtls(); n > 0) {
      mtl = mtl->GetSubMtl(matId % n);
      continue;
    }
    if (const host::Mtl* standard = mtl->GetReference0()) {
      mtl = standard;
      continue;
    }
    const host::Texmap* map = mtl->GetSubTexmap(kDiffuseSlot);
    if (!map || !mtl->SubTexmapOn(kDiffuseSlot) || map->GetMapFileName().empty()) return nullptr;
    return map;
  }
  return nullptr;
}

// Each texture file is read once per picture; one that cannot be read leaves its faces in
// the node's colour.
class TextureCache {
 public:
  const TextureImage* Get(const std::string& path) {
    auto [it, added] = images_.try_emplace(path);
    if (added) it->second = LoadTextureImage(path);
    return it->second ? &*it->second : nullptr;
  }

 private:
  std::map<std::string, std::optional<TextureImage>> images_;
};

// The texture coordinates of a face's corners in the map's channel, with its tiling and
// offset; false when the mesh has none for that face.
bool FaceUv(const host::Mesh& mesh, std::size_t face, const host::Texmap& map, std::array<Uv, 3>& uv) {
  const host::UVGenState* gen = map.GetUVGen();
  const host::MapChannel* channel = mesh.FindMap(gen ? gen->mapChannel : 1);
  if (!channel || face >= channel->tfaces.size()) return false;
  for (std::size_t k = 0; k < 3; ++k) {
    const uint32_t tv = channel->tfaces[face][k];
    if (tv >= channel->tverts.size()) return false;
    const Point3 p = channel->tverts[tv];
    uv[k] = gen ? Uv{p.x * gen->uTiling + gen->uOffset, p.y * gen->vTiling + gen->vOffset} : Uv{p.x, p.y};
  }
  return true;
}

// What the faces of one material id show, worked out once per picture and id instead of
// walking the material for every face.
class FaceLook {
 public:
  FaceLook(const host::Mtl* mtl, const host::Mesh& mesh, TextureCache& textures)
      : mtl_(mtl), mesh_(mesh), textures_(textures) {}

  // The texture of face `fi` and its corners' coordinates, or null for the node's colour.
  const TextureImage* Texture(std::size_t fi, uint16_t matId, std::array<Uv, 3>& uv) {
    if (!mtl_) return nullptr;
    if (matId >= entries_.size()) entries_.resize(std::size_t{matId} + 1);
    Entry& e = entries_[matId];
    if (!e.resolved) {
      e.resolved = true;
      e.map = DiffuseBitmap(mtl_, matId);
    }
    if (!e.map || !FaceUv(mesh_, fi, *e.map, uv)) return nullptr;
    if (!e.loaded) {
      e.loaded = true;
      e.texture = textures_.Get(e.map->GetMapFileName());
    }
    return e.texture;
  }

 private:
  struct Entry {
    bool resolved = false, loaded = false;
    const host::Texmap* map = nullptr;
    const TextureImage* texture = nullptr;
  };
  const host::Mtl* mtl_;
  const host::Mesh& mesh_;
  TextureCache& textures_;
  std::vector<Entry> entries_;
};

}  // namespace

ViewCamera ChooseCamera(const Scene& scene, const ViewportOptions& options) {
  Box3 bounds = SceneMeshBounds(scene, options.time);
  float radius = BoundsRadius(bounds);
  const std::string& name = options.cameraNode.empty() ? scene.activeViewCamera : options.cameraNode;
  if (!name.empty()) {
    const SceneNode* node = scene.FindNode(name);
    const host::Object* o = node ? node->EvalWorldState(options.time) : nullptr;
    auto cam = o ? o->EvalCameraState(options.time) : std::nullopt;
    if (cam) {
      ViewCamera v;
      v.tm = node->GetObjectTM(options.time);
      v.fov = std::isfinite(cam->fov) && cam->fov > 0.01f && cam->fov < 3.1f ? cam->fov : kDefaultFov;
      v.nearPlane = std::max(1e-4f, radius * 1e-4f);
      return v;
    }
  }
  if (radius <= 0.0f) {
    bounds = {};
    bounds.Include({-0.5f, -0.5f, -0.5f});
    bounds.Include({0.5f, 0.5f, 0.5f});
    radius = BoundsRadius(bounds);
  }
  int w = std::clamp(options.width, 1, kMaxSide), h = std::clamp(options.height, 1, kMaxSide);
  float half = kDefaultFov * 0.5f;
  float vhalf = std::atan(std::tan(half) * float(h) / float(w));
  float dist = radius / std::sin(std::min(half, vhalf)) * 1.05f;
  // From the front, right and above, looking at the centre; world Z is up (the top view
  // keeps world Y up instead, since it looks along Z).
  struct Direction {
    Point3 back, up;
  };
  static constexpr Direction kDirections[] = {
      {{1.0f, -1.0f, 0.75f}, {0, 0, 1}},  // perspective
      {{0, -1.0f, 0}, {0, 0, 1}},         // front
      {{0, 0, 1.0f}, {0, 1.0f, 0}},       // top
      {{-1.0f, 0, 0}, {0, 0, 1}},         // left
  };
  const Direction& d = kDirections[static_cast<int>(options.direction)];
  Point3 back = Normalize(d.back);
  Point3 centre = bounds.Center();
  Point3 eye = centre + back * dist;
  Point3 right = Normalize(Cross(-back, d.up));
  Point3 up = Cross(right, -back);
  ViewCamera v;
  v.tm = Matrix3(right, up, back, eye);
  v.fov = kDefaultFov;
  v.nearPlane = dist * 1e-3f;
  return v;
}

namespace {

// A mesh to draw and the node it belongs to; `owned` keeps a converted mesh alive.
struct DrawItem {
  const SceneNode* node = nullptr;
  const host::Mesh* mesh = nullptr;
  std::shared_ptr<const host::Mesh> owned;
};

// What every triangle of one picture shares.
struct Frame {
  Matrix3 view;
  float nearPlane = 0;
  host::TimeValue time = 0;
  Point3 light;
  bool everyFace = false;
};

// A picture being drawn: pixels as the image keeps them and the depth of each.
struct Layer {
  std::vector<uint8_t> pixels;
  std::vector<float> invDepth;

  explicit Layer(std::size_t count) : pixels(count * 4), invDepth(count, 0.0f) {
    for (std::size_t i = 0; i < count; ++i) {
      pixels[i * 4 + 0] = kBackground;
      pixels[i * 4 + 1] = kBackground;
      pixels[i * 4 + 2] = kBackground;
      pixels[i * 4 + 3] = 0xFF;
    }
  }
};

// Draws the faces numbered [begin, end) when the items' faces are counted one after another.
void DrawFaces(std::span<const DrawItem> items, std::size_t begin, std::size_t end, const Frame& frame,
               Target& target) {
  TextureCache textures;
  // Each vertex in camera space and, when it lies in front of the near plane, on the
  // picture. A large mesh has many faces to a pixel; a face that changes no pixel is passed
  // over before its light and texture are worked out.
  std::vector<Point3> cv;
  std::vector<ScreenVert> sv;
  std::vector<uint8_t> projected;
  std::size_t first = 0;  // number of the item's first face
  for (const DrawItem& item : items) {
    const host::Mesh& mesh = *item.mesh;
    const std::size_t lo = std::max(begin, first), hi = std::min(end, first + mesh.faces.size());
    const std::size_t itemFirst = first;
    first += mesh.faces.size();
    if (lo >= hi) continue;
    const std::size_t from = lo - itemFirst, to = hi - itemFirst;
    Matrix3 toCamera = item.node->GetObjectTM(frame.time) * frame.view;
    cv.resize(mesh.verts.size());
    sv.resize(mesh.verts.size());
    projected.resize(mesh.verts.size());
    for (std::size_t i = 0; i < cv.size(); ++i) {
      cv[i] = toCamera.PointTransform(mesh.verts[i]);
      projected[i] = Finite(cv[i]) && cv[i].z <= -frame.nearPlane;
      if (projected[i]) sv[i] = Project(target, cv[i]);
    }
    std::array<uint8_t, 3> base = NodeColour(item.node->GetName());
    FaceLook look(item.node->GetMtl(), mesh, textures);
    for (std::size_t fi = from; fi < to; ++fi) {
      const host::MeshFace& f = mesh.faces[fi];
      if (f.v[0] >= cv.size() || f.v[1] >= cv.size() || f.v[2] >= cv.size()) continue;
      // A face wholly in front of the near plane is drawn unclipped from these same points.
      if (!frame.everyFace && projected[f.v[0]] && projected[f.v[1]] && projected[f.v[2]] &&
          !ShowsAnyPixel(target, sv[f.v[0]], sv[f.v[1]], sv[f.v[2]]))
        continue;
      std::array<Point3, 3> tri{cv[f.v[0]], cv[f.v[1]], cv[f.v[2]]};
      if (!Finite(tri[0]) || !Finite(tri[1]) || !Finite(tri[2])) continue;
      // Flat Lambert lighting, lit from both sides so that flipped faces still show.
      Point3 normal = Normalize(Cross(tri[1] - tri[0], tri[2] - tri[0]));
      float lambert = std::fabs(Dot(normal, frame.light));
      if (!std::isfinite(lambert)) continue;
      float k = 0.25f + 0.75f * std::min(lambert, 1.0f);
      Shade shade;
      shade.light = k;
      for (std::size_t c = 0; c < 3; ++c) shade.rgb[c] = static_cast<uint8_t>(float(base[c]) * k + 0.5f);
      std::array<Uv, 3> uv{};
      shade.texture = look.Texture(fi, f.matId, uv);
      DrawTriangle(target, frame.nearPlane, tri, uv, shade);
    }
  }
}

// Faces from which a picture is drawn by two threads.
constexpr std::size_t kFacesForTwoThreads = 1 << 16;

}  // namespace

host::ViewportImage RenderViewport(const Scene& scene, const ViewportOptions& options) {
  host::ViewportImage img;
  img.width = std::clamp(options.width, 1, kMaxSide);
  img.height = std::clamp(options.height, 1, kMaxSide);
  img.bitsPerPixel = 32;
  img.driverName = "Software";
  const std::size_t count = static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height);

  ViewCamera cam = ChooseCamera(scene, options);
  // A light from above and to the left of the viewer, in camera space.
  const Frame frame{Inverse(cam.tm), cam.nearPlane, options.time, Normalize(Point3{-0.4f, 0.6f, 0.7f}),
                    options.drawEveryFace};
  const float focal = (img.width * 0.5f) / std::tan(cam.fov * 0.5f);

  std::vector<DrawItem> items;
  std::size_t faces = 0;
  for (const SceneNode* n : scene.AllNodes()) {
    const host::Object* o = n->EvalWorldState(options.time);
    if (!o || !o->CanConvertToTriMesh()) continue;
    // An editable mesh is drawn where it lies; other objects are converted for the picture.
    DrawItem item{n, nullptr, nullptr};
    if (const auto* editable = dynamic_cast<const MeshObject*>(o)) {
      item.mesh = &editable->mesh;
    } else if (auto converted = o->ConvertToTriMesh(options.time)) {
      item.owned = std::make_shared<const host::Mesh>(std::move(*converted));
      item.mesh = item.owned.get();
    }
    if (!item.mesh || item.mesh->faces.empty()) continue;
    faces += item.mesh->faces.size();
    items.push_back(std::move(item));
  }

  // The first half of the faces is drawn here and the second half beside it into a picture
  // of its own. A pixel then shows the second half's face where that one is strictly nearer,
  // as when one thread draws every face in order: a later face only covers a nearer one.
  const bool two =
      options.threads == 2 || (options.threads == 0 && support::WorthTwoThreads(faces, kFacesForTwoThreads));
  Layer firstHalf(count);
  std::optional<Layer> secondHalf;
  if (two) secondHalf.emplace(count);
  support::RunInTwoHalves(faces, two, [&](std::size_t begin, std::size_t end) {
    Layer& layer = begin == 0 ? firstHalf : *secondHalf;
    Target t{img.width, img.height, focal, img.width * 0.5f, img.height * 0.5f, layer.pixels, layer.invDepth};
    DrawFaces(items, begin, end, frame, t);
  });
  if (secondHalf) {
    const std::size_t w = static_cast<std::size_t>(img.width), h = static_cast<std::size_t>(img.height);
    for (std::size_t y = 0; y < h; ++y)
      for (std::size_t x = 0; x < w; ++x) {
        const std::size_t di = y * w + x;
        if (!(secondHalf->invDepth[di] > firstHalf.invDepth[di])) continue;
        const std::size_t pi = ((h - 1 - y) * w + x) * 4;
        std::copy_n(secondHalf->pixels.begin() + std::ptrdiff_t(pi), 4,
                    firstHalf.pixels.begin() + std::ptrdiff_t(pi));
      }
  }
  img.pixels = std::move(firstHalf.pixels);
  return img;
}

std::string WriteViewportPng(const host::ViewportImage& image, const std::string& path) {
  if (image.bitsPerPixel != 32 || image.width <= 0 || image.height <= 0 || image.width > 65535 ||
      image.height > 65535 ||
      image.pixels.size() !=
          static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4)
    return path + ": not a 32-bit image of its stated size";
  // Top-down RGBA rows for the PNG.
  std::size_t w = static_cast<std::size_t>(image.width), h = static_cast<std::size_t>(image.height);
  std::vector<uint8_t> rgba(w * h * 4);
  for (std::size_t y = 0; y < h; ++y)
    for (std::size_t x = 0; x < w; ++x) {
      const uint8_t* s = &image.pixels[((h - 1 - y) * w + x) * 4];
      uint8_t* d = &rgba[(y * w + x) * 4];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = s[3];
    }
  std::vector<uint8_t> png = EncodePngRgba(rgba, image.width, image.height);
  if (png.empty()) return path + ": the PNG could not be encoded";
  support::FileResult r = support::WriteFileAtomic(path, png);
  return r.ok ? std::string() : r.error;
}

}  // namespace vorlan::workbench

// The collision model reader on arbitrary bytes, and the physics shape builder on arbitrary
// coordinates (NaN, infinities and huge values included): neither may crash or hang.
#include <cstddef>
#include <cstdint>
#include <span>

#include "geometry/collision_model.h"
#include "geometry/physics_shape.h"
#include "support/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::span<const uint8_t> bytes(data + 1, size - 1);
  if (data[0] % 2 == 0) {
    (void)vorlan::geometry::ReadCollisionModel(bytes);
    return 0;
  }
  // 40 bytes per primitive: kind, three points, a radius (or skin width).
  vorlan::geometry::PhysicsShape shape;
  shape.Begin(1 + data[0] % 8, 1 + data[0] / 32, 4);
  float skin = 0;
  for (std::size_t at = 0; at + 40 <= bytes.size() && at < 40 * 64; at += 40) {
    const uint8_t* p = bytes.data() + at;
    auto f = [&](int i) { return vorlan::support::LoadF32(p + 4 + 4 * i); };
    vorlan::host::Point3 a{f(0), f(1), f(2)}, b{f(3), f(4), f(5)}, c{f(6), f(7), f(8)};
    switch (vorlan::support::LoadU32(p) % 4) {
      case 0:
        shape.AddSphere(a, f(3), 1);
        break;
      case 1:
        shape.SetCenterOfMass(a);
        break;
      case 2:
        skin = f(0);
        break;
      default:
        shape.AddTriangle(a, b, c, 2);
    }
  }
  if (!shape.Finish(skin)) shape.Finish(0.025f);
  (void)vorlan::geometry::ReadCollisionModel(shape.Buffer());
  return 0;
}

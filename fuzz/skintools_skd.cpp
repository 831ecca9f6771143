// Any bytes given to the .skd reader, its listing and a transfer of what it read must end
// cleanly: no read outside the input, no allocation the input's size does not justify, no
// hang on hostile positions (NaN, infinities, huge values).
#include <cstddef>
#include <cstdint>
#include <span>

#include "skintools/skd_file.h"
#include "skintools/transfer.h"

namespace {

using namespace vorlan;

// A few target vertices near the origin and far away, writing nowhere.
class NullTarget : public skintools::SkinTarget {
 public:
  std::string NodeName() const override { return "fuzz"; }
  bool GetWorldPositions(std::vector<host::Point3>& out) override {
    out = {{0, 0, 0}, {1, 0.5f, -2}, {1e30f, 0, 0}, {0.0005f, 0, 0}};
    return true;
  }
  bool OpenSkin() override { return true; }
  int SkinVertexCount() const override { return 4; }
  bool HasVertex(int v) override { return v != 1; }
  void SetWeights(int, std::span<const skintools::BoneWeight>) override {}
  void CloseSkin() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  skintools::SkdData skd;
  if (skintools::DecodeSkd(std::span(data, size), skd) != skintools::SkdStatus::Ok) return 0;
  skintools::DescribeSkd(skd, skd.records.size());
  NullTarget target;
  for (uint32_t flags : {1u, 2u, 4u}) skintools::ApplyPhysique(skd, target, {.flags = flags}, {});
  return 0;
}

#include "zef/scene_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "support/address_limit.h"
#include "zef/image_builder.h"

namespace vorlan::zef {
namespace {

using testing::F;
using testing::Words;

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

bool AllZero(std::span<const uint8_t> s) {
  return std::all_of(s.begin(), s.end(), [](uint8_t b) { return b == 0; });
}

TEST(SceneBuffer, WritesLittleEndianFieldsAndEndsWithAZeroHead) {
  SceneBuffer buf(16);
  buf.U32(0x11223344);
  buf.I32(-1);
  buf.F32(1.0f);
  buf.CString("ab");
  buf.Zeros(2);
  std::vector<uint8_t> expected = Words({0x11223344, 0xFFFFFFFF, 0x3F800000});
  expected.insert(expected.end(), {'a', 'b', 0, 0, 0});
  EXPECT_EQ(Bytes(buf.Written()), expected);
  ASSERT_EQ(buf.Image().size(), expected.size() + 8);
  EXPECT_TRUE(AllZero(buf.Image().subspan(expected.size())));
}

TEST(SceneBuffer, MatrixRowsCarryTheirFourthColumn) {
  SceneBuffer buf;
  host::Matrix3 m({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12});
  buf.Matrix(m);
  EXPECT_EQ(Bytes(buf.Written()), Words({F(1), F(2), F(3), F(0), F(4), F(5), F(6), F(0), F(7), F(8), F(9),
                                         F(0), F(10), F(11), F(12), F(1)}));
}

TEST(SceneBuffer, GrowingKeepsTheContentAndTheZeroTail) {
  SceneBuffer buf(8);
  for (uint32_t i = 0; i < 10000; ++i) buf.U32(i);
  ASSERT_EQ(buf.Offset(), 40000u);
  for (uint32_t i = 0; i < 10000; i += 997) EXPECT_EQ(buf.ReadU32(4 * i), i);
  EXPECT_TRUE(AllZero(buf.Image().subspan(40000)));
}

// A node dropped after its head was written must not leave the head for the walk to find,
// even when what is written next is shorter than what was dropped.
TEST(SceneBuffer, MovingTheOffsetBackZeroesWhatWasDropped) {
  SceneBuffer buf(64);
  buf.U32(7);
  uint32_t head = buf.Offset();
  buf.U32(kNode);
  buf.U32(99);
  buf.CString("dropped node");
  buf.SetOffset(head);
  EXPECT_EQ(buf.Offset(), head);
  EXPECT_TRUE(AllZero(buf.Image().subspan(head)));
  buf.U32(kDummy);
  // Moving forward over where the dropped name lay shows zeros, not the old bytes.
  buf.SetOffset(buf.Offset() + 16);
  EXPECT_EQ(Bytes(buf.Written()), Words({7, kDummy, 0, 0, 0, 0}));
}

// A large image keeps what was written and shows zeros beyond it, also where a dropped block
// lay, whether its pages are backed ahead on another thread or the storage grows and moves.
bool LargeImageKeepsContentAndZeros() {
  SceneBuffer buf(64);
  std::vector<uint8_t> block(3 << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + 1);
  buf.Bytes(block);
  const uint32_t kept = buf.Offset();
  buf.Bytes(block);
  buf.SetOffset(kept);
  buf.SetOffset(kept + 5u * (1u << 20));  // past everything written before
  buf.U32(0xABCDEF01u);
  for (int i = 0; i < 4; ++i) buf.Bytes(block);
  return buf.Fits() && std::equal(block.begin(), block.end(), buf.Written().begin()) &&
         AllZero(buf.Written().subspan(kept, 5u << 20)) && buf.ReadU32(kept + (5u << 20)) == 0xABCDEF01u &&
         std::equal(block.begin(), block.end(), buf.Written().end() - std::ptrdiff_t(block.size())) &&
         AllZero(buf.Image().subspan(buf.Offset()));
}

TEST(SceneBuffer, LargeImageKeepsContentAndZeros) { EXPECT_TRUE(LargeImageKeepsContentAndZeros()); }

// Where the system refuses address room for the largest image up front, the image grows.
TEST(SceneBuffer, LargeImageGrowsWhereNoRoomIsGivenUpFront) {
  auto limited = [] {
    vorlan::testing::LimitAddressSpace(512u << 20);
    return LargeImageKeepsContentAndZeros() ? 0 : 1;
  };
  EXPECT_EXIT(std::_Exit(limited()), ::testing::ExitedWithCode(0), "");
}

TEST(SceneBuffer, RefusesAnImageBeyondThe32BitSizes) {
  SceneBuffer buf;
  buf.U32(5);
  buf.SetOffset(0xFFFFFFF8u);  // past kMaxImage: refused without allocating
  EXPECT_FALSE(buf.Fits());
  EXPECT_EQ(buf.Offset(), 4u);
  buf.U32(6);
  buf.CString("ignored");
  EXPECT_EQ(buf.Offset(), 4u);
  EXPECT_EQ(Bytes(buf.Written()), Words({5}));
}

}  // namespace
}  // namespace vorlan::zef

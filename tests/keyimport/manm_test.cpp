// The .manm layouts byte by byte. Expected bytes are written as little-endian words worked
// out by hand (1.0f = 0x3F800000, 0.5f = 0x3F000000, -2.0f = 0xC0000000, ...).
#include "keyimport/manm.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace vorlan::manm {
namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return out;
}

template <class K>
std::vector<uint8_t> Bytes(const K& key) {
  std::vector<uint8_t> out;
  support::ByteWriter w(out);
  WriteKey(w, key);
  return out;
}

// Writes a key, checks the bytes and the key size, and reads it back to `read`.
template <class K>
void CheckLayout(const K& key, std::initializer_list<uint32_t> words, uint32_t size, K& read) {
  std::vector<uint8_t> bytes = Bytes(key);
  EXPECT_EQ(bytes, Words(words));
  EXPECT_EQ(bytes.size(), size);
  LoadKey(bytes.data(), read);
}

constexpr uint32_t kOne = 0x3F800000, kHalf = 0x3F000000, kMinusTwo = 0xC0000000, kTwo = 0x40000000;
constexpr uint32_t kQuarter = 0x3E800000, kThree = 0x40400000, kMinusOne = 0xBF800000;

TEST(ManmLayout, PositionAndScaleKeys) {
  host::LinearPoint3Key lin{160, 0x55, {1, -2, 0.5f}}, linBack;
  CheckLayout(lin, {160, kOne, kMinusTwo, kHalf}, KeySize(Channel::Position, kPosLinear), linBack);
  EXPECT_EQ(linBack.val, lin.val);
  EXPECT_EQ(linBack.flags, 0u) << "Linear keys carry no flags in the file";

  host::TCBPoint3Key tcb{-320, 0, {1, 2, 3}, {0.5f, -1, 0.25f, 1, 0}}, tcbBack;
  CheckLayout(tcb, {0xFFFFFEC0, kOne, kTwo, kThree, kHalf, kMinusOne, kQuarter, kOne, 0}, 36, tcbBack);
  EXPECT_EQ(tcbBack, tcb);

  host::BezPoint3Key bez, bezBack;
  bez.time = 4800;
  bez.flags = 0x80000401;
  bez.val = {1, 0, 0};
  bez.inTan = {0, 2, 0};
  bez.outTan = {0, 0, 3};
  bez.inLength = {0.5f, 0.5f, 0.5f};
  bez.outLength = {0.25f, 1, 0.25f};
  CheckLayout(
      bez,
      {4800, 0x80000401, kOne, 0, 0, 0, kTwo, 0, 0, 0, kThree, kHalf, kHalf, kHalf, kQuarter, kOne, kQuarter},
      68, bezBack);
  EXPECT_EQ(bezBack, bez);

  // Scale keys are the position layouts with the factors; the axes come back as identity.
  host::LinearScaleKey sLin{10, 0, {{2, 2, 0.5f}, {0, 0, 1, 0}}}, sLinBack;
  CheckLayout(sLin, {10, kTwo, kTwo, kHalf}, KeySize(Channel::Scale, kSclLinear), sLinBack);
  EXPECT_EQ(sLinBack.val, (host::ScaleValue{{2, 2, 0.5f}, {}}));
  host::TCBScaleKey sTcb{0, 0, {{1, 1, 1}, {}}, {}}, sTcbBack;
  sTcb.tcb = {0, 0, 0, 0.5f, 0};
  CheckLayout(sTcb, {0, kOne, kOne, kOne, 0, 0, 0, kHalf, 0}, KeySize(Channel::Scale, kSclTCB), sTcbBack);
  EXPECT_EQ(sTcbBack, sTcb);
  host::BezScaleKey sBez, sBezBack;
  sBez.flags = 1;
  CheckLayout(sBez,
              {0, 1, kOne, kOne, kOne, 0, 0, 0, 0, 0, 0, 0x3EAAAAAB, 0x3EAAAAAB, 0x3EAAAAAB, 0x3EAAAAAB,
               0x3EAAAAAB, 0x3EAAAAAB},
              KeySize(Channel::Scale, kSclBezier), sBezBack);
  EXPECT_EQ(sBezBack, sBez);
}

TEST(ManmLayout, RotationAndCameraKeys) {
  host::LinearRotKey lin{1, 0, {}}, linBack;
  lin.val = {0, 0.5f, 0, -1};
  CheckLayout(lin, {1, 0, kHalf, 0, kMinusOne}, KeySize(Channel::Rotation, kRotLinear), linBack);
  EXPECT_EQ(linBack.val, lin.val);

  // TCB rotation: the angle comes before the axis.
  host::TCBRotKey tcb{2, 0, {{0, 1, 0}, 3}, {1, 0, 0, 0, 0.5f}}, tcbBack;
  CheckLayout(tcb, {2, kThree, 0, kOne, 0, kOne, 0, 0, 0, kHalf}, KeySize(Channel::Rotation, kRotTCB),
              tcbBack);
  EXPECT_EQ(tcbBack, tcb);

  host::BezQuatKey bez{3, 0xABCD, {1, 0, 0, 0}}, bezBack;
  CheckLayout(bez, {3, 0xABCD, kOne, 0, 0, 0}, KeySize(Channel::Rotation, kRotBezier), bezBack);
  EXPECT_EQ(bezBack, bez);

  CameraOrientationKey ori{4, {0, 1, 0}, {0, 0, -1}}, oriBack;
  CheckLayout(ori, {4, 0, kOne, 0, 0, 0, kMinusOne}, KeySize(Channel::Rotation, kRotCameraOrientation),
              oriBack);
  EXPECT_EQ(oriBack, ori);
  CameraKey cam{5, 0.5f}, camBack;
  CheckLayout(cam, {5, kHalf}, kCameraKeySize, camBack);
  EXPECT_EQ(camBack, cam);
}

TEST(ManmLayout, KeySizesBelongToTheirChannelOnly) {
  EXPECT_EQ(KeySize(Channel::Position, kRotLinear), 0u);
  EXPECT_EQ(KeySize(Channel::Scale, kPosBezier), 0u);
  EXPECT_EQ(KeySize(Channel::Position, kRotCameraOrientation), 0u);
  EXPECT_EQ(KeySize(Channel::Rotation, 0), 0u);
}

TEST(ManmLayout, HeaderAndRecordHead) {
  std::vector<uint8_t> out;
  support::ByteWriter w(out);
  WriteHeader(w, {kVersion, 3, 0});
  EXPECT_EQ(out, (std::vector<uint8_t>{'M', 'A', 'N', 'M', 2, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}));

  RecordHead h;
  h.numPos = 2;
  h.numRot = 1;
  h.numCam = 1;
  h.posType = kPosBezier;
  h.rotType = kRotTCB;
  h.sclType = kSclLinear;
  h.animStart = -160;
  h.animEnd = 16000;
  h.ticksPerFrame = 160;
  h.frameRate = 30;
  // 52 + "Box01" + 1 + 2 * 68 + 40 + 0 * 16 + 8 = 242.
  h.size = static_cast<uint32_t>(RecordSize(h, 5));
  EXPECT_EQ(h.size, 242u);
  out.clear();
  WriteRecordHead(w, h, "Box01");
  std::vector<uint8_t> want = Words({1, 242, 2, 1, 0, 1, 0x100, 0x20, 0x3, 0xFFFFFF60, 16000, 160, 30});
  for (char c : std::string("Box01")) want.push_back(static_cast<uint8_t>(c));
  want.push_back(0);
  EXPECT_EQ(out, want);

  RecordHead back = LoadRecordHead(out.data());
  EXPECT_EQ(back.size, 242u);
  EXPECT_EQ(back.animStart, -160);
  EXPECT_EQ(back.sclType, kSclLinear);
  EXPECT_EQ(LoadHeader(Words({0, 2, 7, 0}).data()).recordCount, 7u);
}

}  // namespace
}  // namespace vorlan::manm

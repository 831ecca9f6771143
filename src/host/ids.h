// Identifiers the host and the plug-ins agree on. They are stored in scenes and user
// settings, so their values never change.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>

namespace vorlan::host {

struct ClassId {
  uint32_t a = 0, b = 0;
  friend constexpr bool operator==(ClassId, ClassId) = default;
  friend constexpr auto operator<=>(ClassId, ClassId) = default;
};

using SuperClassId = uint32_t;

// Super classes: what kind of thing a class is.
inline constexpr SuperClassId kGeomObjectClass = 0x10;
inline constexpr SuperClassId kCameraClass = 0x20;
inline constexpr SuperClassId kLightClass = 0x30;
inline constexpr SuperClassId kShapeClass = 0x40;
inline constexpr SuperClassId kHelperClass = 0x50;
inline constexpr SuperClassId kMaterialClass = 0xC00;
inline constexpr SuperClassId kTexmapClass = 0xC10;
inline constexpr SuperClassId kSceneImportClass = 0xA10;
inline constexpr SuperClassId kSceneExportClass = 0xA20;
inline constexpr SuperClassId kUtilityClass = 0x1020;
inline constexpr SuperClassId kDerivedObjectClass = 2;
inline constexpr SuperClassId kModifierClass = 0x810;

// Host object classes.
inline constexpr ClassId kTriObjectClassId{0x0009, 0};
inline constexpr ClassId kFreeCameraClassId{0x1001, 0};
inline constexpr ClassId kTargetCameraClassId{0x1002, 0};
inline constexpr ClassId kOmniLightClassId{0x1011, 0};
inline constexpr ClassId kSpotLightClassId{0x1012, 0};
inline constexpr ClassId kDirectionalLightClassId{0x1013, 0};
inline constexpr ClassId kFreeSpotLightClassId{0x1014, 0};
inline constexpr ClassId kFreeDirectionalLightClassId{0x1015, 0};
inline constexpr ClassId kAmbientLightClassId{0x1016, 0};
inline constexpr ClassId kDummyClassId{0x876234, 0};
inline constexpr ClassId kPointHelperClassId{0x2013, 0};
inline constexpr ClassId kBoneHelperClassId{0x8A63C0, 0};
inline constexpr ClassId kSplineShapeClassId{0x0a, 0};

// Characters: the skeleton's root object, the transform controllers that make a node one
// of its bones, and the modifiers of the stack.
inline constexpr ClassId kDerivedObjectClassId{0x2, 0};
inline constexpr ClassId kSkeletonRootClassId{0x9125, 0};
inline constexpr ClassId kBipedSlaveControlClassId{0x9154, 0};
inline constexpr ClassId kFootstepControlClassId{0x3011, 0};
inline constexpr ClassId kSkinModifierClassId{0x100, 0};
inline constexpr ClassId kMorpherClassId{0x17BB6854, 0xA5CBA2A3};

// Materials and textures.
inline constexpr ClassId kStandardMtlClassId{2, 0};
inline constexpr ClassId kMultiMtlClassId{0x200, 0};
inline constexpr ClassId kBitmapTexClassId{0x240, 0};
inline constexpr ClassId kVexaMatClassId{0x654DF3D2, 0x64DA69D9};
inline constexpr ClassId kVexaLayerClassId{0x48E078A1, 0x2E9E7DF9};

// Engine helpers and the sphere helper used for collision.
inline constexpr ClassId kVexaLightClassId{0x88E23F00, 0xDA077F00};
inline constexpr ClassId kVexaIKJointClassId{0x0B4FCCED, 0x68A7D400};
inline constexpr ClassId kVexaSoundEventClassId{0x9C01D100, 0xBBC18000};
inline constexpr ClassId kVexaParticleEventClassId{0x9DAC5600, 0x7879A66B};
inline constexpr ClassId kExtDummyClassId{0x14791ABB, 0x6DC01000};

// The plug-ins of this pipeline.
inline constexpr ClassId kZefExportClassId{0x7C2360F6, 0x473C5399};
inline constexpr ClassId kRigExpClassId{0x10101011, 0xABCDEF12};
inline constexpr ClassId kKeyExportClassId{0x82674970, 0x777F6DA0};
inline constexpr ClassId kKeyImportClassId{0x710D5260, 0x7E201AAA};
inline constexpr ClassId kZefImportClassId{0x7B702870, 0x2DF5000A};
inline constexpr ClassId kKitExportClassId{0x10101014, 0xABCDEF12};
inline constexpr ClassId kMapwrightClassId{0x66667777, 0x17101978};
inline constexpr ClassId kShotEditorClassId{0x10101030, 0xABCDEF45};
inline constexpr ClassId kSkinToolsClassId{0x10101020, 0xABCDEF34};

// Version constant of the host boundary; a module built against another one is refused.
inline constexpr uint32_t kHostApiVersion = 0x56520001;

// Animation time in ticks.
using TimeValue = int32_t;
inline constexpr int kTicksPerSecond = 4800;

// A closed range of ticks [start, end].
struct Interval {
  TimeValue start = 0, end = 0;

  static constexpr Interval Forever() {
    return {std::numeric_limits<TimeValue>::min(), std::numeric_limits<TimeValue>::max()};
  }
  // Start beyond end: contains nothing.
  static constexpr Interval Never() { return {0, -1}; }
  constexpr bool Empty() const { return start > end; }
  constexpr bool Contains(TimeValue t) const { return t >= start && t <= end; }
  // Intersection, the host's "&=" on validity intervals.
  constexpr Interval operator&(Interval o) const {
    return {start > o.start ? start : o.start, end < o.end ? end : o.end};
  }
  friend constexpr bool operator==(Interval, Interval) = default;
};

}  // namespace vorlan::host

template <>
struct std::hash<vorlan::host::ClassId> {
  std::size_t operator()(vorlan::host::ClassId id) const noexcept {
    return std::hash<uint64_t>()((uint64_t(id.a) << 32) | id.b);
  }
};

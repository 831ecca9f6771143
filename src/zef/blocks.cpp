#include "zef/blocks.h"

namespace vorlan::zef {

VersionFamily ClassifyVersion(uint32_t version) {
  switch (version) {
    case kVersion0100:
    case kVersion0008:
      return VersionFamily::kCurrent;
    case kVersion0005:
    case kVersion0006:
    case kVersion0007:
      return VersionFamily::kOld;
    default:
      return VersionFamily::kUnknown;
  }
}

uint32_t FirstBlockOffset(uint32_t version) {
  return version == kVersion0005 ? kVersion0005BlocksOffset : kHeaderSize;
}

const char* BlockName(uint32_t id) {
  switch (id) {
    case kNode:
      return "Node";
    case kLight:
      return "Light";
    case kVexaLight:
      return "VexaLight";
    case kGObj:
      return "GObj";
    case kGBlock:
      return "GBlock";
    case kVertices:
      return "Vertices";
    case kFaces:
      return "Faces";
    case kUserProps:
      return "UserProps";
    case kTransform:
      return "Transform";
    case kInstance:
      return "Instance";
    case kNodeKeys:
      return "NodeKeys";
    case kDummy:
      return "Dummy";
    case kMorphDeltas:
      return "MorphDeltas";
    case kBoneList:
      return "BoneList";
    case kCamera:
      return "Camera";
    case kSkeletonObj:
      return "SkeletonObj";
    case kSkeletonData:
      return "SkeletonData";
    case kBone:
      return "Bone";
    case kIKJoint:
      return "IKJoint";
    case kSoundEvent:
      return "SoundEvent";
    case kParticleEvent:
      return "ParticleEvent";
    case kInfo:
      return "Info";
    case kPhysData:
      return "PHYS_DATA";
    case kGlass:
      return "Glass";
    case kPhysics:
      return "Physics";
    case kMatList:
      return "MatList";
    case kMatStandard:
      return "StandardMaterial";
    case kMatVexaMat:
      return "VexaMat";
    case kMatVexaLayerRig:
      return "VexaLayer(rig)";
    case kMatVexaLayer:
      return "VexaLayer";
    default:
      return nullptr;
  }
}

std::optional<FixedPart> FixedPartSize(const support::ByteReader& reader) {
  auto id = reader.PeekU32(0);
  auto size = reader.PeekU32(4);
  if (!id || !size) return std::nullopt;
  switch (*id) {
    case kNode:
    case kSkeletonObj: {
      auto nameLength = reader.PeekU32(12);
      if (!nameLength) return std::nullopt;
      return FixedPart{kNodeHeadSize + uint64_t{*nameLength}, true};
    }
    case kInfo: {
      auto commentLength = reader.PeekU32(12);
      if (!commentLength) return std::nullopt;
      return FixedPart{kInfoFixedSize + uint64_t{*commentLength}, true};
    }
    case kGObj:
    case kGBlock:
    case kInstance:
      return FixedPart{12, true};
    case kTransform:
      return FixedPart{kTransformSize, true};
    case kLight:
    case kVexaLight:
    case kVertices:
    case kFaces:
    case kUserProps:
    case kNodeKeys:
    case kDummy:
    case kCamera:
    case kIKJoint:
    case kSoundEvent:
    case kParticleEvent:
    case kMatList:
      return FixedPart{*size, true};
    default:
      return FixedPart{*size, false};
  }
}

}  // namespace vorlan::zef

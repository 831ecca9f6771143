// SkinTools on the host: finding a node's skin and mesh, saving a .skd file from it, loading
// one with the tool's messages, the bone table that names resolve to, and the transfer's
// view of a target node.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/interface.h"
#include "host/skin.h"
#include "skintools/skd_file.h"
#include "skintools/transfer.h"

namespace vorlan::skintools {

// The class identifier of the transform controller of a character's bone.
inline constexpr host::ClassId kBoneControlClassId{0x9154, 0};

// Shows one of the tool's messages: an error box over the panel.
void ShowError(host::Interface& ip, const std::string& text);

// The first skin modifier on the node's stack, from the top; null when there is none.
host::SkinModifier* FindPhysique(const host::Node& node);

// The node's mesh at time 0 with its normals built; shows "Node '%s' doesn't have a mesh!"
// and gives nothing when the object cannot become one.
std::optional<host::Mesh> NodeTriMesh(host::Interface& ip, const host::Node& node);

// Saves the node's skin to `nativePath`. Every vertex, or (selectedOnly) those selected in
// the mesh. False when nothing could be written or a vertex was missing; the file is then
// not left behind. The checks of the panel (one node, a skin) come before.
bool SaveSkd(host::Interface& ip, const host::Node& node, const std::string& nativePath, bool selectedOnly);

// Loads a data file: an empty list after showing "Can't open .skd file." or "Incorrect
// version of skd file.\nResave the skd file.".
SkdData LoadSkd(host::Interface& ip, const std::string& nativePath);

// The nodes bone names resolve to: the first geometric node (depth first) with a bone
// among its descendants, and all its descendants, in depth-first order.
class BoneTable {
 public:
  explicit BoneTable(host::Node* root);
  // The first node of exactly that name, or null.
  host::Node* Find(std::string_view name) const;
  std::size_t Size() const { return nodes_.size(); }

 private:
  std::vector<host::Node*> nodes_;
};

// A target node for the transfer methods, over the host's skin.
class HostSkinTarget : public SkinTarget {
 public:
  HostSkinTarget(host::Interface& ip, host::Node& node, const BoneTable& bones)
      : ip_(ip), node_(node), bones_(bones) {}

  std::string NodeName() const override { return node_.GetName(); }
  bool GetWorldPositions(std::vector<host::Point3>& out) override;
  bool OpenSkin() override;
  int SkinVertexCount() const override;
  bool HasVertex(int v) override;
  void SetWeights(int v, std::span<const BoneWeight> weights) override;
  void CloseSkin() override;

  // Assignments skipped because the bone table has no node of that name.
  int UnknownBones() const { return unknownBones_; }
  const std::string& FirstUnknownBone() const { return firstUnknown_; }

 private:
  host::Interface& ip_;
  host::Node& node_;
  const BoneTable& bones_;
  std::unique_ptr<host::SkinImportContext> context_;
  std::unique_ptr<host::SkinImportVertex> vertex_;
  int vertexIndex_ = -1;
  int unknownBones_ = 0;
  std::string firstUnknown_;
};

// Loads the file and applies it to one node: the Apply button's work per object.
bool ApplyPhysique(host::Interface& ip, const std::string& nativePath, host::Node& node,
                   const ApplySettings& settings, const TransferHost& progress);

}  // namespace vorlan::skintools

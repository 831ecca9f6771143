// What the material list leaves behind for the mesh export: per exported node with a
// material, the slots that map a face's material id to a record of the MatList, and the
// crop rectangles of records whose first texture is cropped.
//
// The lookup is keyed by node, not by the order in which nodes are met, so a node that the
// main pass skips cannot shift every later node onto another node's slots.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/material.h"
#include "host/node.h"

namespace vorlan::zef {

struct MaterialSlot {
  int32_t recordIndex = -1;  // position in the MatList, -1 for none
  host::Mtl* mtl = nullptr;  // the material the record was made from; null for a hole
};

struct MaterialSlotMap {
  std::vector<MaterialSlot> slots;  // indexed by sub-material (slot) index
  uint32_t slotCount = 0;           // faces use slots[matId % slotCount]; 0: no slot at all
  uint32_t registered = 0;          // slots filled by the record writers
};

// Crop settings of a record's first texture (a Standard material's diffuse map, a VexaMat's
// channel 12): the bitmap's crop switch and clip rectangle, all zero when the texture is
// absent or switched off.
struct CropEntry {
  int32_t recordIndex = -1;
  bool apply = false;
  float u = 0, v = 0, w = 0, h = 0;
};

// A VexaLayer's per-layer texture settings, which its record does not carry but the mesh
// export needs for the layers' texture coordinates. Slots are 0-based.
inline constexpr int kLayerSlots = 13;

struct LayerInfo {
  bool used = false;                // listed in layerOrder and written as a layer entry
  int32_t channel = 0;              // layerChannel: host map channel of the layer's coordinates
  bool crop = false;                // layerCrop
  float tilingU = 0, tilingV = 0;   // layerTilingU, layerTilingV
  host::Point3 clipUV{}, clipWH{};  // layerClipUV, layerClipWH
};

struct LayerTable {
  std::array<LayerInfo, kLayerSlots> layers{};
  int32_t waterSlot = -1;  // isWater - 1, -1 for none (that layer is in the extras block)
  int32_t glassSlot = -1;  // isGlass - 1
};

class MaterialTable {
 public:
  // Pre-pass: the material of an exported geometric node, in visiting order.
  void Collect(const host::Node* node, host::Mtl* mtl) { entries_.push_back({node, mtl}); }

  struct Entry {
    const host::Node* node;
    host::Mtl* mtl;
  };
  const std::vector<Entry>& Entries() const { return entries_; }
  std::vector<Entry>& Entries() { return entries_; }

  // Filled by the material list writer.
  std::vector<MaterialSlotMap>& SlotMaps() { return slotMaps_; }
  const std::vector<MaterialSlotMap>& SlotMaps() const { return slotMaps_; }
  // One entry per new Standard or VexaMat record, in ascending record order.
  std::vector<CropEntry>& CropList() { return crops_; }
  const std::vector<CropEntry>& CropList() const { return crops_; }
  // Entries plus the sub-materials of all entries.
  uint32_t TotalSlotCount() const { return totalSlots_; }
  void SetTotalSlotCount(uint32_t n) { totalSlots_ = n; }
  // Layer settings of every VexaLayer material that got a record, by material.
  std::unordered_map<const host::Mtl*, LayerTable>& LayerTables() { return layers_; }
  const LayerTable* LayersFor(const host::Mtl* mtl) const {
    auto it = layers_.find(mtl);
    return it == layers_.end() ? nullptr : &it->second;
  }

  // The slot map of a node, or null when the node had no material at collection time.
  const MaterialSlotMap* SlotMapFor(const host::Node* node) const {
    auto it = byNode_.find(node);
    return it == byNode_.end() ? nullptr : &slotMaps_[it->second];
  }
  // Builds the lookups by node and by record index; call after the material list is written
  // (the writer does so itself; calling it again is harmless).
  void Index() {
    byNode_.clear();
    for (std::size_t i = 0; i < entries_.size() && i < slotMaps_.size(); ++i)
      byNode_.emplace(entries_[i].node, i);
    cropByRecord_.clear();
    for (std::size_t i = 0; i < crops_.size(); ++i) cropByRecord_.emplace(crops_[i].recordIndex, i);
    cropsIndexed_ = crops_.size();
  }
  // The crop entry of a record, or null. Each record has at most one.
  const CropEntry* CropFor(int32_t recordIndex) const {
    if (cropsIndexed_ == crops_.size()) {
      auto it = cropByRecord_.find(recordIndex);
      return it == cropByRecord_.end() ? nullptr : &crops_[it->second];
    }
    for (const CropEntry& c : crops_)
      if (c.recordIndex == recordIndex) return &c;
    return nullptr;
  }

  // Forgets everything (a new export).
  void Clear() { *this = MaterialTable(); }

 private:
  std::vector<Entry> entries_;
  std::vector<MaterialSlotMap> slotMaps_;
  std::vector<CropEntry> crops_;
  uint32_t totalSlots_ = 0;
  std::unordered_map<const host::Mtl*, LayerTable> layers_;
  std::unordered_map<const host::Node*, std::size_t> byNode_;
  std::unordered_map<int32_t, std::size_t> cropByRecord_;
  std::size_t cropsIndexed_ = static_cast<std::size_t>(-1);
};

}  // namespace vorlan::zef

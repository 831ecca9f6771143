// What the material list leaves behind for the mesh export: per exported node with a
// material, the slots that map a face's material id to a record of the MatList, and the
// crop rectangles of records whose first texture is cropped.
//
// The lookup is keyed by node, not by the order in which nodes are met, so a node that the
// main pass skips cannot shift every later node onto another node's slots.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/material.h"
#include "host/node.h"

namespace vorlan::zef {

struct MaterialSlot {
  int32_t recordIndex = -1;   // position in the MatList, -1 for none
  host::Mtl* mtl = nullptr;   // the material the record was made from; null for a hole
};

struct MaterialSlotMap {
  std::vector<MaterialSlot> slots;  // indexed by sub-material (slot) index
  uint32_t slotCount = 0;           // faces use slots[matId % slotCount]
  uint32_t registered = 0;          // slots filled by the record writers
};

struct CropEntry {
  int32_t recordIndex = -1;
  bool apply = false;
  float u = 0, v = 0, w = 1, h = 1;
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
  std::vector<CropEntry>& CropList() { return crops_; }

  // The slot map of a node, or null when the node had no material at collection time.
  const MaterialSlotMap* SlotMapFor(const host::Node* node) const {
    auto it = byNode_.find(node);
    return it == byNode_.end() ? nullptr : &slotMaps_[it->second];
  }
  void Index() {
    byNode_.clear();
    for (std::size_t i = 0; i < entries_.size() && i < slotMaps_.size(); ++i) byNode_.emplace(entries_[i].node, i);
  }
  const CropEntry* CropFor(int32_t recordIndex) const {
    for (const CropEntry& c : crops_)
      if (c.recordIndex == recordIndex) return &c;
    return nullptr;
  }

 private:
  std::vector<Entry> entries_;
  std::vector<MaterialSlotMap> slotMaps_;
  std::vector<CropEntry> crops_;
  std::unordered_map<const host::Node*, std::size_t> byNode_;
};

}  // namespace vorlan::zef

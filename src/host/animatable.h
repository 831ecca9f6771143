// Base of every scene entity that plug-ins can inspect: class identity, parameter blocks
// and application data chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "host/ids.h"
#include "host/paramblock.h"

namespace vorlan::host {

// Where a parameter was found by name.
struct ParamRef {
  ParamBlock* block = nullptr;
  int index = -1;
  explicit operator bool() const { return block != nullptr; }
};

class Animatable {
 public:
  virtual ~Animatable() = default;
  virtual ClassId GetClassId() const = 0;
  virtual SuperClassId GetSuperClassId() const = 0;

  virtual int NumParamBlocks() const { return 0; }
  virtual ParamBlock* GetParamBlock(int /*i*/) const { return nullptr; }

  // Application data: byte chunks that plug-ins attach, keyed by the owner's class, its
  // super class and a sub-ID of the owner's choosing.
  virtual const std::vector<uint8_t>* GetAppData(ClassId owner, SuperClassId sc, uint32_t sub) const = 0;
  virtual void SetAppData(ClassId owner, SuperClassId sc, uint32_t sub, std::vector<uint8_t> data) = 0;
  virtual void RemoveAppData(ClassId owner, SuperClassId sc, uint32_t sub) = 0;

  // First parameter in block order whose internal name matches without regard to case.
  ParamRef FindParam(std::string_view name) const;
  // The parameter block of the given name, or null.
  ParamBlock* FindParamBlock(std::string_view blockName) const;
};

}  // namespace vorlan::host

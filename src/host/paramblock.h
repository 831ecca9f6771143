// Parameter blocks: typed parameters looked up by internal name. The engine's materials and
// helpers are known to the plug-ins only through these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/ids.h"
#include "host/math3d.h"

namespace vorlan::host {

class Node;

enum class ParamType { Int, Float, String, Colour, Point, Node, Bool };

struct ParamDef {
  std::string internalName;
  ParamType type = ParamType::Int;
  bool isTable = false;
};

class ParamBlock {
 public:
  virtual ~ParamBlock() = default;
  // The block's own name, e.g. "ExtDummyObjParams".
  virtual std::string BlockName() const = 0;
  virtual int NumParams() const = 0;
  virtual ParamDef Def(int param) const = 0;
  // Number of entries of a table parameter; 1 for a plain one.
  virtual int Count(int param) const = 0;

  // Readers convert between the numeric kinds (a Bool reads as 0/1 through GetInt, an Int
  // through GetFloat); a missing entry reads as zero or empty.
  virtual int GetInt(int param, TimeValue t, int tab = 0) const = 0;
  virtual float GetFloat(int param, TimeValue t, int tab = 0) const = 0;
  virtual Point3 GetPoint(int param, TimeValue t, int tab = 0) const = 0;  // points and colours
  virtual std::string GetString(int param, TimeValue t, int tab = 0) const = 0;
  virtual Node* GetNode(int param, TimeValue t, int tab = 0) const = 0;

  // Writers used by importers; false when the parameter does not take that kind.
  virtual bool SetInt(int param, int value, int tab = 0) = 0;
  virtual bool SetFloat(int param, float value, int tab = 0) = 0;
  virtual bool SetPoint(int param, Point3 value, int tab = 0) = 0;
  virtual bool SetString(int param, std::string_view value, int tab = 0) = 0;
  virtual bool SetNode(int param, Node* value, int tab = 0) = 0;
  virtual bool SetCount(int param, int count) = 0;

  // Index of the first parameter whose internal name equals `name` without regard to case.
  std::optional<int> Find(std::string_view name) const;
};

bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace vorlan::host

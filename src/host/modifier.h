// Modifiers and the derived objects that carry them on a node.
//
// A node with modifiers references a derived object: its modifiers (index 0 is the top of
// the stack, the last one applied) over the object they modify, which may itself be a
// derived object. The node's evaluated object (EvalWorldState) is what comes out on top.
#pragma once

#include <string>

#include "host/object.h"

namespace vorlan::host {

class Node;

class Modifier : public Animatable {
 public:
  SuperClassId GetSuperClassId() const override { return kModifierClass; }
  // The name the stack shows for this modifier.
  virtual std::string GetName() const = 0;
};

class DerivedObject : public Object {
 public:
  ClassId GetClassId() const override { return kDerivedObjectClassId; }
  SuperClassId GetSuperClassId() const override { return kDerivedObjectClass; }
  std::string ClassName() const override { return "Derived Object"; }

  virtual int NumModifiers() const = 0;
  // Modifier i from the top of the stack; null outside 0..NumModifiers()-1.
  virtual Modifier* GetModifier(int i) const = 0;
  // The object the modifiers apply to.
  virtual Object* GetObjRef() const = 0;
};

// The first modifier of class `id` on the node's stack: each derived object's modifiers from
// the top down, then the object below it. Null when there is none.
Modifier* FindModifier(const Node& node, ClassId id);

}  // namespace vorlan::host

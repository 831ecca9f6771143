// Scene nodes: hierarchy, transforms, the object they reference, material and user data.
#pragma once

#include <string>

#include "host/animatable.h"
#include "host/control.h"
#include "host/material.h"
#include "host/object.h"

namespace vorlan::host {

class Node : public Animatable {
 public:
  virtual std::string GetName() const = 0;
  virtual Node* GetParentNode() const = 0;
  virtual int NumberOfChildren() const = 0;
  virtual Node* GetChildNode(int i) const = 0;
  virtual bool IsRootNode() const = 0;
  virtual bool Selected() const = 0;

  // World transform of the node's pivot at a time.
  virtual Matrix3 GetNodeTM(TimeValue t) const = 0;
  // The object's world transform, after world-space modifiers: the object offset applied
  // to the node transform.
  virtual Matrix3 GetObjTMAfterWSM(TimeValue t) const = 0;
  virtual Matrix3 GetObjectTM(TimeValue t) const = 0;
  virtual Point3 GetObjOffsetPos() const = 0;
  virtual Quat GetObjOffsetRot() const = 0;
  virtual Point3 GetObjOffsetScale() const = 0;

  // The node's transform controller (values relative to the parent); null for the root.
  virtual Control* GetTMController() const { return nullptr; }
  // The interval around `t` over which GetNodeTM stays the same.
  virtual Interval NodeTMValidity(TimeValue /*t*/) const { return Interval::Forever(); }

  // The object as evaluated at a time (the top of the modifier stack), or null.
  virtual Object* EvalWorldState(TimeValue t) const = 0;
  // The shared object reference: two nodes with the same reference are instances.
  virtual const void* GetObjectRef() const = 0;

  virtual Mtl* GetMtl() const = 0;
  virtual std::string GetUserPropBuffer() const = 0;
  virtual void SetUserPropBuffer(std::string text) = 0;

  // Node-relative transform helper: `other` expressed in this node's space at a time.
  Matrix3 RelativeTM(const Node& other, TimeValue t) const { return other.GetNodeTM(t) * Inverse(GetNodeTM(t)); }

  SuperClassId GetSuperClassId() const override { return 1; }
};

}  // namespace vorlan::host

// Objects a node can reference: geometry, cameras, lights, helpers and shapes.
#pragma once

#include <optional>
#include <string>

#include "host/animatable.h"
#include "host/control.h"
#include "host/mesh.h"

namespace vorlan::host {

struct CameraState {
  float fov = 0.785398f;  // horizontal field of view, radians
  bool isTarget = false;
};

enum class LightKind { Omni, Spot, Directional, Ambient };

struct LightState {
  LightKind kind = LightKind::Omni;
  bool on = true;
  bool shadow = false;
  Point3 color{1, 1, 1};
  float intensity = 1.0f;  // multiplier
  float attenEnd = 0.0f;   // far attenuation end
  float hotspot = 0.0f;    // degrees, as the host keeps them
  float falloff = 0.0f;
};

class Object : public Animatable {
 public:
  // Geometry: whether the object can become a triangle mesh and the mesh at a time. The
  // mesh is a copy owned by the caller.
  virtual bool CanConvertToTriMesh() const { return false; }
  virtual std::optional<Mesh> ConvertToTriMesh(TimeValue /*t*/) const { return std::nullopt; }

  // Bounding box in the object's own space at a time.
  virtual Box3 GetBoundingBox(TimeValue t) const = 0;

  virtual std::optional<CameraState> EvalCameraState(TimeValue /*t*/) const { return std::nullopt; }
  virtual std::optional<LightState> EvalLightState(TimeValue /*t*/) const { return std::nullopt; }
  // The interval around `t` over which the evaluated state (a camera's field of view, ...)
  // stays the same.
  virtual Interval ObjectValidity(TimeValue /*t*/) const { return Interval::Forever(); }
  // A camera's field-of-view controller, or null when the field of view is not animated.
  virtual Control* GetFOVController() const { return nullptr; }

  // Import services for objects the host created: the editable mesh of a triangle-mesh
  // object (null for others), a camera's and a light's settings (the light's kind stays
  // that of its class) and a dummy's box. False when the object is not of that kind.
  virtual Mesh* GetEditableMesh() { return nullptr; }
  virtual bool SetCameraState(const CameraState& /*state*/) { return false; }
  virtual bool SetLightState(const LightState& /*state*/) { return false; }
  virtual bool SetDummyBox(const Box3& /*box*/) { return false; }

  // The name under which the host lists the object's class ("Box", "Vexa Light", ...).
  virtual std::string ClassName() const = 0;
};

}  // namespace vorlan::host

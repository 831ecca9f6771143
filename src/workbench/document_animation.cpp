#include "workbench/document_animation.h"

#include <variant>

#include "workbench/document_json.h"

namespace vorlan::workbench::docjson {

using host::Point3;
using host::Quat;

namespace {

// The floats of a key after its time and flags, in a fixed order per kind.
template <class F>
void Each(Point3& p, F&& f) {
  f(p.x), f(p.y), f(p.z);
}
template <class F>
void Each(Quat& q, F&& f) {
  f(q.x), f(q.y), f(q.z), f(q.w);
}
template <class F>
void Each(host::ScaleValue& s, F&& f) {
  Each(s.s, f), Each(s.q, f);
}
template <class F>
void Each(host::TCBParams& t, F&& f) {
  f(t.tens), f(t.cont), f(t.bias), f(t.easeIn), f(t.easeOut);
}
template <class F>
void Fields(host::LinearPoint3Key& k, F&& f) {
  Each(k.val, f);
}
template <class F>
void Fields(host::LinearRotKey& k, F&& f) {
  Each(k.val, f);
}
template <class F>
void Fields(host::LinearScaleKey& k, F&& f) {
  Each(k.val, f);
}
template <class F>
void Fields(host::TCBPoint3Key& k, F&& f) {
  Each(k.val, f), Each(k.tcb, f);
}
template <class F>
void Fields(host::TCBRotKey& k, F&& f) {
  f(k.val.angle), Each(k.val.axis, f), Each(k.tcb, f);
}
template <class F>
void Fields(host::TCBScaleKey& k, F&& f) {
  Each(k.val, f), Each(k.tcb, f);
}
template <class F>
void Fields(host::BezPoint3Key& k, F&& f) {
  Each(k.val, f), Each(k.inTan, f), Each(k.outTan, f), Each(k.inLength, f), Each(k.outLength, f);
}
template <class F>
void Fields(host::BezQuatKey& k, F&& f) {
  Each(k.val, f);
}
template <class F>
void Fields(host::BezScaleKey& k, F&& f) {
  Each(k.val, f), Each(k.inTan, f), Each(k.outTan, f), Each(k.inLength, f), Each(k.outLength, f);
}
template <class F>
void Fields(host::LinearFloatKey& k, F&& f) {
  f(k.val);
}
template <class F>
void Fields(host::BezFloatKey& k, F&& f) {
  f(k.val), f(k.inTan), f(k.outTan), f(k.inLength), f(k.outLength);
}

Json KeyJson(host::AnyKey key) {
  return std::visit(
      [](auto& k) {
        Json a = Json::array({k.time, k.flags});
        Fields(k, [&](float& v) { a.push_back(FloatJson(v)); });
        return a;
      },
      key);
}

// Fills `key` (of the controller's kind) from [time, flags, floats...].
void ReadKey(const Json& j, const std::string& path, host::AnyKey& key) {
  std::visit(
      [&](auto& k) {
        std::size_t n = 2;
        Fields(k, [&](float&) { ++n; });
        ArrayOf(j, path, n);
        k.time = Int(j[0], At(path, 0));
        k.flags = U32(j[1], At(path, 1));
        std::size_t i = 2;
        Fields(k, [&](float& v) {
          v = Float(j[i], At(path, i));
          ++i;
        });
      },
      key);
}

Json ControlJson(const host::Control& c) {
  Json j = {{"class", ClassIdJson(c.GetClassId())}};
  if (const host::IKeyControl* keys = c.GetKeyControl()) {
    Json a = Json::array();
    for (int i = 0; i < keys->GetNumKeys(); ++i)
      if (auto k = keys->GetKey(i)) a.push_back(KeyJson(*k));
    j["keys"] = std::move(a);
  }
  return j;
}

std::unique_ptr<ControlBase> ReadControl(const Json& j, const std::string& path,
                                         host::SuperClassId superClass) {
  Object(j, path);
  OnlyKeys(j, path, {"class", "keys"});
  const Json* cls = Find(j, "class");
  if (!cls) Fail(path, "expected the controller's \"class\"");
  host::ClassId id = ClassIdOf(*cls, Key(path, "class"));
  if (ControlSuperClass(id) != superClass)
    Fail(Key(path, "class"), "expected a controller class of this channel");
  std::unique_ptr<ControlBase> c = CreateControl(id);
  host::IKeyControl* keys = c->GetKeyControl();
  if (const Json* k = Find(j, "keys")) {
    std::string kp = Key(path, "keys");
    Array(*k, kp);
    if (!keys) Fail(kp, "this controller class has no keys");
    keys->SetNumKeys(static_cast<int>(k->size()));
    for (std::size_t i = 0; i < k->size(); ++i) {
      host::AnyKey key = *keys->GetKey(static_cast<int>(i));
      ReadKey((*k)[i], At(kp, i), key);
      keys->SetKey(static_cast<int>(i), key);
    }
    keys->SortKeys();
  }
  return c;
}

struct Channel {
  const char* name;
  host::SuperClassId superClass;
  host::Control* (host::Control::*get)() const;
  bool (host::Control::*set)(std::unique_ptr<host::Control>);
};
const Channel kChannels[] = {
    {"position", host::kCtrlPositionClass, &host::Control::GetPositionController,
     &host::Control::SetPositionController},
    {"rotation", host::kCtrlRotationClass, &host::Control::GetRotationController,
     &host::Control::SetRotationController},
    {"scale", host::kCtrlScaleClass, &host::Control::GetScaleController, &host::Control::SetScaleController},
};

}  // namespace

std::optional<Json> WriteNodeController(const SceneNode& node) {
  const TransformControl* tm = node.TMControl();
  Json j = Json::object();
  if (tm) {
    if (tm->GetClassId() != host::kPRSControlClassId) j["class"] = ClassIdJson(tm->GetClassId());
    for (const Channel& ch : kChannels)
      if (const host::Control* c = (tm->*ch.get)()) j[ch.name] = ControlJson(*c);
  }
  if (auto* cam = dynamic_cast<const CameraObject*>(node.ObjectPtr().get()); cam && cam->fovControl)
    j["fov"] = ControlJson(*cam->fovControl);
  if (j.empty()) return std::nullopt;
  return j;
}

ControllerDesc ReadNodeController(const Json& j, const std::string& path) {
  Object(j, path);
  OnlyKeys(j, path, {"class", "position", "rotation", "scale", "fov"});
  ControllerDesc d;
  host::ClassId id = host::kPRSControlClassId;
  if (const Json* c = Find(j, "class")) id = ClassIdOf(*c, Key(path, "class"));
  d.transform = std::make_shared<TransformControl>(id);
  for (const Channel& ch : kChannels)
    if (const Json* c = Find(j, ch.name))
      (d.transform.get()->*ch.set)(ReadControl(*c, Key(path, ch.name), ch.superClass));
  if (const Json* f = Find(j, "fov")) d.fov = ReadControl(*f, Key(path, "fov"), host::kCtrlFloatClass);
  return d;
}

void ApplyNodeController(const ControllerDesc& desc, SceneNode& node) {
  TransformControl* tm = node.TMControl();
  if (tm && desc.transform) {
    tm->SetClassId(desc.transform->GetClassId());
    for (const Channel& ch : kChannels) {
      host::Control* from = (desc.transform.get()->*ch.get)();
      if (!from) continue;
      // The description is used once: its sub-controllers move to the node.
      std::unique_ptr<host::Control> moved = CreateControl(from->GetClassId());
      if (auto* keysFrom = from->GetKeyControl()) {
        auto* keysTo = moved->GetKeyControl();
        keysTo->SetNumKeys(keysFrom->GetNumKeys());
        for (int i = 0; i < keysFrom->GetNumKeys(); ++i) keysTo->SetKey(i, *keysFrom->GetKey(i));
      }
      (tm->*ch.set)(std::move(moved));
    }
  }
  if (auto* cam = dynamic_cast<CameraObject*>(node.ObjectPtr().get()); cam && desc.fov)
    cam->fovControl = desc.fov;
}

}  // namespace vorlan::workbench::docjson

#include "host/modifier.h"

#include "host/node.h"

namespace vorlan::host {

Modifier* FindModifier(const Node& node, ClassId id) {
  // A derived object can only wrap objects made before it, so the walk ends; the bound
  // guards against a host that hands out a cycle anyway.
  Object* o = node.GetObjectReference();
  for (int depth = 0; o && depth < 1024 && o->GetSuperClassId() == kDerivedObjectClass; ++depth) {
    auto* d = static_cast<DerivedObject*>(o);
    for (int i = 0, n = d->NumModifiers(); i < n; ++i)
      if (Modifier* m = d->GetModifier(i); m && m->GetClassId() == id) return m;
    o = d->GetObjRef();
  }
  return nullptr;
}

}  // namespace vorlan::host

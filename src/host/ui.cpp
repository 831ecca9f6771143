#include "host/ui.h"

namespace vorlan::host {

DialogControl* DialogModel::Find(int id) {
  for (auto& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

const DialogControl* DialogModel::Find(int id) const {
  for (const auto& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace vorlan::host

// Controllers the host creates by class for plug-ins (the clock itself is in host_services.cpp).
#include "workbench/controllers.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {

std::unique_ptr<host::Control> Workbench::CreateControl(host::ClassId id) {
  return workbench::CreateControl(id);
}

}  // namespace vorlan::workbench

#include "zefexport/physics_export.h"

namespace vorlan::zefexport {

PhysicsSources GatherPhysics(ExportContext&, host::Node&, const FaceList&) { return {}; }

uint32_t WritePhysicsBlock(ExportContext&, host::Node&, const FaceList&, const PhysicsSources&) { return 0; }

}  // namespace vorlan::zefexport

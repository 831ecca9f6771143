// The workbench's clock: animation range, frame rate and current time live in the scene,
// so that documents keep them.
#include "workbench/controllers.h"
#include "workbench/workbench.h"

namespace vorlan::workbench {

void Workbench::SetAnimRange(host::Interval range) {
  if (range.Empty()) return;
  scene_.animStart = range.start;
  scene_.animEnd = range.end;
}

void Workbench::SetTicksPerFrame(int ticks) {
  if (ticks > 0) scene_.ticksPerFrame = ticks;
}

void Workbench::SetFrameRate(int fps) {
  if (fps <= 0) return;
  scene_.frameRate = fps;
  scene_.ticksPerFrame = std::max(1, host::kTicksPerSecond / fps);
}

// Views are drawn on demand (GrabViewport), so a redraw has nothing to refresh.
void Workbench::SetTime(host::TimeValue t, bool) { scene_.currentTime = t; }

std::unique_ptr<host::Control> Workbench::CreateControl(host::ClassId id) {
  return workbench::CreateControl(id);
}

}  // namespace vorlan::workbench

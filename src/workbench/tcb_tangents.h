// The Hermite tangents a TCB track's segments are drawn with, for writers of formats that
// store curves as tangents: segment i runs from key i to key i + 1, `first` leaving key i
// and `second` arriving at key i + 1, both in units per segment (multiply by the fraction
// of the segment to get a slope). Ease is not part of them: with ease 0 on every key the
// segment is exactly the cubic Hermite curve through the two keys with these tangents.
#pragma once

#include <utility>
#include <vector>

#include "host/control.h"

namespace vorlan::workbench {

// Precondition: keys sorted by time with distinct times. Empty for fewer than two keys.
std::vector<std::pair<host::Point3, host::Point3>> TcbSegmentTangents(
    const std::vector<host::TCBPoint3Key>& keys);
std::vector<std::pair<host::Point3, host::Point3>> TcbSegmentTangents(
    const std::vector<host::TCBScaleKey>& keys);

}  // namespace vorlan::workbench

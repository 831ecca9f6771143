// Limits that every part of the pipeline must agree on, so that whatever one part accepts the
// next can take: a scene that loads also exports, and a file that exports also reads back.
#pragma once

namespace vorlan::host {

// The deepest chain of nodes below the scene root. Scene documents refuse a deeper one when
// they load (naming the node); interchange imports hang deeper nodes higher up; the .zef
// writer and reader accept exactly this much. Recursive walks of the node tree may rely on it.
inline constexpr int kMaxNodeDepth = 1000;

}  // namespace vorlan::host

// Scene building: the Node blocks of a .zef file become host nodes with their transforms,
// user properties, meshes, lights, cameras, dummies and engine helpers.
//
// Every handler starts with the reader's cursor on its block head and leaves it just past
// the block, whether it succeeds or not; it returns false when the import must stop (a
// read past the end of the file), never for a block it merely skips.
#pragma once

#include "host/node.h"
#include "zefimport/import_context.h"

namespace vorlan::zefimport {

// A Node (or skeleton object) block and everything nested in it, under `parent` (the
// scene's root when null).
bool ImportNode(ImportContext& ctx, host::Node* parent);

// The blocks a node and a GObj share.
bool ImportTransform(ImportContext& ctx, host::Node& node);
bool ImportUserProps(ImportContext& ctx, host::Node& node);

// A GObj block: its mesh, materials and instance link.
bool ImportGObj(ImportContext& ctx, host::Node& node);

// Node parameters of joints whose nodes came later in the file.
void ResolvePendingJoints(ImportContext& ctx);

// Moves the cursor past the block whose head `head` lies at `at`. A size smaller than the
// head itself is refused (stepping by it would never end), as is one past the end.
bool SkipBlockFrom(ImportContext& ctx, std::size_t at, const BlockHead& head);

// Reads a 4 x 4 matrix of the file (rows X, Y, Z, translation) at `offset` of a fixed part.
host::Matrix3 MatrixAt(support::ByteReader& r, std::size_t offset);

}  // namespace vorlan::zefimport

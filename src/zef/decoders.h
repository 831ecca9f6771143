// Per-block field decoders for the .zef block tree, one table keyed by block ID.
//
// To teach the inspector a new block, write a DecodeFn (here or beside the block's writer)
// and add one entry to the table in decoders.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/bytes.h"

namespace vorlan::zef {

// One decoded field of a block, for display and for summaries.
struct Field {
  std::string key;
  std::string value;  // numbers already formatted; text raw
  bool text = false;  // shown quoted and escaped
};

// Reads a block's own fields. `block` spans the block's bytes as far as they are present
// (head included) with the cursor just after the 8-byte head; reads past the end fail, and a
// decoder simply stops adding fields then (the parser reports the shortfall). Returns the
// offset from the block start at which nested blocks begin, or nothing for a block without
// nested blocks.
using DecodeFn = std::optional<uint64_t> (*)(support::ByteReader& block, std::vector<Field>& fields);

struct BlockDecoder {
  uint32_t id;
  DecodeFn decode;
};

// The decoder of a block ID, or null when the block has no fields worth showing (or is unknown).
const BlockDecoder* FindDecoder(uint32_t id);

// Field helpers for decoders: each reads one value and adds it when the read succeeds.
bool AddU32(support::ByteReader& r, std::vector<Field>& fields, std::string_view key);
bool AddI32(support::ByteReader& r, std::vector<Field>& fields, std::string_view key);
bool AddHex(support::ByteReader& r, std::vector<Field>& fields, std::string_view key);
bool AddF32(support::ByteReader& r, std::vector<Field>& fields, std::string_view key);
bool AddPoint(support::ByteReader& r, std::vector<Field>& fields, std::string_view key);
// A zero-terminated string stored in a field of n bytes.
bool AddText(support::ByteReader& r, std::vector<Field>& fields, std::string_view key, std::size_t n);

std::string FormatFloat(float v);
// Printable ASCII stays; quotes, backslashes, control and high bytes become escapes.
std::string Escape(std::string_view text);

}  // namespace vorlan::zef

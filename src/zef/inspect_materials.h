// Field decoders of the material records (0x1001 to 0x1004) for the block-tree inspector.
// They take the record apart with the material record decoder, so the inspector shows
// exactly what a reader of the file would get.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "support/bytes.h"
#include "zef/decoders.h"

namespace vorlan::zef {

// A DecodeFn for any material record: `block` spans the record as far as it is present, the
// cursor after its head. Adds the record's fields, or a "problem" field saying why the record
// cannot be read. Records have no nested blocks, so the result is always empty.
std::optional<uint64_t> DecodeMaterialRecordFields(support::ByteReader& block, std::vector<Field>& fields);

}  // namespace vorlan::zef

// The block tree of a .zef file as JSON: what `vorlan inspect` prints, as data.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>

namespace vorlan::cli {

// {"file": {...header...}, "blocks": [{"id", "name", "offset", "size", "fields", "children"}],
//  "problems": [...]}. Never fails: an unreadable file gives the header part and its problem.
nlohmann::ordered_json ZefTreeJson(std::span<const uint8_t> bytes);

}  // namespace vorlan::cli

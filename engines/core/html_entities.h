// Named character references of HTML 4 (and &apos;), by their exact names.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace qdx {

std::optional<uint16_t> htmlEntity(std::string_view name);

}  // namespace qdx

// SHA-256 of a byte string (the sample media's placeholder bytes are made from it).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ql::service {

std::array<std::uint8_t, 32> Sha256(std::string_view bytes);

}  // namespace ql::service

// The clips and model texts compiled into lumo, in show order.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace lumo::assets {

inline constexpr int kClipCount = 8;
inline constexpr int kModelCount = 11;

// The WAV bytes of clip `number`, 1 … 8.
std::span<const std::byte> clip(int number);

// The OBJ text of model `number`, 1 … 11.
std::string_view model(int number);

}  // namespace lumo::assets

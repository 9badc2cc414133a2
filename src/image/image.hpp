// Pictures lumo writes: 8-bit RGB images and the PNG files they go into.
//
// Only lumo-render and the asset tools make pictures; lumo itself never links this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.hpp"

namespace lumo {

// Rows top to bottom, three bytes (red, green, blue) a pixel.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    RgbImage() = default;
    RgbImage(int w, int h)
        : width(w), height(h), rgb(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3, 0) {}

    std::uint8_t* pixel(int x, int y) {
        return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3];
    }
};

// Writes `image` as a PNG file at `path` (replacing it).  The bytes depend only on the image.
// Errors name the path and the reason.
Status write_png(const RgbImage& image, const std::string& path);

}  // namespace lumo

// A picture drawn elsewhere (the GL ES scope) as the video encoder takes it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/fatal.hpp"
#include "scope/detail.hpp"
#include "scope/scope.hpp"

namespace lumo {

void video_frame_of(const RgbImage& picture, std::vector<std::uint8_t>& planes) {
    if (picture.width != picture.height || picture.width % 2 != 0) fatal("video_frame_of: not an even square");
    const std::size_t width = static_cast<std::size_t>(picture.width);
    const std::size_t half = width / 2;
    planes.resize(width * width + 2 * half * half);
    std::uint8_t* const y_plane = planes.data();
    std::uint8_t* const u_plane = y_plane + width * width;
    std::uint8_t* const v_plane = u_plane + half * half;
    const auto at = [&](std::size_t row, std::size_t column, int channel) {
        return int{picture.rgb[(row * width + column) * 3 + static_cast<std::size_t>(channel)]};
    };
    for (std::size_t row = 0; row < width; ++row) {
        for (std::size_t column = 0; column < width; ++column) {
            y_plane[row * width + column] = scope_detail::luma(at(row, column, 0), at(row, column, 1), at(row, column, 2));
        }
    }
    for (std::size_t row = 0; row < half; ++row) {
        for (std::size_t column = 0; column < half; ++column) {
            int sums[3] = {};
            for (int channel = 0; channel < 3; ++channel) {
                sums[channel] = at(2 * row, 2 * column, channel) + at(2 * row, 2 * column + 1, channel) +
                                at(2 * row + 1, 2 * column, channel) + at(2 * row + 1, 2 * column + 1, channel);
            }
            u_plane[row * half + column] = scope_detail::blue_difference(sums[0], sums[1], sums[2]);
            v_plane[row * half + column] = scope_detail::red_difference(sums[0], sums[1], sums[2]);
        }
    }
}

}  // namespace lumo

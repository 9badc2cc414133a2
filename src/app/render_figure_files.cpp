#include "app/render_figure_files.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

#include "app/render_files.hpp"
#include "show/catalogue.hpp"
#include "show/prepare.hpp"
#include "core/fatal.hpp"

namespace lumo {

namespace {

// The largest figure is 27 MB; it goes out in pieces of this many points, never whole.
constexpr std::size_t kPiecePoints = 8 * 1024;

// The file's bytes are the little-endian floats x, y, x, y, …: on a little-endian machine
// the floats themselves, interleaved in a loop the compiler turns into a few vector
// instructions per handful of points; elsewhere each one's bytes are swapped.
Status write_interleaved(const PendingFile& file, const ChannelPair& pair) {
    if (pair.x.size() != pair.y.size()) fatal("a figure's two channels differ in length");
    std::array<float, 2 * kPiecePoints> piece;
    for (std::size_t first = 0; first < pair.x.size(); first += kPiecePoints) {
        const std::size_t count = std::min(kPiecePoints, pair.x.size() - first);
        const float* x = pair.x.data() + first;
        const float* y = pair.y.data() + first;
        for (std::size_t i = 0; i < count; ++i) {
            piece[2 * i] = x[i];
            piece[2 * i + 1] = y[i];
        }
        if constexpr (std::endian::native != std::endian::little) {
            for (float& v : std::span(piece).first(2 * count)) {
                const auto bits = std::bit_cast<std::uint32_t>(v);
                v = std::bit_cast<float>((bits >> 24) | ((bits >> 8) & 0xFF00u) | ((bits << 8) & 0xFF0000u) | (bits << 24));
            }
        }
        const auto bytes = std::as_bytes(std::span(piece).first(2 * count));
        if (Status written = write_all(file, {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
            !written) {
            return written;
        }
    }
    return {};
}

}  // namespace

Status write_figure_files(const PreparedShow& show, const std::string& directory) {
    for (const FigureEntry& entry : kFigures) {
        char name[32];
        std::snprintf(name, sizeof name, "figure-%02d.f32", figure_number(entry.figure));
        const std::string path = (std::filesystem::path(directory) / name).string();
        const ChannelPair& pair = channels_of(show, entry.figure);
        Status written =
            write_file_replacing(path, [&](const PendingFile& file) { return write_interleaved(file, pair); });
        if (!written) return written;
    }
    return {};
}

}  // namespace lumo

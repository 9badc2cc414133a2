#include "app/render_figure_files.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "app/render_files.hpp"
#include "show/catalogue.hpp"
#include "show/prepare.hpp"
#include "core/fatal.hpp"

namespace lumo {

namespace {

// The largest figure is 27 MB; it goes out in pieces of this size, never whole.
constexpr std::size_t kPieceBytes = 64 * 1024;

Status write_interleaved(const PendingFile& file, const ChannelPair& pair) {
    if (pair.x.size() != pair.y.size()) fatal("a figure's two channels differ in length");
    std::array<unsigned char, kPieceBytes> piece;
    std::size_t filled = 0;
    auto put = [&](float v) {
        const auto bits = std::bit_cast<std::uint32_t>(v);
        for (int b = 0; b < 4; ++b) piece[filled++] = static_cast<unsigned char>(bits >> (8 * b));
    };
    for (std::size_t i = 0; i < pair.x.size(); ++i) {
        put(pair.x[i]);
        put(pair.y[i]);
        if (filled == piece.size()) {
            if (Status written = write_all(file, piece); !written) return written;
            filled = 0;
        }
    }
    return write_all(file, std::span(piece).first(filled));
}

}  // namespace

Status write_figure_files(const PreparedShow& show, const std::string& directory) {
    static_assert(kPieceBytes % 8 == 0, "a piece holds whole points");
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

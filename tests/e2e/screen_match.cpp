// Compares a screen lumo-screen-grab read back with lumo-render --scope's pictures, on the
// host of the emulated machines' screen test.
//
//   lumo-screen-match SHOT.ppm SQUARE.png EXPECTED.png [OTHER.png...]
//     takes the view's square (the largest one centred in the screen) out of SHOT (a
//     binary PPM, as lumo-screen-grab writes, or a PNG),
//     writes it to SQUARE.png, and prints its correlation with each picture after a blur
//     ("NAME R", one a line).  Exits 0 when it is EXPECTED (at or above the tests' bar)
//     and none of the others, 1 otherwise.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image/image.hpp"
#include "pictures/match.hpp"

namespace {

using lumo::RgbImage;

std::optional<RgbImage> read_ppm(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return std::nullopt;
    int width = 0, height = 0, depth = 0;
    std::optional<RgbImage> picture;
    if (std::fscanf(file, "P6 %d %d %d", &width, &height, &depth) == 3 && depth == 255 && width > 0 &&
        height > 0 && width <= 16384 && height <= 16384 && std::fgetc(file) == '\n') {
        RgbImage read(width, height);
        if (std::fread(read.rgb.data(), 1, read.rgb.size(), file) == read.rgb.size()) picture = std::move(read);
    }
    std::fclose(file);
    return picture;
}

std::optional<RgbImage> read_png(const char* path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    RgbImage picture(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return picture;
}

// The view draws its scope as the largest square centred in the screen.
RgbImage centred_square(RgbImage& screen) {
    const int side = std::min(screen.width, screen.height);
    const int x0 = (screen.width - side) / 2, y0 = (screen.height - side) / 2;
    RgbImage square(side, side);
    for (int y = 0; y < side; ++y) {
        std::memcpy(square.pixel(0, y), screen.pixel(x0, y0 + y), static_cast<std::size_t>(side) * 3);
    }
    return square;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: lumo-screen-match SHOT.ppm SQUARE.png EXPECTED.png [OTHER.png...]\n");
        return 2;
    }
    std::optional<RgbImage> shot = read_ppm(argv[1]);
    if (!shot) shot = read_png(argv[1]);
    if (!shot) {
        std::fprintf(stderr, "lumo-screen-match: %s is neither a binary PPM nor a PNG picture\n", argv[1]);
        return 1;
    }
    const RgbImage square = centred_square(*shot);
    if (lumo::Status written = lumo::write_png(square, argv[2]); !written) {
        std::fprintf(stderr, "lumo-screen-match: %s\n", written.error().message().c_str());
        return 1;
    }
    const std::vector<double> seen = lumo::test::blurred_grid(square);
    bool matched = true;
    for (int i = 3; i < argc; ++i) {
        const std::optional<RgbImage> render = read_png(argv[i]);
        if (!render) {
            std::fprintf(stderr, "lumo-screen-match: cannot read %s\n", argv[i]);
            return 1;
        }
        const double r = lumo::test::correlation(seen, lumo::test::blurred_grid(*render));
        std::printf("%s %.4f\n", argv[i], r);
        const bool same = r >= lumo::test::kSamePicture;
        matched = matched && same == (i == 3);
    }
    return matched ? 0 : 1;
}

#include <png.h>

#include <cerrno>
#include <cstring>

#include "image/image.hpp"

namespace lumo {

Status write_png(const RgbImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3) {
        return Error("cannot write " + path + ": the image has no pixels or the wrong size");
    }
    // libpng's simplified interface reports failure as a value; the classic one longjmps
    // out of the writer, across any C++ object alive at the time.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    errno = 0;
    const int ok = png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr);
    const int saved_errno = errno;
    if (!ok) {
        std::string reason = png.message;
        if (saved_errno != 0) reason += std::string(" (") + std::strerror(saved_errno) + ")";
        png_image_free(&png);
        return Error("cannot write " + path + ": " + reason);
    }
    return {};
}

}  // namespace lumo

#include <png.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "image/image.hpp"

namespace lumo {
namespace {

TEST(Png, WritesWhatReadsBackAndNamesTheReasonOfAFailure) {
    RgbImage image(3, 2);
    for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = static_cast<std::uint8_t>(i * 13);
    const std::string path = (std::filesystem::temp_directory_path() / "lumo-image-test.png").string();
    ASSERT_TRUE(write_png(image, path).ok());

    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str()));
    read.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(read.width, 3u);
    EXPECT_EQ(read.height, 2u);
    EXPECT_EQ(pixels, image.rgb);
    std::filesystem::remove(path);

    const Status failed = write_png(image, "/nonexistent-dir/x.png");
    ASSERT_FALSE(failed.ok());
    EXPECT_NE(failed.error().message().find("/nonexistent-dir/x.png"), std::string::npos);
    EXPECT_NE(failed.error().message().find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace lumo

// How lumo-render draws pictures.  --png draws each figure's own wavetable as sharp dots
// with a faint trace between them, one figure as a strip of six slices and all of them on
// one sheet; the scope views (render_scope*) take their frames from src/scope/ and share
// the labels in a small pixel font, the pasting and the PNG files.
//
// --png's drawing adds light (linear, three floats a pixel) so that traces build up where
// the beam dwells; to_rgb tones the light into an 8-bit picture at the end.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/points.hpp"
#include "image/image.hpp"

namespace lumo {

struct LightImage {
    int width;
    int height;
    std::vector<float> rgb;  // linear light, three values a pixel

    LightImage(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 0.0f) {}
    // Adds light at (x, y); outside the picture it is lost.
    void add(int x, int y, float r, float g, float b);
};

// Each sample leaves a spot, and the beam's path between consecutive samples a fainter
// trace, in the square of `size` pixels at (left, top) that shows -1.05 … 1.05.
void draw_phosphor(LightImage& image, int left, int top, int size, std::span<const float> xs,
                   std::span<const float> ys, float gain);

// `text` in the 5 × 7 font, one character every six pixels.
void draw_text(LightImage& image, int left, int top, std::string_view text);

// `text` in the 5 × 7 font straight into an 8-bit picture, in one grey level.
void draw_text(RgbImage& image, int left, int top, std::string_view text, std::uint8_t level = 230);

// `picture` copied into `image` with its top left corner at (left, top); what falls outside
// is cut off.
void paste(RgbImage& image, const RgbImage& picture, int left, int top);

// `image` as a PNG file at `path`, complete or not at all.
Status write_picture(const RgbImage& image, const std::string& path);

// Brightness saturates softly and keeps its hue, so dense and sparse drawings both stay
// readable and a bright trace stays green.
RgbImage to_rgb(const LightImage& image);

// Six 0.02-second slices of `figure`, spread evenly over it, side by side under `label`.
RgbImage figure_strip(const ChannelPair& figure, std::string_view label);

// The sheet of all figures: one cell for each, six columns by five rows.
LightImage blank_contact_sheet();

// Draws the six slices of `figure` into cell `index` (0 …) of `sheet`, with two caption lines.
void draw_sheet_cell(LightImage& sheet, int index, const ChannelPair& figure, std::string_view caption,
                     std::string_view description);

}  // namespace lumo

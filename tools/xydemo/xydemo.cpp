#include "xydemo.hpp"

#include <cmath>
#include <cstring>

namespace lumo::xydemo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Along the square's outline at an even speed, `turn` in [0, 1) from the corner (-0.5, -0.5).
Place on_square(double turn) {
    const double along = turn * 4.0;
    const int edge = static_cast<int>(along);
    const double t = along - edge - 0.5;
    switch (edge) {
        case 0: return {t, -0.5};
        case 1: return {0.5, t};
        case 2: return {-t, 0.5};
        default: return {-0.5, -t};
    }
}

// Along a five-pointed star's outline, its points on a circle of radius 0.7.
Place on_star(double turn) {
    const double along = turn * 5.0;
    const int edge = static_cast<int>(along) % 5;
    const double t = along - std::floor(along);
    auto point = [](int k) {
        const double angle = kPi / 2 + k * 4.0 * kPi / 5.0;
        return Place{0.7 * std::cos(angle), 0.7 * std::sin(angle)};
    };
    const Place a = point(edge), b = point(edge + 1);
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

void put(std::vector<std::byte>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
}

void put_text(std::vector<std::byte>& out, std::string_view text) {
    for (const char c : text) out.push_back(static_cast<std::byte>(c));
}

void put_sample(std::vector<std::byte>& out, double value, Format format) {
    switch (format) {
        case Format::S16: put(out, static_cast<std::uint64_t>(std::lround(value * 32767.0)), 2); break;
        case Format::S24: put(out, static_cast<std::uint64_t>(std::lround(value * 8388607.0)), 3); break;
        case Format::F32: {
            const float f = static_cast<float>(value);
            std::uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            put(out, bits, 4);
            break;
        }
    }
}

}  // namespace

Place place_at(double seconds) {
    const double local = seconds - std::floor(seconds);
    switch (static_cast<int>(std::floor(seconds)) % kFigures) {
        case 0: return {0.6 * std::cos(2 * kPi * 100 * local), 0.6 * std::sin(2 * kPi * 100 * local)};
        case 1: {
            const double turns = 50 * local;
            return on_square(turns - std::floor(turns));
        }
        case 2: {
            const double drift = 2 * kPi * 0.5 * local;
            return {0.7 * std::sin(2 * kPi * 120 * local + drift), 0.7 * std::sin(2 * kPi * 80 * local)};
        }
        default: {
            const double turns = 40 * local;
            return on_star(turns - std::floor(turns));
        }
    }
}

std::vector<std::byte> make_wav(int rate, Format format, double seconds) {
    const int bytes = format == Format::S16 ? 2 : format == Format::S24 ? 3 : 4;
    const bool extensible = format == Format::S24;
    const auto frames = static_cast<std::uint64_t>(std::llround(seconds * rate));
    const std::uint64_t data = frames * 2 * bytes;
    const int fmt = extensible ? 40 : 16;
    std::vector<std::byte> out;
    out.reserve(static_cast<std::size_t>(data) + 64);
    put_text(out, "RIFF");
    put(out, 4 + 8 + fmt + 8 + data, 4);
    put_text(out, "WAVEfmt ");
    put(out, fmt, 4);
    const int coding = format == Format::F32 ? 3 : 1;
    put(out, extensible ? 0xFFFE : coding, 2);
    put(out, 2, 2);
    put(out, static_cast<std::uint64_t>(rate), 4);
    put(out, static_cast<std::uint64_t>(rate) * 2 * bytes, 4);
    put(out, 2 * bytes, 2);
    put(out, 8 * bytes, 2);
    if (extensible) {
        put(out, 22, 2);
        put(out, 8 * bytes, 2);
        put(out, 0x3, 4);  // front left, front right
        put(out, coding, 2);
        for (const unsigned byte : {0u, 0u, 0u, 0u, 0x10u, 0u, 0x80u, 0u, 0u, 0xAAu, 0u, 0x38u, 0x9Bu, 0x71u}) put(out, byte, 1);
    }
    put_text(out, "data");
    put(out, data, 4);
    for (std::uint64_t n = 0; n < frames; ++n) {
        const Place p = place_at(static_cast<double>(n) / rate);
        put_sample(out, p.x, format);
        put_sample(out, p.y, format);
    }
    return out;
}

}  // namespace lumo::xydemo
